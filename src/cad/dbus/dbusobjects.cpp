#include "cad/dbus/dbusobjects.h"

#include "cad/dbus/wire.h"
#include "cad/messagefilter.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include <climits>

namespace cad {

struct DBusDispatch::Peer {
    QDBusConnection connection;
    QString service; // the unique name, so a restarted server is never mistaken for the old one
};

namespace {

AutomationError notRunning(const QString &progId)
{
    return AutomationError(QStringLiteral("Operation unavailable: %1 is not running").arg(progId),
                           AutomationError::Kind::Gone);
}

bool serviceAlive(const QDBusConnection &connection, const QString &service)
{
    if (!connection.isConnected() || !connection.interface())
        return false;
    const QDBusReply<bool> reply = connection.interface()->isServiceRegistered(service);
    return reply.isValid() && reply.value();
}

} // namespace

DBusRunningObjects::DBusRunningObjects(const QDBusConnection &connection) : m_connection(connection)
{
    wire::registerTypes();
}

bool DBusRunningObjects::isRunning(const QString &progId)
{
    const QString name = wire::busNameForProgId(progId);
    return !name.isEmpty() && serviceAlive(m_connection, name);
}

Object DBusRunningObjects::attach(const QString &progId)
{
    const QString name = wire::busNameForProgId(progId);
    if (name.isEmpty() || !m_connection.isConnected() || !m_connection.interface())
        throw notRunning(progId);
    const QDBusReply<QString> owner = m_connection.interface()->serviceOwner(name);
    if (!owner.isValid() || owner.value().isEmpty())
        throw notRunning(progId);
    auto peer = std::make_shared<const DBusDispatch::Peer>(DBusDispatch::Peer{m_connection, owner.value()});
    return std::make_shared<DBusDispatch>(std::move(peer), QLatin1String(wire::kApplicationPath), false);
}

DBusDispatch::DBusDispatch(std::shared_ptr<const Peer> peer, const QString &path, bool owned)
    : m_peer(std::move(peer)), m_path(path), m_owned(owned)
{
}

DBusDispatch::~DBusDispatch()
{
    // The reference this proxy stands for; no reply is awaited, so dropping a
    // proxy never blocks (messages keep their order on the connection).
    if (!m_owned || !QCoreApplication::instance() || !m_peer->connection.isConnected())
        return;
    m_peer->connection.send(QDBusMessage::createMethodCall(m_peer->service, m_path,
                                                           QLatin1String(wire::kAutomationInterface),
                                                           QStringLiteral("Release")));
}

QString DBusDispatch::service() const
{
    return m_peer->service;
}

QVariant DBusDispatch::invoke(const QString &member, InvokeKind kind, QVariantList &args)
{
    return callWithBusyRetry([&] { return invokeOnce(member, kind, args); });
}

QVariant DBusDispatch::invokeOnce(const QString &member, InvokeKind kind, QVariantList &args)
{
    const wire::ObjectToPath pathOf = [this](const Object &o) {
        const auto *proxy = dynamic_cast<const DBusDispatch *>(o.get());
        if (!proxy || proxy->m_peer->service != m_peer->service)
            throw AutomationError(QStringLiteral("Type mismatch: the object belongs to another application"));
        return proxy->m_path;
    };
    // Every path in an answer carries one reference of ours.
    const wire::PathToObject objectOf = [this](const QString &path) -> Object {
        const bool owned = path != QLatin1String(wire::kApplicationPath);
        return std::make_shared<DBusDispatch>(m_peer, path, owned);
    };

    QDBusMessage message = QDBusMessage::createMethodCall(m_peer->service, m_path,
                                                          QLatin1String(wire::kAutomationInterface),
                                                          QStringLiteral("Invoke"));
    message.setArguments({member, int(kind), QVariant(wire::encodeList(args, pathOf))});

    // The user may take minutes over an on-screen pick.
    const bool waitsForUser = member.compare(QLatin1String("SelectOnScreen"), Qt::CaseInsensitive) == 0;
    const QDBusMessage reply = m_peer->connection.call(message, QDBus::Block, waitsForUser ? INT_MAX : -1);

    if (reply.type() == QDBusMessage::ErrorMessage) {
        AutomationError::Kind errorKind = wire::errorKind(reply.errorName());
        if (errorKind == AutomationError::Kind::Failed
            && reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply")
            && !serviceAlive(m_peer->connection, m_peer->service))
            errorKind = AutomationError::Kind::Gone;
        QString text = reply.errorMessage();
        if (text.isEmpty())
            text = reply.errorName();
        throw AutomationError(text, errorKind);
    }
    if (reply.type() != QDBusMessage::ReplyMessage)
        throw AutomationError(QStringLiteral("The application did not answer"), AutomationError::Kind::Gone);

    const QVariantList out = reply.arguments();
    if (out.size() != 2)
        throw AutomationError(QStringLiteral("The application answered %1 with a malformed reply").arg(member));
    // Decode the written-back arguments first: their objects hold references
    // that must be kept even when the result fails to decode.
    const QVariantList argsOut = wire::decodeList(out.at(1), objectOf);
    for (qsizetype i = 0; i < argsOut.size() && i < args.size(); ++i)
        args[i] = argsOut.at(i);
    return wire::decode(out.at(0), objectOf);
}

QString dbusObjectPath(const Object &object)
{
    const auto *proxy = dynamic_cast<const DBusDispatch *>(object.get());
    return proxy ? proxy->path() : QString();
}

} // namespace cad
