#include "minicad/server/server.h"

#include "protocol/dbus/wire.h"
#include "minicad/automation/application.h"
#include "minicad/dxf/dxffile.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

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
    <method name="Replace"><arg name="path" type="s" direction="in"/></method>
    <method name="Open">
      <arg name="json" type="s" direction="in"/>
      <arg name="fullName" type="s" direction="in"/>
      <arg name="index" type="i" direction="out"/>
    </method>
    <method name="Activate"><arg name="index" type="i" direction="in"/></method>
    <method name="Close"><arg name="index" type="i" direction="in"/></method>
    <method name="DrawingCount"><arg name="count" type="i" direction="out"/></method>
    <method name="ActiveDrawing"><arg name="index" type="i" direction="out"/></method>
    <method name="Reset"/>
  </interface>
)";

struct TestingMethod {
    const char *name;
    const char *signature;
};

const TestingMethod kTestingMethods[] = {
    {"QueuePick", "as"}, {"QueueCancel", ""}, {"Load", "s"},        {"Save", "s"},        {"Dump", ""},
    {"Undo", ""},        {"Redo", ""},        {"PickWaiting", ""},  {"ObjectCount", ""},  {"ReferenceCount", "s"},
    {"Replace", "s"},    {"Open", "ss"},      {"Activate", "i"},    {"Close", "i"},       {"DrawingCount", ""},
    {"ActiveDrawing", ""}, {"Reset", ""},
};

// The single string argument of a call whose signature was checked.
QString stringArgument(DBusMessage *message)
{
    const char *s = nullptr;
    dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &s, DBUS_TYPE_INVALID);
    return s ? QString::fromUtf8(s) : QString();
}

QString secondStringArgument(DBusMessage *message)
{
    const char *a = nullptr, *b = nullptr;
    dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &a, DBUS_TYPE_STRING, &b, DBUS_TYPE_INVALID);
    return b ? QString::fromUtf8(b) : QString();
}

int intArgument(DBusMessage *message)
{
    dbus_int32_t i = 0;
    dbus_message_get_args(message, nullptr, DBUS_TYPE_INT32, &i, DBUS_TYPE_INVALID);
    return i;
}

QStringList stringListArgument(DBusMessage *message)
{
    QStringList out;
    DBusMessageIter it, array;
    dbus_message_iter_init(message, &it);
    dbus_message_iter_recurse(&it, &array);
    while (dbus_message_iter_get_arg_type(&array) == DBUS_TYPE_STRING) {
        const char *s = nullptr;
        dbus_message_iter_get_basic(&array, &s);
        out << QString::fromUtf8(s);
        dbus_message_iter_next(&array);
    }
    return out;
}

int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    (void)!::write(g_signalPipe[0], &byte, 1);
}

} // namespace

void quitOnTerminationSignals()
{
    if (g_signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char byte = 0;
        (void)!::read(g_signalPipe[1], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaction(s, &action, nullptr);
}

MiniCadServer::MiniCadServer(std::shared_ptr<Session> session, QObject *parent)
    : QObject(parent), m_session(std::move(session))
{
    m_objects = new ObjectServer(makeApplication(m_session), this);
    // Headless, a pick is answered from the queue; with none queued the call
    // is parked (others are told busy) until an answer is queued. A host
    // with a pick provider lets the drawing wait for its user instead.
    m_objects->setPickReady([this] { return m_session->queuedPickCount() > 0 || m_session->pickProvider(); });
    m_objects->addPath(QLatin1String(cad::wire::kTestingPath), QLatin1String(kTestingXml),
                       [this](BusLink *link, DBusMessage *m) { handleTesting(link, m); });
    // Paths of a closed drawing's objects answer "failed" from then on.
    connect(m_session.get(), &Session::drawingClosed, this,
            [this](int, const std::shared_ptr<Drawing> &d) { retire(d.get()); });
}

Drawing &MiniCadServer::active() const
{
    if (!m_session->activeDrawing())
        throw ModelError(QStringLiteral("No drawing is open"));
    return *m_session->activeDrawing();
}

void MiniCadServer::retire(const Drawing *drawing)
{
    m_objects->retireWhere([drawing](const cad::Object &o) { return drawingOf(o) == drawing; });
}

MiniCadServer::~MiniCadServer()
{
    stop();
}

bool MiniCadServer::start(const QString &progId, QString *error, const QString &busAddress)
{
    const QString name = cad::wire::busNameForProgId(progId);
    if (name.isEmpty()) {
        if (error)
            *error = QStringLiteral("\"%1\" cannot be made into a bus name").arg(progId);
        return false;
    }
    BusLink *bus = BusLink::openBus(busAddress, error, this);
    if (!bus)
        return false;
    if (!m_objects->exportOn(bus, error)) {
        delete bus;
        return false;
    }
    DBusError e;
    dbus_error_init(&e);
    const QByteArray utf8 = name.toUtf8();
    const int answer = dbus_bus_request_name(bus->get(), utf8.constData(), DBUS_NAME_FLAG_DO_NOT_QUEUE, &e);
    if (answer != DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
        if (error)
            *error = dbus_error_is_set(&e)
                ? QStringLiteral("the bus name %1 cannot be taken: %2").arg(name, QString::fromUtf8(e.message))
                : QStringLiteral("the bus name %1 is already owned").arg(name);
        dbus_error_free(&e);
        m_objects->unexport();
        delete bus;
        return false;
    }
    m_bus = bus;
    m_busName = name;
    // Without it clients stay on the bus, only slower.
    QString peerError;
    if (!m_objects->offerPeerToPeer(&peerError))
        std::fprintf(stderr, "minicad: no peer-to-peer address: %s\n", qPrintable(peerError));
    return true;
}

void MiniCadServer::stop()
{
    if (!m_bus)
        return;
    const QByteArray utf8 = m_busName.toUtf8();
    dbus_bus_release_name(m_bus->get(), utf8.constData(), nullptr);
    m_objects->unexport();
    delete m_bus;
    m_bus = nullptr;
    m_busName.clear();
}

void MiniCadServer::queuePick(const QStringList &handles)
{
    m_session->queuePick(handles);
    m_objects->resumePick();
}

void MiniCadServer::queuePickCancel()
{
    m_session->queuePickCancel();
    m_objects->resumePick();
}

void MiniCadServer::handleTesting(BusLink *link, DBusMessage *message)
{
    const QString interface = QString::fromUtf8(dbus_message_get_interface(message));
    if (!interface.isEmpty() && interface != QLatin1String(cad::wire::kTestingInterface)) {
        link->replyError(message, QStringLiteral(DBUS_ERROR_UNKNOWN_INTERFACE),
                         QStringLiteral("No interface %1 at %2").arg(interface, QLatin1String(cad::wire::kTestingPath)));
        return;
    }
    const QString member = QString::fromUtf8(dbus_message_get_member(message));
    const TestingMethod *method = nullptr;
    for (const TestingMethod &m : kTestingMethods) {
        if (member == QLatin1String(m.name))
            method = &m;
    }
    if (!method) {
        link->replyError(message, QStringLiteral(DBUS_ERROR_UNKNOWN_METHOD),
                         QStringLiteral("No method %1 on %2").arg(member, QLatin1String(cad::wire::kTestingInterface)));
        return;
    }
    const char *signature = dbus_message_get_signature(message);
    if (qstrcmp(signature, method->signature) != 0) {
        link->replyError(message, QStringLiteral(DBUS_ERROR_INVALID_ARGS),
                         QStringLiteral("%1 takes (%2), not (%3)")
                             .arg(member, QLatin1String(method->signature), QString::fromUtf8(signature)));
        return;
    }
    try {
        DBusMessage *answer = dbus_message_new_method_return(message);
        const auto appendBool = [&](bool b) {
            const dbus_bool_t v = b;
            dbus_message_append_args(answer, DBUS_TYPE_BOOLEAN, &v, DBUS_TYPE_INVALID);
        };
        const auto appendInt = [&](int i) {
            const dbus_int32_t v = i;
            dbus_message_append_args(answer, DBUS_TYPE_INT32, &v, DBUS_TYPE_INVALID);
        };
        try {
            if (member == QLatin1String("QueuePick")) {
                queuePick(stringListArgument(message));
            } else if (member == QLatin1String("QueueCancel")) {
                queuePickCancel();
            } else if (member == QLatin1String("Load")) {
                Drawing &d = active();
                loadDrawingFile(d, stringArgument(message));
                // What was handed out belongs to the content just replaced,
                // and the picks queued were meant for it.
                retire(&d);
                m_session->dropPicks();
            } else if (member == QLatin1String("Replace")) {
                // New content under the same name (tests push theirs so).
                Drawing &d = active();
                const QString name = d.fileName();
                loadDrawingFile(d, stringArgument(message));
                d.setFileName(name);
                retire(&d);
                m_session->dropPicks();
            } else if (member == QLatin1String("Save")) {
                saveDrawingFile(active(), stringArgument(message));
            } else if (member == QLatin1String("Dump")) {
                const QByteArray json = active().toJson().toJson(QJsonDocument::Indented);
                const char *data = json.constData();
                dbus_message_append_args(answer, DBUS_TYPE_STRING, &data, DBUS_TYPE_INVALID);
            } else if (member == QLatin1String("Undo")) {
                appendBool(active().undo());
            } else if (member == QLatin1String("Redo")) {
                appendBool(active().redo());
            } else if (member == QLatin1String("Open")) {
                appendInt(m_session->openJson(stringArgument(message), secondStringArgument(message)));
            } else if (member == QLatin1String("Activate")) {
                m_session->activate(intArgument(message));
            } else if (member == QLatin1String("Close")) {
                m_session->close(intArgument(message));
            } else if (member == QLatin1String("DrawingCount")) {
                appendInt(m_session->count());
            } else if (member == QLatin1String("ActiveDrawing")) {
                appendInt(m_session->activeIndex());
            } else if (member == QLatin1String("Reset")) {
                m_session->reset();
            } else if (member == QLatin1String("PickWaiting")) {
                appendBool(m_objects->pickWaiting());
            } else if (member == QLatin1String("ObjectCount")) {
                appendInt(m_objects->objectCount());
            } else if (member == QLatin1String("ReferenceCount")) {
                appendInt(m_objects->referenceCount(stringArgument(message)));
            }
        } catch (...) {
            dbus_message_unref(answer);
            throw;
        }
        link->reply(message, answer);
    } catch (const std::exception &e) {
        link->replyError(message, QLatin1String(cad::wire::kFailedError), QString::fromUtf8(e.what()));
    }
}

} // namespace minicad
