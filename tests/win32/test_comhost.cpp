// minicad's drawing served by the COM host in another Wine process, driven
// through the Windows core as the tool drives a CAD application. The drawing
// is comhost-drawing.json: TEXTs 2A, 2B on WIRE, 2C on the locked layer
// LOCKED, block reference 30 with attribute 31 (SENBAN), block reference 32
// without attributes.

#include "comhost_ids.h"
#include "harness.h"

#include "cad/win32/comfilter.h"
#include "protocol/win32/comdispatch.h"
#include "minicad/com/hostfilter.h"

#include <atomic>
#include <thread>

using namespace cad::win32;
using comhosttest::progId;

namespace {

std::wstring testingId()
{
    return progId() + L".Testing";
}

bool hostUp()
{
    static const bool up = [] {
        for (int i = 0; i < 600; ++i) {
            if (isRunning(progId()) && isRunning(testingId()))
                return true;
            Sleep(100);
        }
        return false;
    }();
    return up;
}

ObjectPtr testing()
{
    return attach(testingId());
}

ObjectPtr document()
{
    return attach(progId())->get(L"ActiveDocument").as<ObjectPtr>();
}

std::wstring text(const Value &v)
{
    return v.is<std::wstring>() ? v.as<std::wstring>() : L"<not a string>";
}

Value textFilterTypes() { return Value{std::vector<short>{0}}; }
Value textFilterData() { return Value{ValueArray{Value{L"TEXT"}}}; }

ObjectPtr addSet(const ObjectPtr &doc, const wchar_t *name)
{
    std::vector<Value> args{Value{name}};
    return doc->get(L"SelectionSets").as<ObjectPtr>()->invoke(L"Add", Invoke::Method, args, {true}).as<ObjectPtr>();
}

// SelectOnScreen filtered to TEXT, with the filters by reference as the tool passes them.
void pickTexts(const ObjectPtr &set, std::vector<Value> &filter)
{
    filter = {textFilterTypes(), textFilterData()};
    set->invoke(L"SelectOnScreen", Invoke::Method, filter, {true, true});
}

bool pickWaiting(const ObjectPtr &t)
{
    return t->get(L"PickWaiting").as<bool>();
}

bool waitUntilPickWaits(const ObjectPtr &t)
{
    for (int i = 0; i < 600; ++i) {
        if (pickWaiting(t))
            return true;
        Sleep(50);
    }
    return false;
}

DISPID idOf(IDispatch *d, const wchar_t *name, HRESULT *hr)
{
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR n = const_cast<LPOLESTR>(name);
    *hr = d->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

} // namespace

TEST_CASE("comhost: registered under its ProgID, one class per name")
{
    CHECK(hostUp());
    CLSID app{}, test{};
    CHECK(SUCCEEDED(CLSIDFromProgID(progId().c_str(), &app)));
    CHECK(SUCCEEDED(CLSIDFromProgID(testingId().c_str(), &test)));
    CHECK(!IsEqualCLSID(app, test));
    CHECK_EQ(app.Data3 >> 12, 5); // derived from the name (version 5)
    // The application's class is registered both ways, under HKLM.
    wchar_t clsid[64];
    StringFromGUID2(app, clsid, 64);
    wchar_t value[128] = {};
    LONG size = sizeof value;
    const std::wstring key = std::wstring(L"Software\\Classes\\CLSID\\") + clsid + L"\\ProgID";
    HKEY h = nullptr;
    CHECK_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h), ERROR_SUCCESS);
    if (h) {
        DWORD bytes = DWORD(size);
        CHECK_EQ(RegQueryValueExW(h, nullptr, nullptr, nullptr, reinterpret_cast<BYTE *>(value), &bytes), ERROR_SUCCESS);
        RegCloseKey(h);
    }
    CHECK(progId() == value);
}

TEST_CASE("comhost: names by any letter case, the document and its layers")
{
    ObjectPtr app = attach(progId());
    CHECK(text(app->get(L"Name")) == L"minicad");
    CHECK(text(app->get(L"NAME")) == L"minicad");
    HRESULT hr1 = E_FAIL, hr2 = E_FAIL, hr3 = S_OK;
    const DISPID a = idOf(app->get(), L"ActiveDocument", &hr1);
    const DISPID b = idOf(app->get(), L"aCTIVEdOCUMENT", &hr2);
    CHECK(SUCCEEDED(hr1) && SUCCEEDED(hr2) && a == b && a > 0);
    CHECK_EQ(idOf(app->get(), L"TextString", &hr3), DISPID_UNKNOWN); // the application has none
    CHECK_EQ(hr3, DISP_E_UNKNOWNNAME);

    ObjectPtr doc = app->get(L"ActiveDocument").as<ObjectPtr>();
    CHECK(text(doc->get(L"Name")) == L"comhost-drawing.json");
    ObjectPtr layers = doc->get(L"Layers").as<ObjectPtr>();
    CHECK_EQ(layers->get(L"Count").as<long long>(), 3LL);
    const wchar_t *names[] = {L"0", L"WIRE", L"LOCKED"};
    for (int i = 0; i < 3; ++i) {
        ObjectPtr layer = layers->call(L"Item", {Value{i}}).as<ObjectPtr>();
        CHECK(text(layer->get(L"Name")) == names[i]);
        CHECK_EQ(layer->get(L"Lock").as<bool>(), i == 2);
    }
    // The default member of a collection is Item: layers(2).
    VARIANT index, result;
    VariantInit(&result);
    index.vt = VT_I4;
    index.lVal = 2;
    DISPPARAMS params{&index, nullptr, 1, 0};
    CHECK_EQ(layers->get()->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                   &params, &result, nullptr, nullptr),
             S_OK);
    CHECK_EQ(result.vt, VT_DISPATCH);
    if (result.vt == VT_DISPATCH)
        CHECK(text(DispatchRef::share(result.pdispVal)->get(L"Name")) == L"LOCKED");
    VariantClear(&result);
}

TEST_CASE("comhost: SelectOnScreen answered by a queued pick, filtered to TEXT")
{
    ObjectPtr doc = document();
    testing()->call(L"QueuePick", {Value{ValueArray{Value{L"2A"}, Value{L"30"}, Value{L"2b"}}}});
    ObjectPtr set = addSet(doc, L"SSTEMP");
    std::vector<Value> filter;
    pickTexts(set, filter);
    CHECK_EQ(set->get(L"Count").as<long long>(), 2LL); // the block reference does not pass
    CHECK(text(set->call(L"Item", {Value{0}}).as<ObjectPtr>()->get(L"Handle")) == L"2A");
    CHECK(text(set->call(L"Item", {Value{1}}).as<ObjectPtr>()->get(L"Handle")) == L"2B");
    // The filters came as SAFEARRAYs and go back as they were.
    CHECK(filter[0].is<std::vector<short>>() && filter[0].as<std::vector<short>>() == std::vector<short>{0});
    CHECK(filter[1].is<ValueArray>() && text(filter[1].as<ValueArray>().at(0)) == L"TEXT");
    set->call(L"Delete");
    CHECK(!pickWaiting(testing()));
}

TEST_CASE("comhost: TextString read and written, undone and redone by the testing object")
{
    ObjectPtr doc = document();
    ObjectPtr t = testing();
    std::vector<Value> handle{Value{L"2A"}};
    ObjectPtr text2A = doc->invoke(L"HandleToObject", Invoke::Method, handle, {true}).as<ObjectPtr>();
    CHECK(text(text2A->get(L"TextString")) == L"配線A");
    text2A->put(L"textstring", Value{L"配線Ｂ 𠮷"});
    CHECK(text(text2A->get(L"TextString")) == L"配線Ｂ 𠮷");
    CHECK(text(t->call(L"Dump")).find(L"配線Ｂ 𠮷") != std::wstring::npos);
    CHECK(t->call(L"Undo").as<bool>());
    CHECK(text(text2A->get(L"TextString")) == L"配線A");
    CHECK(t->call(L"Redo").as<bool>());
    CHECK(text(text2A->get(L"TextString")) == L"配線Ｂ 𠮷");
    CHECK(t->call(L"Undo").as<bool>());
    // Points as SAFEARRAYs of doubles; attributes as an array of objects.
    CHECK(text2A->get(L"InsertionPoint").as<Point3>() == (Point3{10, 20, 0}));
    ObjectPtr insert = doc->call(L"HandleToObject", {Value{L"30"}}).as<ObjectPtr>();
    const Value attributes = insert->call(L"GetAttributes");
    CHECK(attributes.is<ValueArray>() && attributes.as<ValueArray>().size() == 1);
    if (attributes.is<ValueArray>() && attributes.as<ValueArray>().size() == 1) {
        ObjectPtr attribute = attributes.as<ValueArray>()[0].as<ObjectPtr>();
        CHECK(text(attribute->get(L"TagString")) == L"SENBAN");
        CHECK(text(attribute->get(L"TextString")) == L"101");
    }
}

TEST_CASE("comhost: failures carry the drawing's text through EXCEPINFO")
{
    ObjectPtr doc = document();
    CHECK_THROWS_COM(doc->call(L"HandleToObject", {Value{L"FFFF"}}), e, {
        CHECK(e.message() == L"Unknown handle");
        CHECK(e.kind() == ComError::Kind::Failed);
    });
    ObjectPtr fixed = doc->call(L"HandleToObject", {Value{L"2C"}}).as<ObjectPtr>();
    CHECK_THROWS_COM(fixed->put(L"TextString", Value{L"CHANGED"}), e, CHECK(e.message() == L"On locked layer"));
    CHECK(text(fixed->get(L"TextString")) == L"FIXED");
    // A block reference has no TextString: unknown by name, before any call.
    ObjectPtr insert = doc->call(L"HandleToObject", {Value{L"30"}}).as<ObjectPtr>();
    CHECK_THROWS_COM(insert->get(L"TextString"), e, {
        CHECK(e.code() == DISP_E_UNKNOWNNAME);
        CHECK(e.message().find(L"TextString") != std::wstring::npos);
    });
    CHECK_THROWS_COM(doc->call(L"Regen", {Value{L"x"}}), e, CHECK(e.message() == L"Type mismatch"));
    CHECK_THROWS_COM(testing()->call(L"Load", {Value{L"Z:\\no\\such\\drawing.json"}}), e,
                     CHECK(e.message().find(L"drawing.json") != std::wstring::npos));
    CHECK(text(testing()->call(L"Dump")).find(L"配線A") != std::wstring::npos); // nothing lost
}

TEST_CASE("comhost: busy while a pick waits, the testing object still served")
{
    ObjectPtr app = attach(progId());
    ObjectPtr t = testing();
    std::atomic<long long> picked{-1};
    std::wstring failure;
    std::thread picker([&] {
        ComApartment apartment;
        try {
            ObjectPtr set = addSet(document(), L"WAITING");
            std::vector<Value> filter;
            pickTexts(set, filter); // waits for the answer queued below
            picked = set->get(L"Count").as<long long>();
            set->call(L"Delete");
        } catch (const ComError &e) {
            failure = e.message();
        }
    });
    CHECK(waitUntilPickWaits(t));
    // Told at once (a call that waited would never end: the answer comes from
    // this thread); waiting and retrying is the client's filter's business.
    CHECK_THROWS_COM(app->get(L"Name"), e, {
        CHECK(e.kind() == ComError::Kind::Busy);
        CHECK(e.code() == RPC_E_SERVERCALL_RETRYLATER);
        CHECK(e.message().find(L"busy") != std::wstring::npos);
    });
    CHECK(pickWaiting(t));
    t->call(L"QueuePick", {Value{ValueArray{Value{L"2B"}, Value{L"2C"}}}});
    picker.join();
    CHECK(failure.empty());
    CHECK_EQ(picked.load(), 2LL);
    CHECK(!pickWaiting(t));
    CHECK(text(app->get(L"Name")) == L"minicad");

    // A cancelled pick ends the waiting call with the CAD's "*Cancel*".
    std::thread cancelled([&] {
        ComApartment apartment;
        try {
            ObjectPtr set = addSet(document(), L"CANCELLED");
            std::vector<Value> filter;
            pickTexts(set, filter);
        } catch (const ComError &e) {
            failure = e.message();
        }
    });
    CHECK(waitUntilPickWaits(t));
    t->call(L"QueueCancel");
    cancelled.join();
    CHECK(failure == L"*Cancel*");
    CHECK(!pickWaiting(t));
}

TEST_CASE("comhost: the host's busy answer is one the program's filter retries every second")
{
    // Wine's COM passes SERVERCALL_RETRYLATER on as handled, so the filter's
    // answer is checked here, with the retry the tool's filter makes of it.
    bool busy = true;
    IUnknown *served = reinterpret_cast<IUnknown *>(0x1000);
    auto *filter = new minicad::com::HostMessageFilter([&] { return busy; }, [&](IUnknown *u) { return u == served; });
    INTERFACEINFO call{reinterpret_cast<IUnknown *>(0x2000), IID_IDispatch, 6};
    CHECK_EQ(filter->HandleInComingCall(CALLTYPE_TOPLEVEL, nullptr, 0, &call), DWORD(SERVERCALL_RETRYLATER));
    INTERFACEINFO toTesting{served, IID_IDispatch, 6};
    CHECK_EQ(filter->HandleInComingCall(CALLTYPE_TOPLEVEL, nullptr, 0, &toTesting), DWORD(SERVERCALL_ISHANDLED));
    INTERFACEINFO release{reinterpret_cast<IUnknown *>(0x2000), IID_IUnknown, 2};
    CHECK_EQ(filter->HandleInComingCall(CALLTYPE_TOPLEVEL, nullptr, 0, &release), DWORD(SERVERCALL_ISHANDLED));
    busy = false;
    CHECK_EQ(filter->HandleInComingCall(CALLTYPE_TOPLEVEL, nullptr, 0, &call), DWORD(SERVERCALL_ISHANDLED));
    filter->Release();

    auto *client = new cad::TMessageFilter;
    client->AddRef();
    CHECK_EQ(client->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER), DWORD(1000));
    client->Release();
}

TEST_CASE("comhost: Save and Load; references do not outlive their drawing")
{
    ObjectPtr t = testing();
    const std::wstring before = text(t->call(L"Dump"));
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    const std::wstring file = std::wstring(dir) + L"comhost-saved.json";
    t->call(L"Save", {Value{file}});
    ObjectPtr doc = document();
    ObjectPtr text2B = doc->call(L"HandleToObject", {Value{L"2B"}}).as<ObjectPtr>();
    text2B->put(L"TextString", Value{L"CHANGED"});
    CHECK(text(t->call(L"Dump")) != before);
    CHECK_EQ(t->get(L"ObjectCount").as<long long>(), 2LL);
    t->call(L"Load", {Value{file}});
    CHECK(text(t->call(L"Dump")) == before);
    CHECK_EQ(t->get(L"ObjectCount").as<long long>(), 0LL);
    // The same handle lives in the new drawing; the old reference must not reach it.
    CHECK_THROWS_COM(text2B->put(L"TextString", Value{L"STALE"}), e, {
        CHECK(e.kind() == ComError::Kind::Failed);
        CHECK(e.message().find(L"no longer exists") != std::wstring::npos);
    });
    CHECK_THROWS_COM(doc->call(L"HandleToObject", {Value{L"2B"}}), e,
                     CHECK(e.message().find(L"no longer exists") != std::wstring::npos));
    CHECK(text(t->call(L"Dump")).find(L"STALE") == std::wstring::npos);
    CHECK(text(document()->call(L"HandleToObject", {Value{L"2B"}}).as<ObjectPtr>()->get(L"TextString")) == L"ｶﾞｲﾄﾞ");
    DeleteFileW(file.c_str());
}

TEST_CASE("comhost: every object a client lets go of is released")
{
    ObjectPtr t = testing();
    CHECK_EQ(t->get(L"ObjectCount").as<long long>(), 0LL);
    CHECK_EQ(t->get(L"ReferenceCount").as<long long>(), 0LL);
    {
        ObjectPtr doc = document();
        ObjectPtr layers = doc->get(L"Layers").as<ObjectPtr>();
        CHECK_EQ(t->get(L"ObjectCount").as<long long>(), 2LL);
        CHECK(t->get(L"ReferenceCount").as<long long>() >= 2);
        for (int i = 0; i < 10; ++i)
            layers->call(L"Item", {Value{i % 3}});
        CHECK_EQ(t->get(L"ObjectCount").as<long long>(), 2LL); // results nobody kept are gone at once
    }
    CHECK_EQ(t->get(L"ObjectCount").as<long long>(), 0LL);
    CHECK_THROWS_COM(t->call(L"ReferenceCount", {Value{L":1.42"}}), e,
                     CHECK(e.message().find(L"clients apart") != std::wstring::npos));
}
