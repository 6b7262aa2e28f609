#include "cad/win32/winwindows.h"

namespace cad::win32 {

HWND findWindowByTitle(const std::wstring &title)
{
    return FindWindowW(nullptr, title.c_str());
}

HWND findWindowByClass(const std::wstring &className)
{
    return FindWindowW(className.c_str(), nullptr);
}

bool isIconic(HWND w)
{
    return w && IsIconic(w);
}

void openIcon(HWND w)
{
    if (w)
        OpenIcon(w);
}

void setForegroundWindow(HWND w)
{
    if (w)
        SetForegroundWindow(w);
}

HWND foregroundWindow()
{
    return GetForegroundWindow();
}

void bringWindowToTop(HWND w)
{
    if (w)
        BringWindowToTop(w);
}

DWORD windowThreadId(HWND w)
{
    return w ? GetWindowThreadProcessId(w, nullptr) : 0;
}

void attachThreadInput(DWORD from, DWORD to, bool attach)
{
    if (from && to && from != to)
        AttachThreadInput(from, to, attach ? TRUE : FALSE);
}

void sendEscape()
{
    keybd_event(VK_ESCAPE, 0, 0, 0);
    keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
}

void sleepMs(int ms)
{
    if (ms > 0)
        Sleep(DWORD(ms));
}

bool setTopmost(HWND w, bool topmost)
{
    if (!w)
        return false;
    return SetWindowPos(w, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE) != FALSE;
}

bool drawMarkerOn(HDC dc, const MarkerShape &m)
{
    if (!dc)
        return false;
    HPEN pen = CreatePen(PS_SOLID, m.penWidth, m.colour);
    if (!pen)
        return false;
    HGDIOBJ oldPen = SelectObject(dc, pen);
    const int oldMode = m.xorPen ? SetROP2(dc, R2_XORPEN) : 0;
    MoveToEx(dc, m.tip.x, m.tip.y, nullptr);
    LineTo(dc, m.upper.x, m.upper.y);
    LineTo(dc, m.lower.x, m.lower.y);
    LineTo(dc, m.tip.x, m.tip.y);
    if (m.xorPen && oldMode)
        SetROP2(dc, oldMode);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    return true;
}

bool drawMarker(HWND w, const MarkerShape &marker)
{
    // GetDC(nullptr) would be the whole screen.
    if (!w || !IsWindow(w))
        return false;
    HDC dc = GetDC(w);
    if (!dc)
        return false;
    const bool ok = drawMarkerOn(dc, marker);
    ReleaseDC(w, dc);
    return ok;
}

// InstanceWindow

InstanceWindow::InstanceWindow(const std::wstring &className) : m_className(className)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = m_className.c_str();
    m_atom = RegisterClassW(&wc);
    // Not a message-only window: FindWindowW does not see those.
    m_window = CreateWindowExW(WS_EX_TOOLWINDOW, m_className.c_str(), L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               wc.hInstance, nullptr);
}

InstanceWindow::~InstanceWindow()
{
    if (m_window)
        DestroyWindow(m_window);
    if (m_atom)
        UnregisterClassW(m_className.c_str(), GetModuleHandleW(nullptr));
}

} // namespace cad::win32
