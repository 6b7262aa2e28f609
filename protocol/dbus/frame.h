#pragma once
// Invoke calls, their answers and Release, written as D-Bus messages byte by
// byte and put straight onto a libdbus connection's socket. libdbus builds a
// message by rewriting its header at every top-level argument (about 16 µs
// a message here, more than the server's work for a call) and writes each
// message with a system call of its own; written here, a message costs well
// under a microsecond and a window of calls goes out in one write. Reading
// stays with libdbus, which checks every message it receives.
//
// Values travel as wire.h describes, the same bytes libdbus would write.

#include "protocol/dbus/wire.h"

#include <QByteArray>

#include <dbus/dbus.h>

namespace cad::frame {

// Invoke(s member, i kind, av args) on `path` of `destination`. Throws
// AutomationError for an argument with no wire form; nothing is written then.
QByteArray invokeCall(quint32 serial, const QByteArray &destination, const QByteArray &path, const QString &member,
                      InvokeKind kind, const QVariantList &args, const wire::ObjectToPath &objectPath);
// Release() on `path`, no answer wanted.
QByteArray releaseCall(quint32 serial, const QByteArray &destination, const QByteArray &path);
// The answer (v result, av argsOut) to the call numbered `replySerial`;
// `destination` is the caller on a bus and empty on a peer-to-peer link.
QByteArray invokeReturn(quint32 serial, quint32 replySerial, const QByteArray &destination, const QVariant &result,
                        const QVariantList &argsOut, const wire::ObjectToPath &objectPath);

// Serial numbers for messages written here, kept apart from the ones libdbus
// gives its own messages on the same connection (which count up from 1).
class Serials {
public:
    quint32 next();

private:
    quint32 m_next = kFirst;
    static constexpr quint32 kFirst = 0x40000000;
};

// Writes whole messages onto the connection's socket; first flushes whatever
// libdbus still holds, so the two never interleave. While the socket is
// full, a client (`readMeanwhile`) lets libdbus read what arrives, so that
// neither side waits for the other; a server waits up to `timeoutMs`. False
// when the connection broke or stayed full: it is closed then, since a
// message written halfway leaves the stream unreadable.
bool write(DBusConnection *connection, const QByteArray &messages, bool readMeanwhile, int timeoutMs);

} // namespace cad::frame
