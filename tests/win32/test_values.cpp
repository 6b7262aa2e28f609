// VARIANT conversion, reference counting and the message filter, in process.

#include "harness.h"

#include "cad/win32/comfilter.h"
#include "protocol/win32/comdispatch.h"

#include <oleauto.h>

using namespace cad::win32;

namespace {

bool same(const Value &a, const Value &b);

bool sameArray(const ValueArray &a, const ValueArray &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (!same(a[i], b[i]))
            return false;
    }
    return true;
}

bool same(const Value &a, const Value &b)
{
    if (a.data.index() != b.data.index())
        return false;
    if (a.is<ValueArray>())
        return sameArray(a.as<ValueArray>(), b.as<ValueArray>());
    if (a.is<ObjectPtr>())
        return a.as<ObjectPtr>()->get() == b.as<ObjectPtr>()->get();
    if (a.is<bool>())
        return a.as<bool>() == b.as<bool>();
    if (a.is<long long>())
        return a.as<long long>() == b.as<long long>();
    if (a.is<double>())
        return a.as<double>() == b.as<double>();
    if (a.is<std::wstring>())
        return a.as<std::wstring>() == b.as<std::wstring>();
    if (a.is<Point3>())
        return a.as<Point3>() == b.as<Point3>();
    if (a.is<std::vector<short>>())
        return a.as<std::vector<short>>() == b.as<std::vector<short>>();
    return a.isEmpty();
}

Value roundTrip(const Value &v, VARTYPE expectedType)
{
    VARIANT var;
    toVariant(v, &var);
    CHECK_EQ(var.vt, expectedType);
    Value back = fromVariant(var);
    VariantClear(&var);
    return back;
}

// An IDispatch that counts its references and answers two members:
// Echo (returns its argument) and Fail (an error filled in late).
class Counted : public IDispatch {
public:
    LONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *n) override
    {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT, LCID, DISPID *ids) override
    {
        ++lookups;
        if (_wcsicmp(names[0], L"Echo") == 0)
            *ids = 1;
        else if (_wcsicmp(names[0], L"Fail") == 0)
            *ids = 2;
        else
            return DISP_E_UNKNOWNNAME;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS *p, VARIANT *result, EXCEPINFO *info,
                                     UINT *argErr) override
    {
        if (id == 1) {
            if (p->cArgs != 1)
                return DISP_E_BADPARAMCOUNT;
            const VARIANT &a = p->rgvarg[0].vt == (VT_BYREF | VT_VARIANT) ? *p->rgvarg[0].pvarVal : p->rgvarg[0];
            if (!result) // Echo has no put
                return DISP_E_MEMBERNOTFOUND;
            if (a.vt == VT_NULL) {
                *argErr = 0;
                return DISP_E_TYPEMISMATCH;
            }
            return VariantCopy(result, const_cast<VARIANT *>(&a));
        }
        *info = EXCEPINFO{};
        info->pfnDeferredFillIn = [](EXCEPINFO *e) -> HRESULT {
            e->bstrDescription = SysAllocString(L"書き込みできません");
            e->scode = E_ACCESSDENIED;
            return S_OK;
        };
        return DISP_E_EXCEPTION;
    }
    int lookups = 0;
};

} // namespace

TEST_CASE("values: each kind survives the trip through a VARIANT")
{
    const std::wstring text = L"配線 ｶﾞ 𠮷 \"x\"";
    CHECK(roundTrip(Value{}, VT_EMPTY).isEmpty());
    CHECK(same(roundTrip(Value{true}, VT_BOOL), Value{true}));
    CHECK(same(roundTrip(Value{false}, VT_BOOL), Value{false}));
    CHECK(same(roundTrip(Value{-42}, VT_I4), Value{-42}));
    CHECK(same(roundTrip(Value{0x123456789LL}, VT_I8), Value{0x123456789LL}));
    CHECK(same(roundTrip(Value{2.5}, VT_R8), Value{2.5}));
    CHECK(same(roundTrip(Value{text}, VT_BSTR), Value{text}));
    CHECK(same(roundTrip(Value{std::wstring()}, VT_BSTR), Value{std::wstring()}));
    CHECK(same(roundTrip(Value{Point3{1.5, -2, 1e9}}, VT_ARRAY | VT_R8), Value{Point3{1.5, -2, 1e9}}));
    CHECK(same(roundTrip(Value{std::vector<short>{0, 1, -4}}, VT_ARRAY | VT_I2), Value{std::vector<short>{0, 1, -4}}));
    CHECK(same(roundTrip(Value{std::vector<short>{}}, VT_ARRAY | VT_I2), Value{std::vector<short>{}}));
    const ValueArray filterData{Value{L"TEXT"}, Value{}, Value{3}, Value{ValueArray{Value{1.0}}}};
    CHECK(same(roundTrip(Value{filterData}, VT_ARRAY | VT_VARIANT), Value{filterData}));
}

TEST_CASE("values: arrays as servers send them")
{
    // A point is three doubles, indexed from 0; SCREENSIZE's two doubles stay a list.
    SAFEARRAYBOUND two{2, 0};
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_R8;
    v.parray = SafeArrayCreate(VT_R8, 1, &two);
    double w = 1000, h = 600;
    LONG i = 0;
    SafeArrayPutElement(v.parray, &i, &w);
    i = 1;
    SafeArrayPutElement(v.parray, &i, &h);
    const Value size = fromVariant(v);
    CHECK(size.is<ValueArray>() && size.as<ValueArray>().size() == 2 && size.as<ValueArray>()[1].as<double>() == 600);
    VariantClear(&v);

    // Strings from an array of BSTR starting at index 1.
    SAFEARRAYBOUND fromOne{2, 1};
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = SafeArrayCreate(VT_BSTR, 1, &fromOne);
    BSTR a = SysAllocString(L"A"), b = SysAllocString(L"レイヤ");
    i = 1;
    SafeArrayPutElement(v.parray, &i, a);
    i = 2;
    SafeArrayPutElement(v.parray, &i, b);
    SysFreeString(a);
    SysFreeString(b);
    const Value names = fromVariant(v);
    CHECK(same(names, Value{ValueArray{Value{L"A"}, Value{L"レイヤ"}}}));
    VariantClear(&v);

    // By-reference values are read through; a missing optional argument is empty.
    LONG n = 7;
    v.vt = VT_BYREF | VT_I4;
    v.plVal = &n;
    CHECK(same(fromVariant(v), Value{7}));
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    CHECK(fromVariant(v).isEmpty());
    v.vt = VT_DECIMAL; // not in the object model
    CHECK_THROWS_COM(fromVariant(v), e, CHECK(e.kind() == ComError::Kind::Failed));
}

TEST_CASE("references: an object in a value is held once and released once")
{
    Counted fake;
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = &fake;
    fake.AddRef(); // the VARIANT's own reference
    {
        Value held = fromVariant(v);
        CHECK_EQ(fake.refs, 3);
        VariantClear(&v);
        CHECK_EQ(fake.refs, 2);
        Value copy = held; // copies share the one reference
        CHECK_EQ(fake.refs, 2);
        // Into an array and back: the array's copies come and go.
        VARIANT arr;
        toVariant(Value{ValueArray{held, held}}, &arr);
        CHECK_EQ(fake.refs, 4);
        Value back = fromVariant(arr);
        VariantClear(&arr);
        CHECK_EQ(fake.refs, 4); // two new holders in `back`
        // An array of objects, as a CAD's GetAttributes answers.
        SAFEARRAYBOUND bound{2, 0};
        VARIANT typed;
        VariantInit(&typed);
        typed.vt = VT_ARRAY | VT_DISPATCH;
        typed.parray = SafeArrayCreate(VT_DISPATCH, 1, &bound);
        for (LONG i = 0; i < 2; ++i)
            SafeArrayPutElement(typed.parray, &i, static_cast<IDispatch *>(&fake));
        const Value objects = fromVariant(typed);
        VariantClear(&typed);
        CHECK(objects.is<ValueArray>() && objects.as<ValueArray>().size() == 2
              && objects.as<ValueArray>()[1].is<ObjectPtr>() && objects.as<ValueArray>()[1].as<ObjectPtr>()->get() == &fake);
        CHECK_EQ(fake.refs, 6);
    }
    CHECK_EQ(fake.refs, 1);
}

TEST_CASE("invoke: results, by-reference arguments and errors in process")
{
    Counted fake;
    ObjectPtr obj = DispatchRef::share(&fake);
    std::vector<Value> args{Value{L"x"}};
    CHECK(same(obj->invoke(L"ECHO", Invoke::Method, args, {true}), Value{L"x"}));
    CHECK(same(obj->call(L"echo", {Value{Point3{1, 2, 3}}}), Value{Point3{1, 2, 3}}));
    CHECK_EQ(fake.lookups, 1); // names are looked up once, case ignored

    CHECK_THROWS_COM(obj->call(L"Fail"), e, {
        CHECK(e.message() == L"書き込みできません");
        CHECK(e.code() == E_ACCESSDENIED);
        CHECK(e.kind() == ComError::Kind::Failed);
    });
    CHECK_THROWS_COM(obj->call(L"NoSuchMember"), e, CHECK(e.message().find(L"NoSuchMember") != std::wstring::npos));
    CHECK_THROWS_COM(obj->put(L"Echo", Value{1}), e, CHECK(e.code() == DISP_E_MEMBERNOTFOUND));
    obj.reset();
    CHECK_EQ(fake.refs, 1);
}

TEST_CASE("errors: HRESULTs sorted into busy, rejected and gone")
{
    CHECK(ComError::kindOf(RPC_E_SERVERCALL_RETRYLATER) == ComError::Kind::Busy);
    CHECK(ComError::kindOf(RPC_E_CALL_REJECTED) == ComError::Kind::Rejected);
    CHECK(ComError::kindOf(RPC_E_DISCONNECTED) == ComError::Kind::Gone);
    CHECK(ComError::kindOf(HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)) == ComError::Kind::Gone);
    CHECK(ComError::kindOf(E_FAIL) == ComError::Kind::Failed);
    CHECK(!ComError::systemText(E_OUTOFMEMORY).empty());
}

// A filter that was there before ours, to see it put back.
class PreviousFilter : public IMessageFilter {
public:
    LONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **out) override
    {
        *out = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override { return 0; }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return DWORD(-1); }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return 2; }
};

TEST_CASE("message filter: answers")
{
    auto *f = new cad::TMessageFilter;
    f->AddRef();
    CHECK_EQ(f->HandleInComingCall(CALLTYPE_TOPLEVEL, nullptr, 0, nullptr), DWORD(SERVERCALL_ISHANDLED));
    // Busy: retry after a second, however long it has been; anything else: cancel.
    CHECK_EQ(f->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER), DWORD(1000));
    CHECK_EQ(f->RetryRejectedCall(nullptr, 3600000, SERVERCALL_RETRYLATER), DWORD(1000));
    CHECK_EQ(f->RetryRejectedCall(nullptr, 0, SERVERCALL_REJECTED), DWORD(-1));
    CHECK_EQ(f->MessagePending(nullptr, 0, PENDINGTYPE_TOPLEVEL), DWORD(PENDINGMSG_WAITNOPROCESS));
    void *asFilter = nullptr;
    CHECK(SUCCEEDED(f->QueryInterface(IID_IMessageFilter, &asFilter)) && asFilter == f);
    f->Release();
    f->Release();
}

TEST_CASE("message filter: registered over the previous one and revoked back to it")
{
    PreviousFilter previous;
    CHECK(SUCCEEDED(CoRegisterMessageFilter(&previous, nullptr)));
    CHECK_EQ(previous.refs, 2);
    const LONG liveBefore = cad::TMessageFilter::liveCount();

    auto *filter = new cad::TMessageFilter; // the program keeps a plain pointer
    CHECK(SUCCEEDED(filter->RegisterFilter()));
    CHECK(filter->FOldFilter == &previous);
    CHECK_EQ(previous.refs, 2); // the apartment's reference moved into FOldFilter

    // Ours is the current one: swapping in a probe hands it out.
    PreviousFilter probe;
    IMessageFilter *current = nullptr;
    CoRegisterMessageFilter(&probe, &current);
    CHECK(current == filter);
    CoRegisterMessageFilter(current, nullptr); // ours back, the probe released
    current->Release();
    CHECK_EQ(probe.refs, 1);

    CHECK(SUCCEEDED(filter->RevokeFilter()));
    CHECK_EQ(cad::TMessageFilter::liveCount(), liveBefore); // gone with the registration
    CoRegisterMessageFilter(&probe, &current);
    CHECK(current == &previous);
    if (current)
        current->Release();
    CoRegisterMessageFilter(nullptr, nullptr);
    CHECK_EQ(previous.refs, 1);
}
