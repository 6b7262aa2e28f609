// Benchmark, not a test: the cost of one automation call, in-process, over
// the bus and over the application's peer-to-peer connection, each beside
// the floor under it: a bare libdbus server (a child process of this
// program answering every call at once, without objects) reached the same
// way. Wall time and CPU per call (ours, the server's, the bus daemon's),
// then the time to read TextString, Handle and InsertionPoint of every TEXT
// of a selection set.
//
//   dbus-run-session -- build/tests/dbus/bench_dbus [entities]

#include "cad/dbus/dbusobjects.h"
#include "cad/objectmodel.h"
#include "minicad/automation/application.h"
#include "minicad/model/drawing.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <dbus/dbus.h>

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

const QString kProgId = QStringLiteral("LumoBench.Application.1");
const char kBareName[] = "LumoBench.Bare";

// ---- the bare server: answers every method call with ("", []) at once

DBusHandlerResult answerAll(DBusConnection *c, DBusMessage *m, void *)
{
    if (dbus_message_get_type(m) != DBUS_MESSAGE_TYPE_METHOD_CALL)
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    DBusMessage *reply = dbus_message_new_method_return(m);
    DBusMessageIter it, v, a;
    dbus_message_iter_init_append(reply, &it);
    dbus_message_iter_open_container(&it, DBUS_TYPE_VARIANT, "s", &v);
    const char *text = "TEXT 0";
    dbus_message_iter_append_basic(&v, DBUS_TYPE_STRING, &text);
    dbus_message_iter_close_container(&it, &v);
    dbus_message_iter_open_container(&it, DBUS_TYPE_ARRAY, "v", &a);
    dbus_message_iter_close_container(&it, &a);
    dbus_connection_send(c, reply, nullptr);
    dbus_message_unref(reply);
    return DBUS_HANDLER_RESULT_HANDLED;
}

DBusWatch *g_listenWatch = nullptr;
DBusConnection *g_peer = nullptr;

dbus_bool_t keepWatch(DBusWatch *w, void *)
{
    g_listenWatch = w;
    return true;
}
void dropWatch(DBusWatch *, void *) {}
void takePeer(DBusServer *, DBusConnection *c, void *)
{
    dbus_connection_ref(c);
    g_peer = c;
}

// The plainest server libdbus allows: on the bus under kBareName, or on a
// peer-to-peer socket whose address goes to stdout (one client, then done).
int bareServer(bool peerToPeer)
{
    DBusError error;
    dbus_error_init(&error);
    DBusConnection *c = nullptr;
    if (!peerToPeer) {
        c = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
        if (!c || dbus_bus_request_name(c, kBareName, DBUS_NAME_FLAG_DO_NOT_QUEUE, &error)
                      != DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER)
            return 1;
        std::printf("%s\n", kBareName);
        std::fflush(stdout);
    } else {
        const QByteArray path = "/tmp/lumo-bare-" + QByteArray::number(getpid());
        DBusServer *server = dbus_server_listen(("unix:path=" + path).constData(), &error);
        if (!server)
            return 1;
        dbus_server_set_watch_functions(server, keepWatch, dropWatch, nullptr, nullptr, nullptr);
        dbus_server_set_new_connection_function(server, takePeer, nullptr, nullptr);
        std::printf("unix:path=%s\n", path.constData());
        std::fflush(stdout);
        while (!g_peer) {
            pollfd fd{dbus_watch_get_unix_fd(g_listenWatch), POLLIN, 0};
            if (poll(&fd, 1, -1) < 0)
                return 1;
            dbus_watch_handle(g_listenWatch, DBUS_WATCH_READABLE);
        }
        ::unlink(path.constData());
        dbus_server_disconnect(server);
        c = g_peer;
    }
    dbus_connection_add_filter(c, answerAll, nullptr, nullptr);
    while (dbus_connection_read_write_dispatch(c, -1)) {
    }
    return 0;
}

// ---- measuring

double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15, the 12th and 13th after the name.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

double ownCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

qint64 busDaemonPid()
{
    DBusError error;
    dbus_error_init(&error);
    DBusConnection *c = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!c)
        return 0;
    DBusMessage *m = dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS,
                                                  "GetConnectionUnixProcessID");
    const char *name = DBUS_SERVICE_DBUS;
    dbus_message_append_args(m, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
    DBusMessage *reply = dbus_connection_send_with_reply_and_block(c, m, -1, &error);
    dbus_uint32_t pid = 0;
    if (reply) {
        dbus_message_get_args(reply, &error, DBUS_TYPE_UINT32, &pid, DBUS_TYPE_INVALID);
        dbus_message_unref(reply);
    }
    dbus_message_unref(m);
    dbus_error_free(&error);
    dbus_connection_close(c);
    dbus_connection_unref(c);
    return pid;
}

struct Cost {
    double wallUs = 0, clientUs = 0, serverUs = 0, daemonUs = 0;
    int calls = 0;
};

// Adds `calls` calls to the running totals.
void timeCalls(Cost &cost, int calls, qint64 serverPid, qint64 daemonPid, const std::function<void()> &call)
{
    const double c0 = ownCpuSeconds(), s0 = cpuSeconds(serverPid), d0 = daemonPid ? cpuSeconds(daemonPid) : 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < calls; ++i)
        call();
    cost.wallUs += double(timer.nsecsElapsed()) / 1e3;
    cost.clientUs += (ownCpuSeconds() - c0) * 1e6;
    cost.serverUs += (cpuSeconds(serverPid) - s0) * 1e6;
    cost.daemonUs += daemonPid ? (cpuSeconds(daemonPid) - d0) * 1e6 : 0;
    cost.calls += calls;
}

double perCall(const Cost &c)
{
    return c.wallUs / std::max(1, c.calls);
}

void printCost(const char *what, const Cost &c)
{
    const double n = std::max(1, c.calls);
    std::printf("%-34s %7.1f us a call   CPU: client %5.1f  server %5.1f  bus daemon %5.1f us\n", what, c.wallUs / n,
                c.clientUs / n, c.serverUs / n, c.daemonUs / n);
}

// One Invoke-shaped call to the bare server on the connection.
void bareCall(DBusConnection *c, const char *destination)
{
    DBusMessage *m = dbus_message_new_method_call(destination, "/Application", "org.lumoedit.Automation", "Invoke");
    DBusMessageIter it, a;
    dbus_message_iter_init_append(m, &it);
    const char *member = "TextString";
    const dbus_int32_t kind = 2;
    dbus_message_iter_append_basic(&it, DBUS_TYPE_STRING, &member);
    dbus_message_iter_append_basic(&it, DBUS_TYPE_INT32, &kind);
    dbus_message_iter_open_container(&it, DBUS_TYPE_ARRAY, "v", &a);
    dbus_message_iter_close_container(&it, &a);
    if (DBusMessage *reply = dbus_connection_send_with_reply_and_block(c, m, -1, nullptr))
        dbus_message_unref(reply);
    dbus_message_unref(m);
}

double readAll(const cad::Application &app, int *entities)
{
    const cad::Document doc = app.activeDocument();
    const cad::SelectionSet set = doc.addSelectionSet(QStringLiteral("BENCH"));
    set.select(5, {0}, {QStringLiteral("TEXT")});
    QElapsedTimer timer;
    timer.start();
    const int count = set.count();
    qsizetype chars = 0;
    double sum = 0;
    for (int i = 0; i < count; ++i) {
        const cad::Entity e = set.item(i);
        chars += e.textString().size() + e.handle().size();
        sum += e.insertionPoint().x;
    }
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    set.erase();
    if (chars == 0 || sum < 0)
        std::fprintf(stderr, "unexpected drawing content\n");
    *entities = count;
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--bare-bus") == 0)
        return bareServer(false);
    if (argc == 2 && std::strcmp(argv[1], "--bare-peer") == 0)
        return bareServer(true);
    QCoreApplication qapp(argc, argv);
    const int entities = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    if (entities < 1) {
        std::fprintf(stderr, "usage: bench_dbus [entities]\n");
        return 2;
    }
    if (!QDBusConnection::sessionBus().isConnected()) {
        std::fprintf(stderr, "bench_dbus: no session bus; run it under dbus-run-session\n");
        return 1;
    }
    const int calls = 20000;
    const qint64 daemon = busDaemonPid();

    auto drawing = std::make_shared<minicad::Drawing>();
    QString firstHandle;
    for (int i = 0; i < entities; ++i) {
        const QString h = drawing->addText(QStringLiteral("0"), QStringLiteral("TEXT %1").arg(i), {double(i), double(i % 100), 0});
        if (i == 0)
            firstHandle = h;
    }
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.json"));
    drawing->saveFile(file);
    std::printf("%d TEXT entities, %d calls a figure; %d cores\n", entities, calls, QThread::idealThreadCount());

    int count = 0;
    const double inProcessMs = readAll(cad::Application(minicad::makeApplication(minicad::Session::with(drawing))), &count);
    std::printf("%-34s %7.3f us an entity (3 properties)\n", "in-process", inProcessMs * 1000 / count);

    // The floor: the bare server, over the bus and peer-to-peer.
    QProcess bareBusServer, barePeerServer;
    bareBusServer.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--bare-bus")});
    barePeerServer.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--bare-peer")});
    if (!bareBusServer.waitForReadyRead(10000) || !barePeerServer.waitForReadyRead(10000)) {
        std::fprintf(stderr, "bench_dbus: the bare servers did not come up\n");
        return 1;
    }
    const QByteArray bareAddress = barePeerServer.readLine().trimmed();
    DBusError error;
    dbus_error_init(&error);
    DBusConnection *bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    DBusConnection *barePeer = dbus_connection_open_private(bareAddress.constData(), &error);
    if (!bus || !barePeer) {
        std::fprintf(stderr, "bench_dbus: %s\n", error.message);
        return 1;
    }

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral(MINICAD_PATH), {QStringLiteral("--progid"), kProgId, QStringLiteral("--headless"), file});
    int status = 0;
    try {
        cad::DBusRunningObjects probe;
        QElapsedTimer wait;
        wait.start();
        while (!probe.isRunning(kProgId) && wait.elapsed() < 20000)
            QThread::msleep(20);
        if (!probe.isRunning(kProgId)) {
            std::fprintf(stderr, "bench_dbus: minicad did not come up\n");
            return 1;
        }
        cad::DBusRunningObjects onBus;
        onBus.setPeerToPeer(false);
        cad::DBusRunningObjects peer;
        const cad::Application busApp(onBus.attach(kProgId));
        const cad::Application peerApp(peer.attach(kProgId));
        if (!peer.attachedPeerToPeer())
            std::fprintf(stderr, "bench_dbus: minicad offered no peer-to-peer address\n");
        // The same property get as the bare call stands for.
        const cad::Entity busText = busApp.activeDocument().handleToObject(firstHandle);
        const cad::Entity peerText = peerApp.activeDocument().handleToObject(firstHandle);
        // In turns, so that the load of a shared machine falls on all four alike.
        Cost bareBus, minicadBus, bareP2p, minicadP2p;
        const int rounds = 20;
        for (int r = 0; r < rounds; ++r) {
            timeCalls(bareBus, calls / rounds, bareBusServer.processId(), daemon, [&] { bareCall(bus, kBareName); });
            timeCalls(minicadBus, calls / rounds, server.processId(), daemon, [&] { (void)busText.textString(); });
            timeCalls(bareP2p, calls / rounds, barePeerServer.processId(), daemon, [&] { bareCall(barePeer, nullptr); });
            timeCalls(minicadP2p, calls / rounds, server.processId(), daemon, [&] { (void)peerText.textString(); });
        }

        printCost("bare libdbus server, bus", bareBus);
        printCost("minicad Invoke, bus", minicadBus);
        std::printf("%-34s %7.2f x the bare round trip\n", "", perCall(minicadBus) / perCall(bareBus));
        printCost("bare libdbus server, peer-to-peer", bareP2p);
        printCost("minicad Invoke, peer-to-peer", minicadP2p);
        std::printf("%-34s %7.2f x the bare round trip, %.2f x minicad on the bus\n", "",
                    perCall(minicadP2p) / perCall(bareP2p), perCall(minicadP2p) / perCall(minicadBus));

        int n = 0;
        const double busMs = readAll(busApp, &n);
        std::printf("%-34s %7.1f ms for %d TEXT (TextString, Handle, InsertionPoint)\n", "read over the bus", busMs, n);
        const double peerMs = readAll(peerApp, &n);
        std::printf("%-34s %7.1f ms for %d TEXT\n", "read peer-to-peer", peerMs, n);
    } catch (const cad::AutomationError &e) {
        std::fprintf(stderr, "bench_dbus: %s\n", qPrintable(e.message()));
        status = 1;
    }
    for (DBusConnection *c : {bus, barePeer}) {
        dbus_connection_close(c);
        dbus_connection_unref(c);
    }
    barePeerServer.waitForFinished(5000); // its client is gone
    bareBusServer.terminate();
    bareBusServer.waitForFinished(5000);
    server.terminate();
    server.waitForFinished();
    return status;
}
