// Benchmark, not a test: a search over a large drawing through the real main
// window, in-process and over D-Bus against a minicad child process. Prints
// the whole search, the sort and the grid fill separately, and the longest
// stretch in which the window processed no events; over D-Bus also the
// automation calls and the floor they would cost one bare round trip each.
//
//   dbus-run-session -- build/tests/searchtab/bench_search [entities]

#include "app/lumoxunit.h"
#include "common/busfloor.h"
#include "common/cadfixture.h"
#include "cad/connection.h"
#include "cad/dbus/dbusobjects.h"
#include "protocol/dbus/wire.h"
#include "minicad/automation/application.h"
#include "minicad/model/drawing.h"
#include "searchtab/lumo2.h"
#include "widgets/messagebox.h"
#include "widgets/stringgrid.h"

#include <QApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <cstdio>

namespace {

const QString kProgId = QStringLiteral("LumoSearchBench.Application.1");

struct Figures {
    double searchMs = 0;
    double sortMs = 0;
    double fillMs = 0;
    double longestGapMs = 0;
    int found = 0;
};

lumo::FilePaths scratchPaths(const QTemporaryDir &dir)
{
    lumo::FilePaths p;
    p.settings = dir.filePath(QStringLiteral("LumoEdit.ini"));
    p.targetCadList = dir.filePath(QStringLiteral("TargetCAD_APIVersion.txt"));
    p.textTagList = dir.filePath(QStringLiteral("LumoEditTagList.txt"));
    p.tagSetList = dir.filePath(QStringLiteral("LumoEdit2ATagList.txt"));
    return p;
}

Figures measure(lumo::TLumoMainForm &form)
{
    Figures f;
    // A timer that fires whenever events run: its longest silence is how
    // long the window could not react (to "中止" among others).
    QElapsedTimer gap;
    qint64 longest = 0;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longest = std::max(longest, gap.restart());
    });
    form.Edit3->setText(QString());
    lumo::searchArray.clear();
    QElapsedTimer timer;
    timer.start();
    gap.start();
    probe.start();
    form.SpeedButton14->click();
    probe.stop();
    f.searchMs = double(timer.nsecsElapsed()) / 1e6;
    f.longestGapMs = double(longest);
    f.found = int(lumo::searchArray.size());

    // The two steps after the reading, timed on their own with the same data.
    QList<lumo::Lumo2> shuffled = lumo::searchArray;
    std::shuffle(shuffled.begin(), shuffled.end(), *QRandomGenerator::global());
    timer.restart();
    lumo::SortSearchResults(shuffled, [](int, int) {
        QCoreApplication::processEvents();
        return true;
    });
    f.sortMs = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    lumo::FillSearchGrid(form.searchTab(), [] {
        QCoreApplication::processEvents();
        return true;
    });
    f.fillMs = double(timer.nsecsElapsed()) / 1e6;
    return f;
}

void print(const char *where, const Figures &f)
{
    std::printf("%-11s %7d found  search %9.1f ms  (of which sort %7.1f ms, fill %7.1f ms)  longest pause %5.1f ms\n",
                where, f.found, f.searchMs, f.sortMs, f.fillMs, f.longestGapMs);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    const int entities = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    if (entities < 1) {
        std::fprintf(stderr, "usage: bench_search [entities]\n");
        return 2;
    }
    widgets::MessageRecorder messages;
    QTemporaryDir dir;

    // Texts in no particular order, so the sort has work to do.
    auto drawing = std::make_shared<minicad::Drawing>();
    QRandomGenerator rng(1);
    for (int i = 0; i < entities; ++i)
        drawing->addText(QStringLiteral("0"), QStringLiteral("TEXT %1").arg(rng.bounded(entities)),
                         {double(i), double(i % 100), 0});
    const QString file = dir.filePath(QStringLiteral("bench.json"));
    drawing->saveFile(file);
    std::printf("%d TEXT entities; %d cores\n", entities, QThread::idealThreadCount());

    cad::RecordingWindowOps windows;
    int status = 0;
    {
        cad::InProcessRunningObjects objects;
        objects.publish(cad::kDefaultProgID, minicad::makeApplication(minicad::Session::with(drawing)));
        cad::setPlatform(&objects, &windows);
        cad::targetProgID() = cad::kDefaultProgID;
        lumo::TLumoMainForm form(scratchPaths(dir));
        form.show();
        print("in-process", measure(form));
    }

    if (!QDBusConnection::sessionBus().isConnected()) {
        std::fprintf(stderr, "bench_search: no session bus; run it under dbus-run-session for the D-Bus figures\n");
        return status;
    }
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral(MINICAD_PATH), {QStringLiteral("--progid"), kProgId, QStringLiteral("--headless"), file});
    cad::DBusRunningObjects objects;
    QElapsedTimer wait;
    wait.start();
    while (!objects.isRunning(kProgId) && wait.elapsed() < 20000)
        QThread::msleep(20);
    if (!objects.isRunning(kProgId)) {
        std::fprintf(stderr, "bench_search: minicad did not come up\n");
        return 1;
    }
    const double roundTrip = testing::bareRoundTripMicros(cad::wire::busNameForProgId(kProgId));
    // Counted on our side of the bus; the counting passes batches through.
    auto seam = std::make_shared<testing::Seam>();
    cad::InProcessRunningObjects counted;
    counted.publish(kProgId, std::make_shared<testing::CountingDispatch>(objects.attach(kProgId), seam));
    cad::setPlatform(&counted, &windows);
    {
        lumo::TLumoMainForm form(scratchPaths(dir));
        cad::targetProgID() = kProgId; // the form set it from its settings
        form.show();
        const Figures f = measure(form);
        print("over D-Bus", f);
        int calls = 0;
        for (int c : std::as_const(seam->counts))
            calls += c;
        std::printf("%-11s %7d calls (%.1f per TEXT); floor at %.1f us per bare round trip: %9.1f ms\n", "", calls,
                    double(calls) / std::max(1, f.found), roundTrip, calls * roundTrip / 1000);
    }
    counted.revoke(kProgId);
    if (!messages.messages.isEmpty()) {
        std::fprintf(stderr, "bench_search: %s\n", qPrintable(messages.texts().join(QLatin1Char('\n'))));
        status = 1;
    }
    cad::setPlatform(nullptr, nullptr);
    server.terminate();
    server.waitForFinished();
    return status;
}
