#pragma once
// Xlib helpers for the X11 tests, kept apart so the test itself never sees
// Xlib's macros (KeyPress, None, Bool...). Everything goes to $DISPLAY.

#include <QColor>
#include <QString>
#include <QStringList>

namespace x11probe {

// An Xvfb server of the test's own on a free display, stopped at the end.
class Xvfb {
public:
    ~Xvfb();
    // False (with the reason) when no server can be started here.
    bool start(QString *why);
    QString display() const { return m_display; }

private:
    long m_pid = 0;
    QString m_display;
};

// A top-level window of this probe's own connection, titled `title`:
// withdrawn and marked iconic in WM_STATE (as a window manager leaves a
// minimised window) when `iconic`, else mapped.
quintptr createWindow(const QString &title, bool iconic);
bool isViewable(quintptr window);
// The colour on the screen at a window's pixel.
QColor pixel(quintptr window, int x, int y);
// The atom names in the window's _NET_WM_STATE.
QStringList netWmState(quintptr window);

} // namespace x11probe
