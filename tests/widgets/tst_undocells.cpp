// The cell undo stack on its own: levels per grid, the limit, batches, and
// that it stays fast with a long history.

#include "widgets/grideditkey.h"
#include "widgets/undocells.h"
#include "widgets/stringgrid.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QTest>

using namespace lumo;
using widgets::StringGrid;

namespace {

void fill(StringGrid &g, int cols, int rows)
{
    g.setColCount(cols);
    g.setRowCount(rows);
    for (int r = 1; r < rows; ++r)
        for (int c = 1; c < cols; ++c)
            g.setCells(c, r, QStringLiteral("%1.%2").arg(c).arg(r));
}

QList<int> levelsOf(const TUndoCells &u, const StringGrid *g)
{
    QList<int> levels;
    for (int i = 0; i < u.Count(); ++i)
        if (u.Items(i)->Grid() == g)
            levels << u.Items(i)->UndoLevel();
    return levels;
}

} // namespace

class TestUndoCells : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void levelsAndNewestFirst()
    {
        StringGrid g;
        fill(g, 4, 4);
        TUndoCells u;
        QCOMPARE(u.UndoLevels(), 0);
        u.Add(&g, 1, 1);
        u.Add(&g, 2, 2);
        TUndoCell *third = u.Add(&g, 3, 3);
        QCOMPARE(third->Text(), QStringLiteral("3.3"));
        QCOMPARE(levelsOf(u, &g), (QList<int>{0, 1, 2}));
        g.setCells(3, 3, "x");
        g.setCells(2, 2, "y");
        g.setCurrentCell(1, 1);
        QVERIFY(u.Undo(&g));
        QCOMPARE(g.cells(3, 3), QStringLiteral("3.3"));
        QCOMPARE(g.cells(2, 2), QStringLiteral("y"));
        QCOMPARE(QPoint(g.col(), g.row()), QPoint(3, 3));
        QCOMPARE(u.Count(), 2);
        // The freed level is handed out again.
        QCOMPARE(u.Add(&g, 1, 2)->UndoLevel(), 2);
    }

    void twoGridsKeepApart()
    {
        StringGrid a, b;
        fill(a, 3, 3);
        fill(b, 3, 3);
        TUndoCells u;
        u.Add(&a, 1, 1);
        u.Add(&b, 1, 1);
        u.Add(&a, 2, 2);
        QCOMPARE(levelsOf(u, &a), (QList<int>{0, 1}));
        QCOMPARE(levelsOf(u, &b), (QList<int>{0}));
        a.setCells(1, 1, "A");
        b.setCells(1, 1, "B");
        a.setCells(2, 2, "A2");
        QVERIFY(u.Undo(&b));
        QVERIFY(!u.Undo(&b)); // b has nothing left; a untouched
        QCOMPARE(a.cells(1, 1), QStringLiteral("A"));
        QCOMPARE(a.cells(2, 2), QStringLiteral("A2"));
        QCOMPARE(b.cells(1, 1), QStringLiteral("1.1"));
        QCOMPARE(u.Count(), 2);
        QCOMPARE(u.CountFor(&a), 2);
    }

    void limitDropsOldestOfThatGrid()
    {
        StringGrid a, b;
        fill(a, 5, 5);
        fill(b, 3, 3);
        TUndoCells u;
        u.SetUndoLevels(3);
        u.Add(&a, 1, 1);
        u.Add(&b, 1, 1);
        u.Add(&a, 2, 1);
        u.Add(&a, 3, 1);
        TUndoCell *fourth = u.Add(&a, 4, 1);
        QCOMPARE(fourth->UndoLevel(), 2);
        QCOMPARE(levelsOf(u, &a), (QList<int>{0, 1, 2}));
        QCOMPARE(u.Items(0)->Grid(), &b); // a's oldest went, b's entry stays first
        QCOMPARE(u.Items(1)->X(), 2);
        QCOMPARE(u.Count(), 4);
        // Undo all of a: cells 4,3,2 come back, cell 1 was dropped.
        for (int c = 1; c <= 4; ++c)
            a.setCells(c, 1, "z");
        while (u.Undo(&a)) {
        }
        QCOMPARE(a.cells(1, 1), QStringLiteral("z"));
        QCOMPARE(a.cells(2, 1), QStringLiteral("2.1"));
        QCOMPARE(a.cells(4, 1), QStringLiteral("4.1"));
    }

    void twoEditsOfOneCell()
    {
        StringGrid g;
        fill(g, 2, 2);
        TUndoCells u;
        u.Add(&g, 1, 1);
        g.setCells(1, 1, "first");
        u.Add(&g, 1, 1);
        g.setCells(1, 1, "second");
        u.Undo(&g);
        QCOMPARE(g.cells(1, 1), QStringLiteral("first"));
        u.Undo(&g);
        QCOMPARE(g.cells(1, 1), QStringLiteral("1.1"));
    }

    void batchesByKeyAndButton()
    {
        StringGrid g;
        fill(g, 6, 4);
        TUndoCells u;
        int counter = 0;
        for (int c = 1; c <= 5; ++c) { // an older batch of five
            UndoBatch one(u, g, counter);
            one.setCell(c, 1, "old");
        }
        {
            UndoBatch batch(u, g, counter);
            for (int c = 1; c <= 5; ++c)
                batch.setCell(c, 2, "new");
        }
        QCOMPARE(counter, 5);
        QCOMPARE(u.Count(), 10);
        // Ctrl+Z: the batch, then one entry per press.
        UndoGridByKey(u, g, counter);
        QCOMPARE(counter, 0);
        QCOMPARE(u.Count(), 5);
        QCOMPARE(g.cells(1, 2), QStringLiteral("1.2"));
        UndoGridByKey(u, g, counter);
        QCOMPARE(u.Count(), 4);
        QCOMPARE(g.cells(5, 1), QStringLiteral("5.1"));

        // "UNDO" twice with a batch of 5 reaches into the older entries.
        u.Clear();
        for (int c = 1; c <= 5; ++c)
            UndoBatch(u, g, counter).setCell(c, 1, "o");
        {
            UndoBatch batch(u, g, counter);
            for (int c = 1; c <= 5; ++c)
                batch.setCell(c, 3, "n");
        }
        UndoGridByButton(u, g, counter);
        UndoGridByButton(u, g, counter);
        QCOMPARE(counter, 5);
        QCOMPARE(u.Count(), 0);
        QCOMPARE(g.cells(1, 1), QStringLiteral("old"));
        QCOMPARE(g.cells(1, 3), QStringLiteral("1.3"));
        // An empty batch still counts one; "UNDO" with 0 does nothing.
        { UndoBatch empty(u, g, counter); }
        QCOMPARE(counter, 1);
        u.Add(&g, 1, 1);
        UndoGridByButton(u, g, 0);
        QCOMPARE(u.Count(), 1);
    }

    void pasteRepeatsDownAndStaysInside_data()
    {
        QTest::addColumn<QString>("clip");
        QTest::addColumn<QRect>("selection"); // left, top, right, bottom as x1,y1,x2,y2
        QTest::addColumn<QStringList>("expected"); // rows 1..4 of cols 1..3, "." = untouched
        QTest::addColumn<int>("written");
        QTest::newRow("no final CR LF drops the last line")
            << "a\tb\r\nc" << QRect(QPoint(1, 1), QPoint(1, 1)) << QStringList{"ab.", "...", "...", "..."} << 2;
        QTest::newRow("no CR LF at all pastes nothing")
            << "abc" << QRect(QPoint(1, 1), QPoint(1, 1)) << QStringList{"...", "...", "...", "..."} << 0;
        QTest::newRow("one line into 4x1 repeats in every row")
            << "x\ty\tz\r\n" << QRect(QPoint(1, 1), QPoint(1, 4))
            << QStringList{"xyz", "xyz", "xyz", "xyz"} << 12;
        QTest::newRow("two lines repeat whole blocks only")
            << "p\r\nq\r\n" << QRect(QPoint(2, 1), QPoint(2, 3)) << QStringList{".p.", ".q.", ".p.", "..."} << 3;
        QTest::newRow("beyond the last column and row is dropped")
            << "1\t2\t3\r\n4\t5\t6\r\n" << QRect(QPoint(2, 4), QPoint(2, 4))
            << QStringList{"...", "...", "...", ".12"} << 2;
    }
    void pasteRepeatsDownAndStaysInside()
    {
        QFETCH(QString, clip);
        QFETCH(QRect, selection);
        QFETCH(QStringList, expected);
        QFETCH(int, written);
        StringGrid g;
        g.setColCount(4);
        g.setRowCount(5);
        for (int r = 1; r < 5; ++r)
            for (int c = 1; c < 4; ++c)
                g.setCells(c, r, ".");
        g.setSelection({selection.left(), selection.top(), selection.right(), selection.bottom()});
        TUndoCells u;
        QCOMPARE(GridPasteText(g, u, clip), written);
        QCOMPARE(u.Count(), written);
        for (int r = 1; r < 5; ++r) {
            QString line;
            for (int c = 1; c < 4; ++c)
                line += g.cells(c, r);
            QCOMPARE(line, expected[r - 1]);
        }
        QCOMPARE(g.colCount(), 4);
        QCOMPARE(g.rowCount(), 5);
    }

    void benchmarkLongHistory()
    {
        StringGrid a, b;
        fill(a, 3, 3);
        fill(b, 3, 3);
        TUndoCells u;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 100000; ++i)
            u.Add(i % 2 ? &a : &b, 1 + i % 2, 1 + i % 2);
        const qint64 addMs = t.restart();
        for (int i = 0; i < 1000; ++i)
            u.Undo(&a);
        const qint64 undoMs = t.elapsed();
        QCOMPARE(u.Count(), 99000);
        QCOMPARE(u.Items(u.Count() - 1)->UndoLevel(), 49999);
        qInfo("100,000 Add: %lld ms; 1,000 Undo on top of them: %lld ms", addMs, undoMs);
        QVERIFY(addMs < 2000);
        QVERIFY(undoMs < 1000);
        // With a limit the drop of the oldest costs no renumbering walk.
        u.Clear();
        u.SetUndoLevels(100000);
        t.restart();
        for (int i = 0; i < 150000; ++i)
            u.Add(&a, 1, 1);
        QCOMPARE(u.Count(), 100000);
        QCOMPARE(u.Items(0)->UndoLevel(), 0);
        QVERIFY(t.elapsed() < 3000);
    }
};

QTEST_MAIN(TestUndoCells)
#include "tst_undocells.moc"
