// The backend against the automation server in its own process, driven as
// the tabs drive a CAD application.

#include "harness.h"
#include "serverids.h"

#include "protocol/win32/comdispatch.h"

using namespace cad::win32;
using lumotest::kIdleProgId;
using lumotest::kProgId;

namespace {

// The server is started by the runner beside us; give it time to register.
bool serverUp()
{
    static const bool up = [] {
        for (int i = 0; i < 300; ++i) {
            if (isRunning(kProgId))
                return true;
            Sleep(100);
        }
        return false;
    }();
    return up;
}

long long objectCount(const ObjectPtr &app)
{
    return app->get(L"ObjectCount").as<long long>();
}

Value filterTypes() { return Value{std::vector<short>{0}}; }
Value filterData() { return Value{ValueArray{Value{L"TEXT"}}}; }

} // namespace

TEST_CASE("com: the running check")
{
    CHECK(serverUp());
    CHECK(isRunning(kProgId));
    CHECK(!isRunning(kIdleProgId));           // registered, not running
    CHECK(!isRunning(L"LumoTest.NoSuchProgId")); // no class identifier
    CHECK(!isRunning(L""));
}

TEST_CASE("com: attach, or say why not")
{
    ObjectPtr app = attach(kProgId);
    CHECK(app && app->get());
    CHECK_THROWS_COM(attach(kIdleProgId), e, {
        CHECK(e.kind() == ComError::Kind::Gone);
        CHECK(e.message().find(kIdleProgId) != std::wstring::npos);
    });
    CHECK_THROWS_COM(attach(L"LumoTest.NoSuchProgId"), e, {
        CHECK(e.kind() == ComError::Kind::Failed);
        CHECK(e.message().find(L"no class identifier") != std::wstring::npos);
    });
}

TEST_CASE("com: property get and put across processes")
{
    ObjectPtr app = attach(kProgId);
    CHECK_EQ(app->get(L"hwnd").as<long long>(), lumotest::kServerHwnd); // VT_I8, any letter case
    ObjectPtr doc = app->get(L"ActiveDocument").as<ObjectPtr>();
    ObjectPtr text = doc->call(L"HandleToObject", {Value{L"2A"}}).as<ObjectPtr>();
    CHECK(text->get(L"TextString").as<std::wstring>() == L"配線A");
    CHECK(text->get(L"EntityName").as<std::wstring>() == L"AcDbText");
    text->put(L"TextString", Value{L"配線Ｂ 𠮷"});
    CHECK(text->get(L"TextString").as<std::wstring>() == L"配線Ｂ 𠮷");
    // Undo marks bracket a write-back.
    doc->call(L"StartUndoMark");
    text->put(L"TextString", Value{L"配線A"});
    doc->call(L"EndUndoMark");
    CHECK(doc->get(L"UndoMarks").as<std::wstring>() == L"[]");
}

TEST_CASE("com: SelectOnScreen with SAFEARRAY filters passed by reference")
{
    ObjectPtr app = attach(kProgId);
    ObjectPtr doc = app->get(L"ActiveDocument").as<ObjectPtr>();
    ObjectPtr sets = doc->get(L"SelectionSets").as<ObjectPtr>();
    std::vector<Value> name{Value{L"SSTEMP"}};
    ObjectPtr set = sets->invoke(L"Add", Invoke::Method, name, {true}).as<ObjectPtr>();
    CHECK(set->get(L"Name").as<std::wstring>() == L"SSTEMP");
    std::vector<Value> filter{filterTypes(), filterData()};
    set->invoke(L"SelectOnScreen", Invoke::Method, filter, {true, true});
    // Each came as VT_BYREF|VT_VARIANT holding VT_ARRAY|VT_I2 and VT_ARRAY|VT_VARIANT.
    CHECK(set->get(L"ArgTypes").as<std::wstring>() == L"400C/2002,400C/200C");
    CHECK_EQ(set->get(L"Count").as<long long>(), 2LL); // the LINE is filtered out
    CHECK(set->call(L"Item", {Value{1}}).as<ObjectPtr>()->get(L"Handle").as<std::wstring>() == L"2C");
    // Filter arguments come back unchanged.
    CHECK(filter[0].is<std::vector<short>>() && filter[0].as<std::vector<short>>() == std::vector<short>{0});
    CHECK(filter[1].is<ValueArray>() && filter[1].as<ValueArray>()[0].as<std::wstring>() == L"TEXT");
    set->call(L"Clear");
    set->call(L"Delete");

    // Wrong types fail with the server's text.
    std::vector<Value> wrong{Value{0}, Value{L"TEXT"}};
    CHECK_THROWS_COM(set->invoke(L"SelectOnScreen", Invoke::Method, wrong, {true, true}), e,
                     CHECK(e.message().find(L"16-bit") != std::wstring::npos));
}

TEST_CASE("com: a by-reference argument comes back as the server left it")
{
    ObjectPtr app = attach(kProgId);
    std::vector<Value> n{Value{41}};
    app->invoke(L"Increment", Invoke::Method, n, {true});
    CHECK_EQ(n[0].as<long long>(), 42LL);
    std::vector<Value> byValue{Value{41}};
    CHECK_THROWS_COM(app->invoke(L"Increment", Invoke::Method, byValue), e, CHECK(!e.message().empty()));
    CHECK_EQ(byValue[0].as<long long>(), 41LL);
}

TEST_CASE("com: a point read and written")
{
    ObjectPtr app = attach(kProgId);
    ObjectPtr doc = app->get(L"ActiveDocument").as<ObjectPtr>();
    ObjectPtr text = doc->call(L"HandleToObject", {Value{L"2C"}}).as<ObjectPtr>();
    CHECK(text->get(L"InsertionPoint").as<Point3>() == (Point3{10, 15, 0}));
    text->put(L"InsertionPoint", Value{Point3{-1.25, 1e6, 3}});
    CHECK(text->get(L"InsertionPoint").as<Point3>() == (Point3{-1.25, 1e6, 3}));
    // Another handle on the same entity sees it.
    ObjectPtr again = doc->call(L"HandleToObject", {Value{L"2c"}}).as<ObjectPtr>();
    CHECK(again->get(L"InsertionPoint").as<Point3>() == (Point3{-1.25, 1e6, 3}));
    text->put(L"InsertionPoint", Value{Point3{10, 15, 0}});
    CHECK_THROWS_COM(text->put(L"InsertionPoint", Value{L"10,15"}), e,
                     CHECK(e.message().find(L"three doubles") != std::wstring::npos));
}

TEST_CASE("com: an object reference is released exactly once")
{
    ObjectPtr app = attach(kProgId);
    const long long base = objectCount(app);
    {
        ObjectPtr doc = app->get(L"ActiveDocument").as<ObjectPtr>();
        CHECK_EQ(objectCount(app), base + 1);
        ObjectPtr copy = doc; // copies share the one reference
        doc.reset();
        CHECK(copy->get(L"HWND").as<long long>() == lumotest::kServerHwnd + 1); // still alive
        CHECK_EQ(objectCount(app), base + 1);
        // An object inside a variant array comes and goes with the array.
        Value inArray{ValueArray{Value{copy}}};
        CHECK_EQ(objectCount(app), base + 1);
    }
    CHECK_EQ(objectCount(app), base); // released when the last holder went
    {
        ObjectPtr doc = app->get(L"ActiveDocument").as<ObjectPtr>();
        for (int i = 0; i < 20; ++i)
            doc->call(L"HandleToObject", {Value{L"2A"}});
        CHECK_EQ(objectCount(app), base + 1); // results nobody kept are gone at once
    }
    CHECK_EQ(objectCount(app), base);
}

TEST_CASE("com: an error carries its EXCEPINFO text")
{
    ObjectPtr app = attach(kProgId);
    ObjectPtr doc = app->get(L"ActiveDocument").as<ObjectPtr>();
    CHECK_THROWS_COM(doc->call(L"HandleToObject", {Value{L"FFFF"}}), e, {
        CHECK(e.message() == L"ハンドルが無効です: FFFF");
        CHECK(e.kind() == ComError::Kind::Failed);
        CHECK(std::string(e.what()) == "ハンドルが無効です: FFFF");
    });
    CHECK_THROWS_COM(doc->get(L"NoSuchProperty"), e, CHECK(e.message().find(L"NoSuchProperty") != std::wstring::npos));
}

TEST_CASE("com: a rejected call fails at once, and the next one goes through")
{
    ObjectPtr app = attach(kProgId);
    app->call(L"RejectNextCall");
    const ULONGLONG start = GetTickCount64();
    CHECK_THROWS_COM(app->get(L"ActiveDocument"), e, {
        CHECK(e.kind() == ComError::Kind::Rejected);
        CHECK(e.code() == RPC_E_CALL_REJECTED);
    });
    CHECK(GetTickCount64() - start < 900); // no one-second retry for a refusal
    CHECK(app->get(L"ActiveDocument").is<ObjectPtr>());
}

TEST_CASE("com: after the server quits it counts as not running")
{
    {
        ObjectPtr app = attach(kProgId);
        app->call(L"Quit");
    }
    bool stopped = false;
    for (int i = 0; i < 50 && !stopped; ++i) {
        stopped = !isRunning(kProgId);
        if (!stopped)
            Sleep(100);
    }
    CHECK(stopped);
    CHECK_THROWS_COM(attach(kProgId), e, CHECK(e.kind() == ComError::Kind::Gone));
}
