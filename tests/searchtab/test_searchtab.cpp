// "TEXT 検索・編集": the wildcard search, the result grid and its write-back,
// driving the real main window against the minicad model in-process.

#include "../common/cadfixture.h"
#include "../common/testmain.h"
#include "../common/formfixture.h"
#include "widgets/undocells.h"
#include "searchtab/lumo2.h"
#include "searchtab/searchops.h"
#include "widgets/stringgrid.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace lumo;
using testing::CadFixture;
using testing::FormFixture;

namespace {

const QColor kSilver(0xC0, 0xC0, 0xC0);

struct Search {
    CadFixture cad;
    FormFixture form;
    widgets::StringGrid *grid;

    Search() : grid(form->StringGrid2)
    {
        searchArray.clear();
        searchArrayDrawing = {};
        form->show();
        form->PageControl1->setCurrentIndex(2);
        form->CheckBox7->setChecked(false);
        form->CheckBox8->setChecked(false);
    }
    void run(const QString &pattern, bool prefix = false)
    {
        form->Edit3->setText(pattern);
        form->CheckBox3->setChecked(prefix);
        form->SpeedButton14->click();
    }
    QStringList rows() const
    {
        QStringList out;
        for (int r = 0; r < grid->rowCount(); ++r)
            out << grid->cells(0, r);
        return out;
    }
    QImage shot() const { return grid->viewport()->grab().toImage(); }
    QRect rowRect(int r) const { return grid->visualItemRect(grid->item(r, 0)); }
    bool silver(int r) const
    {
        const QRect rect = rowRect(r);
        return shot().pixelColor(rect.right() - 2, rect.center().y()) == kSilver;
    }
    bool redText(int r) const
    {
        const QImage img = shot();
        const QRect rect = rowRect(r).intersected(img.rect());
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x) {
                const QColor c = img.pixelColor(x, y);
                if (c.red() > 200 && c.green() < 80 && c.blue() < 80)
                    return true;
            }
        return false;
    }
    // Opens the cell editor on row r, types text and presses Enter in it.
    void typeAndEnter(int r, const QString &text)
    {
        grid->setCurrentCell(0, r);
        grid->showEditor();
        QVERIFY(grid->isEditorOpen());
        // Closed editors linger until deleted later: take the one showing.
        QLineEdit *editor = nullptr;
        for (QLineEdit *e : grid->viewport()->findChildren<QLineEdit *>())
            if (e->isVisible())
                editor = e;
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        // The editor commits and closes on a queued call.
        QCoreApplication::processEvents();
    }
    QStringList messages() const { return form.messages.texts(); }
};

} // namespace

class TestSearchTab : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void emptyPatternFindsEveryTextSorted()
    {
        Search s;
        const QString b = s.cad.drawing().addText("0", "b", {1, 1, 0});
        const QString a = s.cad.drawing().addText("0", "a", {12.3456, -7.5, 0});
        s.cad.drawing().addText("0", "B", {3, 3, 0});
        s.run("");
        QCOMPARE(s.form->Label6->text(), QStringLiteral("[*] (部分一致)"));
        QCOMPARE(s.rows(), (QStringList{"B", "a", "b"}));
        for (int r = 0; r < 3; ++r)
            QCOMPARE(s.grid->objects(0, r), r + 1);
        QCOMPARE(searchArray[1].sHnd, a);
        QCOMPARE(searchArray[1].index, 1);
        QCOMPARE(searchArray[2].sHnd, b);
        // Row 0 is current and tracked.
        QCOMPARE(s.grid->row(), 0);
        QCOMPARE(s.form->Label5->text(), QStringLiteral("1 / 3"));
        s.grid->setCurrentCell(0, 1);
        QCOMPARE(s.form->statusPanel(0), a);
        QCOMPARE(s.form->statusPanel(1), QStringLiteral("12.346, -7.500"));
        QCOMPARE(s.form->Label5->text(), QStringLiteral("2 / 3"));
        QCOMPARE(s.cad.drawing().viewCenter().x, 12.3456);
        // Idle again, nothing left behind in the drawing.
        QCOMPARE(s.form->SpeedButton14->text(), QStringLiteral("検索"));
        QVERIFY(s.form->Edit3->isEnabled());
        QVERIFY(!s.form->runFlag);
        QCOMPARE(s.cad.selectionSetCount(), 0);
        QVERIFY(!s.form->SpeedButton15->isEnabled());
    }

    void patternRules_data()
    {
        QTest::addColumn<bool>("prefix");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("anywhere") << false << "[*AB*] (部分一致)" << QStringList{"AB", "AB1", "xAB"};
        QTest::newRow("prefix") << true << "[AB*] (部分一致)" << QStringList{"AB", "AB1"};
    }
    void patternRules()
    {
        QFETCH(bool, prefix);
        QFETCH(QString, label);
        QFETCH(QStringList, found);
        Search s;
        for (const char *t : {"AB1", "xAB", "ab", "B", "AB"})
            s.cad.drawing().addText("0", t, {0, 0, 0});
        s.run("AB", prefix);
        QCOMPARE(s.form->Label6->text(), label);
        QCOMPARE(s.rows(), found);
    }

    void optionBoxesSearchAgainOnlyWithAPattern()
    {
        Search s;
        s.cad.drawing().addText("0", "AB", {0, 0, 0});
        s.cad.drawing().addText("0", "xab", {0, 0, 0});
        QTest::mouseClick(s.form->CheckBox3, Qt::LeftButton);
        QVERIFY(s.form->CheckBox3->isChecked());
        QCOMPARE(s.cad.calls("Select"), 0);
        QVERIFY(searchArray.isEmpty());

        s.form->Edit3->setText("ab");
        s.form->CheckBox4->setChecked(false);
        QTest::mouseClick(s.form->CheckBox4, Qt::LeftButton); // "a->A": capitals, then search
        QCOMPARE(s.form->Edit3->text(), QStringLiteral("AB"));
        QCOMPARE(s.form->Label6->text(), QStringLiteral("[AB*] (部分一致)"));
        QCOMPARE(s.rows(), QStringList{"AB"});

        // Not on the search page: the box changes, nothing is searched.
        s.form->PageControl1->setCurrentIndex(0);
        QTest::mouseClick(s.form->CheckBox3, Qt::LeftButton);
        QCOMPARE(s.cad.calls("Select"), 1);
    }

    void enterInPatternBoxSearches()
    {
        Search s;
        s.cad.drawing().addText("0", "A", {0, 0, 0});
        s.form->Edit3->setText("A");
        QTest::keyClick(s.form->Edit3, Qt::Key_Return);
        QCOMPARE(s.rows(), QStringList{"A"});
    }

    void stop_data()
    {
        QTest::addColumn<QString>("stopWhenLabelEndsWith");
        QTest::newRow("while reading") << "/ 300";
        QTest::newRow("while sorting") << "/ 299";
    }
    void stop()
    {
        QFETCH(QString, stopWhenLabelEndsWith);
        Search s;
        for (int i = 0; i < 300; ++i)
            s.cad.drawing().addText("0", QString::number(300 - i), {0, 0, 0});
        s.run("1");
        QVERIFY(s.grid->rowCount() > 1);

        QTimer stopper;
        stopper.setInterval(0);
        connect(&stopper, &QTimer::timeout, [&] {
            if (s.form->Label5->text().endsWith(stopWhenLabelEndsWith)) {
                QCOMPARE(s.form->SpeedButton14->text(), QStringLiteral("中止"));
                QVERIFY(!s.form->Edit3->isEnabled());
                s.form->SpeedButton14->click();
                stopper.stop();
            }
        });
        stopper.start();
        s.run("");
        QVERIFY(!stopper.isActive());
        QVERIFY(searchArray.isEmpty());
        QCOMPARE(s.rows(), QStringList{""});
        QCOMPARE(s.grid->objects(0, 0), 0);
        QCOMPARE(s.form->SpeedButton14->text(), QStringLiteral("検索"));
        QCOMPARE(s.form->Label6->text(), QStringLiteral("検索 (部分一致)"));
        QVERIFY(s.form->Edit3->isEnabled());
        QVERIFY(!s.form->runFlag);
        QCOMPARE(s.cad.selectionSetCount(), 0);
    }

    void noTextFound()
    {
        Search s;
        s.cad.drawing().addText("0", "A", {0, 0, 0});
        s.run("A");
        QVERIFY(!s.form->statusPanel(0).isEmpty());
        s.run("Z");
        QCOMPARE(s.rows(), QStringList{""});
        QCOMPARE(s.grid->objects(0, 0), 0);
        QVERIFY(s.form->Label5->text().isEmpty());
        QVERIFY(s.form->statusPanel(0).isEmpty());
    }

    void lockedRowIsGreyAndNeverWritten()
    {
        Search s;
        s.cad.drawing().addText("0", "A1", {0, 0, 0});
        s.cad.drawing().addLayer("L", true);
        const QString locked = s.cad.drawing().addText("L", "B1", {0, 0, 0});
        s.run("");
        QVERIFY(!searchArray[0].locked);
        QVERIFY(searchArray[1].locked);
        QVERIFY(s.silver(1));
        QVERIFY(!s.silver(0));

        s.grid->setCells(0, 1, "B2");
        QVERIFY(s.redText(1));
        QVERIFY(s.form->SpeedButton15->isEnabled());
        s.form->SpeedButton15->click();
        QCOMPARE(s.messages(),
                 QStringList{"更新対象の TEXT はありません．\nロック画層の TEXT 1 個は更新されません．"});
        QCOMPARE(s.cad.text(locked), QStringLiteral("B1"));

        // Enter writes nothing either: the snapshot comes back.
        s.form->CheckBox8->setChecked(true);
        s.typeAndEnter(1, "B3");
        QCOMPARE(s.grid->cells(0, 1), QStringLiteral("B1"));
        QCOMPARE(s.cad.puts("TextString"), 0);

        // The next search without locked layers greys nothing.
        s.cad.drawing().setLayerLocked("L", false);
        s.run("");
        QVERIFY(!searchArray[1].locked);
        QVERIFY(!s.silver(1));
    }

    void writeAllCountsAFailingRowAsTargetOnly()
    {
        Search s;
        const QString a = s.cad.drawing().addText("0", "A", {0, 0, 0});
        const QString b = s.cad.drawing().addText("0", "B", {0, 0, 0});
        const QString c = s.cad.drawing().addText("0", "C", {0, 0, 0});
        s.run("");
        s.cad.clearUndoHistory();
        s.grid->setCells(0, 0, "A2");
        s.grid->setCells(0, 1, "B2");
        s.cad.drawing().eraseEntity(b);
        s.form->SpeedButton15->click();
        QCOMPARE(s.messages(), QStringList{"1 / 2 個の TEXT を更新しました．"});
        QCOMPARE(s.cad.text(a), QStringLiteral("A2"));
        QCOMPARE(s.cad.text(c), QStringLiteral("C"));
        QCOMPARE(searchArray[0].text, QStringLiteral("A2"));
        QCOMPARE(searchArray[1].text, QStringLiteral("B"));
        QCOMPARE(s.cad.calls("StartUndoMark"), 1);
        QCOMPARE(s.cad.calls("EndUndoMark"), 1);
        // The failed row is still an edit: it stays red and "更新" usable.
        QVERIFY(s.redText(1));
        QVERIFY(!s.redText(0));
        QVERIFY(s.form->SpeedButton15->isEnabled());

        s.grid->setCells(0, 1, "B");
        s.form->SpeedButton15->click();
        QCOMPARE(s.messages().last(), QStringLiteral("更新対象の TEXT はありません．"));
        QVERIFY(!s.form->SpeedButton15->isEnabled());
    }

    // The operations under the window, on the drawing directly.
    void findAndWriteOnTheDrawing()
    {
        CadFixture cad;
        searchArray.clear();
        cad.drawing().addLayer("L", true);
        const QString b = cad.drawing().addText("0", "B", {1, 2, 0});
        const QString a = cad.drawing().addText("0", "A", {0, 0, 0});
        const QString l = cad.drawing().addText("L", "AL", {0, 0, 0});
        cad.drawing().addText("0", "X", {0, 0, 0});
        cad::Document doc = cad::AttachCad().activeDocument();

        QList<Lumo2> found;
        int selected = -1;
        SearchProgress progress;
        progress.selected = [&](int n) { selected = n; };
        // A stop before the second TEXT keeps what was read before it.
        progress.reading = [](int i, int) { return i < 1; };
        QVERIFY(!FindTexts(doc, "*", found, progress));
        QCOMPARE(selected, 4);
        QCOMPARE(found.size(), 1);
        progress.reading = {};
        found.clear();
        QVERIFY(FindTexts(doc, "*A*", found, progress));
        QCOMPARE(selected, 2);
        QCOMPARE(found.size(), 2);
        QCOMPARE(found[0].sHnd, a); // selection order, not yet sorted
        QCOMPARE(found[1].lay, QStringLiteral("L"));
        QCOMPARE(found[1].index, 1);
        QCOMPARE(cad.selectionSetCount(), 0);
        MarkLockedRecords(found, cad::LockedLayerList(doc));
        QVERIFY(!found[0].locked);
        QVERIFY(found[1].locked);

        found.append(Lumo2{b, "B", {1, 2, 0}, "0", 2, false});
        cad.drawing().eraseEntity(b);
        cad.clearUndoHistory();
        // On the remote roads a changed drawing reaches the host whole: its objects are new.
        doc = cad::AttachCad().activeDocument();
        const QList<SearchEdit> edits{{0, "A2"}, {1, "AL2"}, {2, "B2"}};
        const WriteReport offline = WriteSearchEdits(cad::Document(), found, edits);
        QCOMPARE((QList<int>{offline.targets, offline.written, offline.locked}), (QList<int>{2, 0, 1}));
        QCOMPARE(found[0].text, QStringLiteral("A"));

        const WriteReport report = WriteSearchEdits(doc, found, edits);
        QCOMPARE((QList<int>{report.targets, report.written, report.locked}), (QList<int>{2, 1, 1}));
        QCOMPARE(cad.text(a), QStringLiteral("A2"));
        QCOMPARE(found[0].text, QStringLiteral("A2"));
        QCOMPARE(cad.text(l), QStringLiteral("AL"));
        QCOMPARE(found[2].text, QStringLiteral("B")); // refused: still an edit
        QCOMPARE(cad.undoGroupCount(), 1);
        QCOMPARE(WriteReportMessage(report),
                 QStringLiteral("1 / 2 個の TEXT を更新しました．\nロック画層の TEXT 1 個は更新されません．"));
    }

    void searchWithoutCadKeepsTheResults()
    {
        Search s;
        s.cad.drawing().addText("0", "A", {0, 0, 0});
        s.run("");
        cad::targetProgID() = QStringLiteral("Not.Running");
        s.run("X");
        QCOMPARE(s.rows(), QStringList{"A"});
        QCOMPARE(searchArray.size(), 1);
        QVERIFY(s.messages().isEmpty());
        QCOMPARE(s.form->SpeedButton14->text(), QStringLiteral("検索"));
    }

    // Handles repeat from drawing to drawing: rows found in one drawing are
    // never written into the one the user switched to.
    void rowsGoOnlyIntoTheirOwnDrawing()
    {
        Search s;
        const QString a = s.cad.drawing().addText("0", "A", {0, 0, 0});
        s.run("");
        s.cad.openDrawing(QStringLiteral("/work/drawings/B.dxf"));
        const QString b = s.cad.drawing().addText("0", "B", {0, 0, 0});
        QCOMPARE(b, a);
        s.cad.clearCounts();
        s.form.messages.messages.clear();

        s.grid->setCells(0, 0, "Q");
        s.form->SpeedButton15->click(); // "更新"
        s.form->CheckBox8->setChecked(true);
        s.typeAndEnter(0, "R");

        QCOMPARE(s.cad.text(b), QStringLiteral("B"));
        QCOMPARE(s.cad.calls("StartUndoMark"), 0);
        QCOMPARE(s.cad.puts("TextString"), 0);
        QVERIFY2(s.messages().size() == 2, qPrintable(s.messages().join(" | ")));
        QVERIFY2(s.messages()[0].contains("Drawing1.dwg") && s.messages()[0].contains("/work/drawings/B.dxf"),
                 qPrintable(s.messages()[0]));
    }

    void enterWritesTheCurrentRow()
    {
        Search s;
        const QString a = s.cad.drawing().addText("0", "A", {0, 0, 0});
        s.run("");
        s.form->CheckBox8->setChecked(true);
        s.typeAndEnter(0, "A");  // unchanged: nothing written
        QCOMPARE(s.cad.puts("TextString"), 0);
        s.typeAndEnter(0, "Q");
        QCOMPARE(s.cad.text(a), QStringLiteral("Q"));
        QCOMPARE(searchArray[0].text, QStringLiteral("Q"));
        QCOMPARE(s.grid->cells(0, 0), QStringLiteral("Q"));
        QCOMPARE(s.cad.calls("StartUndoMark"), 0);

        // A TEXT erased meanwhile: the cell takes back the snapshot.
        s.cad.drawing().eraseEntity(a);
        s.typeAndEnter(0, "R");
        QCOMPARE(s.grid->cells(0, 0), QStringLiteral("Q"));
    }

    // Clicking the current row and typing at once, then Enter: the text goes
    // into that row and its TEXT, not into the next row starting alike.
    void typingRightAfterAClickWritesTheClickedRow()
    {
        Search s;
        const QString a1 = s.cad.drawing().addText("0", "A1", {0, 0, 0});
        const QString a2 = s.cad.drawing().addText("0", "A2", {0, 0, 0});
        s.run("");
        s.form->CheckBox8->setChecked(true);
        s.grid->setFocus();
        QCOMPARE(s.grid->row(), 0);
        QTest::mouseClick(s.grid->viewport(), Qt::LeftButton, {}, s.rowRect(0).center());
        QTest::keyClicks(nullptr, QStringLiteral("A9")); // each key to the focus widget
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCoreApplication::processEvents();
        QCOMPARE(s.cad.text(a1), QStringLiteral("A9"));
        QCOMPARE(s.cad.text(a2), QStringLiteral("A2"));
        QCOMPARE(s.rows(), (QStringList{"A9", "A2"}));
    }

    void enterDownWrapsFromLastRowToFirst()
    {
        Search s;
        for (const char *t : {"A", "B", "C"})
            s.cad.drawing().addText("0", t, {0, 0, 0});
        s.run("");
        s.form->CheckBox7->setChecked(true);
        s.typeAndEnter(2, "C2");
        QCOMPARE(s.grid->row(), 0);
        QCOMPARE(s.grid->cells(0, 2), QStringLiteral("C2"));
        // With the editor closed Enter does not move.
        QTest::keyClick(s.grid, Qt::Key_Return);
        QCOMPARE(s.grid->row(), 0);
    }

    void ctrlZTakesBackOneEditAtATime()
    {
        Search s;
        for (const char *t : {"A", "B"})
            s.cad.drawing().addText("0", t, {0, 0, 0});
        s.run("");
        s.typeAndEnter(0, "A2");
        s.typeAndEnter(1, "B2");
        QCOMPARE(s.rows(), (QStringList{"A2", "B2"}));
        QCOMPARE(s.form->sgUndoCnt2, 1);
        QTest::keyClick(s.grid, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(s.rows(), (QStringList{"A2", "B"}));
        QCOMPARE(s.form->sgUndoCnt2, 0);
        QTest::keyClick(s.grid, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(s.rows(), (QStringList{"A", "B"}));
        QCOMPARE(s.grid->row(), 0);
        // A new search starts with an empty stack.
        s.typeAndEnter(0, "A3");
        s.run("");
        QCOMPARE(s.form->FUndoCells2->Count(), 0);
        QCOMPARE(s.form->sgUndoCnt2, 0);
    }

    void emptiedCellsTakeBackTheirSnapshot()
    {
        Search s;
        for (const char *t : {"A", "B", "C"})
            s.cad.drawing().addText("0", t, {0, 0, 0});
        s.run("");
        s.grid->setSelection({0, 0, 0, 1});
        QTest::keyClick(s.grid, Qt::Key_Delete);
        QCOMPARE(s.rows(), (QStringList{"A", "B", "C"}));
        QCOMPARE(s.form->sgUndoCnt2, 2);
        QVERIFY(!s.form->SpeedButton15->isEnabled());
        QVERIFY(!s.redText(0));
    }

    void emptyCellShowsNoHandleAndDoesNotTrack()
    {
        Search s;
        s.cad.drawing().addText("0", "", {50, 60, 0});
        const QString a = s.cad.drawing().addText("0", "A", {1, 2, 0});
        s.run("");
        QCOMPARE(s.rows(), (QStringList{"", "A"}));
        QVERIFY(s.form->statusPanel(0).isEmpty());
        QVERIFY(s.form->Label5->text().isEmpty());
        QVERIFY(s.cad.drawing().viewCenter().x != 50);
        s.grid->setCurrentCell(0, 1);
        QCOMPARE(s.form->statusPanel(0), a);
        QCOMPARE(s.cad.drawing().viewCenter().x, 1.0);
        s.grid->setCurrentCell(0, 0);
        QVERIFY(s.form->statusPanel(0).isEmpty());
        QCOMPARE(s.cad.drawing().viewCenter().x, 1.0);
    }
};

LUMO_SUITE_MAIN(TestSearchTab)
#include "test_searchtab.moc"
