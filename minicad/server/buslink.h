#pragma once
// One libdbus connection served on the event loop of the thread that owns
// the drawing: its socket is watched with QSocketNotifier, libdbus's
// timeouts run on QTimer, and every message is handled right there. QtDBus
// would hand each call to its connection thread and back (two wake-ups per
// call), which costs more than the call itself.
//
// A link is either the bus (a client is known by the sender's unique name)
// or one peer-to-peer connection accepted by a PeerServer (a client of its
// own, known by the name the link gives it; it answers the bus's Hello with
// that name, so a libdbus client learns it the usual way).

#include "protocol/dbus/frame.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <dbus/dbus.h>

#include <functional>

class QSocketNotifier;
class QTimer;

namespace minicad {

// libdbus's watches and timeouts on the Qt event loop of the current thread.
// `activity` runs after libdbus has read or written.
class EventLoopWatches : public QObject {
public:
    explicit EventLoopWatches(std::function<void()> activity, QObject *parent = nullptr);
    ~EventLoopWatches() override;
    void install(DBusConnection *connection);
    void install(DBusServer *server);

private:
    struct Watch {
        QSocketNotifier *read = nullptr;
        QSocketNotifier *write = nullptr;
    };
    static dbus_bool_t addWatch(DBusWatch *watch, void *data);
    static void removeWatch(DBusWatch *watch, void *data);
    static void toggleWatch(DBusWatch *watch, void *data);
    static dbus_bool_t addTimeout(DBusTimeout *timeout, void *data);
    static void removeTimeout(DBusTimeout *timeout, void *data);
    static void toggleTimeout(DBusTimeout *timeout, void *data);
    void update(DBusWatch *watch);
    void update(DBusTimeout *timeout);

    std::function<void()> m_activity;
    QHash<DBusWatch *, Watch> m_watches;
    QHash<DBusTimeout *, QTimer *> m_timeouts;
};

class BusLink : public QObject {
    Q_OBJECT
public:
    // The session bus (or the bus at `address`), registered with Hello.
    // Null with a reason when there is no bus.
    static BusLink *openBus(const QString &address, QString *error, QObject *parent = nullptr);
    // Takes over one reference of the connection.
    BusLink(DBusConnection *connection, bool bus, const QString &clientName, QObject *parent = nullptr);
    ~BusLink() override;

    DBusConnection *get() const { return m_c; }
    bool isBus() const { return m_bus; }
    bool connected() const { return dbus_connection_get_is_connected(m_c); }
    // Who sent the message: its sender on the bus, the link's client on a peer link.
    QString clientOf(DBusMessage *message) const;
    // Our unique name on the bus; the client's name on a peer link.
    QString uniqueName() const;

    // Called for every message that arrives.
    using Handler = std::function<void(BusLink *, DBusMessage *)>;
    void setHandler(Handler handler) { m_handler = std::move(handler); }

    void send(DBusMessage *message);
    // An answer written by frame.h: held until the messages that have
    // arrived are handled (or the event loop is about to wait), then written
    // together in one go.
    void sendFrame(const QByteArray &message);
    quint32 frameSerial() { return m_serials.next(); }
    // Writes the held answers.
    void flush();
    // The answer to a call, or nothing when the caller wants none. Takes the answer.
    void reply(DBusMessage *call, DBusMessage *answer);
    void replyEmpty(DBusMessage *call);
    void replyError(DBusMessage *call, const QString &name, const QString &text);

    // Handles what has arrived (also from a nested event loop).
    void dispatch();

signals:
    void disconnected(BusLink *link);

private:
    static void dispatchStatusChanged(DBusConnection *connection, DBusDispatchStatus status, void *data);
    void handle(DBusMessage *message);

    DBusConnection *m_c;
    bool m_bus;
    QString m_clientName;
    Handler m_handler;
    EventLoopWatches *m_watches;
    bool m_dispatchQueued = false;
    bool m_gone = false;
    cad::frame::Serials m_serials;
    QByteArray m_held;
};

// A D-Bus server for peer-to-peer connections on a unix socket only the
// owner may reach: a private directory (0700) in $XDG_RUNTIME_DIR (or /tmp)
// holding the socket (0600); libdbus lets only the same user authenticate.
class PeerServer : public QObject {
    Q_OBJECT
public:
    static PeerServer *listen(QString *error, QObject *parent = nullptr);
    ~PeerServer() override;
    QString address() const { return m_address; }

signals:
    void newLink(BusLink *link); // the link's parent is the server

private:
    PeerServer(DBusServer *server, const QString &directory, QObject *parent);
    static void newConnection(DBusServer *server, DBusConnection *connection, void *data);

    DBusServer *m_server;
    QString m_directory;
    QString m_address;
    EventLoopWatches *m_watches;
    int m_nextClient = 1;
};

} // namespace minicad
