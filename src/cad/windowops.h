#pragma once
// The window operations the CAD connection steps need, behind one interface:
// Win32 and X11 do them for real, the no-op does nothing, and the recording
// fake lets a test assert the exact sequence of an operation.

#include "cad/objectmodel.h"

#include <QColor>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

namespace cad {

// The arrowhead drawn onto the CAD window at the view centre: a triangle
// with its tip at `tip`, opening to the left.
struct Marker {
    int tipX = 0, tipY = 0;
    int upperX = 0, upperY = 0;
    int lowerX = 0, lowerY = 0;
    int penWidth = 3;
    QColor colour{255, 100, 100};
    bool xorPen = false;
};

class WindowOps {
public:
    virtual ~WindowOps() = default;
    // A top-level window whose whole title equals `title`, letter case ignored; 0 when none.
    virtual WindowHandle findWindowByTitle(const QString &title) = 0;
    virtual bool isIconic(WindowHandle w) = 0;
    virtual void openIcon(WindowHandle w) = 0;
    virtual void setForegroundWindow(WindowHandle w) = 0;
    virtual WindowHandle foregroundWindow() = 0;
    virtual void bringWindowToTop(WindowHandle w) = 0;
    virtual quint64 windowThreadId(WindowHandle w) = 0;
    virtual void attachThreadInput(quint64 from, quint64 to, bool attach) = 0;
    // Press and release ESC once (keybd_event, virtual key 27).
    virtual void sendEscape() = 0;
    virtual void sleep(int ms) = 0;
    // A pause in which the program's own window keeps answering: events are
    // processed until `ms` have passed.
    virtual void wait(int ms);
    // SetWindowPos with HWND_TOPMOST / HWND_NOTOPMOST, no move or size.
    virtual void setTopmost(WindowHandle w, bool topmost) = 0;
    // Paints the marker straight onto the window; false where the platform can't.
    virtual bool drawMarker(WindowHandle w, const Marker &marker) = 0;
};

class NullWindowOps : public WindowOps {
public:
    WindowHandle findWindowByTitle(const QString &) override { return 0; }
    bool isIconic(WindowHandle) override { return false; }
    void openIcon(WindowHandle) override {}
    void setForegroundWindow(WindowHandle) override {}
    WindowHandle foregroundWindow() override { return 0; }
    void bringWindowToTop(WindowHandle) override {}
    quint64 windowThreadId(WindowHandle) override { return 0; }
    void attachThreadInput(quint64, quint64, bool) override {}
    void sendEscape() override {}
    void sleep(int ms) override;
    void setTopmost(WindowHandle, bool) override {}
    bool drawMarker(WindowHandle, const Marker &) override { return false; }
};

// Records every call as a line such as "IsIconic(100)" and answers from a
// small scripted state. sleep() only advances a fake clock.
class RecordingWindowOps : public WindowOps {
public:
    QStringList calls;
    qint64 clockMs = 0;
    QHash<QString, WindowHandle> windowsByTitle; // key: lower-case title
    QHash<WindowHandle, bool> iconic;
    QHash<WindowHandle, quint64> threads;
    WindowHandle foreground = 0;
    // When set, setForegroundWindow() is refused (another program keeps the front).
    bool foregroundLocked = false;
    QList<Marker> markers;
    std::function<void(int)> onSleep;

    WindowHandle findWindowByTitle(const QString &title) override;
    bool isIconic(WindowHandle w) override;
    void openIcon(WindowHandle w) override;
    void setForegroundWindow(WindowHandle w) override;
    WindowHandle foregroundWindow() override;
    void bringWindowToTop(WindowHandle w) override;
    quint64 windowThreadId(WindowHandle w) override;
    void attachThreadInput(quint64 from, quint64 to, bool attach) override;
    void sendEscape() override;
    void sleep(int ms) override;
    // Recorded as "Wait(ms)"; the fake clock advances, onSleep runs, and the
    // pending events are processed once.
    void wait(int ms) override;
    void setTopmost(WindowHandle w, bool topmost) override;
    bool drawMarker(WindowHandle w, const Marker &marker) override;
};

} // namespace cad
