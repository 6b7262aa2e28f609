// minicad's window driven as a user drives it: picks by click and by box
// while a client's SelectOnScreen waits, undo through Ctrl+Z, the view
// following ZoomCenter and the user's zoom and pan, files and layers.

#include "minicad/dxf/dxffile.h"
#include "minicad/view/drawingview.h"
#include "minicad/view/entityitem.h"
#include "minicad/view/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QGraphicsPathItem>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace minicad;

namespace {

const QColor kBackground(30, 36, 44);

struct Fixture {
    std::shared_ptr<Drawing> drawing = std::make_shared<Drawing>();
    std::shared_ptr<Session> session = Session::with(drawing);
    QString t1, t2, t3, ref;
    std::unique_ptr<MainWindow> window;

    Fixture()
    {
        drawing->addLayer(QStringLiteral("A"));
        t1 = drawing->addText(QStringLiteral("0"), QStringLiteral("T1"), {0, 0, 0});
        t2 = drawing->addText(QStringLiteral("0"), QStringLiteral("T2"), {20, 0, 0});
        t3 = drawing->addText(QStringLiteral("A"), QStringLiteral("T3"), {40, 0, 0});
        drawing->addBlockDefinition(QStringLiteral("DEV"),
                                    {attributeDefinition(QStringLiteral("NAME"), QStringLiteral("機器名"),
                                                         QStringLiteral("X"), {0, 0, 0})});
        ref = drawing->addBlockReference(QStringLiteral("A"), QStringLiteral("DEV"), {60, 0, 0},
                                         {{QStringLiteral("NAME"), QStringLiteral("CR1")}});
        drawing->clearUndoHistory();
        window = std::make_unique<MainWindow>(session);
        window->setPrompts({[](const QString &) { return QMessageBox::Cancel; }, [](const QString &) {},
                            [] { return QString(); }, [](const QString &) { return QString(); }});
        window->resize(1000, 600);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        // 10 pixels per unit around the row of texts.
        drawing->zoomCenter({30, 0, 0}, view()->viewport()->height() / 10.0);
    }

    DrawingView *view() const { return window->view(); }
    QWidget *viewport() const { return view()->viewport(); }
    QPoint px(double x, double y) const { return view()->toPixel({x, y, 0}).toPoint(); }

    // Runs a client's SelectOnScreen; `user` acts while it waits. Returns the
    // picked handles, or "cancelled".
    QStringList select(const SelectionFilter &filter, const std::function<void()> &user)
    {
        const quint64 set = drawing->addSelectionSet(QStringLiteral("S%1").arg(drawing->selectionSetCount()));
        // A timer of this call: when the answer was queued, the user never gets to act.
        QTimer act;
        act.setSingleShot(true);
        QObject::connect(&act, &QTimer::timeout, [&] { user(); });
        act.start(0);
        // A test that forgets to finish must not hang.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, session.get(), &Session::cancelPick);
        guard.start(10000);
        try {
            session->selectOnScreen(*drawing, set, filter);
        } catch (const ModelError &) {
            return {QStringLiteral("cancelled")};
        }
        return drawing->selectionSet(set)->handles;
    }

    void drag(const QPoint &from, const QPoint &to, Qt::KeyboardModifiers mods = {})
    {
        QTest::mousePress(viewport(), Qt::LeftButton, mods, from);
        QTest::mouseMove(viewport(), (from + to) / 2);
        QTest::mouseMove(viewport(), to);
        QTest::mouseRelease(viewport(), Qt::LeftButton, mods, to);
    }

    view::EntityItem *item(const QString &handle) const
    {
        for (QGraphicsItem *i : view()->scene()->items())
            if (auto *e = qgraphicsitem_cast<view::EntityItem *>(i); e && e->handle() == handle)
                return e;
        return nullptr;
    }

    // Pixels of the viewport that are not background, inside `box`.
    int inked(const QRect &box) const
    {
        const QImage image = viewport()->grab().toImage();
        int n = 0;
        for (int y = qMax(0, box.top()); y <= qMin(image.height() - 1, box.bottom()); ++y)
            for (int x = qMax(0, box.left()); x <= qMin(image.width() - 1, box.right()); ++x)
                if (QColor(image.pixel(x, y)) != kBackground)
                    ++n;
        return n;
    }
};

SelectionFilter textsOnly()
{
    return SelectionFilter({0}, {QStringLiteral("TEXT")});
}

} // namespace

class TestDrawingView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Closing a test's window must not end the test run.
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void boxes_data()
    {
        // Corners in drawing units; texts are 2.5 high and about 4 wide.
        QTest::addColumn<QPointF>("from");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<bool>("onlyTexts");
        QTest::addColumn<QStringList>("expected"); // names of the fixture's entities

        QTest::newRow("window around T1") << QPointF(-1, -2) << QPointF(6, 4) << false << QStringList{"t1"};
        QTest::newRow("window cutting T1 holds only T2") << QPointF(1, -2) << QPointF(26, 4) << false
                                                         << QStringList{"t2"};
        QTest::newRow("crossing cutting T1 touches both") << QPointF(26, 4) << QPointF(1, -2) << false
                                                          << QStringList{"t1", "t2"};
        QTest::newRow("crossing through the middle of T3 and the reference")
            << QPointF(61, 1) << QPointF(41, 0.5) << false << QStringList{"t3", "ref"};
        QTest::newRow("filter leaves the reference out") << QPointF(61, 1) << QPointF(41, 0.5) << true
                                                         << QStringList{"t3"};
        QTest::newRow("window around everything, texts only") << QPointF(-5, -5) << QPointF(80, 8) << true
                                                              << QStringList{"t1", "t2", "t3"};
        QTest::newRow("empty window") << QPointF(100, 10) << QPointF(120, 20) << false << QStringList{};
    }

    void boxes()
    {
        QFETCH(QPointF, from);
        QFETCH(QPointF, to);
        QFETCH(bool, onlyTexts);
        QFETCH(QStringList, expected);
        Fixture f;
        const QHash<QString, QString> names{{"t1", f.t1}, {"t2", f.t2}, {"t3", f.t3}, {"ref", f.ref}};
        QStringList want;
        for (const QString &n : expected)
            want << names.value(n);
        int shownCount = -1;
        const QStringList got = f.select(onlyTexts ? textsOnly() : SelectionFilter(), [&] {
            QVERIFY(f.view()->isPicking());
            f.drag(f.px(from.x(), from.y()), f.px(to.x(), to.y()));
            shownCount = int(f.view()->pickedHandles().size());
            QTest::keyClick(f.viewport(), Qt::Key_Return);
        });
        QCOMPARE(got, want);
        QCOMPARE(shownCount, int(want.size()));
        QVERIFY(!f.view()->isPicking());
        QVERIFY(f.window->promptLabel()->text().isEmpty());
    }

    void clicksShiftAndOpenBox()
    {
        Fixture f;
        const QStringList got = f.select(SelectionFilter(), [&] {
            QTest::mouseClick(f.viewport(), Qt::LeftButton, {}, f.px(1.5, 1));  // T1
            QTest::mouseClick(f.viewport(), Qt::LeftButton, {}, f.px(21.5, 1)); // T2
            QCOMPARE(f.item(f.t2)->look(), view::EntityItem::Look::Picked);
            QVERIFY(f.window->promptLabel()->text().contains(QLatin1String("2 found")));
            QTest::mouseClick(f.viewport(), Qt::LeftButton, Qt::ShiftModifier, f.px(1.5, 1)); // removes T1
            QCOMPARE(f.item(f.t1)->look(), view::EntityItem::Look::Normal);
            // A click on empty space opens a box; the next click closes it (right to left: crossing).
            QTest::mouseClick(f.viewport(), Qt::LeftButton, {}, f.px(45, -3));
            QTest::mouseMove(f.viewport(), f.px(41, 1));
            QTest::mouseClick(f.viewport(), Qt::LeftButton, {}, f.px(41, 1));
            QTest::mouseClick(f.viewport(), Qt::RightButton, {}, f.px(90, 20)); // right-click finishes
        });
        QCOMPARE(got, (QStringList{f.t2, f.t3}));
    }

    void filteredEntitiesNeitherLightNorCount()
    {
        Fixture f;
        const QStringList got = f.select(textsOnly(), [&] {
            const QPoint onRef = f.px(61, 1);
            QTest::mouseMove(f.viewport(), onRef);
            QCOMPARE(f.item(f.ref)->look(), view::EntityItem::Look::Normal);
            QVERIFY(f.view()->entityAt(onRef).isEmpty());
            QTest::mouseMove(f.viewport(), f.px(41.5, 1));
            QCOMPARE(f.item(f.t3)->look(), view::EntityItem::Look::Hover);
            QTest::mouseClick(f.viewport(), Qt::LeftButton, {}, onRef); // nothing there for this pick: opens a box
            QTest::mouseClick(f.viewport(), Qt::LeftButton, {}, f.px(59, -1)); // crossing over the reference only
            QVERIFY(f.view()->pickedHandles().isEmpty());
            QVERIFY(f.window->promptLabel()->text().contains(QLatin1String("0 found")));
            QTest::keyClick(f.viewport(), Qt::Key_Space);
        });
        QCOMPARE(got, QStringList{});
    }

    void escapeCancelsAndQueuedAnswersStillWork()
    {
        Fixture f;
        QCOMPARE(f.select(SelectionFilter(), [&] {
                     QTest::mouseClick(f.viewport(), Qt::LeftButton, {}, f.px(1.5, 1));
                     // ESC reaches the pick wherever the focus is in the window.
                     QTest::keyClick(f.window->layerList(), Qt::Key_Escape);
                 }),
                 QStringList{QStringLiteral("cancelled")});
        QVERIFY(!f.view()->isPicking());
        QCOMPARE(f.item(f.t1)->look(), view::EntityItem::Look::Normal);

        // Answered from the testing interface while the user could pick.
        QCOMPARE(f.select(SelectionFilter(), [&] { f.session->queuePick({f.t3, f.t1}); }), (QStringList{f.t3, f.t1}));
        QVERIFY(!f.view()->isPicking());
        // Queued before the call: nobody is asked.
        f.session->queuePick({f.t2});
        int prompts = 0;
        QObject::connect(f.view(), &DrawingView::promptChanged, [&](const QString &p) { prompts += !p.isEmpty(); });
        QCOMPARE(f.select(SelectionFilter(), [] {}), QStringList{f.t2});
        QCOMPARE(prompts, 0);
    }

    void ctrlZUndoesTheWholeGroupAndCtrlYRedoes()
    {
        Fixture f;
        Drawing &d = *f.drawing;
        d.startUndoMark();
        d.setTextString(f.t1, QStringLiteral("新1"));
        d.setTextString(f.t2, QStringLiteral("新2"));
        const QString copy = d.copyEntity(f.t3);
        d.endUndoMark();
        QCOMPARE(d.undoGroupCount(), 1);
        QVERIFY(f.window->isWindowModified());
        f.view()->setFocus();
        QTest::keyClick(f.view(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(d.find(f.t1)->text, QStringLiteral("T1"));
        QCOMPARE(d.find(f.t2)->text, QStringLiteral("T2"));
        QCOMPARE(d.handleState(copy), HandleState::Erased);
        QCOMPARE(d.undoGroupCount(), 0);
        f.view()->syncScene();
        QCOMPARE(f.item(f.t1)->entity().text, QStringLiteral("T1"));
        QVERIFY(!f.item(copy));

        QTest::keyClick(f.view(), Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(d.find(f.t2)->text, QStringLiteral("新2"));
        QVERIFY(d.find(copy));

        // Not while a client waits for a pick: the drawing must hold still.
        f.select(SelectionFilter(), [&] {
            QVERIFY(!f.window->undoAction()->isEnabled());
            QTest::keyClick(f.window->layerList(), Qt::Key_Z, Qt::ControlModifier);
            QTest::keyClick(f.viewport(), Qt::Key_Escape);
        });
        QCOMPARE(d.find(f.t2)->text, QStringLiteral("新2"));
        QVERIFY(f.window->undoAction()->isEnabled());
    }

    void viewFollowsZoomCenter()
    {
        Fixture f;
        const QString far = f.drawing->addText(QStringLiteral("0"), QStringLiteral("遠い"), {1000, 500, 0}, 0, {}, 5);
        f.view()->syncScene();
        const QSize size = f.viewport()->size();
        QCOMPARE(f.session->screenSize(f.drawing.get()), size);

        f.drawing->zoomCenter({1000, 500, 0}, 40);
        const QPointF centre(size.width() / 2.0, size.height() / 2.0);
        // Qt's own mapping agrees with the drawing's view.
        QVERIFY((f.view()->mapFromScene(QPointF(1000, 500)) - centre.toPoint()).manhattanLength() <= 1);
        QCOMPARE(f.view()->mapToScene(QPoint(0, size.height() / 2)).x(),
                 1000 - 20.0 * size.width() / size.height());
        // The text starting at the centre is drawn right of and above it.
        const int h = size.height() * 5 / 40;
        QVERIFY(f.inked(QRect(centre.toPoint() + QPoint(0, -h), QSize(2 * h, h))) > 20);

        f.drawing->zoomCenter({-3000, -3000, 0}, 40);
        QCOMPARE(f.inked(QRect(QPoint(0, 0), size)), 0);
        Q_UNUSED(far);
    }

    void userZoomAndPanUpdateTheDrawing()
    {
        Fixture f;
        const QPointF at(200, 150);
        const Point under = f.view()->toWorld(at);
        const double size = f.drawing->viewSize();
        QWheelEvent wheel(at, f.viewport()->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(f.viewport(), &wheel);
        QVERIFY(qAbs(f.drawing->viewSize() - size / 1.5625) < 1e-9);
        const Point still = f.view()->toWorld(at);
        QVERIFY(qAbs(still.x - under.x) < 1e-9 && qAbs(still.y - under.y) < 1e-9);

        const Point before = f.drawing->viewCenter();
        const double perPixel = f.drawing->viewSize() / f.viewport()->height();
        QTest::mousePress(f.viewport(), Qt::MiddleButton, {}, QPoint(300, 300));
        QTest::mouseMove(f.viewport(), QPoint(350, 320));
        QTest::mouseRelease(f.viewport(), Qt::MiddleButton, {}, QPoint(350, 320));
        QVERIFY(qAbs(f.drawing->viewCenter().x - (before.x - 50 * perPixel)) < 1e-9);
        QVERIFY(qAbs(f.drawing->viewCenter().y - (before.y + 20 * perPixel)) < 1e-9);

        f.view()->zoomExtents();
        const QRectF shown(QPointF(f.view()->toWorld(QPointF(0, f.viewport()->height())).x,
                                   f.view()->toWorld(QPointF(0, f.viewport()->height())).y),
                           QPointF(f.view()->toWorld(QPointF(f.viewport()->width(), 0)).x,
                                   f.view()->toWorld(QPointF(f.viewport()->width(), 0)).y));
        for (QGraphicsItem *i : f.view()->scene()->items())
            QVERIFY(shown.contains(i->sceneBoundingRect()));

        f.window->resize(700, 500);
        QTRY_COMPARE(f.session->screenSize(f.drawing.get()), f.viewport()->size());
    }

    void titleSaveAndCloseQuestion()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("panel.dxf"));
        QVERIFY(QFile::copy(qEnvironmentVariable("LUMO_SOURCE_DIR") + QStringLiteral("/examples/sample.dxf"), path));
        auto drawing = std::make_shared<Drawing>();
        loadDrawingFile(*drawing, path);
        MainWindow window(Session::with(drawing));
        QList<int> asked;
        QMessageBox::StandardButton answer = QMessageBox::Cancel;
        MainWindow::Prompts prompts;
        prompts.askSave = [&](const QString &) {
            asked << 1;
            return answer;
        };
        prompts.showError = [](const QString &message) { QFAIL(qPrintable(message)); };
        window.setPrompts(prompts);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("panel.dxf[*] - minicad"));
        QVERIFY(!window.isWindowModified());

        const QString handle = drawing->modelSpaceHandles().first();
        QString target;
        for (const QString &h : drawing->modelSpaceHandles())
            if (drawing->find(h)->kind == EntityKind::Text && !drawing->isLayerLocked(drawing->find(h)->layer)) {
                target = h;
                break;
            }
        drawing->setTextString(target, QStringLiteral("保存した"));
        QVERIFY(window.isWindowModified());

        // Cancel keeps the window; Save writes and closes.
        QVERIFY(!window.close());
        QCOMPARE(asked.size(), 1);
        answer = QMessageBox::Save;
        QVERIFY(window.close());
        Drawing reread;
        loadDrawingFile(reread, path);
        QCOMPARE(reread.find(target)->text, QStringLiteral("保存した"));

        // Ctrl+S saves without asking; an unchanged window closes without asking.
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        drawing->setTextString(target, QStringLiteral("二度目"));
        QTest::keyClick(window.view(), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(!window.isWindowModified());
        loadDrawingFile(reread, path);
        QCOMPARE(reread.find(target)->text, QStringLiteral("二度目"));
        asked.clear();
        QVERIFY(window.close());
        QVERIFY(asked.isEmpty());
        Q_UNUSED(handle);
    }

    void shapesAndTextPlacement_data()
    {
        // Bulges and arcs turn counter-clockwise in drawing coordinates; a sign
        // slip draws every arc mirrored.
        QTest::addColumn<int>("kind");
        QTest::addColumn<QList<double>>("numbers"); // polyline: x0 y0 x1 y1 bulge; arc: cx cy r start end
        QTest::addColumn<QRectF>("bounds");
        QTest::newRow("bulge 1 bends right of the way") << int(DxfShape::Kind::Polyline)
                                                        << QList<double>{0, 0, 10, 0, 1} << QRectF(0, -5, 10, 5);
        QTest::newRow("bulge -1 bends left") << int(DxfShape::Kind::Polyline) << QList<double>{0, 0, 10, 0, -1}
                                             << QRectF(0, 0, 10, 5);
        QTest::newRow("arc 0 to 90") << int(DxfShape::Kind::Arc) << QList<double>{0, 0, 10, 0, 90}
                                     << QRectF(0, 0, 10, 10);
        QTest::newRow("arc 270 to 90 through 0") << int(DxfShape::Kind::Arc) << QList<double>{0, 0, 10, 270, 90}
                                                 << QRectF(0, -10, 10, 20);
    }

    void shapesAndTextPlacement()
    {
        QFETCH(int, kind);
        QFETCH(QList<double>, numbers);
        QFETCH(QRectF, bounds);
        DxfShape shape;
        shape.kind = DxfShape::Kind(kind);
        if (shape.kind == DxfShape::Kind::Polyline) {
            shape.points = {{numbers[0], numbers[1], 0}, {numbers[2], numbers[3], 0}};
            shape.bulges = {numbers[4], 0};
        } else {
            shape.center = {numbers[0], numbers[1], 0};
            shape.radius = numbers[2];
            shape.startAngle = numbers[3];
            shape.endAngle = numbers[4];
        }
        const QRectF got = view::shapePath(shape).boundingRect();
        QVERIFY2(qAbs(got.left() - bounds.left()) < 1e-6 && qAbs(got.top() - bounds.top()) < 1e-6
                     && qAbs(got.right() - bounds.right()) < 1e-6 && qAbs(got.bottom() - bounds.bottom()) < 1e-6,
                 qPrintable(QStringLiteral("%1 %2 %3 %4").arg(got.left()).arg(got.top()).arg(got.right()).arg(got.bottom())));

        // Alignment points: right-aligned text ends at its point, middle-centre
        // text has it in the middle of its capitals, rotation turns the baseline.
        Entity text;
        text.text = QStringLiteral("ABC線番");
        text.height = 3;
        text.alignmentPoint = {50, 20, 0};
        const view::TextFont &f = view::TextFont::instance();
        const double w = f.advance(text.text);
        text.alignment = 2;
        QVERIFY(QLineF(view::placeText(text).toWorld.map(QPointF(w, 0)), QPointF(50, 20)).length() < 1e-9);
        text.alignment = 10;
        QVERIFY(QLineF(view::placeText(text).toWorld.map(QPointF(w / 2, -f.capHeight / 2)), QPointF(50, 20)).length()
                < 1e-9);
        text.alignment = 0;
        text.insertion = {5, 5, 0};
        text.rotation = M_PI / 2;
        const QPointF end = view::placeText(text).toWorld.map(QPointF(w, 0));
        QVERIFY(qAbs(end.x() - 5) < 1e-9 && end.y() > 5);
        const QPointF top = view::placeText(text).toWorld.map(QPointF(0, -f.capHeight));
        QVERIFY(qAbs(top.x() - 2) < 1e-9 && qAbs(top.y() - 5) < 1e-9); // capitals 3 high, to the left when turned
    }

    void fileLoadedByAClientIsShown()
    {
        // The testing interface loads files behind the window's back.
        Fixture f;
        const QString sample = qEnvironmentVariable("LUMO_SOURCE_DIR") + QStringLiteral("/examples/sample.dxf");
        const auto shapes = [&] {
            int n = 0;
            for (QGraphicsItem *i : f.view()->scene()->items())
                n += i->type() == QGraphicsPathItem::Type;
            return n;
        };
        for (int round = 0; round < 2; ++round) {
            loadDrawingFile(*f.drawing, sample);
            const int expected = int(dxfDocument(*f.drawing)->modelSpaceShapes().size());
            QVERIFY(expected > 0);
            QTRY_COMPARE(shapes(), expected);
            QTRY_COMPARE(f.window->windowTitle(), QStringLiteral("sample.dxf[*] - minicad"));
            QVERIFY(!f.window->isWindowModified());
            QVERIFY(!f.item(f.t1) || f.drawing->find(f.t1)); // the fixture's texts are gone with their drawing
        }
    }

    void openAddsATabAndTabsFollowTheSession()
    {
        const QString sample = qEnvironmentVariable("LUMO_SOURCE_DIR") + QStringLiteral("/examples/sample.dxf");
        auto session = std::make_shared<Session>();
        auto window = std::make_unique<MainWindow>(session);
        QMessageBox::StandardButton answer = QMessageBox::Cancel;
        int asked = 0;
        window->setPrompts({[&](const QString &) {
                                ++asked;
                                return answer;
                            },
                            [](const QString &message) { QFAIL(qPrintable(message)); }, [&] { return sample; },
                            [](const QString &) { return QString(); }});
        window->show();
        // A session without drawings gets a new one, as a CAD starts with one.
        QCOMPARE(session->count(), 1);
        Drawing *unsaved = window->drawing();
        unsaved->addText(QStringLiteral("0"), QStringLiteral("unsaved"), {0, 0, 0});
        QCOMPARE(window->windowTitle(), QStringLiteral("Drawing1.dwg[*] - minicad"));
        QVERIFY(window->isWindowModified());

        // Open adds a tab, without touching the drawing open.
        window->open();
        QCOMPARE(asked, 0);
        QCOMPARE(session->count(), 2);
        QCOMPARE(window->tabs()->count(), 2);
        QCOMPARE(window->tabs()->currentIndex(), 1);
        QCOMPARE(window->drawing()->fileName(), QFileInfo(sample).absoluteFilePath());
        QCOMPARE(window->windowTitle(), QStringLiteral("sample.dxf[*] - minicad"));
        QVERIFY(!window->isWindowModified());
        QCOMPARE(session->drawing(0).get(), unsaved);

        // The current tab is the active drawing, whichever side changes it.
        window->tabs()->setCurrentIndex(0);
        QCOMPARE(session->activeIndex(), 0);
        QCOMPARE(window->windowTitle(), QStringLiteral("Drawing1.dwg[*] - minicad"));
        session->activate(1);
        QCOMPARE(window->tabs()->currentIndex(), 1);
        QCOMPARE(window->view()->drawing(), session->drawing(1).get());

        // Closing a changed drawing's tab asks; Cancel keeps it.
        QVERIFY(!window->closeTab(0));
        QCOMPARE(asked, 1);
        QCOMPARE(session->count(), 2);
        answer = QMessageBox::Discard;
        QVERIFY(window->closeTab(0));
        QCOMPARE(session->count(), 1);
        QCOMPARE(window->tabs()->count(), 1);
        QCOMPARE(window->windowTitle(), QStringLiteral("sample.dxf[*] - minicad"));

        // A drawing a client closes leaves its tab too.
        session->add();
        QCOMPARE(window->tabs()->count(), 2);
        session->close(1);
        QCOMPARE(window->tabs()->count(), 1);

        // The window holds the only reference: the view must be gone before the drawing goes.
        QPointer<DrawingView> view = window->view();
        bool viewOutlivedDrawing = false;
        QObject::connect(window->drawing(), &QObject::destroyed, [&] { viewOutlivedDrawing = !view.isNull(); });
        session->close(0);
        window.reset();
        QVERIFY(!viewOutlivedDrawing);
    }

    void layerListLocksLayers()
    {
        Fixture f;
        QTreeWidget *list = f.window->layerList();
        QTreeWidgetItem *a = list->findItems(QStringLiteral("A"), Qt::MatchExactly).value(0);
        QVERIFY(a);
        QCOMPARE(a->checkState(1), Qt::Unchecked);
        a->setCheckState(1, Qt::Checked);
        QVERIFY(f.drawing->isLayerLocked(QStringLiteral("A")));
        // The lock is a change like any other: undone by Ctrl+Z, shown by the list.
        QTest::keyClick(f.view(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(!f.drawing->isLayerLocked(QStringLiteral("A")));
        a = list->findItems(QStringLiteral("A"), Qt::MatchExactly).value(0);
        QCOMPARE(a->checkState(1), Qt::Unchecked);
    }
};

QTEST_MAIN(TestDrawingView)
#include "tst_drawingview.moc"
