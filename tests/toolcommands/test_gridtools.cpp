// The text tools on the attribute grid: one undo batch per command, counted
// in sgUndoCnt, and no batch at all for a command that changes nothing.

#include "../common/formfixture.h"
#include "widgets/undocells.h"
#include "tooldialogs.h"
#include "widgets/stringgrid.h"

#include <QAction>
#include <QPushButton>
#include <QTest>

using namespace lumo;
using testing::FormFixture;
using tools::NumberRadix;

namespace {

// Nine data rows, three data columns: "r<row>c<col>".
void fillGrid(FormFixture &f)
{
    widgets::StringGrid &g = *f->StringGrid1;
    g.setColCount(4);
    g.setRowCount(10);
    for (int r = 1; r < 10; ++r)
        for (int c = 1; c < 4; ++c)
            g.setCells(c, r, QStringLiteral("r%1c%2").arg(r).arg(c));
}

void selectCells(FormFixture &f, int left, int top, int right, int bottom)
{
    f->StringGrid1->setCurrentCell(left, top);
    f->StringGrid1->setSelection({left, top, right, bottom});
}

// An older batch of one entry, so a test sees whether a command reached past its own.
constexpr int kOlderBatch = 5;
void pushOlderBatch(FormFixture &f)
{
    f->FUndoCells->Add(f->StringGrid1, 3, 9);
    f->StringGrid1->setCells(3, 9, QStringLiteral("edited"));
    f->sgUndoCnt = kOlderBatch;
}

int entries(FormFixture &f) { return f->FUndoCells->CountFor(f->StringGrid1); }

QStringList column(FormFixture &f, int col, int first, int last)
{
    QStringList out;
    for (int r = first; r <= last; ++r)
        out << f->StringGrid1->cells(col, r);
    return out;
}

void pressUndo(FormFixture &f) { UndoGridByButton(*f->FUndoCells, *f->StringGrid1, f->sgUndoCnt); }

} // namespace

class TestGridTools : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void widthConversionIsOneBatch()
    {
        FormFixture f;
        fillGrid(f);
        pushOlderBatch(f);
        f->StringGrid1->setCells(1, 1, QStringLiteral("a　b c"));
        const QStringList before = column(f, 1, 1, 2) + column(f, 2, 1, 2) + column(f, 3, 1, 2);
        selectCells(f, 1, 1, 3, 2);
        f->N32->trigger();
        QCOMPARE(f->StringGrid1->cells(1, 1), QStringLiteral("ａ ｂ ｃ")); // spaces stay half-width
        QCOMPARE(f->StringGrid1->cells(3, 2), QStringLiteral("ｒ２ｃ３"));
        QCOMPARE(f->sgUndoCnt, 6);
        QCOMPARE(entries(f), 7);

        pressUndo(f);
        QCOMPARE(column(f, 1, 1, 2) + column(f, 2, 1, 2) + column(f, 3, 1, 2), before);
        QCOMPARE(f->StringGrid1->cells(3, 9), QStringLiteral("edited")); // the older batch is untouched
    }

    void commandThatChangesNothingLeavesTheCounter()
    {
        FormFixture f;
        fillGrid(f);
        pushOlderBatch(f);
        selectCells(f, 1, 1, 3, 2);
        f->N33->trigger(); // already half-width
        QCOMPARE(f->sgUndoCnt, kOlderBatch);
        QCOMPARE(entries(f), 1);

        testing::acceptTikan(f->LumoTikanForm, "zzz", "y", false);
        f->N35Click();
        testing::acceptKasan(f->LumoKasanForm, NumberRadix::Decimal, "0");
        f->N42Click();
        f->StringGrid1->setCells(1, 5, QStringLiteral("xyz"));
        selectCells(f, 1, 5, 1, 5);
        testing::acceptKasan(f->LumoKasanForm, NumberRadix::Decimal, "1");
        f->N42Click();
        QCOMPARE(f->sgUndoCnt, kOlderBatch);
        QCOMPARE(entries(f), 1);
    }

    void replaceRecordsEverySelectedCell()
    {
        FormFixture f;
        fillGrid(f);
        f->sgUndoCnt = kOlderBatch;
        f->LumoTikanForm->setReplaceText(QStringLiteral("KEEP"));
        selectCells(f, 1, 1, 2, 3);
        QString seenSearch, seenReplace;
        testing::whenShown(f->LumoTikanForm, [&] {
            seenSearch = f->LumoTikanForm->searchText();
            seenReplace = f->LumoTikanForm->replaceText();
            f->LumoTikanForm->setSearchText(QStringLiteral("R2C1"));
            f->LumoTikanForm->setIgnoreCase(true); // the grid compares case-sensitively anyway
            testing::press(f->LumoTikanForm, "Button1");
        });
        f->N35->trigger();
        QCOMPARE(seenSearch, QStringLiteral("r1c1"));
        QCOMPARE(seenReplace, QStringLiteral("KEEP"));
        QCOMPARE(f->StringGrid1->cells(1, 2), QStringLiteral("r2c1")); // case differs: no match
        QCOMPARE(f->sgUndoCnt, kOlderBatch); // nothing changed, nothing recorded
        QCOMPARE(entries(f), 0);

        testing::acceptTikan(f->LumoTikanForm, "r2c1", "X", false);
        f->N35Click();
        QCOMPARE(f->StringGrid1->cells(1, 2), QStringLiteral("X"));
        QCOMPARE(f->sgUndoCnt, 6);
        QCOMPARE(entries(f), 6);
        pressUndo(f);
        QCOMPARE(f->StringGrid1->cells(1, 2), QStringLiteral("r2c1"));
        QCOMPARE(entries(f), 0);
    }

    void addition_data()
    {
        QTest::addColumn<bool>("changedOnly");
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("pushed");
        QTest::addColumn<int>("counter");
        const QStringList mixed{"A", "W01", "  "};
        const QStringList after{"A", "W02", "  "};
        QTest::newRow("every cell") << false << mixed << after << 3 << 3;
        QTest::newRow("changed cells") << true << mixed << after << 1 << 1;
        QTest::newRow("no number") << true << QStringList{"A", "B", ""} << QStringList{"A", "B", ""} << 0
                                   << kOlderBatch;
    }
    void addition()
    {
        QFETCH(bool, changedOnly);
        QFETCH(QStringList, cells);
        QFETCH(QStringList, expected);
        QFETCH(int, pushed);
        QFETCH(int, counter);
        FormFixture f;
        fillGrid(f);
        f->sgUndoCnt = kOlderBatch;
        for (int i = 0; i < 3; ++i)
            f->StringGrid1->setCells(2, 4 + i, cells.at(i));
        selectCells(f, 2, 4, 2, 6);
        testing::acceptKasan(f->LumoKasanForm, NumberRadix::Decimal, "1");
        (changedOnly ? f->N36 : f->N42)->trigger();
        QCOMPARE(column(f, 2, 4, 6), expected);
        QCOMPARE(entries(f), pushed);
        QCOMPARE(f->sgUndoCnt, counter);
    }

    void numberingFromTheCurrentRowDown()
    {
        FormFixture f;
        fillGrid(f);
        const QStringList before = column(f, 2, 1, 9);
        selectCells(f, 2, 3, 2, 3);
        QString caption;
        bool insertEnabled = true;
        testing::whenShown(f->LumoRenbanForm, [&] {
            caption = f->LumoRenbanForm->findChild<QPushButton *>("Button1")->text();
            insertEnabled = f->LumoRenbanForm->findChild<QPushButton *>("Button2")->isEnabled();
            f->LumoRenbanForm->setInput(tools::RenbanInput{});
            testing::press(f->LumoRenbanForm, "Button1");
        });
        f->N31->trigger();
        QCOMPARE(caption, QStringLiteral("上書き"));
        QVERIFY(!insertEnabled);
        QCOMPARE(f->LumoRenbanForm->findChild<QPushButton *>("Button1")->text(), QStringLiteral("追加"));
        QVERIFY(f->LumoRenbanForm->findChild<QPushButton *>("Button2")->isEnabled());
        QCOMPARE(column(f, 2, 1, 9), (before.mid(0, 2) + QStringList{"00", "01", "02", "03", "04", "05", "06"}));
        QCOMPARE(column(f, 1, 3, 3), QStringList{"r3c1"});
        QCOMPARE(f->sgUndoCnt, 7);
        pressUndo(f);
        QCOMPARE(column(f, 2, 1, 9), before);
    }

    void numberingOverASelectedRangeAndFixedText()
    {
        FormFixture f;
        fillGrid(f);
        selectCells(f, 3, 2, 3, 4);
        tools::RenbanInput in;
        in.start = "";
        in.prefix = "ab";
        testing::acceptRenban(f->LumoRenbanForm, in);
        f->N31Click();
        QCOMPARE(column(f, 3, 1, 5), (QStringList{"r1c3", "AB", "AB", "AB", "r5c3"}));
        QCOMPARE(f->sgUndoCnt, 3);

        // A count of 0 writes nothing and keeps the batch before.
        in = tools::RenbanInput{};
        in.count = "0";
        testing::acceptRenban(f->LumoRenbanForm, in);
        f->N31Click();
        QCOMPARE(f->sgUndoCnt, 3);
        QCOMPARE(entries(f), 3);
    }
};

QTEST_MAIN(TestGridTools)
#include "test_gridtools.moc"
