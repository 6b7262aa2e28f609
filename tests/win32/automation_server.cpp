// A small automation server for the Wine tests: a second process that
// publishes an application with the object model's core members through
// RegisterActiveObject, so the backend's calls really cross processes.
// It registers its ProgIDs (HKLM\Software\Classes) itself, then serves until
// Quit is called or two minutes pass.

#include "serverids.h"

#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using lumotest::kClsid;

LONG g_objects = 0;        // live objects besides the application
bool g_rejectNext = false; // the next incoming call is refused (SERVERCALL_REJECTED)
bool g_quit = false;

HRESULT raise(EXCEPINFO *info, const std::wstring &text)
{
    if (info) {
        *info = EXCEPINFO{};
        info->bstrSource = SysAllocString(L"LumoTest");
        info->bstrDescription = SysAllocString(text.c_str());
        info->scode = E_FAIL;
    }
    return DISP_E_EXCEPTION;
}

// The argument as the caller sent it, by-reference variants looked through.
const VARIANT &deref(const VARIANT &v)
{
    return v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal ? *v.pvarVal : v;
}

std::wstring stringArg(const VARIANT &v)
{
    VARIANT copy;
    VariantInit(&copy);
    std::wstring out;
    if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT *>(&deref(v)), 0, VT_BSTR)) && copy.bstrVal)
        out.assign(copy.bstrVal, SysStringLen(copy.bstrVal));
    VariantClear(&copy);
    return out;
}

long intArg(const VARIANT &v)
{
    VARIANT copy;
    VariantInit(&copy);
    long out = -1;
    if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT *>(&deref(v)), 0, VT_I4)))
        out = copy.lVal;
    VariantClear(&copy);
    return out;
}

void setString(VARIANT *r, const std::wstring &s)
{
    if (r) {
        r->vt = VT_BSTR;
        r->bstrVal = SysAllocStringLen(s.data(), UINT(s.size()));
    }
}

void setInt(VARIANT *r, long long v)
{
    if (r) {
        r->vt = VT_I4;
        r->lVal = LONG(v);
    }
}

void setObject(VARIANT *r, IDispatch *d)
{
    if (r) {
        r->vt = VT_DISPATCH;
        r->pdispVal = d; // takes the creation reference
    } else {
        d->Release();
    }
}

// One IDispatch with a fixed list of member names (DISPID = index + 1).
class Object : public IDispatch {
public:
    explicit Object(std::vector<std::wstring> members, bool counted = true)
        : m_members(std::move(members)), m_counted(counted)
    {
        if (m_counted)
            InterlockedIncrement(&g_objects);
    }
    virtual ~Object()
    {
        if (m_counted)
            InterlockedDecrement(&g_objects);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *out = static_cast<IDispatch *>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG n = InterlockedDecrement(&m_refs);
        if (n == 0)
            delete this;
        return ULONG(n);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *n) override
    {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override
    {
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (size_t m = 0; m < m_members.size(); ++m) {
                if (_wcsicmp(names[i], m_members[m].c_str()) == 0)
                    ids[i] = DISPID(m + 1);
            }
            if (ids[i] == DISPID_UNKNOWN)
                hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result,
                                     EXCEPINFO *info, UINT *) override
    {
        if (id < 1 || size_t(id) > m_members.size())
            return DISP_E_MEMBERNOTFOUND;
        // Arguments first to last; a put's value is the last one.
        std::vector<VARIANT *> args;
        for (UINT i = params->cArgs; i-- > 0;)
            args.push_back(&params->rgvarg[i]);
        if (result)
            VariantInit(result);
        return call(m_members[size_t(id) - 1], flags, args, result, info);
    }

protected:
    virtual HRESULT call(const std::wstring &member, WORD flags, std::vector<VARIANT *> &args, VARIANT *result,
                         EXCEPINFO *info) = 0;
    static bool isPut(WORD flags) { return (flags & DISPATCH_PROPERTYPUT) != 0; }

private:
    std::vector<std::wstring> m_members;
    bool m_counted;
    LONG m_refs = 1;
};

struct EntityData {
    std::wstring handle;
    std::wstring type; // "TEXT", "LINE"
    std::wstring text;
    double point[3] = {0, 0, 0};
    bool erased = false;
};
using Drawing = std::vector<std::shared_ptr<EntityData>>;

class Text : public Object {
public:
    explicit Text(std::shared_ptr<EntityData> e)
        : Object({L"Handle", L"TextString", L"InsertionPoint", L"EntityName", L"ObjectName"}), m_e(std::move(e))
    {
    }

protected:
    HRESULT call(const std::wstring &m, WORD flags, std::vector<VARIANT *> &args, VARIANT *r, EXCEPINFO *info) override
    {
        if (m == L"Handle")
            setString(r, m_e->handle);
        else if (m == L"EntityName" || m == L"ObjectName")
            setString(r, m_e->type == L"TEXT" ? L"AcDbText" : L"AcDbLine");
        else if (m == L"TextString" && isPut(flags))
            m_e->text = stringArg(*args.at(0));
        else if (m == L"TextString")
            setString(r, m_e->text);
        else if (m == L"InsertionPoint" && isPut(flags))
            return putPoint(deref(*args.at(0)), info);
        else if (m == L"InsertionPoint")
            return getPoint(r);
        return S_OK;
    }

private:
    HRESULT getPoint(VARIANT *r)
    {
        SAFEARRAYBOUND bound{3, 0};
        SAFEARRAY *a = SafeArrayCreate(VT_R8, 1, &bound);
        for (LONG i = 0; i < 3; ++i)
            SafeArrayPutElement(a, &i, &m_e->point[i]);
        r->vt = VT_ARRAY | VT_R8;
        r->parray = a;
        return S_OK;
    }
    HRESULT putPoint(const VARIANT &v, EXCEPINFO *info)
    {
        LONG lower = 0, upper = -1;
        if (v.vt != (VT_ARRAY | VT_R8) || SafeArrayGetDim(v.parray) != 1)
            return raise(info, L"InsertionPoint needs an array of three doubles");
        SafeArrayGetLBound(v.parray, 1, &lower);
        SafeArrayGetUBound(v.parray, 1, &upper);
        if (lower != 0 || upper != 2)
            return raise(info, L"InsertionPoint needs an array of three doubles");
        for (LONG i = 0; i < 3; ++i)
            SafeArrayGetElement(v.parray, &i, &m_e->point[i]);
        return S_OK;
    }
    std::shared_ptr<EntityData> m_e;
};

class SelectionSet : public Object {
public:
    SelectionSet(std::wstring name, std::shared_ptr<Drawing> drawing)
        : Object({L"Name", L"Count", L"Item", L"Clear", L"Delete", L"SelectOnScreen", L"ArgTypes"}),
          m_name(std::move(name)), m_drawing(std::move(drawing))
    {
    }

protected:
    HRESULT call(const std::wstring &m, WORD, std::vector<VARIANT *> &args, VARIANT *r, EXCEPINFO *info) override
    {
        if (m == L"Name")
            setString(r, m_name);
        else if (m == L"Count")
            setInt(r, long(m_items.size()));
        else if (m == L"Item") {
            const long i = args.empty() ? -1 : intArg(*args[0]);
            if (i < 0 || size_t(i) >= m_items.size())
                return raise(info, L"Index out of range");
            setObject(r, new Text(m_items[size_t(i)]));
        } else if (m == L"Clear" || m == L"Delete")
            m_items.clear();
        else if (m == L"SelectOnScreen")
            return select(args, info);
        else if (m == L"ArgTypes")
            setString(r, m_argTypes);
        return S_OK;
    }

private:
    // Picks every entity whose type the filter names (group code 0).
    HRESULT select(std::vector<VARIANT *> &args, EXCEPINFO *info)
    {
        if (args.size() != 2)
            return raise(info, L"SelectOnScreen needs filter types and filter data");
        wchar_t text[64];
        swprintf(text, 64, L"%04X/%04X,%04X/%04X", args[0]->vt, deref(*args[0]).vt, args[1]->vt, deref(*args[1]).vt);
        m_argTypes = text;
        const VARIANT &types = deref(*args[0]);
        const VARIANT &data = deref(*args[1]);
        if (types.vt != (VT_ARRAY | VT_I2) || data.vt != (VT_ARRAY | VT_VARIANT))
            return raise(info, L"Filter types must be 16-bit integers and filter data variants");
        LONG upper = -1;
        SafeArrayGetUBound(types.parray, 1, &upper);
        std::wstring wanted;
        for (LONG i = 0; i <= upper; ++i) {
            short code = -1;
            SafeArrayGetElement(types.parray, &i, &code);
            VARIANT value;
            VariantInit(&value);
            SafeArrayGetElement(data.parray, &i, &value);
            if (code == 0)
                wanted = stringArg(value);
            VariantClear(&value);
        }
        for (const auto &e : *m_drawing) {
            if (!e->erased && (wanted.empty() || _wcsicmp(wanted.c_str(), e->type.c_str()) == 0))
                m_items.push_back(e);
        }
        return S_OK;
    }
    std::wstring m_name;
    std::shared_ptr<Drawing> m_drawing;
    std::vector<std::shared_ptr<EntityData>> m_items;
    std::wstring m_argTypes;
};

class SelectionSets : public Object {
public:
    explicit SelectionSets(std::shared_ptr<Drawing> drawing)
        : Object({L"Count", L"Item", L"Add"}), m_drawing(std::move(drawing))
    {
    }

protected:
    HRESULT call(const std::wstring &m, WORD, std::vector<VARIANT *> &args, VARIANT *r, EXCEPINFO *info) override
    {
        if (m == L"Count")
            setInt(r, 0);
        else if (m == L"Item")
            return raise(info, L"Index out of range");
        else if (m == L"Add") {
            if (args.size() != 1)
                return raise(info, L"Add needs a name");
            setObject(r, new SelectionSet(stringArg(*args[0]), m_drawing));
        }
        return S_OK;
    }

private:
    std::shared_ptr<Drawing> m_drawing;
};

class Document : public Object {
public:
    explicit Document(std::shared_ptr<Drawing> drawing)
        : Object({L"SelectionSets", L"HandleToObject", L"StartUndoMark", L"EndUndoMark", L"UndoMarks", L"HWND"}),
          m_drawing(std::move(drawing))
    {
    }

protected:
    HRESULT call(const std::wstring &m, WORD, std::vector<VARIANT *> &args, VARIANT *r, EXCEPINFO *info) override
    {
        if (m == L"SelectionSets")
            setObject(r, new SelectionSets(m_drawing));
        else if (m == L"HandleToObject") {
            const std::wstring handle = args.empty() ? std::wstring() : stringArg(*args[0]);
            for (const auto &e : *m_drawing) {
                if (!e->erased && _wcsicmp(e->handle.c_str(), handle.c_str()) == 0) {
                    setObject(r, new Text(e));
                    return S_OK;
                }
            }
            return raise(info, L"ハンドルが無効です: " + handle);
        } else if (m == L"StartUndoMark")
            m_marks += L"[";
        else if (m == L"EndUndoMark")
            m_marks += L"]";
        else if (m == L"UndoMarks")
            setString(r, m_marks);
        else if (m == L"HWND")
            setInt(r, lumotest::kServerHwnd + 1);
        return S_OK;
    }

private:
    std::shared_ptr<Drawing> m_drawing;
    std::wstring m_marks;
};

class Application : public Object {
public:
    Application()
        : Object({L"ActiveDocument", L"HWND", L"ObjectCount", L"RejectNextCall", L"Increment", L"Quit"}, false),
          m_drawing(std::make_shared<Drawing>())
    {
        auto add = [this](const wchar_t *handle, const wchar_t *type, const wchar_t *text, double x, double y) {
            auto e = std::make_shared<EntityData>();
            e->handle = handle;
            e->type = type;
            e->text = text;
            e->point[0] = x;
            e->point[1] = y;
            m_drawing->push_back(e);
        };
        add(L"2A", L"TEXT", L"配線A", 10, 20);
        add(L"2B", L"LINE", L"", 0, 0);
        add(L"2C", L"TEXT", L"ｶﾞｲﾄﾞ 𠮷", 10, 15);
    }

protected:
    HRESULT call(const std::wstring &m, WORD, std::vector<VARIANT *> &args, VARIANT *r, EXCEPINFO *info) override
    {
        if (m == L"ActiveDocument")
            setObject(r, new Document(m_drawing));
        else if (m == L"HWND") {
            if (r) {
                r->vt = VT_I8;
                r->llVal = lumotest::kServerHwnd;
            }
        } else if (m == L"ObjectCount")
            setInt(r, InterlockedCompareExchange(&g_objects, 0, 0));
        else if (m == L"RejectNextCall")
            g_rejectNext = true;
        else if (m == L"Increment") {
            // Adds one to a number passed by reference, in place.
            if (args.size() != 1 || args[0]->vt != (VT_BYREF | VT_VARIANT))
                return raise(info, L"Increment needs a number by reference");
            const long n = intArg(*args[0]);
            VariantClear(args[0]->pvarVal);
            args[0]->pvarVal->vt = VT_I4;
            args[0]->pvarVal->lVal = n + 1;
        } else if (m == L"Quit")
            g_quit = true;
        return S_OK;
    }

private:
    std::shared_ptr<Drawing> m_drawing;
};

// Refuses the one call after RejectNextCall, as a CAD in a modal state does.
class ServerFilter : public IMessageFilter {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter)) {
            *out = static_cast<IMessageFilter *>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override
    {
        if (g_rejectNext) {
            g_rejectNext = false;
            return SERVERCALL_REJECTED;
        }
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return DWORD(-1); }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }
};

bool registerProgId(const wchar_t *progId, const CLSID &clsid)
{
    wchar_t text[64];
    StringFromGUID2(clsid, text, 64);
    const std::wstring key = std::wstring(L"Software\\Classes\\") + progId + L"\\CLSID";
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG rc = RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                                   DWORD((wcslen(text) + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

} // namespace

int main()
{
    // HKLM: Wine ignores ProgIDs under HKCU\Software\Classes.
    if (!registerProgId(lumotest::kProgId, kClsid) || !registerProgId(lumotest::kIdleProgId, lumotest::kIdleClsid)) {
        std::fprintf(stderr, "automation server: cannot register the ProgIDs\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 3;
    static ServerFilter filter;
    CoRegisterMessageFilter(&filter, nullptr);

    auto *app = new Application;
    DWORD cookie = 0;
    const HRESULT hr = RegisterActiveObject(app, kClsid, ACTIVEOBJECT_STRONG, &cookie);
    if (FAILED(hr)) {
        std::fprintf(stderr, "automation server: RegisterActiveObject failed 0x%08lX\n", static_cast<unsigned long>(hr));
        return 4;
    }
    std::printf("automation server: running\n");
    std::fflush(stdout);

    const ULONGLONG deadline = GetTickCount64() + 120000;
    while (!g_quit && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    RevokeActiveObject(cookie, nullptr);
    CoDisconnectObject(app, 0);
    app->Release();
    CoRegisterMessageFilter(nullptr, nullptr);
    CoUninitialize();
    std::printf("automation server: stopped\n");
    return 0;
}
