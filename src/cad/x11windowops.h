#pragma once
// The window operations over libX11 and XTest, for lumoedit running on the
// xcb platform. Window handles are X window ids. Works with or without a
// window manager: EWMH requests go to the manager when one runs, and the
// plain Xlib calls (raise, input focus, properties) are used otherwise.
//
// Built only where libX11 and libXtst were found (LUMO_HAVE_X11).

#include "cad/windowops.h"

#include <memory>

namespace cad {

#ifdef LUMO_HAVE_X11

class X11WindowOps : public WindowOps {
public:
    // Opens its own connection to `displayName` (empty: $DISPLAY). Every
    // operation does nothing (and answers 0 / false) when that fails.
    explicit X11WindowOps(const QString &displayName = {});
    ~X11WindowOps() override;
    X11WindowOps(const X11WindowOps &) = delete;
    X11WindowOps &operator=(const X11WindowOps &) = delete;

    bool isConnected() const;
    // True when an EWMH window manager answers on the screen.
    bool hasWindowManager();
    // The window's title (_NET_WM_NAME, else WM_NAME); empty when it has none.
    QString windowTitle(WindowHandle w);

    WindowHandle findWindowByTitle(const QString &title) override;
    bool isIconic(WindowHandle w) override;
    void openIcon(WindowHandle w) override;
    void setForegroundWindow(WindowHandle w) override;
    WindowHandle foregroundWindow() override;
    void bringWindowToTop(WindowHandle w) override;
    // X has no threads of windows: the process id in _NET_WM_PID stands in.
    quint64 windowThreadId(WindowHandle w) override;
    // Nothing to attach on X: input goes to the focus window.
    void attachThreadInput(quint64 from, quint64 to, bool attach) override;
    void sendEscape() override;
    void sleep(int ms) override;
    void setTopmost(WindowHandle w, bool topmost) override;
    bool drawMarker(WindowHandle w, const Marker &marker) override;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

#endif

} // namespace cad
