// Benchmark, not a test: property gets per second, and the time to read
// TextString, Handle and InsertionPoint of every TEXT of a selection set,
// in-process and over D-Bus against a minicad child process.
//
//   dbus-run-session -- build/tests/dbus/bench_dbus [entities]

#include "cad/dbus/dbusobjects.h"
#include "cad/objectmodel.h"
#include "minicad/automation/application.h"
#include "minicad/model/drawing.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <dbus/dbus.h>

#include <cstdio>

namespace {

const QString kProgId = QStringLiteral("LumoBench.Application.1");

struct Figures {
    double getsPerSecond = 0;
    double readMs = 0;
    int entities = 0;
};

Figures measure(const cad::Application &app, int getCount)
{
    Figures f;
    const cad::Document doc = app.activeDocument();
    const cad::SelectionSet set = doc.addSelectionSet(QStringLiteral("BENCH"));
    set.select(5, {0}, {QStringLiteral("TEXT")});
    const cad::Entity first = set.item(0);

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < getCount; ++i)
        (void)first.textString();
    f.getsPerSecond = getCount * 1000.0 / std::max<qint64>(1, timer.elapsed());

    timer.restart();
    const int count = set.count();
    qsizetype chars = 0;
    double sum = 0;
    for (int i = 0; i < count; ++i) {
        const cad::Entity e = set.item(i);
        chars += e.textString().size() + e.handle().size();
        sum += e.insertionPoint().x;
    }
    f.readMs = double(timer.nsecsElapsed()) / 1e6;
    f.entities = count;
    set.erase();
    if (chars == 0 || sum < 0)
        std::fprintf(stderr, "unexpected drawing content\n");
    return f;
}

void print(const char *where, const Figures &f)
{
    std::printf("%-12s %9.0f gets/s   %6d TEXT (TextString, Handle, InsertionPoint): %8.1f ms (%.1f us per entity)\n",
                where, f.getsPerSecond, f.entities, f.readMs, f.readMs * 1000.0 / std::max(1, f.entities));
}

} // namespace

int main(int argc, char *argv[])
{
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

    auto drawing = std::make_shared<minicad::Drawing>();
    for (int i = 0; i < entities; ++i)
        drawing->addText(QStringLiteral("0"), QStringLiteral("TEXT %1").arg(i), {double(i), double(i % 100), 0});
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.json"));
    drawing->saveFile(file);

    std::printf("%d TEXT entities; %d cores\n", entities, QThread::idealThreadCount());
    print("in-process", measure(cad::Application(minicad::makeApplication(drawing)), 200000));

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral(MINICAD_PATH), {QStringLiteral("--progid"), kProgId, QStringLiteral("--headless"), file});
    cad::DBusRunningObjects objects;
    QElapsedTimer wait;
    wait.start();
    while (!objects.isRunning(kProgId) && wait.elapsed() < 20000)
        QThread::msleep(20);
    if (!objects.isRunning(kProgId)) {
        std::fprintf(stderr, "bench_dbus: minicad did not come up\n");
        return 1;
    }
    // The floor under the figures over D-Bus: a bare round trip through the
    // bus daemon to minicad's connection (answered there, without reaching
    // its objects), made the way our client calls.
    {
        DBusError error;
        dbus_error_init(&error);
        DBusConnection *c = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
        const int pings = 10000;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; c && i < pings; ++i) {
            DBusMessage *ping = dbus_message_new_method_call("LumoBench.Application._1", "/", DBUS_INTERFACE_PEER, "Ping");
            if (DBusMessage *reply = dbus_connection_send_with_reply_and_block(c, ping, -1, &error))
                dbus_message_unref(reply);
            dbus_error_free(&error);
            dbus_message_unref(ping);
        }
        std::printf("%-12s %9.0f round trips/s (Peer.Ping: the bus alone, no object involved)\n", "bus floor",
                    pings * 1000.0 / std::max<qint64>(1, timer.elapsed()));
        if (c) {
            dbus_connection_close(c);
            dbus_connection_unref(c);
        }
    }
    int status = 0;
    try {
        print("over D-Bus", measure(cad::Application(objects.attach(kProgId)), 20000));
    } catch (const cad::AutomationError &e) {
        std::fprintf(stderr, "bench_dbus: %s\n", qPrintable(e.message()));
        status = 1;
    }
    server.terminate();
    server.waitForFinished();
    return status;
}
