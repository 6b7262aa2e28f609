// "整列" and "ATTR" on the TEXT tab.

#include "../common/cadfixture.h"
#include "../common/testmain.h"
#include "../common/formfixture.h"
#include "texttab/lumo.h"
#include "texttab/operations.h"
#include "widgets/lineeditor.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

using namespace lumo;
using testing::CadFixture;
using testing::FormFixture;

class TestTextAlign : public QObject {
    Q_OBJECT

    static cad::Document doc() { return cad::AttachCad().activeDocument(); }

    // TEXTs T1, T2, ... at x 50 on the ys, picked into textArray top to bottom
    // (with "TEXT" when there is a window).
    QStringList pick(CadFixture &cad, const QList<double> &ys, FormFixture *form = nullptr, int alignment = 0)
    {
        QStringList handles;
        for (int i = 0; i < ys.size(); ++i)
            handles << cad.drawing().addText("0", QStringLiteral("T%1").arg(i + 1), {50, ys[i], 0}, alignment,
                                            {50, ys[i], 0});
        cad.queuePick(handles);
        if (form)
            (*form)->SpeedButton1Click();
        else
            PickTexts(doc());
        cad.clearUndoHistory();
        return handles;
    }

    double yOf(CadFixture &cad, const QString &h) { return cad.drawing().find(h)->insertion.y; }

    // Three block kinds: terminals with one "SENBAN", relays with NAME and a
    // second SENBAN, and a frame without either.
    void blocks(CadFixture &cad)
    {
        cad.drawing().addBlockDefinition("TERM", {minicad::attributeDefinition("SENBAN", "線番", "")});
        cad.drawing().addBlockDefinition("RELAY", {minicad::attributeDefinition("NAME", "機器名", ""),
                                                  minicad::attributeDefinition("SENBAN", "線番", ""),
                                                  minicad::attributeDefinition("SENBAN", "線番2", "")});
        cad.drawing().addBlockDefinition("FRAME", {minicad::attributeDefinition("TITLE", "表題", "")});
    }

private Q_SLOTS:
    void init() { textArray.clear(); }

    void alignsOnAnEvenStepFromTheFirst()
    {
        CadFixture cad;
        FormFixture form;
        const QStringList h = pick(cad, {100, 91, 85, 70, 66}, &form);
        form->Edit1->setText("0");
        form->Edit2->setText("-7.5");
        form->SpeedButton6Click();
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(yOf(cad, h[i]), 100 - 7.5 * i);
            QCOMPARE(cad.drawing().find(h[i])->insertion.x, 50.0);
        }
        QCOMPARE(textArray[4].insPt.y, 70.0);
        QCOMPARE(cad.undoGroupCount(), 1);
        QVERIFY(cad.undo());
        QCOMPARE(yOf(cad, h[1]), 91.0);
        QVERIFY(!form->runFlag);
        QVERIFY(form->SpeedButton6->isEnabled());
        QVERIFY(form->SynEdit1->isEnabled());
    }

    void tinyOrUnreadableStepsMoveNothing_data()
    {
        QTest::addColumn<QString>("dx");
        QTest::addColumn<QString>("dy");
        QTest::addColumn<bool>("moves");
        QTest::newRow("within 0.01") << "0.005" << "-0.008" << false;
        QTest::newRow("letters") << "abc" << "0" << false;
        QTest::newRow("along x") << "0.02" << "0" << true;
    }
    void tinyOrUnreadableStepsMoveNothing()
    {
        QFETCH(QString, dx);
        QFETCH(QString, dy);
        QFETCH(bool, moves);
        CadFixture cad;
        FormFixture form;
        const QStringList h = pick(cad, {10, 3, 0}, &form);
        form->Edit1->setText(dx);
        form->Edit2->setText(dy);
        form->SpeedButton6Click();
        QCOMPARE(yOf(cad, h[1]), moves ? 10.0 : 3.0); // the grid is anchored at the first text
        QCOMPARE(cad.drawing().find(h[1])->insertion.x != 50.0, moves);
        QVERIFY(form.messages.messages.isEmpty());
    }

    void emptiedLineKeepsItsGridPoint()
    {
        CadFixture cad;
        const QStringList h = pick(cad, {100, 95, 80});
        AlignLines(doc(), {"T1", "", "T3"}, 0, -10);
        QVERIFY(!cad.live(h[1]));
        QVERIFY(textArray[1].sHnd.isEmpty());
        QCOMPARE(textArray[1].insPt.y, 90.0);
        QCOMPARE(yOf(cad, h[2]), 80.0);
    }

    void extraLinesAreCreatedOnTheGrid()
    {
        CadFixture cad;
        pick(cad, {100, 90});
        AlignLines(doc(), {"T1", "T2", "E3", "E4"}, 0, -10);
        QCOMPARE(textArray.size(), 4);
        const minicad::Entity *e3 = cad.drawing().find(textArray[2].sHnd);
        const minicad::Entity *e4 = cad.drawing().find(textArray[3].sHnd);
        QVERIFY(e3 && e4);
        QCOMPARE(e3->text, QStringLiteral("E3"));
        QCOMPARE(e3->insertion.y, 80.0);
        QCOMPARE(e4->insertion.y, 70.0);
    }

    void surplusEntitiesAreRemoved()
    {
        CadFixture cad;
        const QStringList h = pick(cad, {100, 90, 80, 70});
        cad.clearCounts();
        AlignLines(doc(), {"T1", "T2"}, 0, -10);
        QVERIFY(!cad.live(h[2]) && !cad.live(h[3]));
        QCOMPARE(textArray.size(), 4); // the next write-back cuts it
        QCOMPARE(cad.calls("Regen"), 1);
    }

    void justifiedTextsMoveTheirAlignmentPoint()
    {
        CadFixture cad;
        const QStringList h = pick(cad, {100, 93, 80}, nullptr, 2);
        AlignLines(doc(), {"T1", "T2", "T3"}, 0, -5);
        QCOMPARE(cad.drawing().find(h[2])->alignmentPoint.y, 90.0);
        QCOMPARE(cad.drawing().find(h[2])->alignment, 2);
    }

    void failureEndsWithTheMessageAndTheGroupClosed()
    {
        CadFixture cad;
        FormFixture form;
        pick(cad, {100, 90}, &form);
        cad.drawing().setLayerLocked("0", true);
        form->SynEdit1->setLines({"T1", "T2", "new"});
        form->SpeedButton6Click();
        QCOMPARE(form.messages.texts(), QStringList{"エラーのため、更新処理を中止しました．"});
        QVERIFY(!cad.undoGroupOpen());
        QVERIFY(!form->runFlag);
        QVERIFY(!form->SpeedButton5->isEnabled());
    }

    void attributeLinesByTag()
    {
        CadFixture cad;
        FormFixture form;
        blocks(cad);
        const QString t1 = cad.drawing().addBlockReference("0", "TERM", {0, 30, 0}, {{"SENBAN", "S1"}});
        const QString r1 = cad.drawing().addBlockReference("0", "RELAY", {0, 20, 0},
                                                          {{"NAME", "CR1"}, {"SENBAN", "R1"}});
        const QString f1 = cad.drawing().addBlockReference("0", "FRAME", {0, 10, 0}, {{"TITLE", "x"}});
        cad.drawing().setTextString(cad.drawing().find(r1)->attributes[2].handle, "R1b");
        form->ComboBox1->setCurrentText("SENBAN:線番");
        cad.queuePick({t1, r1, f1});
        form->SpeedButton8Click();
        QVERIFY(form->ATTmode);
        QCOMPARE(form->SynEdit1->lines(), (QStringList{"S1", "R1", "R1b"})); // both SENBAN of the relay
        QCOMPARE(textArray[1].parentType, QStringLiteral("INSERT"));
        QCOMPARE(textArray[1].insPt.y, 20.0);
        QCOMPARE(form->Label2->text(), QStringLiteral("SENBAN = 3 / 3"));
        QVERIFY(!form->SpeedButton6->isEnabled());
        QVERIFY(form->SpeedButton2->isEnabled());
        QVERIFY(form.messages.messages.isEmpty());
        const QVariantList args = cad.lastArgs("selectonscreen");
        QCOMPARE(cad::toInt16Array(args.value(0)), (QList<qint16>{0, 2, 66}));
        QCOMPARE(args.value(1).toList(), (QVariantList{"INSERT", "*", 1}));

        // Written back with the attribute rules, then Enter in dY stays inert.
        form->SynEdit1->setLines({"S1x", "", "R2"});
        form->SpeedButton2Click();
        const minicad::Entity *relay = cad.drawing().find(r1);
        QCOMPARE(cad.drawing().find(t1)->attributes[0].text, QStringLiteral("S1x"));
        QCOMPARE(relay->attributes[1].text, QString());
        QCOMPARE(relay->attributes[2].text, QStringLiteral("R2"));
        const int groups = cad.undoGroupCount();
        form->Edit2KeyPress();
        QCOMPARE(cad.undoGroupCount(), groups);
    }

    void blockRestriction_data()
    {
        QTest::addColumn<QString>("combo");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("block");
        QTest::newRow("bracketed block") << "NAME:機器名[RELAY]" << "NAME" << "RELAY";
        QTest::newRow("empty brackets") << "NAME:[]" << "NAME" << "*";
        QTest::newRow("reversed brackets") << "NAME:]x[" << "NAME" << "*";
        QTest::newRow("no colon") << "TAG1" << "TAG1" << "*";
        QTest::newRow("brackets before the colon do not count") << "A[B]:c" << "A[B]" << "*";
    }
    void blockRestriction()
    {
        QFETCH(QString, combo);
        QFETCH(QString, tag);
        QFETCH(QString, block);
        QCOMPARE(tagOfComboText(combo), tag);
        QCOMPARE(blockFilterOfComboText(combo), block);
    }

    void restrictedPickReachesTheModel()
    {
        CadFixture cad;
        FormFixture form;
        blocks(cad);
        const QString t1 = cad.drawing().addBlockReference("0", "TERM", {0, 30, 0}, {{"SENBAN", "S1"}});
        const QString r1 = cad.drawing().addBlockReference("0", "RELAY", {0, 20, 0}, {{"NAME", "CR1"}});
        form->ComboBox1->setCurrentText("NAME:機器名[RELAY]");
        cad.queuePick({t1, r1});
        form->SpeedButton8Click();
        QCOMPARE(form->SynEdit1->lines(), QStringList{"CR1"});
        QCOMPARE(form->Label2->text(), QStringLiteral("NAME = 1 / 1"));
    }

    void noMatchingAttribute()
    {
        CadFixture cad;
        FormFixture form;
        blocks(cad);
        QStringList refs;
        for (int i = 0; i < 3; ++i)
            refs << cad.drawing().addBlockReference("0", "FRAME", {0, 10.0 * i, 0}, {{"TITLE", "x"}});
        form->SynEdit1->setLines({"old"});
        form->ComboBox1->setCurrentText("SENBAN:線番");
        cad.queuePick(refs);
        form->SpeedButton8Click();
        QCOMPARE(form->SynEdit1->lineCount(), 0);
        QVERIFY(textArray.isEmpty());
        QCOMPARE(form->Label2->text(), QStringLiteral("SENBAN = 0 / 3"));
        QCOMPARE(form->Edit1->palette().color(QPalette::Text), QColor(Qt::red));
        QVERIFY(!form->SpeedButton2->isEnabled());
        QVERIFY(form.messages.messages.isEmpty());
    }

    void alignedAndFitTextsMoveWhole_data()
    {
        QTest::addColumn<int>("alignment");
        QTest::newRow("aligned") << 3;
        QTest::newRow("fit") << 5;
    }
    void alignedAndFitTextsMoveWhole()
    {
        // Each text runs on a slant from (50, y) to (70, y + 2); the grid lays
        // out the second points, and neither the texts nor the added copy may
        // be stretched or turned on the way.
        QFETCH(int, alignment);
        CadFixture cad;
        QStringList h;
        for (const double y : {100.0, 93.0, 81.0})
            h << cad.drawing().addText("0", "W", {50, y, 0}, alignment, {70, y + 2, 0});
        cad.queuePick(h);
        PickTexts(doc());
        QVERIFY(!AlignLines(doc(), {"W", "W", "W", "E4"}, 0, -10).failed);
        QCOMPARE(textArray.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const minicad::Entity *e = cad.drawing().find(textArray[i].sHnd);
            QVERIFY(e);
            QCOMPARE(e->alignment, alignment);
            QCOMPARE(e->alignmentPoint, (minicad::Point{70, 102 - 10.0 * i, 0}));
            QCOMPARE(e->insertion, (minicad::Point{50, 100 - 10.0 * i, 0}));
        }
    }
};

LUMO_SUITE_MAIN(TestTextAlign)
#include "test_textalign.moc"
