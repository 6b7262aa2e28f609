#include "cad/dbus/dbusobjects.h"

#include "cad/dbus/dbusconnection.h"
#include "protocol/dbus/busconnection.h"
#include "protocol/dbus/frame.h"
#include "protocol/dbus/rawwire.h"
#include "cad/messagefilter.h"

#include <dbus/dbus.h>

#include <climits>
#include <utility>

#include <QThread>

namespace cad {

struct DBusDispatch::Peer {
    std::shared_ptr<DBusRunningObjects::Connection> connection;
    QByteArray service; // the unique name, so a restarted server is never mistaken for the old one
};

namespace {

using bus::ScopedError;

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

bool nameHasOwner(DBusRunningObjects::Connection &c, const QByteArray &name)
{
    ScopedError error;
    const bool owned = dbus_bus_name_has_owner(c.get(), name.constData(), &error.e);
    c.collect();
    return owned && !dbus_error_is_set(&error.e);
}

// After "no reply": did the application leave the bus? The bus daemon
// answers a call whose recipient disconnects before its name is released,
// so the name is given a moment to go before the answer is "still there".
bool peerIsGone(DBusRunningObjects::Connection &c, const QByteArray &name)
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (c.isPeer()) {
            // No bus to ask: the closed socket says it.
            dbus_connection_read_write(c.get(), 0);
            c.collect();
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
    DBusConnection *c = bus::openPrivate(m_address.toUtf8(), &error.e);
    if (!c)
        return nullptr;
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
    bus->collect();
    const char *address = nullptr;
    if (!reply.m || !dbus_message_get_args(reply.m, &error.e, DBUS_TYPE_STRING, &address, DBUS_TYPE_INVALID))
        return nullptr; // an application that offers none (or an older one): the bus it is
    // The application answers Hello with the name it counts our references under.
    DBusConnection *c = bus::openPrivate(QByteArray(address), &error.e);
    if (!c) {
        qWarning("lumoedit: the application's peer-to-peer address %s is not reachable: %s", address, error.e.message);
        return nullptr;
    }
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
    c->collect();
    const char *owner = nullptr;
    if (!reply.m || !dbus_message_get_args(reply.m, &error.e, DBUS_TYPE_STRING, &owner, DBUS_TYPE_INVALID) || !owner)
        throw unreachable();
    const QByteArray ownerName(owner);
    m_lastPeer = m_peerToPeer ? peerConnection(c, ownerName) : nullptr;
    auto peer = std::make_shared<const DBusDispatch::Peer>(DBusDispatch::Peer{m_lastPeer ? m_lastPeer : c, ownerName});
    return std::make_shared<DBusDispatch>(std::move(peer), QLatin1String(wire::kApplicationPath), false);
}

DBusDispatch::DBusDispatch(std::shared_ptr<const Peer> peer, const QString &path, bool owned)
    : m_peer(std::move(peer)), m_path(path), m_pathUtf8(path.toUtf8()), m_owned(owned)
{
}

DBusDispatch::~DBusDispatch()
{
    // The reference this proxy stands for. No reply is awaited, so dropping
    // a proxy never blocks; messages keep their order on the connection.
    auto &connection = *m_peer->connection;
    if (!m_owned || !connection.connected())
        return;
    connection.write(frame::releaseCall(connection.serial(), destination(), m_pathUtf8));
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
AutomationError invokeError(DBusRunningObjects::Connection &connection, const QByteArray &service,
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

constexpr int kCallTimeoutMs = 25000;
const char kNoReplyText[] = "Did not receive a reply. Possible causes include: the remote application did not send "
                            "a reply, the message bus security policy blocked the reply, the reply timeout expired, "
                            "or the network connection was broken.";
const char kDisconnectedText[] = "Message recipient disconnected from message bus without replying";

} // namespace

QDeadlineTimer callDeadline(const QString &member)
{
    // The user may take minutes over an on-screen pick.
    if (member.compare(QLatin1String("SelectOnScreen"), Qt::CaseInsensitive) == 0)
        return QDeadlineTimer(QDeadlineTimer::Forever);
    return QDeadlineTimer(kCallTimeoutMs);
}

// ---- answers and the connection

Answer::~Answer()
{
    if (m_reply)
        dbus_message_unref(m_reply);
}

Answer::Answer(Answer &&other) noexcept
    : m_reply(std::exchange(other.m_reply, nullptr)), m_errorName(other.m_errorName), m_errorText(other.m_errorText)
{
}

Answer &Answer::operator=(Answer &&other) noexcept
{
    std::swap(m_reply, other.m_reply);
    std::swap(m_errorName, other.m_errorName);
    std::swap(m_errorText, other.m_errorText);
    return *this;
}

bool Answer::isError() const
{
    return !m_reply || dbus_message_get_type(m_reply) == DBUS_MESSAGE_TYPE_ERROR;
}

const char *Answer::errorName() const
{
    return m_reply ? dbus_message_get_error_name(m_reply) : m_errorName;
}

void Answer::toError(DBusError *error) const
{
    if (m_reply)
        dbus_set_error_from_message(error, m_reply);
    else
        dbus_set_error_const(error, m_errorName, m_errorText);
}

DBusRunningObjects::Connection::~Connection()
{
    for (DBusMessage *m : std::as_const(m_arrived))
        dbus_message_unref(m);
    dbus_connection_close(m_c);
    dbus_connection_unref(m_c);
}

void DBusRunningObjects::Connection::expect(quint32 serial)
{
    m_expected.insert(serial);
}

bool DBusRunningObjects::Connection::write(const QByteArray &messages)
{
    return frame::write(m_c, messages, true, kCallTimeoutMs);
}

void DBusRunningObjects::Connection::collect()
{
    while (DBusMessage *m = dbus_connection_pop_message(m_c)) {
        const int type = dbus_message_get_type(m);
        const quint32 serial = dbus_message_get_reply_serial(m);
        if ((type == DBUS_MESSAGE_TYPE_METHOD_RETURN || type == DBUS_MESSAGE_TYPE_ERROR) && m_expected.contains(serial)
            && !m_arrived.contains(serial))
            m_arrived.insert(serial, m);
        else
            dbus_message_unref(m);
    }
}

Answer DBusRunningObjects::Connection::await(quint32 serial, const QDeadlineTimer &deadline)
{
    for (;;) {
        collect();
        if (DBusMessage *m = m_arrived.take(serial)) {
            m_expected.remove(serial);
            return Answer(m);
        }
        if (!connected()) {
            m_expected.remove(serial);
            return Answer(DBUS_ERROR_NO_REPLY, kDisconnectedText);
        }
        const qint64 left = deadline.remainingTime();
        if (left == 0) {
            m_expected.remove(serial);
            return Answer(DBUS_ERROR_NO_REPLY, kNoReplyText);
        }
        dbus_connection_read_write(m_c, left < 0 ? -1 : int(std::min<qint64>(left, INT_MAX)));
    }
}

// ---- calls

QByteArray DBusDispatch::invokeMessage(quint32 serial, const QString &member, InvokeKind kind,
                                       const QVariantList &args) const
{
    const wire::ObjectToPath pathOf = [this](const Object &o) {
        const auto *proxy = dynamic_cast<const DBusDispatch *>(o.get());
        if (!proxy || proxy->m_peer->service != m_peer->service || proxy->m_peer->connection != m_peer->connection)
            throw AutomationError(QStringLiteral("Type mismatch: the object belongs to another application"));
        return proxy->m_path;
    };
    return frame::invokeCall(serial, destination(), m_pathUtf8, member, kind, args, pathOf);
}

const QByteArray &DBusDispatch::destination() const
{
    // A peer-to-peer connection leads to the application alone: a message
    // there needs no address, and one header field less is less to check.
    static const QByteArray none;
    return m_peer->connection->isPeer() ? none : m_peer->service;
}

DBusRunningObjects::Connection *DBusDispatch::openConnection() const
{
    return m_peer->connection->connected() ? m_peer->connection.get() : nullptr;
}

bool DBusDispatch::sameConnection(const DBusDispatch &other) const
{
    return m_peer->connection == other.m_peer->connection;
}

QVariant DBusDispatch::readAnswer(const Answer &answer, const QString &member, QVariantList &args) const
{
    if (answer.isError()) {
        ScopedError error;
        answer.toError(&error.e);
        throw invokeError(*m_peer->connection, m_peer->service, error.e);
    }
    DBusMessage *reply = answer.reply();
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
    auto &connection = *m_peer->connection;
    if (!connection.connected())
        throw unreachable();
    const quint32 serial = connection.serial();
    const QByteArray call = invokeMessage(serial, member, kind, args);
    connection.expect(serial);
    connection.write(call);
    return readAnswer(connection.await(serial, callDeadline(member)), member, args);
}

QString dbusObjectPath(const Object &object)
{
    const auto *proxy = dynamic_cast<const DBusDispatch *>(object.get());
    return proxy ? proxy->path() : QString();
}

} // namespace cad
