// The connection steps against a scripted application object and the
// recording window operations: the exact call sequences matter, because on
// Windows they decide which program gets the ESC key.

#include "../common/cadfixture.h"
#include "../common/testmain.h"
#include "cad/connection.h"
#include "cad/messagefilter.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace cad;

namespace {

// An application object with a window handle and an undo log, nothing more.
class FakeApp : public Dispatch {
public:
    WindowHandle hwnd = 100;
    QStringList log;
    int failEndUndo = 0;
    QVariant invoke(const QString &member, InvokeKind kind, QVariantList &) override
    {
        log << member;
        if (sameMember(member, "HWND") && kind == InvokeKind::PropertyGet)
            return QVariant::fromValue<qulonglong>(hwnd);
        if (sameMember(member, "StartUndoMark"))
            return {};
        if (sameMember(member, "EndUndoMark")) {
            if (failEndUndo-- > 0)
                throw AutomationError(QStringLiteral("busy drawing"));
            return {};
        }
        throw AutomationError(QStringLiteral("Unknown name"));
    }
};

} // namespace

class TestConnection : public QObject {
    Q_OBJECT
    InProcessRunningObjects objects;
    RecordingWindowOps windows;
    std::shared_ptr<FakeApp> app;

private Q_SLOTS:
    void init()
    {
        objects = InProcessRunningObjects();
        windows = RecordingWindowOps();
        app = std::make_shared<FakeApp>();
        setPlatform(&objects, &windows);
        targetProgID() = kDefaultProgID;
    }
    void cleanup() { setPlatform(nullptr, nullptr); }

    void isCadRunning_data()
    {
        QTest::addColumn<QString>("progId");
        QTest::addColumn<bool>("published");
        QTest::addColumn<QString>("windowTitle");
        QTest::addColumn<bool>("running");
        QTest::newRow("object published") << kDefaultProgID << true << QString() << true;
        QTest::newRow("nothing published") << kDefaultProgID << false << QString() << false;
        QTest::newRow("empty ProgID") << QString() << false << QString() << false;
        QTest::newRow("a window titled so does not count without nanoCAD")
            << kDefaultProgID << false << QStringLiteral("nanoCAD 5") << false;
        QTest::newRow("nanoCAD: its window, no object") << QStringLiteral("nanoCAD.Application.5") << false
                                                        << QStringLiteral("nanoCAD 5") << true;
        QTest::newRow("nanoCAD: title letter case ignored") << QStringLiteral("nanoCAD.Application.5") << false
                                                            << QStringLiteral("NANOCAD 5") << true;
        QTest::newRow("nanoCAD: the whole title must match") << QStringLiteral("nanoCAD.Application.5") << false
                                                             << QStringLiteral("nanoCAD 5 - Drawing1") << false;
        QTest::newRow("nanoCAD: another title, object published") << QStringLiteral("nanoCAD.Application.5") << true
                                                                  << QStringLiteral("nanoCAD 5 - Drawing1") << true;
        QTest::newRow("nanoCAD: object without window") << QStringLiteral("nanoCAD.Application.5") << true
                                                        << QString() << true;
        QTest::newRow("nanoCAD 23: its own title, object published")
            << QStringLiteral("nanoCAD.Application.23") << true
            << QStringLiteral("nanoCAD x64 23.0 - [Drawing1.dwg]") << true;
        QTest::newRow("the nanoCAD test is case-sensitive") << QStringLiteral("NanoCad.Application") << true
                                                            << QString() << true;
    }
    void isCadRunning()
    {
        QFETCH(QString, progId);
        QFETCH(bool, published);
        QFETCH(QString, windowTitle);
        QFETCH(bool, running);
        targetProgID() = progId;
        if (published)
            objects.publish(progId, app);
        if (!windowTitle.isEmpty())
            windows.windowsByTitle.insert(windowTitle.toLower(), 77);
        QCOMPARE(IsCadRunning(), running);
    }

    void attachFailsWhenNotRunning()
    {
        QVERIFY_THROWS_EXCEPTION(AutomationError, AttachCad());
        objects.publish(kDefaultProgID, app);
        QCOMPARE(AttachCad().object(), Object(app));
    }

    void activateCad_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("iconic");
        QTest::addColumn<bool>("foregroundLocked");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("sleptMs");
        const QStringList restore{"IsIconic(100)", "OpenIcon(100)", "Sleep(500)"};
        QTest::newRow("restore only, minimised") << 1 << true << false << restore << 500;
        QTest::newRow("restore only, not minimised") << 1 << false << false << QStringList{"IsIconic(100)"} << 0;
        QTest::newRow("front") << 2 << true << false << (restore + QStringList{"Before", "SetForegroundWindow(100)"})
                               << 500;
        QTest::newRow("front and ESC") << 3 << false << false
                                       << QStringList{"IsIconic(100)", "Before", "SetForegroundWindow(100)",
                                                      "GetForegroundWindow", "Escape", "Sleep(5)"}
                                       << 5;
        QTest::newRow("no ESC when another program keeps the front")
            << 3 << false << true
            << QStringList{"IsIconic(100)", "Before", "SetForegroundWindow(100)", "GetForegroundWindow"} << 0;
    }
    void activateCad()
    {
        QFETCH(int, level);
        QFETCH(bool, iconic);
        QFETCH(bool, foregroundLocked);
        QFETCH(QStringList, expected);
        QFETCH(int, sleptMs);
        windows.iconic.insert(100, iconic);
        windows.foreground = 5;
        windows.foregroundLocked = foregroundLocked;
        ActivateCad(Application(app), ActivateLevel(level), [this] { windows.calls << "Before"; });
        QCOMPARE(windows.calls, expected);
        QCOMPARE(windows.clockMs, qint64(sleptMs));
    }

    void forceForegroundWindow_data()
    {
        QTest::addColumn<quint64>("frontThread");
        QTest::addColumn<QStringList>("tail");
        QTest::newRow("same thread") << quint64(1) << QStringList{"SetForegroundWindow(7)", "BringWindowToTop(7)"};
        QTest::newRow("other thread")
            << quint64(2)
            << QStringList{"SetForegroundWindow(7)", "AttachThreadInput(1,2,1)", "BringWindowToTop(7)",
                           "AttachThreadInput(1,2,0)"};
    }
    void forceForegroundWindow()
    {
        QFETCH(quint64, frontThread);
        QFETCH(QStringList, tail);
        windows.threads.insert(7, 1);
        windows.threads.insert(9, frontThread);
        windows.foreground = 9;
        ForceForegroundWindow(7);
        QCOMPARE(windows.calls.mid(3), tail);
    }

    void lockedLayerMatchIsWholeName()
    {
        const QString list = QStringLiteral("\tAB\tW 1\t");
        QVERIFY(IsLayerLocked(list, QStringLiteral("AB")));
        QVERIFY(IsLayerLocked(list, QStringLiteral("W 1")));
        QVERIFY(!IsLayerLocked(list, QStringLiteral("A")));
        QVERIFY(!IsLayerLocked(list, QStringLiteral("ab")));
        QVERIFY(!IsLayerLocked(QStringLiteral("\t"), QStringLiteral("0")));
    }

    void undoGroupClosesOnEveryPath()
    {
        Document doc(app);
        try {
            UndoGroup group(doc);
            throw AutomationError(QStringLiteral("copy failed"));
        } catch (const AutomationError &) {
        }
        QCOMPARE(app->log, (QStringList{"StartUndoMark", "EndUndoMark"}));
        app->log.clear();
        {
            UndoGroup group(doc);
            group.close();
        }
        QCOMPARE(app->log, (QStringList{"StartUndoMark", "EndUndoMark"}));
        app->log.clear();
        app->failEndUndo = 1;
        {
            // A failing close in the destructor is swallowed, not thrown out of it.
            UndoGroup group(doc);
        }
        QCOMPARE(app->log, (QStringList{"StartUndoMark", "EndUndoMark"}));
    }

    void busyCallIsRetriedEverySecond()
    {
        QList<int> waits;
        setRetrySleeper([&](int ms) { waits << ms; });
        int attempts = 0;
        const int result = callWithBusyRetry([&] {
            if (++attempts < 6)
                throw AutomationError(QStringLiteral("busy"), AutomationError::Kind::Busy);
            return 42;
        });
        setRetrySleeper({});
        QCOMPARE(result, 42);
        QCOMPARE(attempts, 6);
        QCOMPARE(waits, (QList<int>{1000, 1000, 1000, 1000, 1000}));
    }

    void rejectedCallFailsAtOnce_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("failed") << int(AutomationError::Kind::Failed);
        QTest::newRow("rejected") << int(AutomationError::Kind::Rejected);
        QTest::newRow("gone") << int(AutomationError::Kind::Gone);
    }
    void rejectedCallFailsAtOnce()
    {
        QFETCH(int, kind);
        int slept = 0;
        setRetrySleeper([&](int) { ++slept; });
        int attempts = 0;
        QVERIFY_THROWS_EXCEPTION(AutomationError, callWithBusyRetry([&]() -> int {
                                     ++attempts;
                                     throw AutomationError(QStringLiteral("no"), AutomationError::Kind(kind));
                                 }));
        setRetrySleeper({});
        QCOMPARE(attempts, 1);
        QCOMPARE(slept, 0);
    }

    void messageFilterAnswers()
    {
        QCOMPARE(handleInComingCall(), 0);
        QCOMPARE(retryRejectedCall(2), 1000);
        QCOMPARE(retryRejectedCall(1), -1);
        QCOMPARE(messagePending(), 1);
    }

    // The same steps against the CAD of the road: running, attach, the
    // window sequence with the CAD's own window, locked layers, the
    // temporary set, and a CAD that went away.
    void stepsAgainstTheCad()
    {
        testing::CadFixture cad;
        cad.drawing().addLayer(QStringLiteral("WIRE"), true);
        cad.drawing().addLayer(QStringLiteral("FREE"));
        cad.drawing().addLayer(QStringLiteral("W 2"), true);
        const QString text = cad.drawing().addText(QStringLiteral("FREE"), QStringLiteral("x"), {0, 0, 0});
        cad.giveWindows();
        QVERIFY(IsCadRunning());
        const Application app = AttachCad();
        const Document doc = app.activeDocument();
        QCOMPARE(LockedLayerList(doc), QStringLiteral("\tWIRE\tW 2\t"));

        const WindowHandle hwnd = app.hwnd();
        cad.windows.foreground = 5;
        ActivateCad(app, ActivateLevel::FrontEsc);
        QCOMPARE(cad.windows.calls.mid(0, 2),
                 (QStringList{QStringLiteral("IsIconic(%1)").arg(hwnd), QStringLiteral("SetForegroundWindow(%1)").arg(hwnd)}));
        QVERIFY(cad.windows.calls.contains(QStringLiteral("Escape")));

        {
            SelectionSet first = GetTempSelectionSet(doc);
            QCOMPARE(first.name(), QStringLiteral("SSTEMP"));
            cad.queuePick({text});
            const SelectionFilter filter = entityTypeFilter(QStringLiteral("TEXT"));
            first.selectOnScreen(filter.types, filter.data);
            QCOMPARE(first.count(), 1);
            // Asked again, the document's set comes back emptied, not a second one.
            SelectionSet again = GetTempSelectionSet(doc);
            TempSelectionSetGuard guard(again);
            QCOMPARE(again.count(), 0);
            QCOMPARE(cad.selectionSetCount(), 1);
        }
        QCOMPARE(cad.selectionSetCount(), 0);

        cad.revoke();
        QVERIFY(!IsCadRunning());
        QVERIFY_THROWS_EXCEPTION(AutomationError, AttachCad());
    }

    // The pause of the real window operations: its whole length, with the
    // events that come due meanwhile run, not held back to its end.
    void waitRunsEventsMeanwhile()
    {
        NullWindowOps ops;
        QElapsedTimer clock;
        clock.start();
        qint64 ranAt = -1;
        QTimer::singleShot(50, [&] { ranAt = clock.elapsed(); });
        ops.wait(200);
        const qint64 waited = clock.elapsed();
        QVERIFY2(waited >= 199, qPrintable(QString::number(waited)));
        QVERIFY(ranAt >= 0);
        QVERIFY2(ranAt < 190, qPrintable(QString::number(ranAt)));
    }

    void pointValues()
    {
        QCOMPARE(toPoint(QVariantList{1.5, -2, 3}), (Point{1.5, -2, 3}));
        QCOMPARE(toPoint(fromPoint({4, 5, 6})), (Point{4, 5, 6}));
        QVERIFY_THROWS_EXCEPTION(AutomationError, toPoint(QStringLiteral("1,2,3")));
        QVERIFY_THROWS_EXCEPTION(AutomationError, toPoint(QVariantList{1}));
    }
};

LUMO_GUILESS_SUITE_MAIN(TestConnection)
#include "test_connection.moc"
