#include "minicad/server/objectserver.h"

#include "cad/dbus/wire.h"

#include <QDBusConnectionInterface>
#include <QScopeGuard>

#include <algorithm>

namespace minicad {

namespace {

const QString kDBusService = QStringLiteral("org.freedesktop.DBus");
const QString kInvalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
const QString kUnknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
const QString kUnknownObject = QStringLiteral("org.freedesktop.DBus.Error.UnknownObject");

const char kAutomationXml[] = R"(  <interface name="org.lumoedit.Automation">
    <method name="Invoke">
      <arg name="member" type="s" direction="in"/>
      <arg name="kind" type="i" direction="in"/>
      <arg name="args" type="av" direction="in"/>
      <arg name="result" type="v" direction="out"/>
      <arg name="argsOut" type="av" direction="out"/>
    </method>
    <method name="Release"/>
  </interface>
)";

void reply(const QDBusConnection &connection, const QDBusMessage &message, const QDBusMessage &answer)
{
    if (message.isReplyRequired())
        connection.send(answer);
}

void replyError(const QDBusConnection &connection, const QDBusMessage &message, const QString &name,
                const QString &text)
{
    reply(connection, message, message.createErrorReply(name, text));
}

bool isSelectOnScreen(const QString &member, cad::InvokeKind kind)
{
    return kind == cad::InvokeKind::Method && cad::sameMember(member, "SelectOnScreen");
}

} // namespace

ObjectServer::ObjectServer(cad::Object application, QObject *parent)
    : QDBusVirtualObject(parent), m_application(std::move(application))
{
    cad::wire::registerTypes();
}

ObjectServer::~ObjectServer()
{
    unexport();
}

bool ObjectServer::exportOn(const QDBusConnection &connection, QString *error)
{
    if (!connection.isConnected()) {
        if (error)
            *error = QStringLiteral("not connected to the bus");
        return false;
    }
    QDBusConnection c = connection;
    // Watching every name loss from the start means no client can leave
    // unnoticed between its first call and a per-client watch.
    c.connect(kDBusService, QStringLiteral("/org/freedesktop/DBus"), kDBusService, QStringLiteral("NameOwnerChanged"),
              this, SLOT(nameOwnerChanged(QString, QString, QString)));
    if (!c.registerVirtualObject(QStringLiteral("/"), this, QDBusConnection::SubPath)) {
        c.disconnect(kDBusService, QStringLiteral("/org/freedesktop/DBus"), kDBusService,
                     QStringLiteral("NameOwnerChanged"), this, SLOT(nameOwnerChanged(QString, QString, QString)));
        if (error)
            *error = QStringLiteral("the object tree is already registered on this connection");
        return false;
    }
    m_connection = c;
    return true;
}

void ObjectServer::unexport()
{
    if (!m_connection)
        return;
    m_connection->unregisterObject(QStringLiteral("/"), QDBusConnection::UnregisterTree);
    m_connection->disconnect(kDBusService, QStringLiteral("/org/freedesktop/DBus"), kDBusService,
                             QStringLiteral("NameOwnerChanged"), this,
                             SLOT(nameOwnerChanged(QString, QString, QString)));
    m_connection.reset();
}

void ObjectServer::setPickReady(std::function<bool()> ready)
{
    m_pickReady = std::move(ready);
}

void ObjectServer::resumePick()
{
    if (!m_parked || (m_pickReady && !m_pickReady()))
        return;
    Parked parked = std::move(*m_parked);
    m_parked.reset();
    perform(parked.message, parked.connection, parked.target, parked.member, parked.kind, parked.args);
    emit pickWaitingChanged(false);
}

void ObjectServer::addPath(const QString &path, const QString &introspectionXml, PathHandler handler)
{
    m_paths.insert(path, {introspectionXml, std::move(handler)});
}

int ObjectServer::referenceCount(const QString &client) const
{
    int total = 0;
    for (quint64 id : m_byClient.value(client))
        total += m_objects.value(id).holders.value(client);
    return total;
}

void ObjectServer::dropClient(const QString &client)
{
    if (m_parked && m_parked->message.service() == client) {
        // Nobody is left to take the answer; the next caller must not stay busy.
        m_parked.reset();
        emit pickWaitingChanged(false);
    }
    const QSet<quint64> ids = m_byClient.take(client);
    for (quint64 id : ids) {
        auto it = m_objects.find(id);
        if (it == m_objects.end())
            continue;
        it->holders.remove(client);
        if (it->holders.isEmpty()) {
            m_byPointer.remove(it->object.get());
            m_objects.erase(it);
        }
    }
}

void ObjectServer::retireAll()
{
    if (m_parked) {
        Parked parked = std::move(*m_parked);
        m_parked.reset();
        replyError(parked.connection, parked.message, QLatin1String(cad::wire::kFailedError),
                   QStringLiteral("The object %1 no longer exists: another drawing has been loaded")
                       .arg(parked.message.path()));
        emit pickWaitingChanged(false);
    }
    m_objects.clear();
    m_byPointer.clear();
    m_byClient.clear();
    m_retiredBelow = m_nextId;
}

QStringList ObjectServer::childNodes(const QString &path) const
{
    QStringList served{QLatin1String(cad::wire::kApplicationPath)};
    served += m_paths.keys();
    for (auto it = m_objects.constBegin(); it != m_objects.constEnd(); ++it)
        served << QLatin1String(cad::wire::kObjectPathPrefix) + QString::number(it.key());
    const QString prefix = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
    QStringList children;
    for (const QString &p : std::as_const(served)) {
        if (p.size() <= prefix.size() || !p.startsWith(prefix))
            continue;
        const QString child = p.mid(prefix.size()).section(QLatin1Char('/'), 0, 0);
        if (!children.contains(child))
            children << child;
    }
    std::sort(children.begin(), children.end(), [](const QString &a, const QString &b) {
        // Numbered nodes in their order, names before them.
        bool na = false, nb = false;
        const quint64 ia = a.toULongLong(&na), ib = b.toULongLong(&nb);
        if (na && nb)
            return ia < ib;
        if (na != nb)
            return nb;
        return a < b;
    });
    return children;
}

void ObjectServer::nameOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner)
{
    // A unique name that loses its owner is a client that left the bus.
    if (newOwner.isEmpty() && !oldOwner.isEmpty() && name.startsWith(QLatin1Char(':')))
        dropClient(name);
}

QString ObjectServer::introspect(const QString &path) const
{
    QString xml;
    const auto it = m_paths.constFind(path);
    if (it != m_paths.constEnd()) {
        xml = it->first;
    } else if (path == QLatin1String(cad::wire::kApplicationPath)) {
        xml = QLatin1String(kAutomationXml);
    } else if (path.startsWith(QLatin1String(cad::wire::kObjectPathPrefix))) {
        try {
            objectAt(path);
            xml = QLatin1String(kAutomationXml);
        } catch (const cad::AutomationError &) {
        }
    }
    // Foreign clients (busctl tree, gdbus introspect) find the objects by
    // walking the nodes from "/".
    for (const QString &child : childNodes(path))
        xml += QStringLiteral("  <node name=\"%1\"/>\n").arg(child);
    return xml;
}

bool ObjectServer::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QString path = message.path();
    const auto handler = m_paths.constFind(path);
    if (handler != m_paths.constEnd()) {
        // Introspection and the standard interfaces are left to QtDBus.
        if (message.interface().startsWith(QLatin1String("org.freedesktop.DBus.")))
            return false;
        handler->second(message, connection);
        return true;
    }
    const QString interface = message.interface();
    if (interface.startsWith(QLatin1String("org.freedesktop.DBus.")))
        return false; // introspection and properties: QtDBus answers
    if (!interface.isEmpty() && interface != QLatin1String(cad::wire::kAutomationInterface)) {
        replyError(connection, message, QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
                   QStringLiteral("No interface %1 at %2").arg(interface, path));
        return true;
    }
    if (message.member() == QLatin1String("Invoke"))
        handleInvoke(message, connection);
    else if (message.member() == QLatin1String("Release"))
        handleRelease(message, connection);
    else
        replyError(connection, message, kUnknownMethod,
                   QStringLiteral("No method %1 on %2").arg(message.member(), QLatin1String(cad::wire::kAutomationInterface)));
    return true;
}

cad::Object ObjectServer::objectAt(const QString &path) const
{
    if (path == QLatin1String(cad::wire::kApplicationPath))
        return m_application;
    if (path.startsWith(QLatin1String(cad::wire::kObjectPathPrefix))) {
        bool ok = false;
        const quint64 id = QStringView(path).mid(qsizetype(strlen(cad::wire::kObjectPathPrefix))).toULongLong(&ok);
        const auto it = ok ? m_objects.constFind(id) : m_objects.constEnd();
        if (it != m_objects.constEnd())
            return it->object;
        if (ok && id > 0 && id < m_retiredBelow)
            throw cad::AutomationError(
                QStringLiteral("The object %1 no longer exists: another drawing has been loaded").arg(path));
        throw cad::AutomationError(QStringLiteral("The object %1 has been released").arg(path),
                                   cad::AutomationError::Kind::Gone);
    }
    throw cad::AutomationError(QStringLiteral("No object at %1").arg(path), cad::AutomationError::Kind::Gone);
}

QString ObjectServer::hand(const cad::Object &object, const QString &client, QList<quint64> &handed)
{
    if (object == m_application)
        return QLatin1String(cad::wire::kApplicationPath);
    quint64 id = m_byPointer.value(object.get());
    if (!id) {
        id = m_nextId++;
        m_objects.insert(id, Exported{object, {}});
        m_byPointer.insert(object.get(), id);
    }
    ++m_objects[id].holders[client];
    m_byClient[client].insert(id);
    handed.append(id);
    return QLatin1String(cad::wire::kObjectPathPrefix) + QString::number(id);
}

void ObjectServer::releaseOne(quint64 id, const QString &client)
{
    auto it = m_objects.find(id);
    if (it == m_objects.end())
        return;
    auto holder = it->holders.find(client);
    if (holder == it->holders.end())
        return;
    if (--holder.value() > 0)
        return;
    it->holders.erase(holder);
    auto ids = m_byClient.find(client);
    if (ids != m_byClient.end()) {
        ids->remove(id);
        if (ids->isEmpty())
            m_byClient.erase(ids);
    }
    if (it->holders.isEmpty()) {
        m_byPointer.remove(it->object.get());
        m_objects.erase(it);
    }
}

void ObjectServer::handleRelease(const QDBusMessage &message, const QDBusConnection &connection)
{
    const QString path = message.path();
    if (!message.signature().isEmpty()) {
        replyError(connection, message, kInvalidArgs, QStringLiteral("Release takes no arguments"));
        return;
    }
    if (path == QLatin1String(cad::wire::kApplicationPath)) {
        // The application object lives as long as the server; nothing to count.
        reply(connection, message, message.createReply());
        return;
    }
    quint64 id = 0;
    if (path.startsWith(QLatin1String(cad::wire::kObjectPathPrefix)))
        id = QStringView(path).mid(qsizetype(strlen(cad::wire::kObjectPathPrefix))).toULongLong();
    const auto it = m_objects.constFind(id);
    if (it == m_objects.constEnd() && id > 0 && id < m_retiredBelow) {
        // Its drawing is gone and it with it: nothing left to release.
        reply(connection, message, message.createReply());
        return;
    }
    if (it == m_objects.constEnd()) {
        replyError(connection, message, kUnknownObject, QStringLiteral("No object at %1").arg(path));
        return;
    }
    if (!it->holders.contains(message.service())) {
        replyError(connection, message, QLatin1String(cad::wire::kFailedError),
                   QStringLiteral("%1 holds no reference to %2").arg(message.service(), path));
        return;
    }
    releaseOne(id, message.service());
    reply(connection, message, message.createReply());
}

void ObjectServer::handleInvoke(const QDBusMessage &message, const QDBusConnection &connection)
{
    if (message.signature() != QLatin1String("siav")) {
        replyError(connection, message, kInvalidArgs,
                   QStringLiteral("Invoke takes (s member, i kind, av args), not (%1)").arg(message.signature()));
        return;
    }
    const QVariantList in = message.arguments();
    cad::Object target;
    try {
        target = objectAt(message.path());
    } catch (const cad::AutomationError &e) {
        // A retired object is an automation failure; a path never served is unknown.
        replyError(connection, message,
                   e.kind() == cad::AutomationError::Kind::Failed ? cad::wire::errorName(e.kind()) : kUnknownObject,
                   e.message());
        return;
    }
    if (m_parked || m_performing) {
        // A call that arrives while another waits for the user (parked here,
        // or inside the drawing's own wait, whose event loop lets us in
        // again) is told to come back, as a COM server's message filter does.
        replyError(connection, message, QLatin1String(cad::wire::kBusyError),
                   QStringLiteral("The application is busy: it waits for the user to pick on screen"));
        return;
    }
    const QString member = in.at(0).toString();
    const int kindValue = in.at(1).toInt();
    if (kindValue != int(cad::InvokeKind::Method) && kindValue != int(cad::InvokeKind::PropertyGet)
        && kindValue != int(cad::InvokeKind::PropertyPut)) {
        replyError(connection, message, kInvalidArgs,
                   QStringLiteral("The invoke kind %1 is not 1 (method), 2 (get) or 4 (put)").arg(kindValue));
        return;
    }
    const auto kind = cad::InvokeKind(kindValue);
    QVariantList args;
    try {
        args = cad::wire::decodeList(in.at(2), [this](const QString &path) { return objectAt(path); });
    } catch (const cad::AutomationError &e) {
        replyError(connection, message, cad::wire::errorName(e.kind()), e.message());
        return;
    }
    if (isSelectOnScreen(member, kind) && m_pickReady && !m_pickReady()) {
        // The answer comes later (a queued pick, or the user); meanwhile the
        // event loop keeps turning every other caller away as busy.
        m_parked = Parked{message, connection, target, member, kind, args};
        emit pickWaitingChanged(true);
        return;
    }
    perform(message, connection, target, member, kind, args);
}

void ObjectServer::perform(const QDBusMessage &message, const QDBusConnection &connection, const cad::Object &target,
                           const QString &member, cad::InvokeKind kind, QVariantList &args)
{
    const QString client = message.service();
    QList<quint64> handed;
    ++m_performing;
    const auto done = qScopeGuard([this] { --m_performing; });
    try {
        const QVariantList before = args;
        const QVariant result = target->invoke(member, kind, args);
        const cad::wire::ObjectToPath pathOf = [&](const cad::Object &o) { return hand(o, client, handed); };
        const QDBusVariant encodedResult = cad::wire::encode(result, pathOf);
        // argsOut stays empty when the call changed no argument: the common
        // case then carries nothing back.
        const QVariantList argsOut = args == before ? QVariantList() : cad::wire::encodeList(args, pathOf);
        if (!message.isReplyRequired()) {
            for (quint64 id : handed)
                releaseOne(id, client);
            return;
        }
        QDBusMessage answer = message.createReply();
        answer.setArguments({QVariant::fromValue(encodedResult), QVariant(argsOut)});
        connection.send(answer);
        return;
    } catch (const cad::AutomationError &e) {
        for (quint64 id : handed)
            releaseOne(id, client);
        replyError(connection, message, cad::wire::errorName(e.kind()), e.message());
    } catch (const std::exception &e) {
        for (quint64 id : handed)
            releaseOne(id, client);
        replyError(connection, message, QLatin1String(cad::wire::kFailedError), QString::fromUtf8(e.what()));
    }
}

} // namespace minicad
