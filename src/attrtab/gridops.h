#pragma once
// Whole-grid operations on a string grid: clearing, column widths, sorting
// the data rows. They know nothing of the CAD.

namespace widgets { class StringGrid; }

namespace lumo {

// Empties every cell and sets every object slot to 0, fixed cells included.
void ClearGrid(widgets::StringGrid &grid);

// Each column (the number column too) becomes as wide as its widest text,
// header included, plus `margin`; a column whose texts are all empty keeps
// its width.
void AutoSizeColumns(widgets::StringGrid &grid, int margin);

// Sorts data rows 1..RowCount-1 by the text of column key1 followed by that
// of key2 (-1: no column). Text keys compare ordinally by UTF-16 code unit;
// numeric keys as numbers in the locale's notation, 0 for anything else.
// Whole rows move, texts and object slots alike. The order equal keys end up
// in is that of an exchange sort.
void SortGridRows(widgets::StringGrid &grid, int key1, int key2, bool numeric);

} // namespace lumo
