#pragma once
// The window operations of the CAD connection steps, the tracking marker
// and the always-on-top swap, straight over Win32. No Qt in here.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <vector>

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

// While it lives, the next top-level window that this thread creates through
// CreateWindowExW (in this executable or in Qt's windows platform plugin)
// gets the window class `className` instead of the one asked for: a copy of
// that class (window procedure, styles, icon, cursor) under the new name.
// So the main window is found by FindWindowW with its class, without a lock
// or a second window that a crash could leave behind. Works by pointing the
// modules' import slots of CreateWindowExW at a hook, restored at the end.
class WindowClassOverride {
public:
    explicit WindowClassOverride(const std::wstring &className);
    ~WindowClassOverride();
    WindowClassOverride(const WindowClassOverride &) = delete;
    WindowClassOverride &operator=(const WindowClassOverride &) = delete;
    // False when no import slot could be hooked (nothing will be renamed).
    bool hooked() const { return !m_slots.empty(); }
    // The window that got the class; null until one was created.
    HWND window() const;

private:
    struct Slot {
        void **address;
        void *original;
    };
    std::vector<Slot> m_slots;
};

} // namespace cad::win32
