#pragma once
// One LumoEdit per display session: a second start ends at once.
//
// Windows: a running instance is its main window, found by FindWindowW with
// the main window's class name (the main window is created with that class,
// see createMainWindow in platform.h). Nothing is left behind by a crash.
//
// Elsewhere: a kernel lock (flock) on a file in the user's runtime folder,
// named after the class and the display session (Wayland display, X display
// or login session), as a window class is per desktop on Windows. The kernel
// drops the lock with its process, however that ends, so a killed instance
// never blocks the next start, whichever process id the new one gets; the
// file that stays behind is no lock.

#include <QString>

#include <memory>

namespace lumo {

class SingleInstance {
public:
    // `key` names the guard (the main window's class name); `dir` defaults
    // to the user's runtime folder (not used on Windows).
    explicit SingleInstance(const QString &key = QStringLiteral("TLumoMainForm"), const QString &dir = {});
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;
    // True when no other instance runs in this session (and, off Windows,
    // this one now holds the guard).
    bool acquire();
    QString lockPath() const { return m_path; }

    // The display session this process runs in, as a file name part:
    // "wayland-0", "x-host-10" (X display host:10.0), "session-c2", or
    // empty when none is known.
    static QString sessionKey();

private:
    QString m_key;
    QString m_path;
    int m_fd = -1;
};

} // namespace lumo
