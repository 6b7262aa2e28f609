#pragma once
// The window operations of the CAD connection steps, the tracking marker
// and the always-on-top swap, straight over Win32. No Qt in here.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace cad::win32 {

// A top-level window whose whole title equals `title` (FindWindowW compares
// without letter case); null when there is none.
HWND findWindowByTitle(const std::wstring &title);
// A top-level window of the window class; null when there is none.
HWND findWindowByClass(const std::wstring &className);

bool isIconic(HWND w);
void openIcon(HWND w);
void setForegroundWindow(HWND w);
HWND foregroundWindow();
void bringWindowToTop(HWND w);
DWORD windowThreadId(HWND w);
void attachThreadInput(DWORD from, DWORD to, bool attach);
// keybd_event: ESC (virtual key 27) down, then up.
void sendEscape();
void sleepMs(int ms);
// SetWindowPos with HWND_TOPMOST / HWND_NOTOPMOST, neither moved nor sized.
bool setTopmost(HWND w, bool topmost);

// The arrowhead of the tracking marker: from the tip to the upper corner,
// to the lower corner and back to the tip.
struct MarkerShape {
    POINT tip{};
    POINT upper{};
    POINT lower{};
    int penWidth = 3;
    COLORREF colour = RGB(255, 100, 100);
    bool xorPen = false;
};
// Draws on a device context with a solid pen of the marker's width and
// colour, in XOR mix mode when asked; the DC's pen and mix mode are restored.
bool drawMarkerOn(HDC dc, const MarkerShape &marker);
// GetDC on the window, draw, ReleaseDC. False for a null or unknown window.
bool drawMarker(HWND w, const MarkerShape &marker);

// A hidden top-level window of the main window's class name, so that a
// second start (FindWindowW by class) sees this instance.
class InstanceWindow {
public:
    explicit InstanceWindow(const std::wstring &className);
    ~InstanceWindow();
    InstanceWindow(const InstanceWindow &) = delete;
    InstanceWindow &operator=(const InstanceWindow &) = delete;
    HWND handle() const { return m_window; }

private:
    std::wstring m_className;
    ATOM m_atom = 0;
    HWND m_window = nullptr;
};

} // namespace cad::win32
