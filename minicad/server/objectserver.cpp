#include "minicad/server/objectserver.h"

#include "protocol/dbus/frame.h"
#include "protocol/dbus/rawwire.h"
#include "protocol/dbus/wire.h"

#include <QScopeGuard>

#include <algorithm>
#include <cstring>

namespace minicad {

namespace {

const QString kInvalidArgs = QStringLiteral(DBUS_ERROR_INVALID_ARGS);
const QString kUnknownMethod = QStringLiteral(DBUS_ERROR_UNKNOWN_METHOD);
const QString kUnknownObject = QStringLiteral(DBUS_ERROR_UNKNOWN_OBJECT);
const QString kUnknownInterface = QStringLiteral(DBUS_ERROR_UNKNOWN_INTERFACE);

const char kStandardXml[] = R"(  <interface name="org.freedesktop.DBus.Introspectable">
    <method name="Introspect"><arg name="xml_data" type="s" direction="out"/></method>
  </interface>
  <interface name="org.freedesktop.DBus.Peer">
    <method name="Ping"/>
    <method name="GetMachineId"><arg name="machine_uuid" type="s" direction="out"/></method>
  </interface>
)";

const char kAutomationXml[] = R"(  <interface name="org.lumoedit.Automation">
    <method name="Invoke">
      <arg name="member" type="s" direction="in"/>
      <arg name="kind" type="i" direction="in"/>
      <arg name="args" type="av" direction="in"/>
      <arg name="result" type="v" direction="out"/>
      <arg name="argsOut" type="av" direction="out"/>
    </method>
    <method name="Release"/>
%1  </interface>
)";

const char kPeerAddressXml[] = R"(    <method name="PeerAddress"><arg name="address" type="s" direction="out"/></method>
)";

bool isSelectOnScreen(const QString &member, cad::InvokeKind kind)
{
    return kind == cad::InvokeKind::Method && cad::sameMember(member, "SelectOnScreen");
}

QString fromUtf8(const char *s)
{
    return s ? QString::fromUtf8(s) : QString();
}

QString retiredText(const QString &path)
{
    return QStringLiteral("The object %1 no longer exists: its drawing was closed or replaced").arg(path);
}

} // namespace

ObjectServer::ObjectServer(cad::Object application, QObject *parent)
    : QObject(parent), m_application(std::move(application))
{
}

ObjectServer::~ObjectServer()
{
    unexport();
}

void ObjectServer::serve(BusLink *link)
{
    link->setHandler([this](BusLink *l, DBusMessage *m) { handleMessage(l, m); });
}

bool ObjectServer::exportOn(BusLink *bus, QString *error)
{
    if (!bus || !bus->connected()) {
        if (error)
            *error = QStringLiteral("not connected to the bus");
        return false;
    }
    if (m_bus) {
        if (error)
            *error = QStringLiteral("the object tree is already served");
        return false;
    }
    // Watching every name loss from the start means no client can leave
    // unnoticed between its first call and a per-client watch.
    dbus_bus_add_match(bus->get(),
                       "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
                       "member='NameOwnerChanged'",
                       nullptr);
    m_bus = bus;
    serve(bus);
    return true;
}

void ObjectServer::unexport()
{
    if (m_parked)
        unpark();
    delete m_peers;
    m_peers = nullptr;
    if (m_bus) {
        m_bus->setHandler({});
        m_bus = nullptr;
    }
}

bool ObjectServer::offerPeerToPeer(QString *error)
{
    if (m_peers)
        return true;
    m_peers = PeerServer::listen(error, this);
    if (!m_peers)
        return false;
    connect(m_peers, &PeerServer::newLink, this, [this](BusLink *link) {
        serve(link);
        connect(link, &BusLink::disconnected, this, [this](BusLink *gone) {
            // A peer connection that closes is a client that left.
            dropClient(gone->uniqueName());
            gone->setHandler({});
            gone->deleteLater();
        });
    });
    return true;
}

QString ObjectServer::peerAddress() const
{
    return m_peers ? m_peers->address() : QString();
}

void ObjectServer::setPickReady(std::function<bool()> ready)
{
    m_pickReady = std::move(ready);
}

void ObjectServer::unpark()
{
    dbus_message_unref(m_parked->message);
    m_parked.reset();
}

void ObjectServer::resumePick()
{
    if (!m_parked || (m_pickReady && !m_pickReady()))
        return;
    Parked parked = std::move(*m_parked);
    m_parked.reset();
    const auto unref = qScopeGuard([&] { dbus_message_unref(parked.message); });
    perform(parked.link, parked.message, parked.client, parked.target, parked.member, parked.kind, parked.args);
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
    if (m_parked && m_parked->client == client) {
        // Nobody is left to take the answer; the next caller must not stay busy.
        unpark();
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
        m_parked->link->replyError(m_parked->message, QLatin1String(cad::wire::kFailedError),
                                   retiredText(fromUtf8(dbus_message_get_path(m_parked->message))));
        unpark();
        emit pickWaitingChanged(false);
    }
    m_objects.clear();
    m_byPointer.clear();
    m_byClient.clear();
    m_retired.clear();
    m_retiredBelow = m_nextId;
}

void ObjectServer::retireWhere(const std::function<bool(const cad::Object &)> &which)
{
    if (m_parked && which(m_parked->target)) {
        m_parked->link->replyError(m_parked->message, QLatin1String(cad::wire::kFailedError),
                                   retiredText(fromUtf8(dbus_message_get_path(m_parked->message))));
        unpark();
        emit pickWaitingChanged(false);
    }
    for (auto it = m_objects.begin(); it != m_objects.end();) {
        if (!which(it->object)) {
            ++it;
            continue;
        }
        for (auto h = it->holders.constBegin(); h != it->holders.constEnd(); ++h) {
            auto held = m_byClient.find(h.key());
            if (held == m_byClient.end())
                continue;
            held->remove(it.key());
            if (held->isEmpty())
                m_byClient.erase(held);
        }
        m_byPointer.remove(it->object.get());
        m_retired.insert(it.key());
        it = m_objects.erase(it);
    }
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

bool ObjectServer::isNode(const QString &path) const
{
    if (path == QLatin1String("/") || path == QLatin1String(cad::wire::kApplicationPath) || m_paths.contains(path))
        return true;
    const QString objects = QLatin1String(cad::wire::kObjectPathPrefix);
    if (path == objects.chopped(1))
        return true;
    if (path.startsWith(objects)) {
        try {
            objectAt(path);
            return true;
        } catch (const cad::AutomationError &) {
        }
    }
    return !childNodes(path).isEmpty();
}

QString ObjectServer::introspect(const QString &path) const
{
    if (!isNode(path))
        return {};
    QString xml = QStringLiteral(DBUS_INTROSPECT_1_0_XML_DOCTYPE_DECL_NODE "<node>\n") + QLatin1String(kStandardXml);
    const auto it = m_paths.constFind(path);
    if (it != m_paths.constEnd())
        xml += it->first;
    else if (path == QLatin1String(cad::wire::kApplicationPath))
        xml += QString::fromLatin1(kAutomationXml).arg(QLatin1String(kPeerAddressXml));
    else if (path.startsWith(QLatin1String(cad::wire::kObjectPathPrefix)))
        xml += QString::fromLatin1(kAutomationXml).arg(QString());
    // Foreign clients (busctl tree, gdbus introspect) find the objects by
    // walking the nodes from "/".
    for (const QString &child : childNodes(path))
        xml += QStringLiteral("  <node name=\"%1\"/>\n").arg(child);
    return xml + QStringLiteral("</node>\n");
}

void ObjectServer::handleSignal(DBusMessage *message)
{
    if (!dbus_message_is_signal(message, DBUS_INTERFACE_DBUS, "NameOwnerChanged"))
        return;
    const char *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
    if (!dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING, &oldOwner,
                               DBUS_TYPE_STRING, &newOwner, DBUS_TYPE_INVALID))
        return;
    // A unique name that loses its owner is a client that left the bus.
    if (name[0] == ':' && oldOwner[0] && !newOwner[0])
        dropClient(QString::fromUtf8(name));
}

void ObjectServer::handleMessage(BusLink *link, DBusMessage *message)
{
    const int type = dbus_message_get_type(message);
    if (type == DBUS_MESSAGE_TYPE_SIGNAL) {
        // Only the bus daemon's word counts on the bus.
        if (link->isBus() && qstrcmp(dbus_message_get_sender(message), DBUS_SERVICE_DBUS) == 0)
            handleSignal(message);
        return;
    }
    if (type != DBUS_MESSAGE_TYPE_METHOD_CALL)
        return;
    const QString path = fromUtf8(dbus_message_get_path(message));
    const QString interface = fromUtf8(dbus_message_get_interface(message));
    const QString member = fromUtf8(dbus_message_get_member(message));
    if (interface.startsWith(QLatin1String("org.freedesktop.DBus."))) {
        handleStandard(link, message);
        return;
    }
    const auto handler = m_paths.constFind(path);
    if (handler != m_paths.constEnd()) {
        handler->second(link, message);
        return;
    }
    if (!interface.isEmpty() && interface != QLatin1String(cad::wire::kAutomationInterface)) {
        link->replyError(message, kUnknownInterface, QStringLiteral("No interface %1 at %2").arg(interface, path));
        return;
    }
    if (member == QLatin1String("Invoke")) {
        handleInvoke(link, message);
    } else if (member == QLatin1String("Release")) {
        handleRelease(link, message);
    } else if (member == QLatin1String("PeerAddress") && path == QLatin1String(cad::wire::kApplicationPath)) {
        if (!m_peers) {
            link->replyError(message, QLatin1String(cad::wire::kFailedError),
                             QStringLiteral("No peer-to-peer connection is offered"));
            return;
        }
        DBusMessage *answer = dbus_message_new_method_return(message);
        const QByteArray address = m_peers->address().toUtf8();
        const char *a = address.constData();
        dbus_message_append_args(answer, DBUS_TYPE_STRING, &a, DBUS_TYPE_INVALID);
        link->reply(message, answer);
    } else {
        link->replyError(message, kUnknownMethod,
                         QStringLiteral("No method %1 on %2").arg(member, QLatin1String(cad::wire::kAutomationInterface)));
    }
}

void ObjectServer::handleStandard(BusLink *link, DBusMessage *message)
{
    const QString path = fromUtf8(dbus_message_get_path(message));
    if (dbus_message_is_method_call(message, DBUS_INTERFACE_INTROSPECTABLE, "Introspect")) {
        const QString xml = introspect(path);
        if (xml.isEmpty()) {
            link->replyError(message, kUnknownObject, QStringLiteral("No object at %1").arg(path));
            return;
        }
        DBusMessage *answer = dbus_message_new_method_return(message);
        const QByteArray utf8 = xml.toUtf8();
        const char *data = utf8.constData();
        dbus_message_append_args(answer, DBUS_TYPE_STRING, &data, DBUS_TYPE_INVALID);
        link->reply(message, answer);
    } else if (dbus_message_is_method_call(message, DBUS_INTERFACE_PEER, "Ping")) {
        link->replyEmpty(message);
    } else if (dbus_message_is_method_call(message, DBUS_INTERFACE_PEER, "GetMachineId")) {
        DBusError error;
        dbus_error_init(&error);
        char *id = dbus_try_get_local_machine_id(&error);
        if (!id) {
            link->replyError(message, QStringLiteral(DBUS_ERROR_FAILED), QString::fromUtf8(error.message));
            dbus_error_free(&error);
            return;
        }
        DBusMessage *answer = dbus_message_new_method_return(message);
        dbus_message_append_args(answer, DBUS_TYPE_STRING, &id, DBUS_TYPE_INVALID);
        dbus_free(id);
        link->reply(message, answer);
    } else {
        link->replyError(message, kUnknownInterface,
                         QStringLiteral("No interface %1 at %2").arg(fromUtf8(dbus_message_get_interface(message)), path));
    }
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
        if (ok && id > 0 && (id < m_retiredBelow || m_retired.contains(id)))
            throw cad::AutomationError(retiredText(path));
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

void ObjectServer::handleRelease(BusLink *link, DBusMessage *message)
{
    const QString path = fromUtf8(dbus_message_get_path(message));
    if (*dbus_message_get_signature(message)) {
        link->replyError(message, kInvalidArgs, QStringLiteral("Release takes no arguments"));
        return;
    }
    if (path == QLatin1String(cad::wire::kApplicationPath)) {
        // The application object lives as long as the server; nothing to count.
        link->replyEmpty(message);
        return;
    }
    quint64 id = 0;
    if (path.startsWith(QLatin1String(cad::wire::kObjectPathPrefix)))
        id = QStringView(path).mid(qsizetype(strlen(cad::wire::kObjectPathPrefix))).toULongLong();
    const auto it = m_objects.constFind(id);
    if (it == m_objects.constEnd() && id > 0 && (id < m_retiredBelow || m_retired.contains(id))) {
        // Its drawing is gone and it with it: nothing left to release.
        link->replyEmpty(message);
        return;
    }
    if (it == m_objects.constEnd()) {
        link->replyError(message, kUnknownObject, QStringLiteral("No object at %1").arg(path));
        return;
    }
    const QString client = link->clientOf(message);
    if (!it->holders.contains(client)) {
        link->replyError(message, QLatin1String(cad::wire::kFailedError),
                         QStringLiteral("%1 holds no reference to %2").arg(client, path));
        return;
    }
    releaseOne(id, client);
    link->replyEmpty(message);
}

void ObjectServer::handleInvoke(BusLink *link, DBusMessage *message)
{
    const char *signature = dbus_message_get_signature(message);
    if (qstrcmp(signature, "siav") != 0) {
        link->replyError(message, kInvalidArgs,
                         QStringLiteral("Invoke takes (s member, i kind, av args), not (%1)").arg(fromUtf8(signature)));
        return;
    }
    cad::Object target;
    try {
        target = objectAt(fromUtf8(dbus_message_get_path(message)));
    } catch (const cad::AutomationError &e) {
        // A retired object is an automation failure; a path never served is unknown.
        link->replyError(message,
                         e.kind() == cad::AutomationError::Kind::Failed ? cad::wire::errorName(e.kind()) : kUnknownObject,
                         e.message());
        return;
    }
    if (m_parked || m_performing) {
        // A call that arrives while another waits for the user (parked here,
        // or inside the drawing's own wait, whose event loop lets us in
        // again) is told to come back, as a COM server's message filter does.
        link->replyError(message, QLatin1String(cad::wire::kBusyError),
                         QStringLiteral("The application is busy: it waits for the user to pick on screen"));
        return;
    }
    DBusMessageIter it;
    dbus_message_iter_init(message, &it);
    const char *memberData = nullptr;
    dbus_message_iter_get_basic(&it, &memberData);
    dbus_message_iter_next(&it);
    dbus_int32_t kindValue = 0;
    dbus_message_iter_get_basic(&it, &kindValue);
    dbus_message_iter_next(&it);
    const QString member = QString::fromUtf8(memberData);
    if (kindValue != int(cad::InvokeKind::Method) && kindValue != int(cad::InvokeKind::PropertyGet)
        && kindValue != int(cad::InvokeKind::PropertyPut)) {
        link->replyError(message, kInvalidArgs,
                         QStringLiteral("The invoke kind %1 is not 1 (method), 2 (get) or 4 (put)").arg(kindValue));
        return;
    }
    const auto kind = cad::InvokeKind(kindValue);
    QVariantList args;
    try {
        const cad::wire::PathToObject objectOf = [this](const QString &path) { return objectAt(path); };
        DBusMessageIter array;
        dbus_message_iter_recurse(&it, &array);
        while (dbus_message_iter_get_arg_type(&array) != DBUS_TYPE_INVALID) {
            args.append(cad::rawwire::readVariant(&array, objectOf));
            dbus_message_iter_next(&array);
        }
    } catch (const cad::AutomationError &e) {
        link->replyError(message, cad::wire::errorName(e.kind()), e.message());
        return;
    }
    const QString client = link->clientOf(message);
    if (isSelectOnScreen(member, kind) && m_pickReady && !m_pickReady()) {
        // The answer comes later (a queued pick, or the user); meanwhile the
        // event loop keeps turning every other caller away as busy.
        m_parked = Parked{dbus_message_ref(message), link, client, target, member, kind, args};
        emit pickWaitingChanged(true);
        return;
    }
    perform(link, message, client, target, member, kind, args);
}

void ObjectServer::perform(BusLink *link, DBusMessage *message, const QString &client, const cad::Object &target,
                           const QString &member, cad::InvokeKind kind, QVariantList &args)
{
    QList<quint64> handed;
    const auto releaseHanded = [&] {
        for (quint64 id : handed)
            releaseOne(id, client);
    };
    ++m_performing;
    const auto done = qScopeGuard([this] { --m_performing; });
    try {
        const QVariantList before = args;
        const QVariant result = target->invoke(member, kind, args);
        const cad::wire::ObjectToPath pathOf = [&](const cad::Object &o) { return hand(o, client, handed); };
        // argsOut stays empty when the call changed no argument: the common
        // case then carries nothing back.
        const QByteArray answer = cad::frame::invokeReturn(
            link->frameSerial(), dbus_message_get_serial(message),
            link->isBus() ? QByteArray(dbus_message_get_sender(message)) : QByteArray(), result,
            args != before ? args : QVariantList(), pathOf);
        if (dbus_message_get_no_reply(message)) {
            releaseHanded();
            return;
        }
        link->sendFrame(answer);
    } catch (const cad::AutomationError &e) {
        releaseHanded();
        link->replyError(message, cad::wire::errorName(e.kind()), e.message());
    } catch (const std::exception &e) {
        releaseHanded();
        link->replyError(message, QLatin1String(cad::wire::kFailedError), QString::fromUtf8(e.what()));
    }
}

} // namespace minicad
