#include "minicad/server/server.h"

#include "cad/dbus/wire.h"
#include "minicad/automation/application.h"
#include "minicad/dxf/dxffile.h"

#include <QDBusConnectionInterface>
#include <QDBusMetaType>

namespace minicad {

namespace {

const char kTestingXml[] = R"(  <interface name="org.lumoedit.MiniCadTesting">
    <method name="QueuePick"><arg name="handles" type="as" direction="in"/></method>
    <method name="QueueCancel"/>
    <method name="Load"><arg name="path" type="s" direction="in"/></method>
    <method name="Save"><arg name="path" type="s" direction="in"/></method>
    <method name="Dump"><arg name="json" type="s" direction="out"/></method>
    <method name="Undo"><arg name="done" type="b" direction="out"/></method>
    <method name="Redo"><arg name="done" type="b" direction="out"/></method>
    <method name="PickWaiting"><arg name="waiting" type="b" direction="out"/></method>
    <method name="ObjectCount"><arg name="count" type="i" direction="out"/></method>
    <method name="ReferenceCount">
      <arg name="client" type="s" direction="in"/>
      <arg name="count" type="i" direction="out"/>
    </method>
  </interface>
)";

struct TestingMethod {
    const char *name;
    const char *signature;
};

const TestingMethod kTestingMethods[] = {
    {"QueuePick", "as"}, {"QueueCancel", ""}, {"Load", "s"},        {"Save", "s"},        {"Dump", ""},
    {"Undo", ""},        {"Redo", ""},        {"PickWaiting", ""},  {"ObjectCount", ""},  {"ReferenceCount", "s"},
};

} // namespace

MiniCadServer::MiniCadServer(std::shared_ptr<Drawing> drawing, QObject *parent)
    : QObject(parent), m_drawing(std::move(drawing))
{
    m_objects = new ObjectServer(makeApplication(m_drawing), this);
    // Headless, a pick is answered from the queue; with none queued the call
    // is parked (others are told busy) until an answer is queued. A host
    // with a pick provider lets the drawing wait for its user instead.
    m_objects->setPickReady([this] { return m_drawing->queuedPickCount() > 0 || m_drawing->pickProvider(); });
    m_objects->addPath(QLatin1String(cad::wire::kTestingPath), QLatin1String(kTestingXml),
                       [this](const QDBusMessage &m, const QDBusConnection &c) { handleTesting(m, c); });
}

MiniCadServer::~MiniCadServer()
{
    stop();
}

bool MiniCadServer::start(const QDBusConnection &connection, const QString &progId, QString *error)
{
    const QString name = cad::wire::busNameForProgId(progId);
    if (name.isEmpty()) {
        if (error)
            *error = QStringLiteral("\"%1\" cannot be made into a bus name").arg(progId);
        return false;
    }
    if (!m_objects->exportOn(connection, error))
        return false;
    QDBusConnection c = connection;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = c.interface()->registerService(
        name, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        m_objects->unexport();
        if (error)
            *error = reply.isValid() ? QStringLiteral("the bus name %1 is already owned").arg(name)
                                     : QStringLiteral("the bus name %1 cannot be taken: %2").arg(name, reply.error().message());
        return false;
    }
    m_connection = c;
    m_busName = name;
    return true;
}

void MiniCadServer::stop()
{
    if (!m_connection)
        return;
    m_connection->interface()->unregisterService(m_busName);
    m_objects->unexport();
    m_connection.reset();
    m_busName.clear();
}

void MiniCadServer::queuePick(const QStringList &handles)
{
    m_drawing->queuePick(handles);
    m_objects->resumePick();
}

void MiniCadServer::queuePickCancel()
{
    m_drawing->queuePickCancel();
    m_objects->resumePick();
}

void MiniCadServer::handleTesting(const QDBusMessage &message, const QDBusConnection &connection)
{
    const auto send = [&](const QDBusMessage &answer) {
        if (message.isReplyRequired())
            connection.send(answer);
    };
    const QString interface = message.interface();
    if (!interface.isEmpty() && interface != QLatin1String(cad::wire::kTestingInterface)) {
        send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
                                      QStringLiteral("No interface %1 at %2").arg(interface, message.path())));
        return;
    }
    const QString member = message.member();
    const TestingMethod *method = nullptr;
    for (const TestingMethod &m : kTestingMethods) {
        if (member == QLatin1String(m.name))
            method = &m;
    }
    if (!method) {
        send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                      QStringLiteral("No method %1 on %2").arg(member, QLatin1String(cad::wire::kTestingInterface))));
        return;
    }
    if (message.signature() != QLatin1String(method->signature)) {
        send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                      QStringLiteral("%1 takes (%2), not (%3)")
                                          .arg(member, QLatin1String(method->signature), message.signature())));
        return;
    }
    const QVariantList in = message.arguments();
    try {
        QVariantList out;
        if (member == QLatin1String("QueuePick")) {
            // "as" arrives as a QStringList, or as a QDBusArgument inside other containers.
            QStringList handles = in.at(0).toStringList();
            if (in.at(0).metaType() == QMetaType::fromType<QDBusArgument>())
                handles = qdbus_cast<QStringList>(in.at(0));
            queuePick(handles);
        } else if (member == QLatin1String("QueueCancel")) {
            queuePickCancel();
        } else if (member == QLatin1String("Load")) {
            loadDrawingFile(*m_drawing, in.at(0).toString());
            // What was handed out belongs to the drawing just replaced.
            m_objects->retireAll();
        } else if (member == QLatin1String("Save")) {
            saveDrawingFile(*m_drawing, in.at(0).toString());
        } else if (member == QLatin1String("Dump")) {
            out << QString::fromUtf8(m_drawing->toJson().toJson(QJsonDocument::Indented));
        } else if (member == QLatin1String("Undo")) {
            out << m_drawing->undo();
        } else if (member == QLatin1String("Redo")) {
            out << m_drawing->redo();
        } else if (member == QLatin1String("PickWaiting")) {
            out << m_objects->pickWaiting();
        } else if (member == QLatin1String("ObjectCount")) {
            out << m_objects->objectCount();
        } else if (member == QLatin1String("ReferenceCount")) {
            out << m_objects->referenceCount(in.at(0).toString());
        }
        send(message.createReply(out));
    } catch (const std::exception &e) {
        send(message.createErrorReply(QLatin1String(cad::wire::kFailedError), QString::fromUtf8(e.what())));
    }
}

} // namespace minicad
