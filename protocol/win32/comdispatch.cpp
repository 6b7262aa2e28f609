#include "protocol/win32/comdispatch.h"

#include <objbase.h>
#include <oleauto.h>

#include <cwctype>

namespace cad::win32 {

namespace {

std::wstring lower(std::wstring s)
{
    for (wchar_t &c : s)
        c = wchar_t(std::towlower(c));
    return s;
}

// Takes the texts out of an EXCEPINFO and frees them.
std::wstring takeExceptionText(EXCEPINFO &info, HRESULT &code)
{
    if (info.pfnDeferredFillIn)
        info.pfnDeferredFillIn(&info);
    std::wstring text;
    if (info.bstrDescription)
        text.assign(info.bstrDescription, SysStringLen(info.bstrDescription));
    if (text.empty() && info.bstrSource)
        text.assign(info.bstrSource, SysStringLen(info.bstrSource));
    if (info.scode != 0)
        code = info.scode;
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrHelpFile);
    info = EXCEPINFO{};
    return text;
}

// Clears every VARIANT of a call on every way out.
struct VariantList {
    std::vector<VARIANT> items;
    explicit VariantList(size_t n) : items(n)
    {
        for (VARIANT &v : items)
            VariantInit(&v);
    }
    ~VariantList()
    {
        for (VARIANT &v : items)
            VariantClear(&v);
    }
    VariantList(const VariantList &) = delete;
    VariantList &operator=(const VariantList &) = delete;
};

} // namespace

std::string toUtf8(const std::wstring &s)
{
    if (s.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, s.data(), int(s.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// ComError

ComError::ComError(HRESULT code, std::wstring message, Kind kind)
    : m_code(code), m_message(std::move(message)), m_kind(kind), m_what(toUtf8(m_message))
{
}

ComError::ComError(HRESULT code, const std::wstring &context)
    : ComError(code, context + L": " + systemText(code), kindOf(code))
{
}

ComError::Kind ComError::kindOf(HRESULT code)
{
    if (code == RPC_E_SERVERCALL_RETRYLATER)
        return Kind::Busy;
    if (code == RPC_E_CALL_REJECTED)
        return Kind::Rejected;
    const HRESULT gone[] = {RPC_E_DISCONNECTED,
                            RPC_E_SERVER_DIED,
                            RPC_E_SERVER_DIED_DNE,
                            RPC_E_CONNECTION_TERMINATED,
                            CO_E_OBJNOTCONNECTED,
                            MK_E_UNAVAILABLE,
                            HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE),
                            HRESULT_FROM_WIN32(RPC_S_CALL_FAILED)};
    for (const HRESULT g : gone) {
        if (code == g)
            return Kind::Gone;
    }
    return Kind::Failed;
}

std::wstring ComError::systemText(HRESULT code)
{
    wchar_t *buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, DWORD(code), 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    std::wstring text;
    if (n > 0 && buffer)
        text.assign(buffer, n);
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    wchar_t hex[16];
    swprintf(hex, 16, L"0x%08lX", static_cast<unsigned long>(code));
    return text.empty() ? std::wstring(L"error ") + hex : text + L" (" + hex + L")";
}

// DispatchRef

ObjectPtr DispatchRef::adopt(IDispatch *dispatch)
{
    return ObjectPtr(new DispatchRef(dispatch));
}

ObjectPtr DispatchRef::share(IDispatch *dispatch)
{
    if (dispatch)
        dispatch->AddRef();
    return ObjectPtr(new DispatchRef(dispatch));
}

DispatchRef::~DispatchRef()
{
    if (m_dispatch)
        m_dispatch->Release();
}

DISPID DispatchRef::dispId(const std::wstring &member)
{
    const std::wstring key = lower(member);
    const auto it = m_ids.find(key);
    if (it != m_ids.end())
        return it->second;
    if (!m_dispatch)
        throw ComError(E_POINTER, L"Object variable not set", ComError::Kind::Failed);
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(member.c_str());
    const HRESULT hr = m_dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND)
            throw ComError(hr, L"Unknown name: " + member, ComError::Kind::Failed);
        throw ComError(hr, member);
    }
    m_ids.emplace(key, id);
    return id;
}

Value DispatchRef::invoke(const std::wstring &member, Invoke kind, std::vector<Value> &args, const std::vector<bool> &byRef)
{
    const DISPID id = dispId(member);
    const size_t n = args.size();
    // IDispatch wants the arguments last to first.
    VariantList values(n);
    VariantList passed(n);
    for (size_t i = 0; i < n; ++i) {
        const size_t slot = n - 1 - i;
        toVariant(args[i], &values.items[slot]);
        if (i < byRef.size() && byRef[i]) {
            passed.items[slot].vt = VT_BYREF | VT_VARIANT;
            passed.items[slot].pvarVal = &values.items[slot];
        }
    }
    std::vector<VARIANTARG> rgvarg(n);
    for (size_t slot = 0; slot < n; ++slot)
        rgvarg[slot] = passed.items[slot].vt == (VT_BYREF | VT_VARIANT) ? passed.items[slot] : values.items[slot];

    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    params.rgvarg = n ? rgvarg.data() : nullptr;
    params.cArgs = UINT(n);
    WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
    if (kind == Invoke::PropertyPut) {
        if (n == 0)
            throw ComError(DISP_E_BADPARAMCOUNT, member + L": a property put needs a value", ComError::Kind::Failed);
        flags = DISPATCH_PROPERTYPUT;
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }

    VARIANT result;
    VariantInit(&result);
    EXCEPINFO info{};
    UINT argError = 0;
    HRESULT hr = m_dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                    kind == Invoke::PropertyPut ? nullptr : &result, &info, &argError);
    if (FAILED(hr)) {
        VariantClear(&result);
        if (hr == DISP_E_EXCEPTION) {
            HRESULT code = hr;
            std::wstring text = takeExceptionText(info, code);
            if (text.empty())
                text = member + L": " + ComError::systemText(code);
            throw ComError(code, text, ComError::kindOf(code));
        }
        if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND) {
            // argError counts from the last argument.
            const UINT position = argError < n ? UINT(n - argError) : 0;
            throw ComError(hr, member + L" (argument " + std::to_wstring(position) + L"): " + ComError::systemText(hr),
                           ComError::Kind::Failed);
        }
        throw ComError(hr, member);
    }
    // By-reference arguments come back as the server left them.
    for (size_t i = 0; i < n && i < byRef.size(); ++i) {
        if (byRef[i])
            args[i] = fromVariant(values.items[n - 1 - i]);
    }
    Value out;
    try {
        out = fromVariant(result);
    } catch (...) {
        VariantClear(&result);
        throw;
    }
    VariantClear(&result);
    return out;
}

Value DispatchRef::get(const std::wstring &member, std::vector<Value> args)
{
    return invoke(member, Invoke::PropertyGet, args);
}

void DispatchRef::put(const std::wstring &member, const Value &value)
{
    std::vector<Value> args{value};
    invoke(member, Invoke::PropertyPut, args);
}

Value DispatchRef::call(const std::wstring &member, std::vector<Value> args)
{
    return invoke(member, Invoke::Method, args);
}

// Running objects

bool isRunning(const std::wstring &progId)
{
    if (progId.empty())
        return false;
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(progId.c_str(), &clsid)))
        return false;
    IUnknown *unknown = nullptr;
    if (FAILED(GetActiveObject(clsid, nullptr, &unknown)) || !unknown)
        return false;
    unknown->Release();
    return true;
}

ObjectPtr attach(const std::wstring &progId)
{
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
    if (FAILED(hr))
        throw ComError(hr, L"\"" + progId + L"\" has no class identifier: " + ComError::systemText(hr),
                       ComError::Kind::Failed);
    IUnknown *unknown = nullptr;
    hr = GetActiveObject(clsid, nullptr, &unknown);
    if (FAILED(hr) || !unknown)
        throw ComError(hr, L"\"" + progId + L"\" is not running: " + ComError::systemText(hr), ComError::Kind::Gone);
    IDispatch *dispatch = nullptr;
    hr = unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&dispatch));
    unknown->Release();
    if (FAILED(hr) || !dispatch)
        throw ComError(hr, L"\"" + progId + L"\" offers no IDispatch: " + ComError::systemText(hr),
                       ComError::kindOf(hr));
    return DispatchRef::adopt(dispatch);
}

// ComApartment

ComApartment::ComApartment()
{
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr))
        m_initialised = true; // S_OK or S_FALSE: both must be balanced
    else
        m_already = hr == RPC_E_CHANGED_MODE;
}

ComApartment::~ComApartment()
{
    if (m_initialised)
        CoUninitialize();
}

} // namespace cad::win32
