// "更新(Ctrl+Enter)": the editor's lines written back into the drawing.

#include "../common/cadfixture.h"
#include "../common/testmain.h"
#include "../common/formfixture.h"
#include "texttab/lumo.h"
#include "texttab/operations.h"
#include "widgets/lineeditor.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>

using namespace lumo;
using testing::CadFixture;
using testing::FormFixture;

class TestTextWriteBack : public QObject {
    Q_OBJECT

    static cad::Document doc() { return cad::AttachCad().activeDocument(); }

    // TEXTs in a column 10 apart, picked into textArray; returns their handles top to bottom.
    QStringList column(CadFixture &cad, int n = 5)
    {
        QStringList handles;
        for (int i = 0; i < n; ++i)
            handles << cad.drawing().addText("0", QStringLiteral("T%1").arg(i + 1), {100, 200 - 10.0 * i, 0});
        cad.queuePick(handles);
        PickTexts(doc());
        cad.clearUndoHistory();
        cad.clearCounts();
        return handles;
    }

    void setLines(FormFixture &form, const QStringList &lines) { form->SynEdit1->setLines(lines); }

private Q_SLOTS:
    void init()
    {
        textArray.clear();
        textArrayDrawing = {};
    }

    void oneEditedLineWritesOneString()
    {
        CadFixture cad;
        FormFixture form;
        const QStringList h = column(cad);
        setLines(form, {"T1", "T2", "changed", "T4", "T5"});
        form->SpeedButton2Click();
        QCOMPARE(cad.puts("TextString"), 1);
        QCOMPARE(cad.text(h[2]), QStringLiteral("changed"));
        QCOMPARE(cad.undoGroupCount(), 1);
        QCOMPARE(cad.calls("Regen"), 1);
        QVERIFY(!form->runFlag);
        QVERIFY(!form->SpeedButton5->isEnabled());
        QVERIFY(form->SynEdit1->isEnabled());
    }

    void emptiedLineDeletesAndIsRecreatedLater()
    {
        CadFixture cad;
        const QStringList h = column(cad);
        WriteLinesBack(doc(), {"T1", "", "T3", "T4", "T5"}, 0, 0, false);
        QVERIFY(!cad.live(h[1]));
        QCOMPARE(textArray.size(), 5);
        QVERIFY(textArray[1].sHnd.isEmpty());

        WriteLinesBack(doc(), {"T1", "again", "T3", "T4", "T5"}, 0, 0, false);
        const QString created = textArray[1].sHnd;
        QVERIFY(!created.isEmpty());
        const minicad::Entity *e = cad.drawing().find(created);
        QVERIFY(e);
        QCOMPARE(e->text, QStringLiteral("again"));
        QCOMPARE(e->insertion.y, 190.0); // the deleted TEXT's old point
        QCOMPARE(cad.drawing().modelSpaceCount(), 5);
    }

    void deletedLinesAtTheEndShrinkTheSnapshot_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("kept");
        QTest::newRow("last two lines removed") << QStringList{"T1", "T2", "T3"} << 3;
        QTest::newRow("last three lines emptied") << QStringList{"T1", "T2", "", " ", ""} << 2;
    }
    void deletedLinesAtTheEndShrinkTheSnapshot()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, kept);
        CadFixture cad;
        FormFixture form;
        const QStringList h = column(cad);
        setLines(form, lines);
        form->SpeedButton2Click();
        QCOMPARE(textArray.size(), kept);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(cad.live(h[i]), i < kept);
        // One undo takes the whole write-back back.
        QVERIFY(cad.undo());
        for (const QString &handle : h)
            QVERIFY(cad.live(handle));
    }

    void addedLinesAreCopiesOneStepApart()
    {
        CadFixture cad;
        column(cad);
        WriteLinesBack(doc(), {"T1", "T2", "T3", "T4", "T5", "N1", "N2"}, 0, -10, false);
        QCOMPARE(textArray.size(), 7);
        QCOMPARE(cad.drawing().modelSpaceCount(), 7);
        const minicad::Entity *n1 = cad.drawing().find(textArray[5].sHnd);
        const minicad::Entity *n2 = cad.drawing().find(textArray[6].sHnd);
        QVERIFY(n1 && n2);
        QCOMPARE(n1->text, QStringLiteral("N1"));
        QCOMPARE(n1->insertion.y, 150.0);
        QCOMPARE(n2->insertion.y, 140.0);
        QCOMPARE(textArray[6].insPt, (cad::Point{100, 140, 0}));
        QCOMPARE(cad.undoGroupCount(), 1);
    }

    void blankAddedLineLeavesAPlaceholderThatTakesAStep()
    {
        CadFixture cad;
        column(cad, 2);
        WriteLinesBack(doc(), {"T1", "T2", "", "N"}, 0, -10, false);
        QCOMPARE(textArray.size(), 4);
        QVERIFY(textArray[2].sHnd.isEmpty());
        QCOMPARE(textArray[2].insPt.y, 180.0);
        QCOMPARE(cad.drawing().find(textArray[3].sHnd)->insertion.y, 170.0);
    }

    void zeroStepRefusesToAdd()
    {
        CadFixture cad;
        FormFixture form;
        cad.queuePick({cad.drawing().addText("0", "only", {0, 0, 0})});
        form->SpeedButton1Click();
        form.messages.messages.clear();
        setLines(form, {"only", "more"});
        form->SpeedButton2Click();
        QCOMPARE(form.messages.texts(), QStringList{"dX, dY が 0 のため、追加を中止しました．"});
        QCOMPARE(cad.drawing().modelSpaceCount(), 1);
        QCOMPARE(textArray.size(), 2); // lined up with the editor again, the new line without entity
    }

    void fullWidthSpacesAreNotBlank()
    {
        CadFixture cad;
        const QStringList h = column(cad, 2);
        WriteLinesBack(doc(), {"T1", "　　"}, 0, 0, false);
        QVERIFY(cad.live(h[1]));
        QCOMPARE(cad.text(h[1]), QStringLiteral("　　"));
    }

    void emptySnapshotWithTypedLines()
    {
        CadFixture cad;
        FormFixture form;
        cad.drawing().addText("0", "untouched", {0, 0, 0});
        cad.clearUndoHistory();
        setLines(form, {"a", "", "b", ""});
        bool cancel = false;
        form->SynEdit1KeyPress(QChar(10), Qt::ControlModifier, &cancel);
        QVERIFY(cancel);
        QCOMPARE(cad.undoGroupCount(), 0);
        QCOMPARE(cad.drawing().modelSpaceCount(), 1);
        QCOMPARE(textArray.size(), 3);
        for (const Lumo &e : textArray)
            QVERIFY(e.sHnd.isEmpty());
    }

    void entityGoneBehindOurBackIsSkipped()
    {
        CadFixture cad;
        const QStringList h = column(cad, 3);
        cad.drawing().eraseEntity(h[1]);
        const WriteBackReport report = WriteLinesBack(doc(), {"x1", "x2", "x3"}, 0, 0, false);
        QCOMPARE(cad.text(h[0]), QStringLiteral("x1"));
        QCOMPARE(cad.text(h[2]), QStringLiteral("x3"));
        QVERIFY(report.failure.isNull() && !report.zeroStep);
        QCOMPARE(textArray[1].sHnd, h[1]); // left as it was
    }

    void failureOutsideTheGuardEndsTheRunCleanly()
    {
        CadFixture cad;
        FormFixture form;
        column(cad, 2);
        // The last TEXT's layer is locked after the pick: copying it for an added line fails.
        cad.drawing().setLayerLocked("0", true);
        form->Edit2->setText("-10");
        setLines(form, {"T1", "T2", "new"});
        form->SpeedButton2Click();
        QCOMPARE(form.messages.texts(), QStringList{"エラーのため、更新を中止しました．"});
        QVERIFY(!cad.undoGroupOpen());
        QVERIFY(!form->runFlag);
        QVERIFY(!form->SpeedButton5->isEnabled());
        QVERIFY(form->SynEdit1->isEnabled());
        QVERIFY(form->SpeedButton1->isEnabled());
    }

    void attributeModeRules()
    {
        CadFixture cad;
        FormFixture form;
        cad.drawing().addBlockDefinition("TB", {minicad::attributeDefinition("SENBAN", "線番", "")});
        QStringList attrs;
        for (int i = 0; i < 3; ++i) {
            const QString ref = cad.drawing().addBlockReference("0", "TB", {0, -10.0 * i, 0},
                                                               {{"SENBAN", QStringLiteral("S%1").arg(i)}});
            attrs << cad.drawing().find(ref)->attributes[0].handle;
        }
        textArray.clear();
        for (int i = 0; i < 3; ++i) {
            Lumo e;
            e.sHnd = attrs[i];
            e.text = QStringLiteral("S%1").arg(i);
            e.parentType = QStringLiteral("INSERT");
            e.insPt = {0, -10.0 * i, 0};
            textArray << e;
        }
        form->ATTmode = true;
        form->Edit2->setText("-10");
        // An emptied line empties its attribute; an extra line at the end is ignored.
        setLines(form, {"A0", "", "A2", "extra"});
        form->SpeedButton2Click();
        QCOMPARE(cad.text(attrs[0]), QStringLiteral("A0"));
        QCOMPARE(cad.text(attrs[1]), QString());
        QCOMPARE(cad.text(attrs[2]), QStringLiteral("A2"));
        QCOMPARE(cad.drawing().modelSpaceCount(), 3);
        QCOMPARE(textArray.size(), 3);
        // Lines missing at the end leave their attributes as they are.
        setLines(form, {"B0"});
        form->SpeedButton2Click();
        QCOMPARE(cad.text(attrs[0]), QStringLiteral("B0"));
        QCOMPARE(cad.text(attrs[1]), QString());
        QCOMPARE(cad.text(attrs[2]), QStringLiteral("A2"));
        QCOMPARE(textArray.size(), 3);
        for (const QString &a : attrs)
            QVERIFY(cad.live(a));
    }

    void stopDuringTheMainPassSkipsTheAddPass()
    {
        CadFixture cad;
        FormFixture form;
        column(cad, 3);
        setLines(form, {"a", "b", "c", "d", "e"});
        form->Edit2->setText("-10");
        // "中止" pressed while the first entry is being written.
        QTimer::singleShot(0, form.form.get(), [&] { form->SpeedButton5->click(); });
        form->SpeedButton2Click();
        QCOMPARE(cad.drawing().modelSpaceCount(), 3);
        QVERIFY(!form->runFlag);
        QVERIFY(!cad.undoGroupOpen());
    }

    void addedCopiesOfAnAlignedOrFitTextKeepItsSpan()
    {
        // The copies land one step on, whole: their two points keep the
        // template's distance, so they are neither stretched nor turned.
        CadFixture cad;
        cad.queuePick({cad.drawing().addText("0", "A", {100, 200, 0}, 3, {120, 203, 0}),
                       cad.drawing().addText("0", "F", {100, 190, 0}, 5, {130, 193, 0})});
        PickTexts(doc());
        WriteLinesBack(doc(), {"A", "F", "N1", "N2"}, 0, -10, false);
        QCOMPARE(textArray.size(), 4);
        for (int i = 2; i < 4; ++i) {
            const minicad::Entity *e = cad.drawing().find(textArray[i].sHnd);
            QVERIFY(e);
            QCOMPARE(e->alignment, 5);
            QCOMPARE(e->alignmentPoint, (minicad::Point{130, 193 - 10.0 * (i - 1), 0}));
            QCOMPARE(e->insertion, (minicad::Point{100, 190 - 10.0 * (i - 1), 0}));
            QCOMPARE(textArray[i].insPt, (cad::Point{130, 193 - 10.0 * (i - 1), 0}));
        }
    }

    // Handles repeat from drawing to drawing: lines read from one drawing are
    // never written into the one the user switched to, nor tracked there.
    void linesGoOnlyIntoTheirOwnDrawing()
    {
        CadFixture cad;
        FormFixture form;
        form->Edit2->setText("-10");
        const QStringList h = column(cad, 2);
        cad.openDrawing(QStringLiteral("C:/work/other.dwg"));
        const QString same = cad.drawing().addText("0", "other", {0, 0, 0});
        QCOMPARE(same, h[0]);
        cad.clearUndoHistory();
        cad.clearCounts();
        form.messages.messages.clear();

        setLines(form, {"changed", "T2", "added"});
        form->SpeedButton2Click(); // "更新(Ctrl+Enter)"
        form->SpeedButton6Click(); // "整列"
        form->CheckBox9->setChecked(true);
        QTextCursor caret(form->SynEdit1->document()->findBlockByNumber(1));
        form->SynEdit1->setTextCursor(caret);
        form->SynEdit1Click();

        QCOMPARE(cad.text(same), QStringLiteral("other"));
        QCOMPARE(cad.drawing().modelSpaceCount(), 1);
        QCOMPARE(cad.calls("StartUndoMark"), 0);
        QCOMPARE(cad.calls("ZoomCenter"), 0);
        QCOMPARE(cad.undoGroupCount(), 0);
        QCOMPARE(textArray.size(), 2);
        const QStringList said = form.messages.texts();
        QCOMPARE(said.size(), 2);
        QVERIFY2(said[0].contains("Drawing1.dwg") && said[0].contains("C:/work/other.dwg"), qPrintable(said[0]));

        // Back in the drawing they came from, the same lines go in.
        cad.activateDrawing(0);
        form->SpeedButton2Click();
        QCOMPARE(cad.text(h[0]), QStringLiteral("changed"));
        QCOMPARE(cad.drawing().modelSpaceCount(), 3);
        QCOMPARE(form.messages.texts().size(), 2);
    }
};

LUMO_SUITE_MAIN(TestTextWriteBack)
#include "test_textwriteback.moc"
