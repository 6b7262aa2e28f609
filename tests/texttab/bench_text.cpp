// Benchmark, not a test: "TEXT" on n picked TEXTs and "更新" of n changed
// lines through the real main window, in-process and over D-Bus, with the
// automation calls per entity and, over D-Bus, the floor those calls would
// cost one bare round trip each.
//
//   dbus-run-session -- build/tests/texttab/bench_text [n]

#include "common/busfloor.h"
#include "common/cadfixture.h"
#include "common/formfixture.h"
#include "cad/dbus/dbusobjects.h"
#include "protocol/dbus/wire.h"
#include "texttab/lumo.h"
#include "widgets/lineeditor.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <cstdio>

namespace {

const QString kProgId = QStringLiteral("LumoBench.Text.1");

int totalCalls(const QHash<QString, int> &counts)
{
    int n = 0;
    for (int c : counts)
        n += c;
    return n;
}

// One acquisition and one write-back of every line; returns false on a mismatch.
bool run(const char *where, testing::FormFixture &form, const std::function<void()> &queuePick,
         const std::function<int()> &calls, int n, double roundTripUs = 0)
{
    queuePick();
    const int before = calls();
    QElapsedTimer timer;
    timer.start();
    form->SpeedButton1Click();
    const double acquireMs = timer.nsecsElapsed() / 1e6;
    const int acquireCalls = calls() - before;
    if (lumo::textArray.size() != n) {
        std::fprintf(stderr, "%s: %lld lines acquired, %d expected\n", where, qlonglong(lumo::textArray.size()), n);
        return false;
    }
    QStringList lines = form->SynEdit1->lines();
    for (QString &line : lines)
        line += QStringLiteral("x");
    form->SynEdit1->setLines(lines);
    const int beforeWrite = calls();
    timer.restart();
    form->SpeedButton2Click();
    const double writeMs = timer.nsecsElapsed() / 1e6;
    const int writeCalls = calls() - beforeWrite;
    std::printf("%-11s TEXT: %8.1f ms (%6.1f us, %4.1f calls per entity)   更新: %8.1f ms (%6.1f us, %4.1f calls per "
                "entity)\n",
                where, acquireMs, acquireMs * 1000 / n, double(acquireCalls) / n, writeMs, writeMs * 1000 / n,
                double(writeCalls) / n);
    if (roundTripUs > 0)
        std::printf("%-11s floor at %.1f us per bare round trip: TEXT %8.1f ms, 更新 %8.1f ms\n", "", roundTripUs,
                    acquireCalls * roundTripUs / 1000, writeCalls * roundTripUs / 1000);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int n = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 2000;
    testing::CadFixture cad;
    QStringList handles;
    for (int i = 0; i < n; ++i)
        handles << cad.drawing().addText(QStringLiteral("0"), QStringLiteral("W%1").arg(i), {0, -5.0 * i, 0});
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.json"));
    cad.drawing().saveFile(file);

    int status = 0;
    {
        testing::FormFixture form;
        if (!run("in-process", form, [&] { cad.queuePick(handles); },
                 [&] { return totalCalls(cad.seam->counts); }, n))
            status = 1;
    }

    if (!QDBusConnection::sessionBus().isConnected()) {
        std::fprintf(stderr, "bench_text: no session bus; run it under dbus-run-session for the D-Bus figures\n");
        return status;
    }
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral(MINICAD_PATH), {QStringLiteral("--progid"), kProgId, QStringLiteral("--headless"), file});
    auto objects = std::make_unique<cad::DBusRunningObjects>();
    QElapsedTimer wait;
    wait.start();
    while (!objects->isRunning(kProgId) && wait.elapsed() < 20000)
        QThread::msleep(20);
    if (!objects->isRunning(kProgId)) {
        std::fprintf(stderr, "bench_text: minicad did not come up\n");
        return 1;
    }
    const double roundTrip = testing::bareRoundTripMicros(cad::wire::busNameForProgId(kProgId));
    // The same window, now on the D-Bus backend; calls are counted on our side of the bus.
    auto seam = std::make_shared<testing::Seam>();
    cad::InProcessRunningObjects counted;
    counted.publish(cad::kDefaultProgID, std::make_shared<testing::CountingDispatch>(objects->attach(kProgId), seam));
    cad::setPlatform(&counted, &cad.windows);
    {
        testing::FormFixture form;
        QDBusInterface testing(cad::wire::busNameForProgId(kProgId), QStringLiteral("/Testing"),
                               QStringLiteral("org.lumoedit.MiniCadTesting"));
        if (!run("over D-Bus", form, [&] { testing.call(QStringLiteral("QueuePick"), handles); },
                 [&] { return totalCalls(seam->counts); }, n, roundTrip))
            status = 1;
    }
    counted.revoke(cad::kDefaultProgID);
    server.terminate();
    server.waitForFinished();
    return status;
}
