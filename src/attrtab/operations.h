#pragma once
// The attribute tab's operations, without widgets: each works on the active
// drawing and the snapshot (blkArray, attArray), takes what the user entered
// as values and reports what it did. Progress, "中止" and the grid filling
// row by row come in as callbacks; the handlers read the controls, call
// these and show the report.

#include "attrtab/attrtab.h"

#include "cad/writereport.h"

namespace lumo {

// An attribute of a row as the grid places it: column 1..k, slot m for attArray[m - 1].
struct RowCell {
    int col = 0;
    int slot = 0;
};

// How an acquisition shows itself; any of these may be left empty.
struct AcquireSteps {
    // The pick is over with `count` references in the selection set.
    std::function<void(int count)> picked;
    // Before picked reference i (phase 1); false stops there, and no row is kept.
    std::function<bool(int i)> beforeReference;
    // blkArray is final and sorted; prompts as GetTagPrompts gives them.
    std::function<void(const QStringList &prompts)> beginRows;
    // Before row i (phase 2); false stops there, the rows read so far stay.
    std::function<bool(int i)> beforeRow;
    // Row i as read; a failure part-way leaves the cells before it.
    std::function<void(int i, const QList<RowCell> &cells)> row;
};

// "取得" from the pick on: the user picks block references (of
// tagSet.blockName when it names one); those carrying a tag of the set
// become blkArray, ordered by position, and their attributes of the set
// attArray. Errors of the pick, of the selection set or of reading a row's
// reference end it and propagate. True when both phases ran, to the end or
// to a stop; false with no tag set or nothing picked.
bool AcquireAttributeRows(const cad::Document &doc, const TagSet &tagSet, const AcquireSteps &steps = {});

// A grid cell to write: the text for the attribute of object slot `slot`.
struct CellText {
    int slot = 0;
    QString text;
};

using cad::WriteReport;

// "更新": every cell that holds an attribute, changed or not, in one undo
// group; a written text becomes the attribute's stored value.
WriteReport WriteAttributeCells(const cad::Document &doc, const QList<CellText> &cells);

// Enter with "Enter = 更新": one cell, no undo group; the stored value and
// point are read back from the attribute.
WriteReport WriteAttributeCell(const cad::Document &doc, const CellText &cell);

} // namespace lumo
