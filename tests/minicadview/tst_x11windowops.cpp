// The X11 window operations against a running minicad window, on an Xvfb
// server this test starts itself (skipped, saying why, where none starts).

#include "cad/connection.h"
#include "cad/tracking.h"
#include "cad/x11windowops.h"
#include "minicad/automation/application.h"
#include "minicad/view/drawingview.h"
#include "minicad/view/mainwindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>

#include "x11probe.h"

using namespace minicad;

namespace {

QString g_noX; // why the tests skip

// Counts ESC presses that reach the application.
struct EscapeCounter : QObject {
    int count = 0;
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(e)->key() == Qt::Key_Escape
            && o == QApplication::focusWidget()) // once, not again as it travels up to the parents
            ++count;
        return false;
    }
};

} // namespace

#ifdef LUMO_HAVE_X11

class TestX11WindowOps : public QObject {
    Q_OBJECT
    std::shared_ptr<Drawing> drawing;
    std::shared_ptr<Session> session;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<cad::X11WindowOps> ops;
    cad::InProcessRunningObjects objects;

    quintptr appWindow() const { return session->applicationWindow(); }

private Q_SLOTS:
    void init()
    {
        if (!g_noX.isEmpty())
            QSKIP(qPrintable(g_noX));
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        drawing = std::make_shared<Drawing>();
        drawing->addText(QStringLiteral("0"), QStringLiteral("線番 101"), {0, 0, 0}, 0, {}, 5);
        drawing->setFileName(QStringLiteral("/tmp/制御盤.dxf"));
        session = Session::with(drawing);
        window = std::make_unique<MainWindow>(session);
        window->resize(800, 600);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        ops = std::make_unique<cad::X11WindowOps>();
        QVERIFY(ops->isConnected());
        objects.publish(cad::kDefaultProgID, makeApplication(session));
        cad::setPlatform(&objects, ops.get());
    }

    void cleanup()
    {
        cad::setPlatform(nullptr, nullptr);
        objects.revoke(cad::kDefaultProgID);
        window.reset();
        ops.reset();
        session.reset();
        drawing.reset();
    }

    void windowsAreFoundByTheirWholeTitle()
    {
        QVERIFY(appWindow() != 0);
        QCOMPARE(appWindow(), quintptr(window->winId()));
        QCOMPARE(session->documentWindow(drawing.get()), quintptr(window->view()->winId()));
        QVERIFY(session->documentWindow(drawing.get()) != appWindow());
        // Letter case is ignored, Japanese and all; part of the title is not enough.
        QTRY_COMPARE(ops->findWindowByTitle(QStringLiteral("制御盤.DXF - MINICAD")), appWindow());
        QCOMPARE(ops->windowTitle(appWindow()), QStringLiteral("制御盤.dxf - minicad"));
        QCOMPARE(ops->findWindowByTitle(QStringLiteral("制御盤.dxf")), quintptr(0));
        QCOMPARE(ops->findWindowByTitle(QString()), quintptr(0));
        QVERIFY(ops->windowThreadId(appWindow()) == quint64(QCoreApplication::applicationPid()));
    }

    void foregroundAndEscapeReachTheCad()
    {
        ops->setForegroundWindow(appWindow());
        QTRY_COMPARE(ops->foregroundWindow(), appWindow());
        QTRY_VERIFY(window->isActiveWindow());

        // The connection step fronts the CAD and, finding it in front, sends one ESC.
        EscapeCounter escapes;
        qApp->installEventFilter(&escapes);
        cad::ActivateCad(cad::AttachCad(), cad::ActivateLevel::FrontEsc);
        QTRY_COMPARE(escapes.count, 1);
        qApp->removeEventFilter(&escapes);

        // An ESC from outside cancels a pick the user was making.
        const quint64 set = drawing->addSelectionSet(QStringLiteral("SSTEMP"));
        QObject scope; // the timer dies with this test, whatever happens
        QTimer::singleShot(50, &scope, [&] {
            QVERIFY(window->view()->isPicking());
            ops->sendEscape();
        });
        QTimer::singleShot(10000, session.get(), &Session::cancelPick); // never hang
        bool cancelled = false;
        try {
            session->selectOnScreen(*drawing, set, {});
        } catch (const ModelError &e) {
            cancelled = e.message() == QLatin1String("*Cancel*");
        }
        QVERIFY(cancelled);
        QVERIFY(!window->view()->isPicking());
    }

    void iconicWindowIsRestored()
    {
        const quintptr w = x11probe::createWindow(QStringLiteral("Iconic Probe"), true);
        QVERIFY(ops->isIconic(w));
        QCOMPARE(ops->findWindowByTitle(QStringLiteral("ICONIC PROBE")), w);
        ops->openIcon(w);
        QTRY_VERIFY(x11probe::isViewable(w));
        QVERIFY(!ops->isIconic(w));
        QVERIFY(!ops->isIconic(appWindow()));
        // Windows that do not exist are answered, not fatal.
        QVERIFY(!ops->isIconic(0x7ffffff));
        ops->openIcon(0x7ffffff);
        ops->setForegroundWindow(0x7ffffff);
    }

    void topmostState()
    {
        ops->setTopmost(appWindow(), true);
        QVERIFY(x11probe::netWmState(appWindow()).contains(QStringLiteral("_NET_WM_STATE_ABOVE")));
        ops->setTopmost(appWindow(), false);
        QVERIFY(!x11probe::netWmState(appWindow()).contains(QStringLiteral("_NET_WM_STATE_ABOVE")));
    }

    void trackingPansAndDrawsTheMarker()
    {
        ops->setForegroundWindow(appWindow());
        QTRY_VERIFY(window->isActiveWindow());
        const quintptr doc = session->documentWindow(drawing.get());
        const QSize size = session->screenSize(drawing.get());
        QCOMPARE(size, window->view()->viewport()->size());
        const double viewSize = drawing->viewSize();

        cad::ShowPointInCad(cad::AttachCad(), {120, 80, 0}, 3, false, 0.05);
        QCOMPARE(drawing->viewCenter(), (Point{120, 80, 0}));
        QCOMPARE(drawing->viewSize(), viewSize);

        // A point halfway along the upper edge of the triangle is in the marker's colour.
        const cad::Marker m = cad::markerFor(size.width(), size.height(), 3, false, 0.05);
        const QPoint edge((m.tipX + m.upperX) / 2, (m.tipY + m.upperY) / 2);
        const QColor marker(255, 100, 100);
        QCOMPARE(x11probe::pixel(doc, edge.x(), edge.y()), marker);
        QVERIFY(x11probe::pixel(doc, m.tipX - 5, m.tipY) != marker); // inside the triangle: not filled
        // The pan was painted before the marker: nothing wipes it afterwards...
        QTest::qWait(300);
        QCOMPARE(x11probe::pixel(doc, edge.x(), edge.y()), marker);
        // ...until the CAD repaints that area, as on the CAD it stands in for.
        window->view()->viewport()->repaint();
        QTRY_VERIFY(x11probe::pixel(doc, edge.x(), edge.y()) != marker);

        QVERIFY(!ops->drawMarker(0x7ffffff, m));
    }
};

#else

class TestX11WindowOps : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void noX11() { QSKIP("built without libX11 and libXtst"); }
};

#endif

int main(int argc, char **argv)
{
    // This test alone runs on xcb, against an X server of its own.
    x11probe::Xvfb xvfb;
#ifdef LUMO_HAVE_X11
    if (xvfb.start(&g_noX)) {
        qputenv("DISPLAY", xvfb.display().toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#endif
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TestX11WindowOps test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_x11windowops.moc"
