#include "cad/dbus/dbusobjects.h"

#include "cad/dbus/rawwire.h"
#include "cad/messagefilter.h"

#include <dbus/dbus.h>

#include <climits>

#include <QThread>

namespace cad {

// A private libdbus connection; calls block in the calling thread.
class DBusRunningObjects::Connection {
public:
    explicit Connection(DBusConnection *c, bool peer = false) : m_c(c), m_peer(peer) {}
    ~Connection()
    {
        dbus_connection_close(m_c);
        dbus_connection_unref(m_c);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    DBusConnection *get() const { return m_c; }
    bool connected() const { return dbus_connection_get_is_connected(m_c); }
    // A private connection to the application itself, not to a bus.
    bool isPeer() const { return m_peer; }

    // Nothing is dispatched on this connection; stray messages (the bus's
    // NameAcquired, late replies) are dropped so they do not pile up.
    void drain() const
    {
        while (dbus_connection_get_dispatch_status(m_c) == DBUS_DISPATCH_DATA_REMAINS) {
            DBusMessage *m = dbus_connection_pop_message(m_c);
            if (!m)
                break;
            dbus_message_unref(m);
        }
    }

private:
    DBusConnection *m_c;
    bool m_peer;
};

struct DBusDispatch::Peer {
    std::shared_ptr<DBusRunningObjects::Connection> connection;
    QByteArray service; // the unique name, so a restarted server is never mistaken for the old one
};

namespace {

class ScopedError {
public:
    ScopedError() { dbus_error_init(&e); }
    ~ScopedError() { dbus_error_free(&e); }
    ScopedError(const ScopedError &) = delete;
    ScopedError &operator=(const ScopedError &) = delete;
    DBusError e;
};

struct MessageRef {
    explicit MessageRef(DBusMessage *m) : m(m) {}
    ~MessageRef()
    {
        if (m)
            dbus_message_unref(m);
    }
    MessageRef(const MessageRef &) = delete;
    MessageRef &operator=(const MessageRef &) = delete;
    DBusMessage *m;
};

// What the user reads when the road to the CAD fails. The bus's own texts
// ("The name :1.74 was not provided by any .service files") are for
// developers: they go to the log, the box says what happened.
const QString kUnreachableText = QStringLiteral("CAD アプリケーションに接続できなくなりました．");
const QString kNoAnswerText = QStringLiteral("CAD アプリケーションが応答しません．");
const QString kNoObjectText = QStringLiteral("CAD アプリケーションのオブジェクトが見つかりません．");
const QString kTransportText = QStringLiteral("CAD アプリケーションとの通信に失敗しました．");
const QString kMalformedText = QStringLiteral("CAD アプリケーションから読めない応答が届きました．");

AutomationError unreachable()
{
    return AutomationError(kUnreachableText, AutomationError::Kind::Gone);
}

bool isAutomationErrorName(const QString &name)
{
    return name == QLatin1String(wire::kBusyError) || name == QLatin1String(wire::kFailedError)
           || name == QLatin1String(wire::kRejectedError) || name == QLatin1String(wire::kGoneError);
}

// An error answer as the user sees it: the server's automation errors keep
// their own text; whatever the bus or the transport said is put into words.
AutomationError fromErrorReply(const QString &name, const QString &message, AutomationError::Kind kind)
{
    if (isAutomationErrorName(name))
        return AutomationError(message.isEmpty() ? name : message, kind);
    qWarning("lumoedit: D-Bus call failed: %s: %s", qPrintable(name), qPrintable(message));
    if (name == QLatin1String(DBUS_ERROR_UNKNOWN_OBJECT) && kind == AutomationError::Kind::Gone)
        return AutomationError(kNoObjectText, kind);
    if (kind == AutomationError::Kind::Gone)
        return AutomationError(kUnreachableText, kind);
    if (name == QLatin1String(DBUS_ERROR_NO_REPLY) || name == QLatin1String(DBUS_ERROR_TIMEOUT))
        return AutomationError(kNoAnswerText, kind);
    return AutomationError(kTransportText, kind);
}

bool nameHasOwner(const DBusRunningObjects::Connection &c, const QByteArray &name)
{
    ScopedError error;
    const bool owned = dbus_bus_name_has_owner(c.get(), name.constData(), &error.e);
    c.drain();
    return owned && !dbus_error_is_set(&error.e);
}

// After "no reply": did the application leave the bus? The bus daemon
// answers a call whose recipient disconnects before its name is released,
// so the name is given a moment to go before the answer is "still there".
bool peerIsGone(const DBusRunningObjects::Connection &c, const QByteArray &name)
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (c.isPeer()) {
            // No bus to ask: the closed socket says it.
            dbus_connection_read_write(c.get(), 0);
            c.drain();
            if (!c.connected())
                return true;
        } else if (!c.connected() || !nameHasOwner(c, name)) {
            return true;
        }
        QThread::msleep(20);
    }
    return false;
}

// libdbus aborts on a malformed name instead of failing, so names are
// checked first.
bool validBusName(const QByteArray &name)
{
    return !name.isEmpty() && dbus_validate_bus_name(name.constData(), nullptr);
}

} // namespace

DBusRunningObjects::DBusRunningObjects(const QString &busAddress) : m_address(busAddress)
{
    static const bool threads = dbus_threads_init_default();
    (void)threads;
}

DBusRunningObjects::~DBusRunningObjects() = default;

std::shared_ptr<DBusRunningObjects::Connection> DBusRunningObjects::connection()
{
    if (m_connection && m_connection->connected())
        return m_connection;
    m_connection.reset();
    ScopedError error;
    DBusConnection *c = nullptr;
    if (m_address.isEmpty()) {
        c = dbus_bus_get_private(DBUS_BUS_SESSION, &error.e);
    } else {
        c = dbus_connection_open_private(m_address.toUtf8().constData(), &error.e);
        if (c && !dbus_bus_register(c, &error.e)) {
            dbus_connection_close(c);
            dbus_connection_unref(c);
            c = nullptr;
        }
    }
    if (!c)
        return nullptr;
    // A lost bus must not end the program.
    dbus_connection_set_exit_on_disconnect(c, false);
    m_connection = std::make_shared<Connection>(c);
    return m_connection;
}

QString DBusRunningObjects::uniqueName() const
{
    const auto &c = m_lastPeer ? m_lastPeer : m_connection;
    if (!c)
        return {};
    return QString::fromUtf8(dbus_bus_get_unique_name(c->get()));
}

std::shared_ptr<DBusRunningObjects::Connection>
DBusRunningObjects::peerConnection(const std::shared_ptr<Connection> &bus, const QByteArray &owner)
{
    if (m_peerOwner == owner && m_peerAsked && (!m_peer || m_peer->connected()))
        return m_peer;
    m_peerOwner = owner;
    m_peer.reset();
    m_peerAsked = true;
    MessageRef call(dbus_message_new_method_call(owner.constData(), wire::kApplicationPath, wire::kAutomationInterface,
                                                 "PeerAddress"));
    if (!call.m)
        return nullptr;
    ScopedError error;
    MessageRef reply(dbus_connection_send_with_reply_and_block(bus->get(), call.m, -1, &error.e));
    bus->drain();
    const char *address = nullptr;
    if (!reply.m || !dbus_message_get_args(reply.m, &error.e, DBUS_TYPE_STRING, &address, DBUS_TYPE_INVALID))
        return nullptr; // an application that offers none (or an older one): the bus it is
    DBusConnection *c = dbus_connection_open_private(address, &error.e);
    // The application answers Hello with the name it counts our references under.
    if (c && !dbus_bus_register(c, &error.e)) {
        dbus_connection_close(c);
        dbus_connection_unref(c);
        c = nullptr;
    }
    if (!c) {
        qWarning("lumoedit: the application's peer-to-peer address %s is not reachable: %s", address, error.e.message);
        return nullptr;
    }
    dbus_connection_set_exit_on_disconnect(c, false);
    m_peer = std::make_shared<Connection>(c, true);
    return m_peer;
}

bool DBusRunningObjects::isRunning(const QString &progId)
{
    const QByteArray name = wire::busNameForProgId(progId).toUtf8();
    if (!validBusName(name))
        return false;
    const auto c = connection();
    return c && nameHasOwner(*c, name);
}

Object DBusRunningObjects::attach(const QString &progId)
{
    const QByteArray name = wire::busNameForProgId(progId).toUtf8();
    const auto c = validBusName(name) ? connection() : nullptr;
    if (!c)
        throw unreachable();
    MessageRef call(dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "GetNameOwner"));
    const char *n = name.constData();
    dbus_message_append_args(call.m, DBUS_TYPE_STRING, &n, DBUS_TYPE_INVALID);
    ScopedError error;
    MessageRef reply(dbus_connection_send_with_reply_and_block(c->get(), call.m, -1, &error.e));
    c->drain();
    const char *owner = nullptr;
    if (!reply.m || !dbus_message_get_args(reply.m, &error.e, DBUS_TYPE_STRING, &owner, DBUS_TYPE_INVALID) || !owner)
        throw unreachable();
    const QByteArray ownerName(owner);
    m_lastPeer = m_peerToPeer ? peerConnection(c, ownerName) : nullptr;
    auto peer = std::make_shared<const DBusDispatch::Peer>(DBusDispatch::Peer{m_lastPeer ? m_lastPeer : c, ownerName});
    return std::make_shared<DBusDispatch>(std::move(peer), QLatin1String(wire::kApplicationPath), false);
}

DBusDispatch::DBusDispatch(std::shared_ptr<const Peer> peer, const QString &path, bool owned)
    : m_peer(std::move(peer)), m_path(path), m_owned(owned)
{
}

DBusDispatch::~DBusDispatch()
{
    // The reference this proxy stands for. No reply is awaited, so dropping
    // a proxy never blocks; messages keep their order on the connection.
    if (!m_owned || !m_peer->connection->connected())
        return;
    const QByteArray path = m_path.toUtf8();
    DBusMessage *m = dbus_message_new_method_call(m_peer->service.constData(), path.constData(),
                                                  wire::kAutomationInterface, "Release");
    if (!m)
        return;
    dbus_message_set_no_reply(m, true);
    dbus_connection_send(m_peer->connection->get(), m, nullptr);
    dbus_message_unref(m);
}

QString DBusDispatch::service() const
{
    return QString::fromUtf8(m_peer->service);
}

QVariant DBusDispatch::invoke(const QString &member, InvokeKind kind, QVariantList &args)
{
    return callWithBusyRetry([&] { return invokeOnce(member, kind, args); });
}

namespace {

// The automation error of a failed call, as every call reports it.
AutomationError invokeError(const DBusRunningObjects::Connection &connection, const QByteArray &service,
                            const DBusError &error)
{
    const QString name = QString::fromUtf8(error.name);
    AutomationError::Kind errorKind = wire::errorKind(name);
    // An application on its way off the bus may still answer that it has
    // no such object or method, or not answer at all: that is "gone" too.
    const bool vanishing = name == QLatin1String(DBUS_ERROR_NO_REPLY)
                           || name == QLatin1String(DBUS_ERROR_UNKNOWN_METHOD)
                           || name == QLatin1String(DBUS_ERROR_UNKNOWN_INTERFACE);
    if (errorKind == AutomationError::Kind::Failed && vanishing && peerIsGone(connection, service))
        errorKind = AutomationError::Kind::Gone;
    return fromErrorReply(name, QString::fromUtf8(error.message), errorKind);
}

} // namespace

DBusMessage *DBusDispatch::newInvokeMessage(const QString &member, InvokeKind kind, const QVariantList &args) const
{
    const wire::ObjectToPath pathOf = [this](const Object &o) {
        const auto *proxy = dynamic_cast<const DBusDispatch *>(o.get());
        if (!proxy || proxy->m_peer->service != m_peer->service || proxy->m_peer->connection != m_peer->connection)
            throw AutomationError(QStringLiteral("Type mismatch: the object belongs to another application"));
        return proxy->m_path;
    };
    const QByteArray path = m_path.toUtf8();
    MessageRef call(dbus_message_new_method_call(m_peer->service.constData(), path.constData(),
                                                 wire::kAutomationInterface, "Invoke"));
    if (!call.m)
        throw AutomationError(QStringLiteral("Out of memory"));
    DBusMessageIter it;
    dbus_message_iter_init_append(call.m, &it);
    const QByteArray memberUtf8 = member.toUtf8();
    const char *memberData = memberUtf8.constData();
    const dbus_int32_t kindValue = int(kind);
    dbus_message_iter_append_basic(&it, DBUS_TYPE_STRING, &memberData);
    dbus_message_iter_append_basic(&it, DBUS_TYPE_INT32, &kindValue);
    DBusMessageIter array;
    dbus_message_iter_open_container(&it, DBUS_TYPE_ARRAY, "v", &array);
    try {
        for (const QVariant &a : args)
            rawwire::appendVariant(&array, a, pathOf);
    } catch (...) {
        dbus_message_iter_abandon_container(&it, &array);
        throw;
    }
    dbus_message_iter_close_container(&it, &array);
    DBusMessage *out = call.m;
    call.m = nullptr;
    return out;
}

DBusConnection *DBusDispatch::openConnection() const
{
    return m_peer->connection->connected() ? m_peer->connection->get() : nullptr;
}

bool DBusDispatch::sameConnection(const DBusDispatch &other) const
{
    return m_peer->connection == other.m_peer->connection;
}

QVariant DBusDispatch::readInvokeReply(DBusMessage *reply, const QString &member, QVariantList &args) const
{
    if (dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_ERROR) {
        ScopedError error;
        dbus_set_error_from_message(&error.e, reply);
        throw invokeError(*m_peer->connection, m_peer->service, error.e);
    }
    if (qstrcmp(dbus_message_get_signature(reply), "vav") != 0) {
        qWarning("lumoedit: D-Bus: %s answered with the signature \"%s\"", qPrintable(member),
                 dbus_message_get_signature(reply));
        throw AutomationError(kMalformedText);
    }

    // Every path in an answer carries one reference of ours.
    const wire::PathToObject objectOf = [this](const QString &path) -> Object {
        const bool owned = path != QLatin1String(wire::kApplicationPath);
        return std::make_shared<DBusDispatch>(m_peer, path, owned);
    };
    DBusMessageIter in;
    dbus_message_iter_init(reply, &in);
    DBusMessageIter resultAt = in;
    dbus_message_iter_next(&in);
    // The written-back arguments first: their objects hold references that
    // must be kept even when the result fails to decode.
    DBusMessageIter out;
    dbus_message_iter_recurse(&in, &out);
    for (qsizetype i = 0; dbus_message_iter_get_arg_type(&out) != DBUS_TYPE_INVALID; ++i) {
        QVariant v = rawwire::readVariant(&out, objectOf);
        if (i < args.size())
            args[i] = std::move(v);
        dbus_message_iter_next(&out);
    }
    return rawwire::readVariant(&resultAt, objectOf);
}

QVariant DBusDispatch::invokeOnce(const QString &member, InvokeKind kind, QVariantList &args)
{
    const auto &connection = *m_peer->connection;
    if (!connection.connected())
        throw unreachable();

    MessageRef call(newInvokeMessage(member, kind, args));
    // The user may take minutes over an on-screen pick.
    const bool waitsForUser = member.compare(QLatin1String("SelectOnScreen"), Qt::CaseInsensitive) == 0;
    ScopedError error;
    MessageRef reply(dbus_connection_send_with_reply_and_block(connection.get(), call.m,
                                                               waitsForUser ? DBUS_TIMEOUT_INFINITE : -1, &error.e));
    connection.drain();
    if (!reply.m)
        throw invokeError(connection, m_peer->service, error.e);
    return readInvokeReply(reply.m, member, args);
}

QString dbusObjectPath(const Object &object)
{
    const auto *proxy = dynamic_cast<const DBusDispatch *>(object.get());
    return proxy ? proxy->path() : QString();
}

} // namespace cad
