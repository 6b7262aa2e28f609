// "TEXT": picking TEXT entities into the editor.

#include "../common/cadfixture.h"
#include "../common/testmain.h"
#include "../common/formfixture.h"
#include "texttab/lumo.h"
#include "texttab/operations.h"
#include "widgets/lineeditor.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QToolButton>

Q_DECLARE_METATYPE(lumo::Lumo)

using namespace lumo;
using testing::CadFixture;
using testing::FormFixture;

namespace {

const QString kZeroMessage = QStringLiteral(
    "dX, dY が 0 です．\rdX, dY の値を設定するか、[取得]で複数の TEXT を選択してください．");

Lumo at(double x, double y, const QString &text = {})
{
    Lumo e;
    e.insPt = {x, y, 0};
    e.text = text;
    return e;
}

QStringList textsOf(const QList<Lumo> &entries)
{
    QStringList out;
    for (const Lumo &e : entries)
        out << e.text;
    return out;
}

} // namespace

class TestTextAcquire : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { textArray.clear(); }

    void sortByPosition_data()
    {
        QTest::addColumn<QList<Lumo>>("entries");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("square spread: the tie goes to Y, top to bottom")
            << QList<Lumo>{at(0, 0, "a"), at(100, 100, "b"), at(50, 50, "c")} << QStringList{"b", "c", "a"};
        QTest::newRow("wider than high: left to right")
            << QList<Lumo>{at(100, 0, "a"), at(0, 99.9, "b"), at(50, 50, "c")} << QStringList{"b", "c", "a"};
        // The exchange procedure, not a stable sort, decides equal keys.
        QTest::newRow("one row sorted by Y keeps the exchange order")
            << QList<Lumo>{at(30, 0, "a"), at(10, 0, "b"), at(20, 0, "c"), at(0, 50, "d")}
            << QStringList{"d", "b", "c", "a"};
        QTest::newRow("fewer than two") << QList<Lumo>{at(5, 5, "only")} << QStringList{"only"};
    }
    void sortByPosition()
    {
        QFETCH(QList<Lumo>, entries);
        QFETCH(QStringList, order);
        SortTextsByPosition(entries, SortMode::Automatic);
        QCOMPARE(textsOf(entries), order);
    }

    void picksLinesInSortedOrderWithStep()
    {
        CadFixture cad;
        FormFixture form;
        QStringList handles;
        for (int i = 0; i < 4; ++i)
            handles << cad.drawing().addText("0", QStringLiteral("W%1").arg(i), {10, 100.0 - 12.5 * i, 0});
        std::reverse(handles.begin(), handles.end());
        cad.queuePick(handles);
        form->SpeedButton1Click();
        QCOMPARE(form->SynEdit1->lines(), (QStringList{"W0", "W1", "W2", "W3"}));
        QCOMPARE(textArray.size(), 4);
        QCOMPARE(textArray[0].index, 3); // selection order before sorting
        QCOMPARE(form->Edit1->text(), QStringLiteral("0.00"));
        QCOMPARE(form->Edit2->text(), QStringLiteral("-12.50"));
        QVERIFY(form.messages.messages.isEmpty());
        QVERIFY(form->SpeedButton2->isEnabled());
        QVERIFY(form->SpeedButton6->isEnabled());
        QVERIFY(!form->ATTmode);
        // The picking ran with the own window minimised, the CAD fronted and one ESC.
        QVERIFY(form.messages.messages.isEmpty());
        QVERIFY(cad.windows.calls.contains(QStringLiteral("Escape")));
        QCOMPARE(cad.selectionSetCount(), 0); // "SSTEMP" does not outlive the pick
    }

    void unsortedKeepsSelectionOrder()
    {
        CadFixture cad;
        FormFixture form;
        form->CheckBox1->setChecked(false);
        const QString a = cad.drawing().addText("0", "A", {0, 0, 0});
        const QString b = cad.drawing().addText("0", "B", {0, 30, 0});
        const QString c = cad.drawing().addText("0", "C", {5, 10, 0});
        cad.queuePick({b, a, c});
        form->SpeedButton1Click();
        QCOMPARE(form->SynEdit1->lines(), (QStringList{"B", "A", "C"}));
        QCOMPARE(form->Edit1->text(), QStringLiteral("5.00"));
        QCOMPARE(form->Edit2->text(), QStringLiteral("10.00"));
    }

    void lockedLayersAreLeftOut()
    {
        CadFixture cad;
        FormFixture form;
        cad.drawing().addLayer("LOCKED", true);
        cad.drawing().addLayer("LOCKED2", false);
        QStringList picks;
        for (int i = 0; i < 5; ++i)
            picks << cad.drawing().addText(i % 2 ? "LOCKED" : "LOCKED2", QString::number(i), {0, -10.0 * i, 0});
        cad.queuePick(picks);
        form->SpeedButton1Click();
        QCOMPARE(form->SynEdit1->lines(), (QStringList{"0", "2", "4"}));
        QCOMPARE(form.messages.texts(), QStringList{"ロック画層のTEXT 2 個を除外しました."});
    }

    void zeroStep_data()
    {
        QTest::addColumn<QList<double>>("ys");
        QTest::newRow("single text") << QList<double>{5};
        QTest::newRow("two texts on one point") << QList<double>{5, 5};
        QTest::newRow("a step that rounds to 0.00") << QList<double>{0, -0.004};
    }
    void zeroStep()
    {
        QFETCH(QList<double>, ys);
        CadFixture cad;
        FormFixture form;
        QStringList picks;
        for (double y : ys)
            picks << cad.drawing().addText("0", "T", {y == -0.004 ? 0.004 : 0, y, 0});
        cad.queuePick(picks);
        form->SpeedButton1Click();
        QCOMPARE(form->Edit1->text(), QStringLiteral("0.00"));
        QCOMPARE(form->Edit2->text(), QStringLiteral("0.00"));
        QCOMPARE(form->Edit1->palette().color(QPalette::Text), QColor(Qt::red));
        QCOMPARE(form.messages.texts(), QStringList{kZeroMessage});
        QVERIFY(form->SpeedButton2->isEnabled());
        QCOMPARE(form->SpeedButton6->isEnabled(), ys.size() > 1);
    }

    void cancelledPickChangesNothing()
    {
        CadFixture cad;
        FormFixture form;
        const QString a = cad.drawing().addText("0", "A", {0, 0, 0});
        const QString b = cad.drawing().addText("0", "B", {0, -5, 0});
        cad.queuePick({a, b});
        form->SpeedButton1Click();
        form->SynEdit1->addLine("typed");
        cad.queuePickCancel();
        form->SpeedButton1Click();
        QCOMPARE(form->SynEdit1->lines(), (QStringList{"A", "B", "typed"}));
        QCOMPARE(textArray.size(), 2);
        QCOMPARE(form->Edit2->text(), QStringLiteral("-5.00"));
        QVERIFY(form->SpeedButton6->isEnabled());
    }

    void notRunningDoesNothingAndSaysNothing()
    {
        CadFixture cad;
        cad.revoke();
        FormFixture form;
        form->SynEdit1->setLines({"kept"});
        form->SpeedButton1Click();
        QCOMPARE(form->SynEdit1->lines(), QStringList{"kept"});
        QVERIFY(form.messages.messages.isEmpty());
    }

    void allLockedEmptiesTheEditor()
    {
        CadFixture cad;
        FormFixture form;
        cad.drawing().addLayer("L", true);
        form->SynEdit1->setLines({"old"});
        form->Edit1->setText("1.00");
        cad.queuePick({cad.drawing().addText("L", "x", {0, 0, 0})});
        form->SpeedButton1Click();
        QCOMPARE(form->SynEdit1->lineCount(), 0);
        QVERIFY(textArray.isEmpty());
        QCOMPARE(form->Edit1->text(), QStringLiteral("1.00"));
        QCOMPARE(form.messages.texts(), QStringList{"ロック画層のTEXT 1 個を除外しました."});
    }

    void alignedTextsUseTheirAlignmentPoint()
    {
        CadFixture cad;
        cad.queuePick({cad.drawing().addText("0", "R", {1, 2, 0}, 2, {40, 2, 0})});
        PickTexts(cad::AttachCad().activeDocument());
        QCOMPARE(textArray[0].txtAli, 2);
        QCOMPARE(textArray[0].insPt, (cad::Point{40, 2, 0}));
    }
};

LUMO_SUITE_MAIN(TestTextAcquire)
#include "test_textacquire.moc"
