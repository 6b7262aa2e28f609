// The attribute grid tab against the minicad model on the road of the run:
// the acquisition and the writes as operations, and through the real main
// window acquisition, sorting, editing keys, Enter writes and the write-back.

#include "../common/cadfixture.h"
#include "../common/testmain.h"
#include "app/lumoxunit.h"
#include "attrtab/operations.h"
#include "cad/connection.h"
#include "minicad/automation/application.h"
#include "minicad/model/drawing.h"
#include "widgets/messagebox.h"
#include "widgets/stringgrid.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace lumo;
using minicad::attributeDefinition;

namespace {

// The CAD of the road, with the attribute lookups of these tests.
struct Cad : testing::CadFixture {
    // Attribute handle of `tag` in a reference (the last one with that tag).
    QString attribute(const QString &ref, const QString &tag)
    {
        QString handle;
        for (const minicad::Entity &a : drawing().find(ref)->attributes)
            if (a.tag == tag)
                handle = a.handle;
        return handle;
    }
};

// Grid contents as rows of "|"-joined cells; "#" marks a cell without attribute.
QStringList gridRows(const widgets::StringGrid &g, bool marks = true)
{
    QStringList rows;
    for (int r = 0; r < g.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < g.colCount(); ++c)
            cells << ((marks && c > 0 && r > 0 && g.objects(c, r) == 0) ? QStringLiteral("#") + g.cells(c, r)
                                                                       : g.cells(c, r));
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

QLineEdit *openEditor(widgets::StringGrid *g)
{
    g->showEditor();
    return g->isEditorOpen() ? g->findChild<QLineEdit *>() : nullptr;
}

} // namespace

class TestAttrTab : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    FilePaths paths;
    std::unique_ptr<Cad> cad;
    std::unique_ptr<TLumoMainForm> form;

    void useTagSet(const QString &item)
    {
        form->ComboBox2->addItem(item);
        form->ComboBox2->setCurrentIndex(form->ComboBox2->findText(item));
    }
    // Block "BLK" with tags A (prompt "PA"), B (no prompt), C (prompt "PC").
    void defineBlock()
    {
        cad->drawing().addBlockDefinition(
            "BLK", {attributeDefinition("A", "PA", ""), attributeDefinition("B", "", ""),
                    attributeDefinition("C", "PC", "")});
    }
    QString ref(double x, double y, const QHash<QString, QString> &values, const QString &layer = "0")
    {
        return cad->drawing().addBlockReference(layer, "BLK", {x, y, 0}, values);
    }
    // Through "取得", or the operation alone with the tag set the box shows.
    void acquire(const QStringList &picked, bool throughWindow = true)
    {
        cad->queuePick(picked);
        if (throughWindow)
            form->SpeedButton10->click();
        else
            AcquireAttributeRows(cad::AttachCad().activeDocument(), SplitTagSet(form->ComboBox2->currentText()));
    }
    // Three references in a column, top first: a1/b1/c1, a2/b2/c2, a3/b3/c3.
    QStringList threeRows(bool throughWindow = true)
    {
        defineBlock();
        useTagSet("T[BLK],A,B,C");
        QStringList refs{ref(0, 30, {{"A", "a1"}, {"B", "b1"}, {"C", "c1"}}),
                         ref(0, 20, {{"A", "a2"}, {"B", "b2"}, {"C", "c2"}}),
                         ref(0, 10, {{"A", "a3"}, {"B", "b3"}, {"C", "c3"}})};
        acquire(refs, throughWindow);
        return refs;
    }
    widgets::StringGrid &grid() { return *form->StringGrid1; }

private Q_SLOTS:
    void init()
    {
        paths.settings = dir.filePath("LumoEdit.ini");
        paths.targetCadList = dir.filePath("t.txt");
        paths.textTagList = dir.filePath("LumoEditTagList.txt");
        paths.tagSetList = dir.filePath("LumoEdit2ATagList.txt");
        cad = std::make_unique<Cad>();
        form = std::make_unique<TLumoMainForm>(paths);
        form->PageControl1->setCurrentIndex(1);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        blkArray.clear();
        attArray.clear();
        blkArrayDrawing = {};
    }
    void cleanup()
    {
        form.reset();
        cad.reset();
    }

    // ---- acquisition -------------------------------------------------------------

    void tagSetSplitting_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<QString>("block");
        QTest::newRow("plain") << "線番,SENBAN" << "線番" << QStringList{"SENBAN"} << "";
        QTest::newRow("block") << "図枠[TTL] x,A, B" << "図枠[TTL] x" << QStringList{"A", " B"} << "TTL";
        QTest::newRow("empty brackets") << "S[],A" << "S[]" << QStringList{"A"} << "";
        QTest::newRow("close before open") << "S]x[Y],A" << "S]x[Y]" << QStringList{"A"} << "";
        QTest::newRow("quoted comma") << "\"N,1\",\"A\"\"B\",C," << "N,1" << QStringList{"A\"B", "C", ""} << "";
    }
    void tagSetSplitting()
    {
        QFETCH(QString, item);
        const TagSet set = SplitTagSet(item);
        QTEST(set.name, "name");
        QTEST(set.tags, "tags");
        QTEST(set.blockName, "block");
    }

    void emptySelectionChangesNothing()
    {
        const QStringList refs = threeRows();
        const QStringList before = gridRows(grid());
        grid().setCurrentCell(1, 1);
        QLineEdit *ed = openEditor(&grid());
        QVERIFY(ed);
        grid().hideEditor(true);
        QCOMPARE(form->FUndoCells->Count(), 1);
        acquire({});
        QCOMPARE(form->Label3->text(), QStringLiteral("INSERT = 0"));
        QCOMPARE(gridRows(grid()), before);
        QCOMPARE(blkArray.size(), 3);
        QCOMPARE(attArray.size(), 9);
        QCOMPARE(form->FUndoCells->Count(), 1);
        QVERIFY(!form->SpeedButton12->isEnabled());
        QVERIFY(!form->runFlag);
        QVERIFY(form->ATTmode);
    }

    void noMatchingTagsGivesOneGreyRow()
    {
        defineBlock();
        useTagSet("N,X,Y,Z,W");
        QVERIFY(!form->SpeedButton11->isEnabled());
        QVERIFY(!grid().editing()); // nothing to edit before the first acquisition
        form->sgUndoCnt = 4;
        acquire({ref(0, 0, {{"A", "1"}})});
        QCOMPARE(grid().rowCount(), 2);
        QCOMPARE(grid().colCount(), 5);
        QCOMPARE(gridRows(grid()), (QStringList{"||||", "|#|#|#|#"}));
        QCOMPARE(form->FUndoCells->Count(), 0);
        QCOMPARE(form->sgUndoCnt, 0);
        QVERIFY(form->SpeedButton11->isEnabled());
        QVERIFY(!grid().editing());
        QCOMPARE(form->Label3->text(), QStringLiteral("INSERT = 1 / 1"));
    }

    void headersAndGreyCells()
    {
        defineBlock();
        // Block name given: prompts fill headers; B has no prompt; D is carried by no block.
        useTagSet("T[BLK],A,B,C,D");
        const QString r1 = ref(0, 10, {{"A", "x"}});
        // A reference of another block carrying only C.
        cad->drawing().addBlockDefinition("OTHER", {attributeDefinition("C", "other prompt", "oc")});
        const QString r2 = cad->drawing().addBlockReference("0", "OTHER", {0, 0, 0});
        acquire({r1, r2}); // the filter keeps only BLK references
        QCOMPARE(gridRows(grid()), (QStringList{"|PA||PC|", "1|x|||#"}));
        // The pause after the pick lets the window answer; it is no bare sleep.
        QVERIFY(cad->windows.calls.contains("Wait(500)"));
        QVERIFY(!cad->windows.calls.contains("Sleep(500)"));

        useTagSet("T,A,B,C,D");
        acquire({r1, r2});
        QCOMPARE(gridRows(grid()), (QStringList{"||||", "1|x|||#", "2|#|#|oc|#"}));
        QCOMPARE(blkArray[1].blkName, QStringLiteral("OTHER"));
        QCOMPARE(attArray.size(), 4);
        QCOMPARE(grid().objects(3, 2), 4);
        QCOMPARE(attArray[3].sHnd, cad->attribute(r2, "C"));
        QCOMPARE(attArray[3].insPt, (cad::Point{0, 0, 0}));
    }

    void rowOrder_data()
    {
        QTest::addColumn<QList<QPointF>>("points"); // in pick order
        QTest::addColumn<QStringList>("order");     // column A, top row first
        QTest::newRow("taller: top to bottom")
            << QList<QPointF>{{0, 0}, {5, 20}, {1, 10}} << QStringList{"p1", "p2", "p0"};
        QTest::newRow("wider: left to right")
            << QList<QPointF>{{30, 0}, {10, 5}, {20, 1}} << QStringList{"p1", "p2", "p0"};
        QTest::newRow("equal spread: top to bottom")
            << QList<QPointF>{{0, 0}, {10, 10}, {5, 5}} << QStringList{"p1", "p2", "p0"};
        QTest::newRow("equal keys keep the exchange order")
            << QList<QPointF>{{0, 5}, {1, 5}, {2, 9}, {3, 5}} << QStringList{"p2", "p1", "p0", "p3"};
    }
    void rowOrder()
    {
        QFETCH(QList<QPointF>, points);
        defineBlock();
        useTagSet("T,A");
        QStringList refs;
        for (int i = 0; i < points.size(); ++i)
            refs << ref(points[i].x(), points[i].y(), {{"A", QStringLiteral("p%1").arg(i)}});
        acquire(refs, false);
        QStringList order;
        for (const nAtt &a : std::as_const(attArray))
            order << a.text;
        QTEST(order, "order");
    }

    void twoAttributesWithOneTag()
    {
        cad->drawing().addBlockDefinition(
            "DUP", {attributeDefinition("A", "", "first"), attributeDefinition("A", "", "second"),
                    attributeDefinition("B", "", "b")});
        useTagSet("T,A,B,A");
        const QString r = cad->drawing().addBlockReference("0", "DUP", {0, 0, 0});
        acquire({r});
        QCOMPARE(gridRows(grid()), (QStringList{"|||", "1|second|b|#"}));
        QCOMPARE(attArray.size(), 3);
        QCOMPARE(attArray[0].text, QStringLiteral("first")); // no cell points at it
        QCOMPARE(grid().objects(1, 1), 2);
        QCOMPARE(grid().objects(2, 1), 3);
    }

    void stopInPhaseOne()
    {
        defineBlock();
        useTagSet("T,A");
        const QStringList refs{ref(0, 0, {{"A", "1"}}), ref(0, 1, {{"A", "2"}})};
        // Pressed as soon as the loop lets events through.
        QTimer::singleShot(0, form->SpeedButton12, &QToolButton::click);
        acquire(refs);
        QVERIFY(blkArray.isEmpty());
        QCOMPARE(gridRows(grid()), (QStringList{"|", "|#"}));
        QVERIFY(!form->SpeedButton12->isEnabled());
        QVERIFY(form->SpeedButton10->isEnabled());
        QVERIFY(form->SpeedButton11->isEnabled());
    }

    void stopInPhaseTwoAndRefuseSecondRun()
    {
        defineBlock();
        useTagSet("T,A");
        QStringList refs;
        for (int i = 0; i < 4; ++i)
            refs << ref(0, 10 - i, {{"A", QString::number(i)}});
        bool refused = false;
        form->SpeedButton11->setEnabled(true); // as an earlier acquisition leaves it
        connect(form->ProgressBar1, &QProgressBar::valueChanged, form.get(), [&] {
            if (form->Label3->text() == QStringLiteral("ATTR = 1 / 4") && form->runFlag) {
                // A second "取得" is not possible while the first runs.
                refused = !form->SpeedButton10->isEnabled() && !form->SpeedButton11->isEnabled();
                form->SpeedButton10->click();
                form->SpeedButton12->click();
            }
        });
        acquire(refs);
        QVERIFY(refused);
        QCOMPARE(blkArray.size(), 4);
        // Pressed while row 1 is under way: row 2 is where it takes effect.
        QCOMPARE(gridRows(grid()), (QStringList{"|", "1|0", "|#", "|#", "|#"}));
        QCOMPARE(form->Label3->text(), QStringLiteral("ATTR = 1 / 4"));
        QCOMPARE(form->ProgressBar1->value(), 0);
        QVERIFY(!form->runFlag);
        QVERIFY(form->SpeedButton10->isEnabled());
    }

    void sortButtons()
    {
        defineBlock();
        useTagSet("T,A");
        QStringList refs;
        const QStringList values{"5", "", "1,000", "-2", "x", "3", "10", "0.5", "", "7", "2"};
        for (int i = 0; i < values.size(); ++i)
            refs << ref(0, 100 - i, {{"A", values[i]}});
        acquire(refs);
        auto column = [&](int c) {
            QStringList out;
            for (int r = 1; r < grid().rowCount(); ++r)
                out << grid().cells(c, r);
            return out;
        };
        grid().setCurrentCell(1, 1);
        form->SpeedButton18->click(); // 数字順: empty, "x" and "1,000" count 0
        QCOMPARE(column(1), (QStringList{"-2", "1,000", "", "x", "", "0.5", "2", "3", "5", "7", "10"}));
        form->SpeedButton16->click(); // 取得順 compares the numbers as text
        QCOMPARE(column(0), (QStringList{"1", "10", "11", "2", "3", "4", "5", "6", "7", "8", "9"}));
        QCOMPARE(column(1), (QStringList{"5", "7", "2", "", "1,000", "-2", "x", "3", "10", "0.5", ""}));
        form->SpeedButton17->click(); // 文字順
        QCOMPARE(column(1), (QStringList{"", "", "-2", "0.5", "1,000", "10", "2", "3", "5", "7", "x"}));
        // Object slots travel with their rows.
        for (int r = 1; r < grid().rowCount(); ++r)
            QCOMPARE(attArray[grid().objects(1, r) - 1].text, grid().cells(1, r));
    }

    void undoAfterSortWritesByPosition()
    {
        threeRows();
        grid().setSelection({1, 1, 1, 1});
        grid().setCurrentCell(1, 1);
        int key = Qt::Key_X;
        form->StringGrid1KeyDown(key, Qt::ControlModifier); // cut a1
        QCOMPARE(grid().cells(1, 1), QString());
        grid().setCurrentCell(1, 1);
        form->SpeedButton17->click(); // the empty cell sorts first: rows stay
        grid().setCurrentCell(2, 1);
        form->SpeedButton17->click();
        grid().setCurrentCell(3, 1);
        QTest::keyClick(&grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(grid().cells(1, 1), QStringLiteral("a1"));
        QCOMPARE(QPoint(grid().col(), grid().row()), QPoint(1, 1));
    }

    // ---- editing ------------------------------------------------------------------

    void greyCellIsReadOnlyAndPanelsEmpty()
    {
        defineBlock();
        useTagSet("T,A,Z");
        const QString r = ref(0, 0, {{"A", "v"}});
        acquire({r});
        form->CheckBox6->setChecked(false);
        QCOMPARE(QPoint(grid().col(), grid().row()), QPoint(1, 1));
        form->setStatusPanel(0, "x");
        form->setStatusPanel(1, "y");
        QTest::keyClick(&grid(), Qt::Key_Right);
        QCOMPARE(grid().col(), 2);
        QCOMPARE(form->statusPanel(0), QString());
        QCOMPARE(form->statusPanel(1), QString());
        QVERIFY(!grid().editing());
        grid().showEditor();
        QVERIFY(!grid().isEditorOpen());
        form->setStatusPanel(1, "keep");
        QTest::keyClick(&grid(), Qt::Key_Left);
        QCOMPARE(form->statusPanel(0), cad->attribute(r, "A"));
        QCOMPARE(form->statusPanel(1), QStringLiteral("keep"));
        QVERIFY(grid().editing());
        QVERIFY(openEditor(&grid()));
        grid().hideEditor(false);
        grid().setCurrentCell(2, 1);
        // With PAN on, the view moves to the reference.
        form->CheckBox6->setChecked(true);
        cad->drawing().zoomCenter({500, 500, 0}, 50);
        grid().setCurrentCell(1, 1);
        QCOMPARE(form->statusPanel(1), QStringLiteral("v"));
        QCOMPARE(cad->drawing().viewCenter(), (minicad::Point{0, 0, 0}));
    }

    // Handles repeat from drawing to drawing: cells read from one drawing are
    // never written into the one the user switched to, by "更新" or by Enter.
    void cellsGoOnlyIntoTheirOwnDrawing()
    {
        widgets::MessageRecorder messages;
        const QStringList refs = threeRows();
        cad->openDrawing();
        defineBlock();
        const QString other = ref(0, 30, {{"A", "x1"}, {"B", "x2"}});
        QCOMPARE(other, refs[0]);
        cad->clearCounts();

        grid().setCells(1, 1, "new a1");
        form->SpeedButton11->click(); // "更新"
        form->CheckBox5->setChecked(true);
        grid().setCurrentCell(2, 1);
        QLineEdit *ed = openEditor(&grid());
        QVERIFY(ed);
        ed->setText("new b1");
        QTest::keyClick(ed, Qt::Key_Return);

        QCOMPARE(cad->text(cad->attribute(other, "A")), QStringLiteral("x1"));
        QCOMPARE(cad->text(cad->attribute(other, "B")), QStringLiteral("x2"));
        QCOMPARE(cad->calls("StartUndoMark"), 0);
        QCOMPARE(cad->puts("TextString"), 0);
        QCOMPARE(messages.texts().size(), 2);
        QVERIFY2(messages.texts()[0].contains("Drawing1.dwg") && messages.texts()[0].contains("Drawing2.dwg"),
                 qPrintable(messages.texts()[0]));

        cad->activateDrawing(0);
        form->SpeedButton11->click();
        QCOMPARE(cad->text(cad->attribute(refs[0], "A")), QStringLiteral("new a1"));
        QCOMPARE(form->FUndoCells->Count(), 1); // the editor's; "更新" adds none
    }

    void enterWritesAndRestoresOnFailure()
    {
        const QStringList refs = threeRows();
        cad->drawing().addLayer("L");
        const QString lockedRef = ref(0, 0, {{"A", "la"}}, "L");
        acquire(refs + QStringList{lockedRef});
        cad->drawing().setLayerLocked("L", true);
        form->CheckBox5->setChecked(true);
        form->CheckBox2->setChecked(true);
        const int groups = cad->undoGroupCount();

        grid().setCurrentCell(1, 1);
        QLineEdit *ed = openEditor(&grid());
        QVERIFY(ed);
        QCOMPARE(form->sgUndoCnt, 1);
        ed->setText("new a1");
        QTest::keyClick(ed, Qt::Key_Return);
        QCOMPARE(cad->text(cad->attribute(refs[0], "A")), QStringLiteral("new a1"));
        QCOMPARE(attArray[grid().objects(1, 1) - 1].text, QStringLiteral("new a1"));
        QCOMPARE(grid().cells(1, 1), QStringLiteral("new a1"));
        QCOMPARE(grid().row(), 2); // moved down
        QCOMPARE(cad->undoGroupCount(), groups + 1); // a single change, no mark

        // Unchanged: nothing crosses the seam.
        const int puts = cad->puts("TextString");
        grid().setCurrentCell(2, 2);
        ed = openEditor(&grid());
        QVERIFY(ed);
        QTest::keyClick(ed, Qt::Key_Return);
        QCOMPARE(cad->puts("TextString"), puts);
        QCOMPARE(grid().row(), 3);

        // On the locked layer the write fails and the cell goes back.
        grid().setCurrentCell(1, 4);
        ed = openEditor(&grid());
        QVERIFY(ed);
        ed->setText("nope");
        QTest::keyClick(ed, Qt::Key_Return);
        QCOMPARE(grid().cells(1, 4), QStringLiteral("la"));
        QCOMPARE(cad->text(cad->attribute(lockedRef, "A")), QStringLiteral("la"));
        QCOMPARE(grid().row(), 1); // from the last row back to row 1
        QCOMPARE(grid().col(), 1);
    }

    void enterMoves_data()
    {
        QTest::addColumn<bool>("down");
        QTest::addColumn<bool>("editorOpen");
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::newRow("right") << false << false << QPoint(1, 1) << QPoint(2, 1);
        QTest::newRow("row end to next row") << false << false << QPoint(3, 1) << QPoint(1, 2);
        QTest::newRow("before a grey cell to next row") << false << false << QPoint(1, 3) << QPoint(1, 4);
        QTest::newRow("last cell stays") << false << true << QPoint(3, 4) << QPoint(3, 4);
        QTest::newRow("down with editor") << true << true << QPoint(2, 2) << QPoint(2, 3);
        QTest::newRow("last row wraps") << true << true << QPoint(2, 4) << QPoint(2, 1);
        QTest::newRow("down without editor stays") << true << false << QPoint(2, 2) << QPoint(2, 2);
    }
    void enterMoves()
    {
        QFETCH(bool, down);
        QFETCH(bool, editorOpen);
        QFETCH(QPoint, from);
        defineBlock();
        useTagSet("T,A,B,C");
        // Row 3 has A only: B and C grey.
        cad->drawing().addBlockDefinition("ONLYA", {attributeDefinition("A", "", "oa")});
        const QStringList refs{ref(0, 40, {}), ref(0, 30, {}),
                               cad->drawing().addBlockReference("0", "ONLYA", {0, 20, 0}), ref(0, 10, {})};
        acquire(refs);
        form->CheckBox2->setChecked(down);
        form->CheckBox5->setChecked(false);
        grid().setCurrentCell(from.x(), from.y());
        if (editorOpen) {
            QLineEdit *ed = openEditor(&grid());
            QVERIFY(ed);
            QTest::keyClick(ed, Qt::Key_Return);
        } else {
            QTest::keyClick(&grid(), Qt::Key_Return);
        }
        QTEST(QPoint(grid().col(), grid().row()), "to");
    }

    void deleteOneCellVsRange()
    {
        threeRows();
        grid().setCurrentCell(2, 2);
        QTest::keyClick(&grid(), Qt::Key_Delete);
        QCOMPARE(grid().cells(2, 2), QStringLiteral("b2"));
        QCOMPARE(form->FUndoCells->Count(), 0);

        grid().setSelection({1, 1, 3, 2});
        QTest::keyClick(&grid(), Qt::Key_Delete);
        QCOMPARE(gridRows(grid(), false).mid(1), (QStringList{"1|||", "2|||", "3|a3|b3|c3"}));
        QCOMPARE(form->sgUndoCnt, 6);
        QTest::keyClick(&grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(gridRows(grid(), false).mid(1), (QStringList{"1|a1|b1|c1", "2|a2|b2|c2", "3|a3|b3|c3"}));
        QCOMPARE(form->sgUndoCnt, 0);
        QCOMPARE(QPoint(grid().col(), grid().row()), QPoint(1, 1)); // the last cell restored
    }

    void copyCutAndPasteThroughKeys()
    {
        threeRows();
        QGuiApplication::clipboard()->clear();
        grid().setSelection({2, 1, 3, 2});
        QTest::keyClick(&grid(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("b1\tc1\r\nb2\tc2\r\n"));
        QCOMPARE(form->sgUndoCnt, 1);
        QCOMPARE(form->FUndoCells->Count(), 0);

        grid().setCurrentCell(1, 3);
        QTest::keyClick(&grid(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(gridRows(grid(), false).mid(1), (QStringList{"1|a1|b1|c1", "2|a2|b2|c2", "3|b1|c1|c3"}));
        QCOMPARE(form->sgUndoCnt, 2); // the second line fell beyond the grid
        form->SpeedButton13->click();  // "UNDO"
        QCOMPARE(grid().cells(1, 3), QStringLiteral("a3"));
        QCOMPARE(form->sgUndoCnt, 2);

        grid().setSelection({1, 1, 1, 2});
        QTest::keyClick(&grid(), Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("a1\r\na2\r\n"));
        QCOMPARE(grid().cells(1, 1), QString());
        QCOMPARE(form->sgUndoCnt, 2);
    }

    void paintingMarksGreyAndChangedCells()
    {
        defineBlock();
        useTagSet("T,A,Z");
        acquire({ref(0, 0, {{"A", "same"}}), ref(0, -1, {{"A", "x"}})});
        grid().setCells(1, 2, "WWWWWWWW");
        grid().setCurrentCell(1, 1);
        grid().clearSelection();
        const QImage image = grid().grab().toImage();
        auto cellRect = [&](int c, int r) {
            QRect rect = grid().visualRect(grid().model()->index(r - 1, c - 1));
            return rect.translated(grid().viewport()->mapTo(&grid(), QPoint(0, 0)));
        };
        auto reds = [&](const QRect &rect) {
            int n = 0;
            for (int y = rect.top(); y <= rect.bottom(); ++y)
                for (int x = rect.left(); x <= rect.right(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    n += c.red() > 200 && c.green() < 80 && c.blue() < 80;
                }
            return n;
        };
        QCOMPARE(image.pixelColor(cellRect(2, 1).center()), QColor(192, 192, 192));
        QVERIFY(reds(cellRect(1, 2)) > 10); // changed: red text
        QCOMPARE(reds(cellRect(1, 1)), 0);  // unchanged: normal painting
    }

    void writeBackInOneUndoGroup()
    {
        const QStringList refs = threeRows(false);
        const int groups = cad->undoGroupCount();
        QList<CellText> cells{{0, "grey"}}; // a cell without attribute
        for (const nAtt &a : std::as_const(attArray))
            cells.append({int(cells.size()), a.text});
        // Unchanged cells are written too.
        QCOMPARE(WriteAttributeCells(cad::AttachCad().activeDocument(), cells).written, 9);
        QCOMPARE(cad->puts("TextString"), 9);
        QVERIFY(!cad->undoGroupOpen());
        cells[8].text = "B3!";
        cells[1].text = "A1!";
        QCOMPARE(WriteAttributeCells(cad::AttachCad().activeDocument(), cells).targets, 9);
        QCOMPARE(cad->puts("TextString"), 18);
        QCOMPARE(cad->undoGroupCount(), groups + 1); // two changes, one group
        QCOMPARE(cad->text(cad->attribute(refs[2], "B")), QStringLiteral("B3!"));
        QCOMPARE(cad->text(cad->attribute(refs[0], "A")), QStringLiteral("A1!"));
        QCOMPARE(attArray[7].text, QStringLiteral("B3!"));
        QVERIFY(cad->undo());
        QCOMPARE(cad->text(cad->attribute(refs[2], "B")), QStringLiteral("b3"));
        QCOMPARE(cad->text(cad->attribute(refs[0], "A")), QStringLiteral("a1"));
        QVERIFY(!cad->undoGroupOpen());
    }

    void fixedCellClicksAndDrag()
    {
        threeRows();
        form->StringGrid1FixedCellClick(0, 0);
        QCOMPARE(grid().selection(), (widgets::GridRect{1, 1, 3, 3}));
        form->StringGrid1FixedCellClick(2, 0);
        QCOMPARE(grid().selection(), (widgets::GridRect{2, 1, 2, 3}));
        form->StringGrid1FixedCellClick(0, 3);
        QCOMPARE(grid().selection(), (widgets::GridRect{1, 3, 3, 3}));

        auto centre = [&](int c, int r) {
            const QRect cell = grid().visualRect(grid().model()->index(r - 1, c - 1));
            return grid().viewport()->mapTo(&grid(), cell.center());
        };
        const QPoint header(centre(3, 1).x(), grid().horizontalHeader()->geometry().center().y());
        form->StringGrid1MouseDown(Qt::LeftButton, {}, centre(1, 3));
        QCOMPARE(QPoint(form->startCol, form->startRow), QPoint(1, 3));
        form->StringGrid1MouseMove(Qt::LeftButton, {}, header); // over the header: up to row 1
        QCOMPARE(grid().selection(), (widgets::GridRect{1, 1, 3, 3}));
        QCOMPARE(QPoint(grid().col(), grid().row()), QPoint(3, 1));
        form->StringGrid1MouseMove(Qt::LeftButton, {}, centre(1, 3)); // back on the start cell
        QCOMPARE(grid().selection(), (widgets::GridRect{1, 1, 3, 3}));
        form->StringGrid1MouseUp(Qt::LeftButton, {}, centre(1, 3));
        QCOMPARE(form->startCol, -1);
        form->StringGrid1MouseMove(Qt::NoButton, {}, centre(2, 2)); // no drag in progress
        QCOMPARE(grid().selection(), (widgets::GridRect{1, 1, 3, 3}));
    }

    // ---- timings --------------------------------------------------------------------

    void benchmarkAcquireAndPaste()
    {
        const QStringList tags{"BITEM7", "BITEM5", "ZITEM2", "ZITEM3", "ZITEM1", "ZSHEET", "FILE3", "ZITEM10", "ZITEM9",
                               "ZITEM8", "BITEM2", "ZITEM5", "BITEM3", "ZITEM6", "BITEM4", "ZITEM7", "ZSEIHIN", "PAGE"};
        QList<minicad::Entity> defs;
        for (const QString &t : tags)
            defs << attributeDefinition(t, t.toLower(), t);
        cad->drawing().addBlockDefinition("TTL", defs);
        // Over a bus every property is a round trip: a tenth of the
        // references keeps the road's run within its time.
        const int n = testing::currentRoad() == testing::Road::InProcess ? 2000 : 200;
        QStringList refs;
        for (int i = 0; i < n; ++i)
            refs << cad->drawing().addBlockReference("0", "TTL", {double(i % 50), double(i / 50), 0});
        useTagSet("図枠TTL," + tags.join(','));
        QElapsedTimer t;
        t.start();
        acquire(refs);
        const qint64 acquireMs = t.elapsed();
        QCOMPARE(grid().rowCount(), n + 1);
        QCOMPARE(grid().colCount(), 19);
        QCOMPARE(attArray.size(), n * 18);

        QString clip;
        for (int r = 0; r < n; ++r) {
            QStringList line;
            for (int c = 0; c < 10; ++c)
                line << QStringLiteral("v%1_%2").arg(r).arg(c);
            clip += line.join('\t') + "\r\n";
        }
        QGuiApplication::clipboard()->setText(clip);
        grid().setCurrentCell(1, 1);
        t.restart();
        QTest::keyClick(&grid(), Qt::Key_V, Qt::ControlModifier);
        const qint64 pasteMs = t.elapsed();
        QCOMPARE(form->sgUndoCnt, n * 10);
        QCOMPARE(grid().cells(10, n), QStringLiteral("v%1_9").arg(n - 1));
        qInfo("acquire %d references x 18 tags: %lld ms; paste %d cells: %lld ms", n, acquireMs, n * 10, pasteMs);
    }
};

LUMO_SUITE_MAIN(TestAttrTab)
#include "tst_attrtab.moc"
