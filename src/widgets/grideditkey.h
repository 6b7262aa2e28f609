#pragma once
// Range keys shared by the attribute grid and the search result grid:
// Delete on a range, Ctrl+C, Ctrl+X, Ctrl+V. Each grid passes its own undo
// stack and batch counter.

#include <QString>
#include <Qt>

namespace widgets { class StringGrid; }

namespace lumo {

class TUndoCells;

// key is a Qt::Key value; it becomes 0 when the key was handled here.
// undoCnt receives the size of the batch pushed onto `undo`.
void GridEditKey(widgets::StringGrid &grid, TUndoCells &undo, int &undoCnt,
                 int &key, Qt::KeyboardModifiers shift);

// The selection as clipboard text: cells separated by TAB, each row ended by
// CR LF.
QString GridSelectionText(const widgets::StringGrid &grid);

// Writes clipboard text into the grid from the selection's top-left cell,
// repeating downwards within the selection; returns the cells written (each
// pushed onto `undo` first). Text after the last CR LF is ignored and
// nothing is written outside the grid.
int GridPasteText(widgets::StringGrid &grid, TUndoCells &undo, const QString &text);

} // namespace lumo
