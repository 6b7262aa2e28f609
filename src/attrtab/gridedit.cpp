// Editing the attribute grid: keys, the cell editor, painting, moving to a
// cell, drag selection, undo and the write-back.

#include "attrtab/attrtab.h"
#include "attrtab/operations.h"
#include "widgets/grideditkey.h"

#include "cad/connection.h"
#include "cad/tracking.h"
#include "widgets/messagebox.h"
#include "widgets/stringgrid.h"

#include <QCheckBox>
#include <QPainter>
#include <QWidget>

namespace lumo {

using namespace cad;
using widgets::showMessage;

void WriteBackAttributes(AttrTab &tab)
{
    if (!IsCadRunning())
        return;
    widgets::StringGrid &grid = *tab.grid;
    // What the open editor shows is what the user means to write.
    grid.hideEditor(true);
    QList<CellText> cells;
    for (int r = 1; r < grid.rowCount(); ++r)
        for (int c = 1; c < grid.colCount(); ++c)
            cells.append({grid.objects(c, r), grid.cells(c, r)});
    Application app = AttachCad();
    ActivateCad(app, ActivateLevel::FrontEsc);
    const WriteReport report = WriteAttributeCells(app.activeDocument(), cells);
    if (report.otherDrawing) {
        showMessage(widgets::MessageKind::Information, *report.otherDrawing, tab.mainWindow);
        return;
    }
    // Written cells lose their red; refused ones keep it.
    grid.viewport()->update();
}

void UndoAttributeGrid(AttrTab &tab)
{
    UndoGridByButton(*tab.undo, *tab.grid, tab.fields->sgUndoCnt);
    tab.grid->viewport()->update();
}

namespace {

// Enter with "Enter = 更新": the current cell written alone, no undo group.
void writeCurrentCell(AttrTab &tab)
{
    widgets::StringGrid &grid = *tab.grid;
    const int slot = grid.objects(grid.col(), grid.row());
    nAtt *att = attributeOfSlot(slot);
    if (!att)
        return;
    const QString text = grid.editorText();
    if (text == att->text || !IsCadRunning())
        return;
    // Not written: the cell shows the stored value again, in the open editor
    // too, or its commit would bring the text back.
    const auto putBack = [&] {
        grid.setEditorText(att->text);
        grid.setCells(grid.col(), grid.row(), att->text);
    };
    try {
        const Application app = AttachCad();
        const WriteReport report = WriteAttributeCell(app.activeDocument(), {slot, text});
        if (report.otherDrawing)
            showMessage(widgets::MessageKind::Information, *report.otherDrawing, tab.mainWindow);
        if (report.written == 0)
            putBack();
    } catch (const AutomationError &) {
        putBack(); // the CAD could not be reached
    }
}

void moveAfterEnter(AttrTab &tab)
{
    widgets::StringGrid &grid = *tab.grid;
    const int col = grid.col();
    const int row = grid.row();
    if (!tab.enterDownBox->isChecked()) {
        if (col + 1 < grid.colCount() && grid.objects(col + 1, row) >= 1)
            grid.setCol(col + 1);
        else if (row + 1 < grid.rowCount() && grid.objects(1, row + 1) >= 1)
            grid.setCurrentCell(1, row + 1);
        return;
    }
    if (!grid.isEditorOpen())
        return;
    grid.setRow(row + 1 < grid.rowCount() ? row + 1 : 1);
}

} // namespace

void AttrGridKeyDown(AttrTab &tab, int &key, Qt::KeyboardModifiers shift)
{
    widgets::StringGrid &grid = *tab.grid;
    if (key == Qt::Key_Return) {
        if (tab.enterWriteBox->isChecked() && !attArray.isEmpty())
            writeCurrentCell(tab);
        moveAfterEnter(tab);
        return;
    }
    if ((shift & Qt::ControlModifier) && key == Qt::Key_Z) {
        key = 0;
        UndoGridByKey(*tab.undo, grid, tab.fields->sgUndoCnt);
        grid.viewport()->update();
        return;
    }
    GridEditKey(grid, *tab.undo, tab.fields->sgUndoCnt, key, shift);
}

void AttrGridGetEditText(AttrTab &tab, int col, int row)
{
    tab.undo->Add(tab.grid, col, row);
    tab.fields->sgUndoCnt = 1;
}

void AttrGridDrawCell(AttrTab &tab, QPainter &painter, int col, int row, const QRect &rect, bool selected)
{
    if (col < 1 || row < 1)
        return;
    widgets::StringGrid &grid = *tab.grid;
    const int slot = grid.objects(col, row);
    const nAtt *att = attributeOfSlot(slot);
    if (!att) {
        painter.fillRect(rect, QColor(192, 192, 192));
        return;
    }
    const QString text = grid.cells(col, row);
    if (text == att->text)
        return;
    painter.fillRect(rect, grid.palette().color(selected ? QPalette::Highlight : QPalette::Base));
    painter.setPen(QColor(255, 0, 0));
    painter.setFont(grid.font());
    painter.drawText(rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

void AttrGridClick(AttrTab &tab, int col, int row)
{
    widgets::StringGrid &grid = *tab.grid;
    const nAtt *att = attArray.isEmpty() ? nullptr : attributeOfSlot(grid.objects(col, row));
    if (!att) {
        tab.setStatusPanel(0, QString());
        tab.setStatusPanel(1, QString());
        grid.setEditing(false);
        return;
    }
    tab.setStatusPanel(0, att->sHnd);
    grid.setEditing(true);
    if (!tab.panBox->isChecked())
        return;
    tab.setStatusPanel(1, att->text);
    const Point point = att->insPt;
    if (!IsCadRunning())
        return;
    try {
        const Application app = AttachCad();
        ShowPointInCad(app, point, 3, false, 0.05, blkArrayDrawing);
    } catch (const AutomationError &) {
        // Tracking never interrupts the user.
    }
}

void AttrGridFixedCellClick(AttrTab &tab, int col, int row)
{
    widgets::StringGrid &grid = *tab.grid;
    const int lastCol = grid.colCount() - 1;
    const int lastRow = grid.rowCount() - 1;
    if (col == 0 && row == 0)
        grid.setSelection({1, 1, lastCol, lastRow});
    else if (row == 0)
        grid.setSelection({col, 1, col, lastRow});
    else if (col == 0)
        grid.setSelection({1, row, lastCol, row});
    grid.viewport()->update();
}

void AttrGridMouseDown(AttrTab &tab, Qt::MouseButton button, const QPoint &pos)
{
    if (button != Qt::LeftButton)
        return;
    const QPoint cell = tab.grid->mouseToCell(pos);
    if (cell.x() >= 1 && cell.y() >= 1) {
        tab.fields->startCol = cell.x();
        tab.fields->startRow = cell.y();
    }
}

void AttrGridMouseMove(AttrTab &tab, const QPoint &pos)
{
    FormFields &f = *tab.fields;
    if (f.startCol < 0 || f.startRow < 0)
        return;
    widgets::StringGrid &grid = *tab.grid;
    const QPoint cell = grid.mouseToCell(pos);
    if (cell.x() < 0 || cell.y() < 0)
        return;
    if (cell.x() == f.startCol && cell.y() == f.startRow)
        return;
    if (cell.x() == f.moveCol && cell.y() == f.moveRow)
        return;
    // Over the number column or the header row the rectangle stops at the
    // first data column or row.
    const int col = qMax(cell.x(), 1);
    const int row = qMax(cell.y(), 1);
    grid.setCurrentCell(col, row, true);
    grid.setSelection({f.startCol, f.startRow, col, row});
    grid.viewport()->update();
    f.moveCol = cell.x();
    f.moveRow = cell.y();
}

void AttrGridMouseUp(AttrTab &tab)
{
    tab.fields->startCol = -1;
    tab.fields->startRow = -1;
    tab.grid->viewport()->update();
}

} // namespace lumo
