// The VARIANT types of minicad's COM host, as a CAD's type library makes
// them: what it refuses ("Invalid argument") and the types of its answers,
// looked at raw, below the Windows core's conversion (which takes both
// forms). The drawing is comhost-drawing.json.

#include "comhost_ids.h"
#include "harness.h"

#include "protocol/win32/comdispatch.h"

#include <oleauto.h>

#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

using namespace cad::win32;
using comhosttest::progId;

namespace {

bool hostServes()
{
    for (int i = 0; i < 600; ++i) {
        if (isRunning(progId()))
            return true;
        Sleep(100);
    }
    return false;
}

// One raw call: its HRESULT, and the EXCEPINFO's code and text when it failed.
struct Raw {
    HRESULT hr = E_FAIL;
    HRESULT scode = S_OK;
    std::wstring text;
    VARIANT result;
    Raw() { VariantInit(&result); }
    ~Raw() { VariantClear(&result); }
    Raw(const Raw &) = delete;
    Raw &operator=(const Raw &) = delete;
    bool refusedAsInvalid() const { return hr == DISP_E_EXCEPTION && scode == E_INVALIDARG && text == L"Invalid argument"; }
};

// Calls a member with the arguments first to last; takes the arguments over
// and clears them.
void call(Raw &out, const ObjectPtr &object, const wchar_t *member, WORD flags, std::initializer_list<VARIANT> args)
{
    std::vector<VARIANT> rgvarg(args.begin(), args.end());
    std::reverse(rgvarg.begin(), rgvarg.end());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{rgvarg.data(), nullptr, UINT(rgvarg.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
    EXCEPINFO info{};
    out.hr = object->get()->Invoke(object->dispId(member), IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                   flags == DISPATCH_PROPERTYPUT ? nullptr : &out.result, &info, nullptr);
    if (out.hr == DISP_E_EXCEPTION) {
        out.scode = info.scode;
        if (info.bstrDescription)
            out.text.assign(info.bstrDescription, SysStringLen(info.bstrDescription));
    }
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    for (VARIANT &v : rgvarg)
        VariantClear(&v);
}

VARIANT doubles(std::initializer_list<double> values, LONG lower = 0)
{
    SAFEARRAYBOUND bound{ULONG(values.size()), lower};
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_R8;
    v.parray = SafeArrayCreate(VT_R8, 1, &bound);
    LONG i = lower;
    for (double d : values) {
        SafeArrayPutElement(v.parray, &i, &d);
        ++i;
    }
    return v;
}

VARIANT number(LONG n)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = n;
    return v;
}

VARIANT string(const wchar_t *s)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(s);
    return v;
}

VARIANT empty()
{
    VARIANT v;
    VariantInit(&v);
    return v;
}

// A VT_ARRAY|VT_VARIANT holding the values, which it takes over.
VARIANT variants(std::initializer_list<VARIANT> values)
{
    SAFEARRAYBOUND bound{ULONG(values.size()), 0};
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_VARIANT;
    v.parray = SafeArrayCreate(VT_VARIANT, 1, &bound);
    LONG i = 0;
    for (VARIANT e : values) {
        SafeArrayPutElement(v.parray, &i, &e);
        VariantClear(&e);
        ++i;
    }
    return v;
}

VARIANT integers(VARTYPE type, std::initializer_list<LONG> values)
{
    SAFEARRAYBOUND bound{ULONG(values.size()), 0};
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | type;
    v.parray = SafeArrayCreate(type, 1, &bound);
    LONG i = 0;
    for (LONG n : values) {
        SHORT s = SHORT(n);
        SafeArrayPutElement(v.parray, &i, type == VT_I2 ? static_cast<void *>(&s) : static_cast<void *>(&n));
        ++i;
    }
    return v;
}

// The bounds of a one-dimensional answer, {1, 0} when it is not one.
std::pair<LONG, LONG> bounds(const VARIANT &v)
{
    LONG lower = 1, upper = 0;
    if ((v.vt & VT_ARRAY) && v.parray && SafeArrayGetDim(v.parray) == 1) {
        SafeArrayGetLBound(v.parray, 1, &lower);
        SafeArrayGetUBound(v.parray, 1, &upper);
    }
    return {lower, upper};
}

long long objectsHeld()
{
    return attach(progId() + L".Testing")->get(L"ObjectCount").as<long long>();
}

ObjectPtr entity(const ObjectPtr &doc, const wchar_t *handle)
{
    return doc->call(L"HandleToObject", {Value{handle}}).as<ObjectPtr>();
}

} // namespace

TEST_CASE("comtypes: a point is three doubles indexed from 0, or it is an invalid argument")
{
    CHECK(hostServes());
    CHECK_EQ(objectsHeld(), 0LL);
    ObjectPtr app = attach(progId());
    ObjectPtr doc = app->get(L"ActiveDocument").as<ObjectPtr>();
    ObjectPtr text2B = entity(doc, L"2B");
    const Point3 original = text2B->get(L"InsertionPoint").as<Point3>();

    const auto refused = [&](VARIANT point) {
        Raw r;
        call(r, text2B, L"InsertionPoint", DISPATCH_PROPERTYPUT, {point});
        return r.refusedAsInvalid();
    };
    CHECK(refused(doubles({1, 2})));
    CHECK(refused(doubles({1, 2, 0, 0})));
    CHECK(refused(doubles({1, 2, 0}, 1)));
    CHECK(refused(string(L"1,2,0")));
    CHECK(refused(variants({number(1), string(L"2"), number(0)})));
    CHECK(refused(integers(VT_I4, {1, 2, 0})));
    CHECK(text2B->get(L"InsertionPoint").as<Point3>() == original);

    // Three numbers in variants are a point too, and so is a point by reference.
    {
        Raw r;
        call(r, text2B, L"InsertionPoint", DISPATCH_PROPERTYPUT, {variants({number(1), doubles({}), number(0)})});
        CHECK(r.refusedAsInvalid()); // an array is not a number
    }
    {
        Raw r;
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_R8;
        v.dblVal = 2.5;
        call(r, text2B, L"InsertionPoint", DISPATCH_PROPERTYPUT, {variants({number(1), v, number(0)})});
        CHECK_EQ(r.hr, S_OK);
        CHECK(text2B->get(L"InsertionPoint").as<Point3>() == (Point3{1, 2.5, 0}));
    }
    {
        VARIANT point = doubles({original.x, original.y, original.z});
        VARIANT byRef;
        byRef.vt = VT_BYREF | VT_ARRAY | VT_R8;
        byRef.pparray = &point.parray;
        Raw r;
        std::vector<VARIANT> rgvarg{byRef};
        DISPID put = DISPID_PROPERTYPUT;
        DISPPARAMS params{rgvarg.data(), &put, 1, 1};
        r.hr = text2B->get()->Invoke(text2B->dispId(L"InsertionPoint"), IID_NULL, LOCALE_USER_DEFAULT,
                                     DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
        CHECK_EQ(r.hr, S_OK);
        VariantClear(&point);
        CHECK(text2B->get(L"InsertionPoint").as<Point3>() == original);
    }

    // The view's center and the corners of a window selection alike.
    {
        Raw r;
        call(r, app, L"ZoomCenter", DISPATCH_METHOD, {doubles({1, 2}), number(10)});
        CHECK(r.refusedAsInvalid());
    }
    ObjectPtr set = doc->get(L"SelectionSets").as<ObjectPtr>()->call(L"Add", {Value{L"TYPES"}}).as<ObjectPtr>();
    {
        Raw r;
        call(r, set, L"Select", DISPATCH_METHOD, {number(0), doubles({-100, -100, 0}, 1), doubles({100, 100, 0})});
        CHECK(r.refusedAsInvalid());
    }
    {
        Raw r;
        call(r, set, L"Select", DISPATCH_METHOD, {number(0), doubles({-100, -100, 0}), doubles({100, 100, 0})});
        CHECK_EQ(r.hr, S_OK);
        CHECK(set->get(L"Count").as<long long>() > 0);
    }
    set->call(L"Delete");
}

TEST_CASE("comtypes: filter types are shorts and filter data variants")
{
    CHECK_EQ(objectsHeld(), 0LL); // the calls refused above held nothing
    ObjectPtr doc = attach(progId())->get(L"ActiveDocument").as<ObjectPtr>();
    ObjectPtr set = doc->get(L"SelectionSets").as<ObjectPtr>()->call(L"Add", {Value{L"FILTERS"}}).as<ObjectPtr>();
    const auto selectAll = [&](Raw &r, VARIANT types, VARIANT data) {
        call(r, set, L"Select", DISPATCH_METHOD, {number(5), empty(), empty(), types, data});
    };
    {
        Raw r;
        selectAll(r, integers(VT_I4, {0}), variants({string(L"TEXT")}));
        CHECK(r.refusedAsInvalid());
    }
    {
        Raw r;
        selectAll(r, integers(VT_I2, {0}), string(L"TEXT"));
        CHECK(r.refusedAsInvalid());
    }
    {
        Raw r;
        selectAll(r, variants({number(0)}), variants({string(L"TEXT")}));
        CHECK(r.refusedAsInvalid());
    }
    {
        Raw r;
        selectAll(r, integers(VT_I2, {0}), variants({string(L"TEXT")}));
        CHECK_EQ(r.hr, S_OK);
        CHECK_EQ(set->get(L"Count").as<long long>(), 3LL);
    }
    set->call(L"Delete");
}

TEST_CASE("comtypes: answers in the types of the CAD's type library")
{
    CHECK_EQ(objectsHeld(), 0LL);
    ObjectPtr app = attach(progId());
    ObjectPtr doc = app->get(L"ActiveDocument").as<ObjectPtr>();
    {
        Raw r;
        call(r, entity(doc, L"2A"), L"InsertionPoint", DISPATCH_PROPERTYGET, {});
        CHECK_EQ(r.result.vt, VT_ARRAY | VT_R8);
        CHECK(bounds(r.result) == std::make_pair(0L, 2L));
    }
    {
        Raw r;
        call(r, doc, L"GetVariable", DISPATCH_METHOD, {string(L"SCREENSIZE")});
        CHECK_EQ(r.result.vt, VT_ARRAY | VT_R8);
        CHECK(bounds(r.result) == std::make_pair(0L, 1L));
    }
    {
        Raw r;
        call(r, doc, L"GetVariable", DISPATCH_METHOD, {string(L"VIEWCTR")});
        CHECK_EQ(r.result.vt, VT_ARRAY | VT_R8);
        CHECK(bounds(r.result) == std::make_pair(0L, 2L));
    }
    {
        Raw r;
        call(r, entity(doc, L"30"), L"GetAttributes", DISPATCH_METHOD, {});
        // Wine keeps every object of an array of interfaces it marshals: the
        // host puts them in variants there.
        const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
        CHECK_EQ(r.result.vt, VT_ARRAY | (wine ? VT_VARIANT : VT_DISPATCH));
        CHECK(bounds(r.result) == std::make_pair(0L, 0L));
    }
    {
        Raw r; // a block reference without attributes: an empty array, not nothing
        call(r, entity(doc, L"32"), L"GetAttributes", DISPATCH_METHOD, {});
        CHECK_EQ(r.hr, S_OK);
        CHECK_EQ(r.result.vt, VT_ARRAY | VT_DISPATCH);
        CHECK(bounds(r.result) == std::make_pair(0L, -1L));
    }
    for (const ObjectPtr &window : {app, doc}) {
        Raw r;
        call(r, window, L"HWND", DISPATCH_PROPERTYGET, {});
        CHECK_EQ(r.result.vt, sizeof(LONG_PTR) == 8 ? VT_I8 : VT_I4);
    }
    {
        Raw r;
        ObjectPtr layer = doc->get(L"Layers").as<ObjectPtr>()->call(L"Item", {Value{2}}).as<ObjectPtr>();
        call(r, layer, L"Lock", DISPATCH_PROPERTYGET, {});
        CHECK_EQ(r.result.vt, VT_BOOL);
        CHECK_EQ(r.result.boolVal, VARIANT_TRUE);
    }
}

TEST_CASE("comtypes: the objects in typed answers are let go of with them")
{
    CHECK_EQ(objectsHeld(), 0LL);
}
