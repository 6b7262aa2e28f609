#include "widgets/grideditkey.h"

#include "widgets/undocells.h"
#include "widgets/stringgrid.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QStringList>

namespace lumo {

namespace {

// Pushes and empties every selected cell, row by row; returns how many.
int emptySelection(widgets::StringGrid &grid, TUndoCells &undo)
{
    const widgets::GridRect sel = grid.selection();
    int count = 0;
    for (int r = sel.top; r <= sel.bottom; ++r)
        for (int c = sel.left; c <= sel.right; ++c) {
            undo.Add(&grid, c, r);
            grid.setCells(c, r, QString());
            ++count;
        }
    return count;
}

void putOnClipboard(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    clipboard->setText(text);
    // The clipboard can be held by another program for a moment; one more
    // try, and whatever it gives is accepted.
    if (clipboard->text() != text)
        clipboard->setText(text);
}

} // namespace

QString GridSelectionText(const widgets::StringGrid &grid)
{
    const widgets::GridRect sel = grid.selection();
    QString text;
    for (int r = sel.top; r <= sel.bottom; ++r)
        for (int c = sel.left; c <= sel.right; ++c) {
            text += grid.cells(c, r);
            text += c < sel.right ? QStringLiteral("\t") : QStringLiteral("\r\n");
        }
    return text;
}

int GridPasteText(widgets::StringGrid &grid, TUndoCells &undo, const QString &text)
{
    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast(); // what follows the last CR LF is no complete line
    const widgets::GridRect sel = grid.selection();
    const int lineCount = static_cast<int>(lines.size());
    const int lastCol = grid.colCount() - 1;
    const int lastRow = grid.rowCount() - 1;
    int written = 0;
    for (int i = 0; i < lineCount; ++i) {
        const QStringList fields = lines[i].split(QLatin1Char('\t'));
        for (int n = 0; n < fields.size(); ++n) {
            const int col = sel.left + n;
            if (col > lastCol)
                break; // the grid ends here: the rest of the line is dropped
            // Once at the line's own row, then repeated downwards by the
            // block's height while inside the selection.
            for (int row = sel.top + i; row <= lastRow; row += lineCount) {
                if (row != sel.top + i && row > sel.bottom)
                    break;
                undo.Add(&grid, col, row);
                grid.setCells(col, row, fields[n]);
                ++written;
            }
        }
    }
    return written;
}

void GridEditKey(widgets::StringGrid &grid, TUndoCells &undo, int &undoCnt, int &key,
                 Qt::KeyboardModifiers shift)
{
    if (key == Qt::Key_Delete) {
        const widgets::GridRect sel = grid.selection();
        if (sel.left == sel.right && sel.top == sel.bottom)
            return; // one cell: the cell editor deletes a character
        key = 0;
        grid.hideEditor(true);
        undoCnt = emptySelection(grid, undo);
        grid.viewport()->update();
        return;
    }
    if (!(shift & Qt::ControlModifier))
        return;
    if (key == Qt::Key_C || key == Qt::Key_X) {
        const bool cut = key == Qt::Key_X;
        key = 0;
        if (cut)
            grid.hideEditor(true);
        putOnClipboard(GridSelectionText(grid));
        undoCnt = qMax(cut ? emptySelection(grid, undo) : 0, 1);
        grid.viewport()->update();
    } else if (key == Qt::Key_V) {
        key = 0;
        grid.hideEditor(true);
        const QClipboard *clipboard = QGuiApplication::clipboard();
        const QString text = clipboard ? clipboard->text() : QString();
        undoCnt = qMax(GridPasteText(grid, undo, text), 1);
        grid.viewport()->update();
    }
}

} // namespace lumo
