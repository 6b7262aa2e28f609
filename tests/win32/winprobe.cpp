// Win32 probe for the Wine test of lumoedit.exe (run-wine-app.sh):
//   probe.exe inspect OUT.txt   facts about every visible titled top-level
//                               window, and FindWindowW("TLumoMainForm"), UTF-8
//   probe.exe close PREFIX      WM_CLOSE to the visible windows whose title
//                               begins with PREFIX
//   probe.exe holdclass SECONDS a hidden top-level window of class TLumoMainForm
#include <windows.h>
#include <cstdio>
#include <string>
static std::string u8(const wchar_t *w)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
    return s;
}
static FILE *out;
static void describe(HWND h)
{
    wchar_t title[512] = {}, cls[256] = {};
    GetWindowTextW(h, title, 512);
    GetClassNameW(h, cls, 256);
    RECT wr{}, cr{};
    GetWindowRect(h, &wr);
    GetClientRect(h, &cr);
    POINT org{0, 0};
    ClientToScreen(h, &org);
    LONG st = GetWindowLongW(h, GWL_STYLE), ex = GetWindowLongW(h, GWL_EXSTYLE);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    fprintf(out, "hwnd=%p pid=%lu visible=%d class=\"%s\" title=\"%s\"\n", (void *)h, pid, IsWindowVisible(h) ? 1 : 0,
            u8(cls).c_str(), u8(title).c_str());
    fprintf(out, "  window=%ld,%ld %ldx%ld client=%ldx%ld at %ld,%ld\n", wr.left, wr.top, wr.right - wr.left,
            wr.bottom - wr.top, cr.right, cr.bottom, org.x, org.y);
    fprintf(out, "  topmost=%d sysmenu=%d minimizebox=%d maximizebox=%d thickframe=%d owner=%p\n", (ex & WS_EX_TOPMOST) ? 1 : 0,
            (st & WS_SYSMENU) ? 1 : 0, (st & WS_MINIMIZEBOX) ? 1 : 0, (st & WS_MAXIMIZEBOX) ? 1 : 0,
            (st & WS_THICKFRAME) ? 1 : 0, (void *)GetWindow(h, GW_OWNER));
}
static BOOL CALLBACK each(HWND h, LPARAM)
{
    wchar_t title[512] = {};
    GetWindowTextW(h, title, 512);
    if (IsWindowVisible(h) && title[0]) describe(h);
    return TRUE;
}
int wmain(int argc, wchar_t **argv)
{
    if (argc >= 3 && std::wstring(argv[1]) == L"inspect") {
        out = _wfopen(argv[2], L"w");
        fprintf(out, "screen=%dx%d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
        HWND c = FindWindowW(L"TLumoMainForm", nullptr);
        fprintf(out, "FindWindowW(\"TLumoMainForm\", NULL) = %p\n", (void *)c);
        if (c) describe(c);
        fprintf(out, "visible titled top-level windows:\n");
        EnumWindows(each, 0);
        fclose(out);
        return 0;
    }
    if (argc >= 3 && std::wstring(argv[1]) == L"close") {
        // WM_CLOSE to every visible top-level window whose title begins with argv[2].
        static std::wstring prefix;
        prefix = argv[2];
        EnumWindows([](HWND h, LPARAM) -> BOOL {
            wchar_t title[512] = {};
            GetWindowTextW(h, title, 512);
            if (IsWindowVisible(h) && std::wstring(title).rfind(prefix, 0) == 0) PostMessageW(h, WM_CLOSE, 0, 0);
            return TRUE;
        }, 0);
        return 0;
    }
    if (argc >= 3 && std::wstring(argv[1]) == L"holdclass") {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TLumoMainForm";
        RegisterClassW(&wc);
        HWND h = CreateWindowExW(0, L"TLumoMainForm", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
        printf("holding %p\n", (void *)h);
        fflush(stdout);
        DWORD end = GetTickCount() + DWORD(_wtoi(argv[2])) * 1000;
        while (GetTickCount() < end) {
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
            Sleep(50);
        }
        return 0;
    }
    return 2;
}
