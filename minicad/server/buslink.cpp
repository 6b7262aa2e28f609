#include "minicad/server/buslink.h"

#include "protocol/dbus/busconnection.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdlib>
#include <utility>
#include <sys/stat.h>

namespace minicad {

namespace {

using cad::bus::ScopedError;

// Answers held past this size are written at once.
constexpr qsizetype kMaxHeld = 64 * 1024;
constexpr int kStalledClientMs = 25000;

} // namespace

// ---- watches and timeouts

EventLoopWatches::EventLoopWatches(std::function<void()> activity, QObject *parent)
    : QObject(parent), m_activity(std::move(activity))
{
}

EventLoopWatches::~EventLoopWatches()
{
    for (const Watch &w : std::as_const(m_watches)) {
        delete w.read;
        delete w.write;
    }
    qDeleteAll(m_timeouts);
}

void EventLoopWatches::install(DBusConnection *connection)
{
    dbus_connection_set_watch_functions(connection, addWatch, removeWatch, toggleWatch, this, nullptr);
    dbus_connection_set_timeout_functions(connection, addTimeout, removeTimeout, toggleTimeout, this, nullptr);
}

void EventLoopWatches::install(DBusServer *server)
{
    dbus_server_set_watch_functions(server, addWatch, removeWatch, toggleWatch, this, nullptr);
    dbus_server_set_timeout_functions(server, addTimeout, removeTimeout, toggleTimeout, this, nullptr);
}

dbus_bool_t EventLoopWatches::addWatch(DBusWatch *watch, void *data)
{
    auto *self = static_cast<EventLoopWatches *>(data);
    const int fd = dbus_watch_get_unix_fd(watch);
    const unsigned flags = dbus_watch_get_flags(watch);
    Watch w;
    const auto make = [&](QSocketNotifier::Type type, unsigned flag) {
        auto *n = new QSocketNotifier(fd, type, self);
        QObject::connect(n, &QSocketNotifier::activated, self, [self, watch, flag] {
            // The watch may go away while it is handled; look it up first.
            if (!self->m_watches.contains(watch))
                return;
            dbus_watch_handle(watch, flag);
            if (self->m_activity)
                self->m_activity();
        });
        return n;
    };
    if (flags & DBUS_WATCH_READABLE)
        w.read = make(QSocketNotifier::Read, DBUS_WATCH_READABLE);
    if (flags & DBUS_WATCH_WRITABLE)
        w.write = make(QSocketNotifier::Write, DBUS_WATCH_WRITABLE);
    self->m_watches.insert(watch, w);
    self->update(watch);
    return true;
}

void EventLoopWatches::removeWatch(DBusWatch *watch, void *data)
{
    auto *self = static_cast<EventLoopWatches *>(data);
    const Watch w = self->m_watches.take(watch);
    // Possibly inside its own activation: let it go later.
    for (QSocketNotifier *n : {w.read, w.write}) {
        if (n) {
            n->setEnabled(false);
            n->deleteLater();
        }
    }
}

void EventLoopWatches::toggleWatch(DBusWatch *watch, void *data)
{
    static_cast<EventLoopWatches *>(data)->update(watch);
}

void EventLoopWatches::update(DBusWatch *watch)
{
    const auto it = m_watches.constFind(watch);
    if (it == m_watches.constEnd())
        return;
    const bool enabled = dbus_watch_get_enabled(watch);
    if (it->read)
        it->read->setEnabled(enabled);
    if (it->write)
        it->write->setEnabled(enabled);
}

dbus_bool_t EventLoopWatches::addTimeout(DBusTimeout *timeout, void *data)
{
    auto *self = static_cast<EventLoopWatches *>(data);
    auto *timer = new QTimer(self);
    QObject::connect(timer, &QTimer::timeout, self, [self, timeout] {
        if (!self->m_timeouts.contains(timeout))
            return;
        dbus_timeout_handle(timeout);
        if (self->m_activity)
            self->m_activity();
    });
    self->m_timeouts.insert(timeout, timer);
    self->update(timeout);
    return true;
}

void EventLoopWatches::removeTimeout(DBusTimeout *timeout, void *data)
{
    auto *self = static_cast<EventLoopWatches *>(data);
    if (QTimer *timer = self->m_timeouts.take(timeout)) {
        timer->stop();
        timer->deleteLater();
    }
}

void EventLoopWatches::toggleTimeout(DBusTimeout *timeout, void *data)
{
    static_cast<EventLoopWatches *>(data)->update(timeout);
}

void EventLoopWatches::update(DBusTimeout *timeout)
{
    QTimer *timer = m_timeouts.value(timeout);
    if (!timer)
        return;
    if (dbus_timeout_get_enabled(timeout))
        timer->start(dbus_timeout_get_interval(timeout));
    else
        timer->stop();
}

// ---- links

BusLink *BusLink::openBus(const QString &address, QString *error, QObject *parent)
{
    ScopedError e;
    DBusConnection *c = cad::bus::openPrivate(address.toUtf8(), &e.e);
    if (!c) {
        if (error)
            *error = QStringLiteral("no session bus: %1").arg(e.text());
        return nullptr;
    }
    return new BusLink(c, true, QString(), parent);
}

BusLink::BusLink(DBusConnection *connection, bool bus, const QString &clientName, QObject *parent)
    : QObject(parent), m_c(connection), m_bus(bus), m_clientName(clientName)
{
    // A lost bus or peer must not end the program.
    dbus_connection_set_exit_on_disconnect(m_c, false);
    m_watches = new EventLoopWatches([this] { dispatch(); }, this);
    m_watches->install(m_c);
    dbus_connection_set_dispatch_status_function(m_c, dispatchStatusChanged, this, nullptr);
    // Anything that arrived before the watches were in place.
    if (dbus_connection_get_dispatch_status(m_c) == DBUS_DISPATCH_DATA_REMAINS)
        dispatchStatusChanged(m_c, DBUS_DISPATCH_DATA_REMAINS, this);
    // A handler that turns the event loop (a pick waiting for its user)
    // must not keep the answers made before it.
    if (auto *loop = QAbstractEventDispatcher::instance())
        connect(loop, &QAbstractEventDispatcher::aboutToBlock, this, &BusLink::flush);
}

BusLink::~BusLink()
{
    flush();
    dbus_connection_set_dispatch_status_function(m_c, nullptr, nullptr, nullptr);
    dbus_connection_close(m_c);
    dbus_connection_set_watch_functions(m_c, nullptr, nullptr, nullptr, nullptr, nullptr);
    dbus_connection_set_timeout_functions(m_c, nullptr, nullptr, nullptr, nullptr, nullptr);
    dbus_connection_unref(m_c);
}

QString BusLink::clientOf(DBusMessage *message) const
{
    if (!m_bus)
        return m_clientName;
    const char *sender = dbus_message_get_sender(message);
    return sender ? QString::fromUtf8(sender) : QString();
}

QString BusLink::uniqueName() const
{
    if (!m_bus)
        return m_clientName;
    const char *name = dbus_bus_get_unique_name(m_c);
    return name ? QString::fromUtf8(name) : QString();
}

void BusLink::send(DBusMessage *message)
{
    // Held answers go first: they were made first, and libdbus's writes must
    // never fall between the bytes of ours.
    flush();
    dbus_connection_send(m_c, message, nullptr);
}

void BusLink::sendFrame(const QByteArray &message)
{
    m_held += message;
    if (m_held.size() >= kMaxHeld)
        flush();
}

void BusLink::flush()
{
    if (m_held.isEmpty())
        return;
    const QByteArray out = std::exchange(m_held, QByteArray());
    // A client that stops reading for this long is cut off rather than
    // keeping the drawing waiting.
    if (!cad::frame::write(m_c, out, false, kStalledClientMs))
        qWarning("minicad: a client stopped reading its answers; its connection is closed");
}

void BusLink::reply(DBusMessage *call, DBusMessage *answer)
{
    if (!answer)
        return;
    if (!dbus_message_get_no_reply(call))
        send(answer);
    dbus_message_unref(answer);
}

void BusLink::replyEmpty(DBusMessage *call)
{
    reply(call, dbus_message_new_method_return(call));
}

void BusLink::replyError(DBusMessage *call, const QString &name, const QString &text)
{
    reply(call, dbus_message_new_error(call, name.toUtf8().constData(), text.toUtf8().constData()));
}

void BusLink::dispatchStatusChanged(DBusConnection *, DBusDispatchStatus status, void *data)
{
    // Called from inside libdbus: the messages are handled from the event loop.
    auto *self = static_cast<BusLink *>(data);
    if (status != DBUS_DISPATCH_DATA_REMAINS || self->m_dispatchQueued)
        return;
    self->m_dispatchQueued = true;
    QMetaObject::invokeMethod(self, [self] {
        self->m_dispatchQueued = false;
        self->dispatch();
    }, Qt::QueuedConnection);
}

void BusLink::dispatch()
{
    // Messages are popped rather than run through dbus_connection_dispatch:
    // a handler may turn the event loop (a pick waiting for its user) and
    // come back here for the next message, and libdbus's dispatcher does
    // not allow that.
    while (DBusMessage *m = dbus_connection_pop_message(m_c)) {
        handle(m);
        dbus_message_unref(m);
    }
    flush();
    if (!m_gone && !connected()) {
        m_gone = true;
        emit disconnected(this);
    }
}

void BusLink::handle(DBusMessage *message)
{
    if (dbus_message_is_signal(message, DBUS_INTERFACE_LOCAL, "Disconnected")) {
        if (!m_gone) {
            m_gone = true;
            emit disconnected(this);
        }
        return;
    }
    if (!m_bus && dbus_message_is_method_call(message, DBUS_INTERFACE_DBUS, "Hello")) {
        // The name this client's references are counted under.
        DBusMessage *answer = dbus_message_new_method_return(message);
        const QByteArray name = m_clientName.toUtf8();
        const char *n = name.constData();
        dbus_message_append_args(answer, DBUS_TYPE_STRING, &n, DBUS_TYPE_INVALID);
        reply(message, answer);
        return;
    }
    if (m_handler)
        m_handler(this, message);
}

// ---- peer-to-peer server

PeerServer *PeerServer::listen(QString *error, QObject *parent)
{
    dbus_threads_init_default();
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty() || !QFileInfo(base).isDir())
        base = QStringLiteral("/tmp");
    // mkdtemp makes the directory 0700: nobody else can reach the socket.
    QByteArray dir = QFile::encodeName(base + QStringLiteral("/minicad-XXXXXX"));
    if (!mkdtemp(dir.data())) {
        if (error)
            *error = QStringLiteral("cannot make a private directory in %1").arg(base);
        return nullptr;
    }
    const QString directory = QFile::decodeName(dir);
    const QByteArray socket = QFile::encodeName(directory + QStringLiteral("/peer"));
    char *escaped = dbus_address_escape_value(socket.constData());
    const QByteArray address = QByteArrayLiteral("unix:path=") + escaped;
    dbus_free(escaped);
    ScopedError e;
    DBusServer *server = dbus_server_listen(address.constData(), &e.e);
    if (!server) {
        QDir().rmdir(directory);
        if (error)
            *error = QStringLiteral("cannot listen on %1: %2").arg(QString::fromUtf8(address), e.text());
        return nullptr;
    }
    ::chmod(socket.constData(), S_IRUSR | S_IWUSR);
    const char *mechanisms[] = {"EXTERNAL", nullptr};
    dbus_server_set_auth_mechanisms(server, mechanisms);
    return new PeerServer(server, directory, parent);
}

PeerServer::PeerServer(DBusServer *server, const QString &directory, QObject *parent)
    : QObject(parent), m_server(server), m_directory(directory)
{
    char *address = dbus_server_get_address(m_server);
    m_address = QString::fromUtf8(address);
    dbus_free(address);
    m_watches = new EventLoopWatches({}, this);
    m_watches->install(m_server);
    dbus_server_set_new_connection_function(m_server, newConnection, this, nullptr);
}

PeerServer::~PeerServer()
{
    dbus_server_set_new_connection_function(m_server, nullptr, nullptr, nullptr);
    dbus_server_disconnect(m_server);
    dbus_server_set_watch_functions(m_server, nullptr, nullptr, nullptr, nullptr, nullptr);
    dbus_server_set_timeout_functions(m_server, nullptr, nullptr, nullptr, nullptr, nullptr);
    dbus_server_unref(m_server);
    QFile::remove(m_directory + QStringLiteral("/peer"));
    QDir().rmdir(m_directory);
}

void PeerServer::newConnection(DBusServer *, DBusConnection *connection, void *data)
{
    auto *self = static_cast<PeerServer *>(data);
    dbus_connection_ref(connection);
    // Shaped like a bus's unique name, and never one of them.
    const QString name = QStringLiteral(":peer.%1").arg(self->m_nextClient++);
    auto *link = new BusLink(connection, false, name, self);
    emit self->newLink(link);
}

} // namespace minicad
