#include "cad/win32/win32windowops.h"

#include "cad/win32/winwindows.h"

namespace cad {

namespace {
HWND hwndOf(WindowHandle w)
{
    return reinterpret_cast<HWND>(w);
}
WindowHandle handleOf(HWND w)
{
    return reinterpret_cast<WindowHandle>(w);
}
} // namespace

WindowHandle Win32WindowOps::findWindowByTitle(const QString &title)
{
    return handleOf(win32::findWindowByTitle(title.toStdWString()));
}

bool Win32WindowOps::isIconic(WindowHandle w)
{
    return win32::isIconic(hwndOf(w));
}

void Win32WindowOps::openIcon(WindowHandle w)
{
    win32::openIcon(hwndOf(w));
}

void Win32WindowOps::setForegroundWindow(WindowHandle w)
{
    win32::setForegroundWindow(hwndOf(w));
}

WindowHandle Win32WindowOps::foregroundWindow()
{
    return handleOf(win32::foregroundWindow());
}

void Win32WindowOps::bringWindowToTop(WindowHandle w)
{
    win32::bringWindowToTop(hwndOf(w));
}

quint64 Win32WindowOps::windowThreadId(WindowHandle w)
{
    return win32::windowThreadId(hwndOf(w));
}

void Win32WindowOps::attachThreadInput(quint64 from, quint64 to, bool attach)
{
    win32::attachThreadInput(DWORD(from), DWORD(to), attach);
}

void Win32WindowOps::sendEscape()
{
    win32::sendEscape();
}

void Win32WindowOps::sleep(int ms)
{
    win32::sleepMs(ms);
}

void Win32WindowOps::setTopmost(WindowHandle w, bool topmost)
{
    win32::setTopmost(hwndOf(w), topmost);
}

bool Win32WindowOps::drawMarker(WindowHandle w, const Marker &m)
{
    win32::MarkerShape shape;
    shape.tip = {m.tipX, m.tipY};
    shape.upper = {m.upperX, m.upperY};
    shape.lower = {m.lowerX, m.lowerY};
    shape.penWidth = m.penWidth;
    shape.colour = RGB(m.colour.red(), m.colour.green(), m.colour.blue());
    shape.xorPen = m.xorPen;
    return win32::drawMarker(hwndOf(w), shape);
}

} // namespace cad
