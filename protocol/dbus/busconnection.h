#pragma once
// What both ends need to open and talk over a libdbus connection of their
// own: an error that frees itself, and a private connection that a lost bus
// does not turn into the end of the program.

#include <QByteArray>
#include <QString>

#include <dbus/dbus.h>

namespace cad::bus {

class ScopedError {
public:
    ScopedError() { dbus_error_init(&e); }
    ~ScopedError() { dbus_error_free(&e); }
    ScopedError(const ScopedError &) = delete;
    ScopedError &operator=(const ScopedError &) = delete;
    QString text() const { return QString::fromUtf8(e.message ? e.message : e.name); }
    DBusError e;
};

// A private connection: to the session bus when `address` is empty, else to
// the bus or peer at `address`; registered (Hello) either way, and a lost
// connection does not end the program. Null, with `error` set, when it
// cannot be opened. libdbus is made thread-safe first, once.
DBusConnection *openPrivate(const QByteArray &address, DBusError *error);

} // namespace cad::bus
