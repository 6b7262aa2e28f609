#pragma once
// The client's connection (internal to the D-Bus backend): a private libdbus
// connection on which our calls are written straight onto the socket
// (frame.h) and their answers picked out of what libdbus reads, by serial.
// Nothing is dispatched on it; whatever arrives unasked is dropped.

#include "cad/dbus/dbusobjects.h"
#include "protocol/dbus/frame.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QSet>

#include <dbus/dbus.h>

namespace cad {

// What a call got back: the answer message, or the failure of the
// transport (timeout, disconnection) that stands in for one.
class Answer {
public:
    Answer() = default;
    explicit Answer(DBusMessage *reply) : m_reply(reply) {}
    Answer(const char *errorName, const char *errorText) : m_errorName(errorName), m_errorText(errorText) {}
    ~Answer();
    Answer(Answer &&other) noexcept;
    Answer &operator=(Answer &&other) noexcept;
    Answer(const Answer &) = delete;
    Answer &operator=(const Answer &) = delete;

    DBusMessage *reply() const { return m_reply; }
    bool isError() const;
    // The error name of an error answer; null for a plain answer.
    const char *errorName() const;
    // Fills `error` from an error answer.
    void toError(DBusError *error) const;

private:
    DBusMessage *m_reply = nullptr;
    const char *m_errorName = nullptr; // static strings
    const char *m_errorText = nullptr;
};

class DBusRunningObjects::Connection {
public:
    explicit Connection(DBusConnection *c, bool peer = false) : m_c(c), m_peer(peer) {}
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    DBusConnection *get() const { return m_c; }
    bool connected() const { return dbus_connection_get_is_connected(m_c); }
    // A private connection to the application itself, not to a bus.
    bool isPeer() const { return m_peer; }

    // A serial for a message written here.
    quint32 serial() { return m_serials.next(); }
    // The answer to the call numbered `serial` will be awaited: it is kept
    // when it arrives.
    void expect(quint32 serial);
    // Writes whole messages. A failed write closes the connection, which
    // await() then reports for every call still expected.
    bool write(const QByteArray &messages);
    // The answer to the call numbered `serial`, waiting until `deadline`.
    Answer await(quint32 serial, const QDeadlineTimer &deadline);
    // Sorts what libdbus has read: answers still expected are kept, the rest
    // (the bus's NameAcquired, answers given up on) dropped.
    void collect();

private:
    DBusConnection *m_c;
    bool m_peer;
    frame::Serials m_serials;
    QSet<quint32> m_expected;
    QHash<quint32, DBusMessage *> m_arrived;
};

// How long a call waits for its answer (libdbus's default); the on-screen
// pick waits for its user as long as it takes.
QDeadlineTimer callDeadline(const QString &member);

} // namespace cad
