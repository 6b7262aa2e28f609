// Window operations, the topmost swap, the main window's class and the marker.

#include "harness.h"

#include "cad/win32/winwindows.h"

#include <utility>
#include <vector>

using namespace cad::win32;

namespace {

// A top-level window of our own, destroyed at the end of the test.
struct TestWindow {
    HWND hwnd = nullptr;
    explicit TestWindow(const wchar_t *title, DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE)
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"LumoTestWindow";
        RegisterClassW(&wc); // fails harmlessly the second time
        hwnd = CreateWindowExW(0, wc.lpszClassName, title, style, 10, 10, 200, 150, nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~TestWindow()
    {
        if (hwnd)
            DestroyWindow(hwnd);
    }
};

// A 100 x 60 white 32-bit DIB selected into a memory DC.
struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    DWORD *pixels = nullptr;
    static constexpr int W = 100, H = 60;
    Canvas()
    {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = W;
        bi.bmiHeader.biHeight = -H; // top-down
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, reinterpret_cast<void **>(&pixels), nullptr, 0);
        old = SelectObject(dc, bitmap);
        for (int i = 0; i < W * H; ++i)
            pixels[i] = 0x00FFFFFF;
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    // As COLORREF (0x00BBGGRR); the DIB stores 0x00RRGGBB.
    COLORREF at(int x, int y) const
    {
        GdiFlush();
        const DWORD p = pixels[y * W + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
};

MarkerShape shapeFor(int width, int height)
{
    // Tip at the centre, the other corners 0.05 of the width to the left.
    const int cx = width / 2, cy = height / 2;
    const double e = width * 0.05;
    MarkerShape m;
    m.tip = {cx, cy};
    m.upper = {cx - int(e), cy - int(e * 0.5)};
    m.lower = {cx - int(e), cy + int(e * 0.5)};
    return m;
}

} // namespace

TEST_CASE("windows: found by their whole title, letter case ignored")
{
    TestWindow w(L"nanoCAD 5");
    CHECK(w.hwnd != nullptr);
    CHECK(findWindowByTitle(L"nanoCAD 5") == w.hwnd);
    CHECK(findWindowByTitle(L"NANOCAD 5") == w.hwnd);
    CHECK(findWindowByTitle(L"nanoCAD") == nullptr);
    CHECK(findWindowByTitle(L"nanoCAD 5 x") == nullptr);
}

TEST_CASE("windows: a minimised window is restored")
{
    TestWindow w(L"LumoTest iconic");
    ShowWindow(w.hwnd, SW_MINIMIZE);
    CHECK(isIconic(w.hwnd));
    openIcon(w.hwnd);
    CHECK(!isIconic(w.hwnd));
    CHECK(!isIconic(nullptr));
}

TEST_CASE("windows: topmost swap with SetWindowPos, neither moved nor sized")
{
    TestWindow main(L"LumoTest main"), dialog(L"LumoTest dialog");
    RECT before{};
    GetWindowRect(main.hwnd, &before);
    auto topmost = [](HWND w) { return (GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
    CHECK(setTopmost(main.hwnd, true));
    CHECK(topmost(main.hwnd));
    // What the "CAD" button does around its dialog.
    CHECK(setTopmost(main.hwnd, false));
    CHECK(setTopmost(dialog.hwnd, true));
    CHECK(!topmost(main.hwnd) && topmost(dialog.hwnd));
    CHECK(setTopmost(dialog.hwnd, false));
    CHECK(setTopmost(main.hwnd, true));
    CHECK(topmost(main.hwnd) && !topmost(dialog.hwnd));
    RECT after{};
    GetWindowRect(main.hwnd, &after);
    CHECK(EqualRect(&before, &after));
    CHECK(!setTopmost(nullptr, true));
}

TEST_CASE("windows: threads, foreground and input attachment")
{
    TestWindow w(L"LumoTest front");
    CHECK_EQ(windowThreadId(w.hwnd), GetCurrentThreadId());
    CHECK_EQ(windowThreadId(nullptr), DWORD(0));
    setForegroundWindow(w.hwnd);
    bringWindowToTop(w.hwnd);
    CHECK(foregroundWindow() == w.hwnd);
    attachThreadInput(GetCurrentThreadId(), GetCurrentThreadId(), true); // same thread: nothing to do
    sendEscape();
    // The key reaches the foreground window's queue, down then up.
    MSG msg;
    int downs = 0, ups = 0;
    const ULONGLONG until = GetTickCount64() + 500;
    while (GetTickCount64() < until && ups == 0) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE)
                ++downs;
            if (msg.message == WM_KEYUP && msg.wParam == VK_ESCAPE)
                ++ups;
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
    CHECK_EQ(downs, 1);
    CHECK_EQ(ups, 1);
}

namespace {

// The window procedure of a stand-in for Qt's window class: notes each
// window's creation with the parameter it was given.
std::vector<std::pair<HWND, void *>> g_created;
LRESULT CALLBACK notingProc(HWND h, UINT msg, WPARAM w, LPARAM l)
{
    if (msg == WM_CREATE)
        g_created.emplace_back(h, reinterpret_cast<CREATESTRUCTW *>(l)->lpCreateParams);
    return DefWindowProcW(h, msg, w, l);
}

std::wstring classOf(HWND h)
{
    wchar_t name[256] = {};
    GetClassNameW(h, name, 256);
    return name;
}

// Out of line, as Qt's window creation is: within one function the compiler
// may load the import slot once and keep it across the override's start.
__declspec(noinline) HWND createStandIn(DWORD style, HWND parent, void *param)
{
    return CreateWindowExW(0, L"QtStandInQWindowIcon", L"LumoEdit", style, 0, 0, 100, 80, parent, nullptr,
                           GetModuleHandleW(nullptr), param);
}

} // namespace

TEST_CASE("windows: the main window gets the class a second start looks for")
{
    const HINSTANCE inst = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = notingProc;
    wc.hInstance = inst;
    wc.lpszClassName = L"QtStandInQWindowIcon";
    CHECK(RegisterClassW(&wc) != 0);
    auto create = createStandIn;
    CHECK(findWindowByClass(L"TLumoMainForm") == nullptr);
    int marker = 0;
    HWND child = nullptr, main = nullptr, next = nullptr;
    g_created.clear();
    {
        HWND owner = create(WS_OVERLAPPED, nullptr, nullptr);
        WindowClassOverride rename(L"TLumoMainForm");
        CHECK(rename.hooked());
        CHECK(rename.window() == nullptr);
        child = create(WS_CHILD, owner, nullptr); // a child is never the main window
        main = create(WS_OVERLAPPEDWINDOW, nullptr, &marker);
        next = create(WS_OVERLAPPEDWINDOW, nullptr, nullptr);
        CHECK(rename.window() == main);
        DestroyWindow(owner);
    }
    CHECK(main != nullptr);
    CHECK(classOf(main) == L"TLumoMainForm");
    CHECK(findWindowByClass(L"TLumoMainForm") == main);
    // The stand-in's window procedure still creates the window, with its parameter.
    bool sawMain = false;
    for (const auto &[h, param] : g_created)
        sawMain = sawMain || (h == main && param == &marker);
    CHECK(sawMain);
    // Only the first top-level window is renamed.
    CHECK(child == nullptr || classOf(child) != L"TLumoMainForm");
    CHECK(classOf(next) == L"QtStandInQWindowIcon");
    // Once the override is gone, nothing is renamed any more.
    {
        HWND after = create(WS_OVERLAPPEDWINDOW, nullptr, nullptr);
        CHECK(classOf(after) == L"QtStandInQWindowIcon");
        DestroyWindow(after);
    }
    DestroyWindow(next);
    DestroyWindow(main);
    CHECK(findWindowByClass(L"TLumoMainForm") == nullptr);
}

TEST_CASE("marker: a triangle with its tip on the centre, opening to the left")
{
    Canvas c;
    const MarkerShape m = shapeFor(Canvas::W, Canvas::H); // tip (50,30), corners (45,28) and (45,32)
    CHECK(m.upper.x == 45 && m.upper.y == 28 && m.lower.y == 32);
    CHECK(drawMarkerOn(c.dc, m));
    const COLORREF red = RGB(255, 100, 100);
    CHECK_EQ(c.at(50, 30), red);
    CHECK_EQ(c.at(45, 30), red); // the back edge
    CHECK_EQ(c.at(47, 29), red); // the upper edge, with a 3-pixel pen
    CHECK_EQ(c.at(60, 30), RGB(255, 255, 255)); // nothing to the right of the tip
    CHECK_EQ(c.at(30, 30), RGB(255, 255, 255));
    // The DC keeps its own pen and mix mode.
    CHECK_EQ(GetROP2(c.dc), R2_COPYPEN);
}

TEST_CASE("marker: XOR mode draws and takes away again")
{
    Canvas c;
    MarkerShape m = shapeFor(Canvas::W, Canvas::H);
    m.xorPen = true;
    CHECK(drawMarkerOn(c.dc, m));
    CHECK_EQ(c.at(45, 30), RGB(0, 155, 155)); // red-ish XOR white
    CHECK(drawMarkerOn(c.dc, m));
    CHECK_EQ(c.at(45, 30), RGB(255, 255, 255));
    CHECK_EQ(GetROP2(c.dc), R2_COPYPEN);
}

TEST_CASE("marker: onto a window, never onto the screen")
{
    TestWindow w(L"LumoTest drawing");
    CHECK(drawMarker(w.hwnd, shapeFor(200, 100)));
    CHECK(!drawMarker(nullptr, shapeFor(200, 100)));
    HWND gone = TestWindow(L"LumoTest gone").hwnd;
    CHECK(!drawMarker(gone, shapeFor(200, 100)));
}
