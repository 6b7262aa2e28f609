#include "widgets/stringgrid.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

using widgets::GridRect;
using widgets::StringGrid;

namespace QTest {
template <> char *toString(const GridRect &r)
{
    return qstrdup(QString("(%1,%2)-(%3,%4)").arg(r.left).arg(r.top).arg(r.right).arg(r.bottom).toUtf8());
}
} // namespace QTest

class TestStringGrid : public QObject
{
    Q_OBJECT

private:
    // A 3-column by 4-row grid (one fixed row and column) filled with "c,r"
    // texts and slots 10*c + r, so every cell tells where it came from.
    static void fill(StringGrid &grid)
    {
        grid.setColCount(3);
        grid.setRowCount(4);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c) {
                grid.setCells(c, r, QString("%1,%2").arg(c).arg(r));
                grid.setObjects(c, r, 10 * c + r);
            }
    }

    static void show(StringGrid &grid)
    {
        grid.resize(400, 300);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setFocus();
    }

    // Centre of a data cell in the grid widget's coordinates.
    static QPoint centreOf(StringGrid &grid, int col, int row)
    {
        const QRect r = grid.visualItemRect(grid.item(row - grid.fixedRows(), col - grid.fixedCols()));
        return grid.viewport()->mapTo(&grid, r.center());
    }

private slots:
    void fixedCellsUseGridCoordinates()
    {
        StringGrid grid;
        fill(grid);
        QCOMPARE(grid.rowCount(), 4);
        QCOMPARE(grid.colCount(), 3);
        QCOMPARE(grid.QTableWidget::rowCount(), 3);
        // Row 0 is the column header, column 0 the row header.
        QCOMPARE(grid.horizontalHeaderItem(1)->text(), QString("2,0"));
        QCOMPARE(grid.verticalHeaderItem(2)->text(), QString("0,3"));
        QCOMPARE(grid.item(0, 0)->text(), QString("1,1"));
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c) {
                QCOMPARE(grid.cells(c, r), QString("%1,%2").arg(c).arg(r));
                QCOMPARE(grid.objects(c, r), 10 * c + r);
            }
        QCOMPARE(grid.cells(3, 1), QString());
        QCOMPARE(grid.cells(1, 4), QString());
        QCOMPARE(grid.objects(-1, 0), 0);
        grid.setCells(5, 5, "outside"); // ignored
        QCOMPARE(grid.rowCount(), 4);
    }

    void emptyHeadersShowNoNumbers()
    {
        StringGrid grid;
        grid.setColCount(3);
        grid.setRowCount(3);
        QCOMPARE(grid.model()->headerData(0, Qt::Vertical).toString(), QString());
        QCOMPARE(grid.model()->headerData(1, Qt::Horizontal).toString(), QString());
    }

    void withoutFixedCells()
    {
        StringGrid grid;
        fill(grid);
        grid.setFixedRows(0);
        grid.setFixedCols(0);
        QVERIFY(grid.horizontalHeader()->isHidden());
        QVERIFY(grid.verticalHeader()->isHidden());
        QCOMPARE(grid.rowCount(), 4);
        QCOMPARE(grid.item(0, 0)->text(), QString("0,0"));
        QCOMPARE(grid.cells(2, 3), QString("2,3"));
        QCOMPARE(grid.objects(0, 0), 0);
        QCOMPARE(grid.objects(1, 0), 10);
        grid.setRowCount(1);
        QCOMPARE(grid.rowCount(), 1);
        grid.setCurrentCell(0, 0);
        QCOMPARE(grid.row(), 0);
    }

    void countsNeverDropBelowFixed()
    {
        StringGrid grid;
        grid.setRowCount(0);
        QCOMPARE(grid.rowCount(), 1);
        grid.setColCount(-3);
        QCOMPARE(grid.colCount(), 1);
    }

    void slotsTravelWithSwappedRows()
    {
        StringGrid grid;
        fill(grid);
        grid.swapRows(1, 3);
        for (int c = 0; c < 3; ++c) {
            QCOMPARE(grid.cells(c, 1), QString("%1,3").arg(c));
            QCOMPARE(grid.objects(c, 1), 10 * c + 3);
            QCOMPARE(grid.cells(c, 3), QString("%1,1").arg(c));
            QCOMPARE(grid.objects(c, 3), 10 * c + 1);
        }
        grid.swapRows(1, 9); // outside: nothing happens
        QCOMPARE(grid.cells(1, 1), QString("1,3"));
    }

    void moveRowShiftsTheOthers()
    {
        StringGrid grid;
        fill(grid);
        grid.moveRow(3, 1);
        QCOMPARE(grid.cells(0, 1), QString("0,3"));
        QCOMPARE(grid.objects(2, 1), 23);
        QCOMPARE(grid.cells(0, 2), QString("0,1"));
        QCOMPARE(grid.cells(0, 3), QString("0,2"));
        grid.moveRow(1, 3);
        QCOMPARE(grid.cells(0, 1), QString("0,1"));
        QCOMPARE(grid.cells(0, 3), QString("0,3"));
    }

    void selectionAndCurrentCell()
    {
        StringGrid grid;
        fill(grid);
        QSignalSpy clicks(&grid, &StringGrid::gridClick);
        grid.setCurrentCell(2, 3);
        QCOMPARE(grid.col(), 2);
        QCOMPARE(grid.row(), 3);
        QCOMPARE(grid.currentIndex(), grid.model()->index(2, 1));
        QCOMPARE(clicks.size(), 1);
        QCOMPARE(clicks[0][0].toInt(), 2);
        QCOMPARE(clicks[0][1].toInt(), 3);
        QCOMPARE(grid.selection(), (GridRect{2, 3, 2, 3}));

        grid.setSelection({2, 3, 1, 1}); // corners in any order
        QCOMPARE(grid.selection(), (GridRect{1, 1, 2, 3}));
        QCOMPARE(grid.col(), 2); // the current cell stays
        QCOMPARE(grid.row(), 3);

        grid.setSelection({0, 0, 9, 9}); // clipped to the data cells
        QCOMPARE(grid.selection(), (GridRect{1, 1, 2, 3}));

        grid.setCurrentCell(1, 1, true);
        QCOMPARE(grid.col(), 1);
        QCOMPARE(grid.selection(), (GridRect{1, 1, 2, 3}));

        grid.setRow(2);
        grid.setRow(1); // moving collapses the selection
        QCOMPARE(grid.selection(), (GridRect{1, 1, 1, 1}));
        grid.setCol(2);
        grid.setCurrentCell(0, 2); // fixed cells cannot be current
        QCOMPARE(grid.col(), 2);
        QCOMPARE(grid.row(), 1);
    }

    void keyDownHandlerConsumesKeys()
    {
        StringGrid grid;
        fill(grid);
        show(grid);
        grid.setCurrentCell(1, 1);
        QList<int> keys;
        grid.setKeyDownHandler([&](int &key, Qt::KeyboardModifiers mods) {
            keys.append(key);
            if (key == Qt::Key_Down || (key == Qt::Key_Z && (mods & Qt::ControlModifier)))
                key = 0;
        });
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(grid.row(), 1); // consumed
        QTest::keyClick(&grid, Qt::Key_Right);
        QCOMPARE(grid.col(), 2); // passed on
        QTest::keyClick(&grid, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(keys, (QList<int>{Qt::Key_Down, Qt::Key_Right, Qt::Key_Return}));
        QVERIFY(grid.isEditorOpen()); // the grid's own Enter opened the editor

        // With the editor open the handler still sees keys first.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(keys.last(), int(Qt::Key_Z));
        QVERIFY(grid.isEditorOpen());
        QCOMPARE(grid.editorText(), QString("2,1"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Q);
        QCOMPARE(keys.last(), int(Qt::Key_Q));
        QCOMPARE(grid.editorText(), QString("2,1q"));
    }

    void handlerMovingTheCellClosesTheEditor()
    {
        StringGrid grid;
        fill(grid);
        show(grid);
        grid.setCurrentCell(1, 1);
        grid.setKeyDownHandler([&](int &key, Qt::KeyboardModifiers) {
            if (key == Qt::Key_Return && grid.isEditorOpen())
                grid.setRow(grid.row() + 1);
        });
        grid.showEditor();
        QVERIFY(grid.isEditorOpen());
        grid.setEditorText("typed");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(!grid.isEditorOpen());
        QCOMPARE(grid.row(), 2);
        QCOMPARE(grid.cells(1, 1), QString("typed"));
    }

    void editorOpensWithTheHookText()
    {
        StringGrid grid;
        fill(grid);
        show(grid);
        QList<QPoint> opened;
        grid.setGetEditTextHook([&](int col, int row, QString &text) {
            opened.append({col, row});
            text += "!";
        });
        grid.setCurrentCell(2, 3);
        grid.showEditor();
        QVERIFY(grid.isEditorOpen());
        QCOMPARE(opened, QList<QPoint>{QPoint(2, 3)});
        QCOMPARE(grid.editorText(), QString("2,3!"));
        grid.setEditorText("new");
        grid.hideEditor(false);
        QVERIFY(!grid.isEditorOpen());
        QCOMPARE(grid.cells(2, 3), QString("2,3"));
        grid.showEditor();
        grid.setEditorText("kept");
        grid.hideEditor(true);
        QCOMPARE(grid.cells(2, 3), QString("kept"));
        QCOMPARE(opened.size(), 2);
    }

    void editingOffKeepsCellsReadOnly()
    {
        StringGrid grid;
        fill(grid);
        show(grid);
        grid.setCurrentCell(1, 1);
        grid.showEditor();
        grid.setEditorText("typed");
        grid.setEditing(false); // commits and closes
        QVERIFY(!grid.isEditorOpen());
        QCOMPARE(grid.cells(1, 1), QString("typed"));
        QTest::keyClick(&grid, Qt::Key_A);
        QTest::keyClick(&grid, Qt::Key_Return);
        grid.showEditor();
        QVERIFY(!grid.isEditorOpen());
        QCOMPARE(grid.cells(1, 1), QString("typed"));
        grid.setEditing(true);
        QTest::keyClick(&grid, Qt::Key_B);
        QVERIFY(grid.isEditorOpen());
        QCOMPARE(grid.editorText(), QString("b")); // typing replaces, as in a classic grid
    }

    // A click on the current cell arms the click-to-edit delay; keys typed
    // at once must still land in that cell, never in a row found by its
    // first letter, and the delay must not open a second editor later.
    void typingRightAfterClickingTheCurrentCell()
    {
        StringGrid grid;
        grid.setColCount(2);
        grid.setRowCount(4);
        for (const auto &[row, text] : {std::pair{1, "B1"}, {2, "A1"}, {3, "B2"}})
            grid.setCells(1, row, QString::fromLatin1(text));
        show(grid);
        grid.setCurrentCell(1, 1);
        int opened = 0;
        grid.setGetEditTextHook([&](int, int, QString &) { ++opened; });
        const QPoint cell = grid.viewport()->mapFrom(&grid, centreOf(grid, 1, 1));
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell);
        QTest::keyClicks(nullptr, QStringLiteral("B9")); // each key to the focus widget
        QCOMPARE(grid.row(), 1);
        QVERIFY(grid.isEditorOpen());
        QCOMPARE(grid.editorText(), QStringLiteral("B9"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCoreApplication::processEvents(); // the editor commits on a queued call
        QCOMPARE(grid.cells(1, 1), QStringLiteral("B9"));
        QCOMPARE(grid.cells(1, 3), QStringLiteral("B2"));
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        QVERIFY(!grid.isEditorOpen());
        QCOMPARE(opened, 1);

        // Without typing, the click opens the editor once the delay is over.
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell);
        QVERIFY(!grid.isEditorOpen());
        QTRY_VERIFY(grid.isEditorOpen());
        QCOMPARE(grid.editorText(), QStringLiteral("B9"));
        grid.hideEditor(false);

        // Read-only cells do not jump to a row by its text either.
        grid.setEditing(false);
        QTest::keyClick(&grid, Qt::Key_A);
        QCOMPARE(grid.row(), 1);
    }

    void mouseHitTestingAndSignals()
    {
        StringGrid grid;
        fill(grid);
        show(grid);
        const QPoint dataCell = centreOf(grid, 2, 3);
        QCOMPARE(grid.mouseToCell(dataCell), QPoint(2, 3));
        const QPoint header = grid.horizontalHeader()->geometry().topLeft()
                              + QPoint(grid.columnWidth(1) + 5, 5);
        QCOMPARE(grid.mouseToCell(header), QPoint(2, 0));
        const QPoint rowNumber(grid.verticalHeader()->geometry().left() + 3, dataCell.y());
        QCOMPARE(grid.mouseToCell(rowNumber), QPoint(0, 3));
        QCOMPARE(grid.mouseToCell(QPoint(390, 290)), QPoint(-1, -1));

        QSignalSpy down(&grid, &StringGrid::mouseDown);
        QSignalSpy up(&grid, &StringGrid::mouseUp);
        QTest::mousePress(grid.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          grid.viewport()->mapFrom(&grid, dataCell));
        QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, grid.viewport()->mapFrom(&grid, dataCell));
        QCOMPARE(down.size(), 1);
        QCOMPARE(down[0][0].value<Qt::MouseButton>(), Qt::LeftButton);
        QCOMPARE(down[0][1].value<Qt::KeyboardModifiers>(), Qt::KeyboardModifiers(Qt::ShiftModifier));
        QCOMPARE(down[0][2].toPoint(), dataCell);
        QCOMPARE(up.size(), 1);
    }

    // The attribute tab's drag selection: press on a data cell, drag up over
    // the header row; the moves keep arriving and hit-test to the fixed row.
    void dragOverTheHeaderHitTestsRowZero()
    {
        StringGrid grid;
        fill(grid);
        show(grid);
        QList<QPoint> cells;
        connect(&grid, &StringGrid::mouseMove, &grid,
                [&](Qt::MouseButtons buttons, Qt::KeyboardModifiers, const QPoint &pos) {
                    if (buttons & Qt::LeftButton)
                        cells.append(grid.mouseToCell(pos));
                });
        QWidget *viewport = grid.viewport();
        const QPoint start = viewport->mapFrom(&grid, centreOf(grid, 2, 3));
        QTest::mousePress(viewport, Qt::LeftButton, {}, start);
        for (const QPoint &target : {viewport->mapFrom(&grid, centreOf(grid, 1, 2)), QPoint(start.x(), -5)}) {
            QMouseEvent move(QEvent::MouseMove, target, viewport->mapToGlobal(target), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &move);
        }
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(start.x(), -5));
        QCOMPARE(cells, (QList<QPoint>{QPoint(1, 2), QPoint(2, 0)}));
    }

    void fixedCellClicksAreReportedNotSelected()
    {
        StringGrid grid;
        fill(grid);
        show(grid);
        grid.setCurrentCell(1, 1);
        QSignalSpy fixed(&grid, &StringGrid::fixedCellClicked);
        QSignalSpy clicks(&grid, &StringGrid::gridClick);
        auto *columns = grid.horizontalHeader();
        QTest::mouseClick(columns->viewport(), Qt::LeftButton, {},
                          QPoint(columns->sectionViewportPosition(1) + 5, 5));
        auto *rows = grid.verticalHeader();
        QTest::mouseClick(rows->viewport(), Qt::LeftButton, {},
                          QPoint(5, rows->sectionViewportPosition(2) + 5));
        auto *corner = grid.findChild<QAbstractButton *>();
        QVERIFY(corner);
        QTest::mouseClick(corner, Qt::LeftButton);
        QCOMPARE(fixed.size(), 3);
        QCOMPARE(fixed[0], (QList<QVariant>{2, 0}));
        QCOMPARE(fixed[1], (QList<QVariant>{0, 3}));
        QCOMPARE(fixed[2], (QList<QVariant>{0, 0}));
        QCOMPARE(grid.selection(), (GridRect{1, 1, 1, 1}));
        QCOMPARE(clicks.size(), 0);
    }

    void drawCellHookRunsForDataCells()
    {
        StringGrid grid;
        fill(grid);
        grid.setCurrentCell(2, 2);
        QMap<QPair<int, int>, bool> painted;
        grid.setDrawCellHook([&](QPainter &painter, int col, int row, const QRect &rect, bool selected) {
            painted[{col, row}] = selected;
            painter.fillRect(rect, QColor(192, 192, 192));
        });
        grid.resize(400, 300);
        const QImage image = grid.grab().toImage();
        QCOMPARE(painted.size(), 6);
        QVERIFY(painted.value({2, 2}));
        QVERIFY(!painted.value({1, 1}));
        const QPoint inside = centreOf(grid, 1, 1);
        QCOMPARE(image.pixelColor(inside), QColor(192, 192, 192));
    }

    void sizes()
    {
        StringGrid grid;
        fill(grid);
        QCOMPARE(grid.defaultRowHeight(), 20);
        QCOMPARE(grid.rowHeight(0), 20);
        QCOMPARE(grid.rowHeight(2), 20);
        grid.setDefaultRowHeight(24);
        QCOMPARE(grid.rowHeight(0), 24);
        QCOMPARE(grid.rowHeight(3), 24);
        grid.setRowCount(6);
        QCOMPARE(grid.rowHeight(5), 24);

        grid.setColumnWidth(0, 30);
        QCOMPARE(grid.columnWidth(0), 30);
        QCOMPARE(grid.verticalHeader()->width(), 30);
        grid.setColumnWidth(2, 123);
        QCOMPARE(grid.columnWidth(2), 123);
        QCOMPARE(grid.QTableWidget::columnWidth(1), 123);

        QVERIFY(grid.textWidth("WWWW") > grid.textWidth("W"));
        QCOMPARE(grid.textWidth(""), 0);
        QCOMPARE(grid.textWidth("abc"), QFontMetrics(grid.font()).horizontalAdvance("abc"));
    }

    void updateBracketNests()
    {
        StringGrid grid;
        grid.beginUpdate();
        grid.beginUpdate();
        grid.endUpdate();
        QVERIFY(!grid.updatesEnabled());
        grid.endUpdate();
        QVERIFY(grid.updatesEnabled());
        grid.endUpdate(); // unmatched: harmless
        QVERIFY(grid.updatesEnabled());
    }
};

QTEST_MAIN(TestStringGrid)
#include "tst_stringgrid.moc"
