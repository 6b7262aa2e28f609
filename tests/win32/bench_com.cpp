// Benchmark, not a test: the tool's own COM client against minicad's COM
// host in another process (under Wine: two Wine processes), on the COM road
// of the test fixtures. In the same run it measures a bare IDispatch round
// trip (a get of the application's Name, nothing else), so each figure can
// be set against the calls it made: time / (calls x bare round trip).
//
//   tests/win32/run-com-bench.sh BENCH_EXE HOST_EXE [n] [search sizes...]

#include "cad/connection.h"
#include "protocol/win32/comdispatch.h"
#include "common/cadfixture.h"
#include "common/formfixture.h"
#include "common/roads.h"
#include "searchtab/lumo2.h"
#include "texttab/lumo.h"
#include "widgets/lineeditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QToolButton>

#include <oleauto.h>

#include <cstdio>

namespace {

int totalCalls(const testing::CadFixture &cad)
{
    int n = 0;
    for (int c : std::as_const(cad.seam->counts))
        n += c;
    return n;
}

// Microseconds per IDispatch::Invoke of a property get answered at once.
double bareRoundTripMicros(int calls = 2000)
{
    using namespace cad::win32;
    ObjectPtr app = attach(cad::kDefaultProgID.toStdWString());
    const DISPID name = app->dispId(L"Name");
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < calls; ++i) {
        VARIANT result;
        VariantInit(&result);
        app->get()->Invoke(name, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
        VariantClear(&result);
    }
    return double(timer.nsecsElapsed()) / 1e3 / calls;
}

void report(const char *what, int entities, double ms, int calls, double roundTripUs)
{
    std::printf("%-24s %6d entities %9.1f ms  %7d calls (%4.1f per entity)  floor %9.1f ms  time/floor %5.2f\n", what,
                entities, ms, calls, double(calls) / entities, calls * roundTripUs / 1000,
                ms * 1000 / (calls * roundTripUs));
    std::fflush(stdout);
}

// "TEXT" on n picked TEXTs, then "更新" of every line changed.
bool pickAndWrite(int n, double roundTripUs)
{
    testing::CadFixture cad;
    QStringList handles;
    for (int i = 0; i < n; ++i)
        handles << cad.drawing().addText(QStringLiteral("0"), QStringLiteral("W%1").arg(i), {0, -5.0 * i, 0});
    testing::FormFixture form;
    cad.queuePick(handles); // the drawing reaches the host here, before the clock
    int before = totalCalls(cad);
    QElapsedTimer timer;
    timer.start();
    form->SpeedButton1Click();
    report("\"TEXT\" pick", n, timer.nsecsElapsed() / 1e6, totalCalls(cad) - before, roundTripUs);
    if (lumo::textArray.size() != n) {
        std::fprintf(stderr, "%lld lines acquired, %d expected\n", qlonglong(lumo::textArray.size()), n);
        return false;
    }
    QStringList lines = form->SynEdit1->lines();
    for (QString &line : lines)
        line += QStringLiteral("x");
    form->SynEdit1->setLines(lines);
    before = totalCalls(cad);
    timer.restart();
    form->SpeedButton2Click();
    report("\"更新\"", n, timer.nsecsElapsed() / 1e6, totalCalls(cad) - before, roundTripUs);
    return form.messages.messages.isEmpty();
}

// A search of every TEXT of a drawing of n.
bool search(int n, double roundTripUs)
{
    testing::CadFixture cad;
    for (int i = 0; i < n; ++i)
        cad.drawing().addText(QStringLiteral("0"), QStringLiteral("TEXT %1").arg((i * 7919) % n), {double(i), double(i % 100), 0});
    testing::FormFixture form;
    cad.selectionSetCount(); // the drawing reaches the host here, before the clock
    form->Edit3->setText(QString());
    lumo::searchArray.clear();
    const int before = totalCalls(cad);
    QElapsedTimer timer;
    timer.start();
    form->SpeedButton14->click();
    report("search", n, timer.nsecsElapsed() / 1e6, totalCalls(cad) - before, roundTripUs);
    if (lumo::searchArray.size() != n) {
        std::fprintf(stderr, "%lld found, %d expected\n", qlonglong(lumo::searchArray.size()), n);
        return false;
    }
    return form.messages.messages.isEmpty();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (testing::currentRoad() != testing::Road::Com) {
        std::fprintf(stderr, "bench_com: run it on the COM road (LUMO_ROAD=com, LUMO_MINICAD_COM=minicad-com.exe)\n");
        return 2;
    }
    const int n = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 2000;
    QList<int> searches;
    for (int i = 2; i < argc; ++i)
        searches << QString::fromLocal8Bit(argv[i]).toInt();
    if (searches.isEmpty())
        searches = {2000, 20000};

    int status = 0;
    double roundTrip = 0;
    {
        testing::CadFixture cad;
        cad.selectionSetCount(); // starts the host
        bareRoundTripMicros(200); // warm up
        roundTrip = bareRoundTripMicros();
        std::printf("bare IDispatch round trip (get Name): %.1f us\n", roundTrip);
    }
    if (!pickAndWrite(n, roundTrip))
        status = 1;
    for (int size : std::as_const(searches)) {
        if (!search(size, roundTrip))
            status = 1;
    }
    // The round trip again: the machine's load changes over a run.
    {
        testing::CadFixture cad;
        std::printf("bare IDispatch round trip at the end: %.1f us\n", bareRoundTripMicros());
    }
    return status;
}
