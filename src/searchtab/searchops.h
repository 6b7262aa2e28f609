#pragma once
// The search tab's work on the drawing, apart from the window: each
// operation takes the snapshot and what the user typed as values and
// answers what it did; the tab's handlers read the controls and show it.

#include "searchtab/lumo2.h"

#include "cad/objectmodel.h"
#include "cad/writereport.h"

#include <functional>

namespace lumo {

// Where a search stands, for the window to show.
struct SearchProgress {
    // The CAD's filter found `count` TEXTs.
    std::function<void(int count)> selected;
    // Before TEXT `index` of `count` is taken; false stops the search.
    std::function<bool(int index, int count)> reading;
};

// Selects every TEXT of `doc` whose string matches `pattern` (the CAD's
// wildcard filter) and reads each, in selection order. A TEXT that cannot
// be read (erased meanwhile) is left out; a failing filter finds nothing.
// False when the progress callback stopped it.
bool FindTexts(const cad::Document &doc, const QString &pattern, QList<Lumo2> &found,
               const SearchProgress &progress);

// Marks the records whose layer is in the locked-layer list.
void MarkLockedRecords(QList<Lumo2> &records, const QString &lockedList);

// A row the user changed: the record it shows (0-based) and its text.
struct SearchEdit {
    int record = 0;
    QString text;
};

using cad::WriteReport;

// Writes every edit in one undo group; edits on locked layers count as
// locked and are never tried. A null document writes nothing and
// the report only counts. A written record takes the new text and its
// TEXT's insertion point; one the CAD refused (erased, locked meanwhile)
// stays as it was and counts among the targets only.
WriteReport WriteSearchEdits(const cad::Document &doc, QList<Lumo2> &records, const QList<SearchEdit> &edits);

// Writes one TEXT on its own, no undo group; the record then holds what the
// CAD holds. Throws the CAD's error when the TEXT cannot be written.
void WriteSearchText(const cad::Document &doc, Lumo2 &record, const QString &text);

// What "更新" tells the user about a write-back.
QString WriteReportMessage(const WriteReport &report);

} // namespace lumo
