#pragma once
// The search tab's snapshot: one record per TEXT entity a search found, in
// text order. Grid row r shows searchArray[r] and holds r + 1 in its slot.

#include "protocol/automation.h"
#include "cad/drawingsource.h"

#include <QList>
#include <QString>

#include <functional>

namespace lumo {

struct Lumo2 {
    QString sHnd;
    QString text;      // the string at the search, or as this tab last wrote it
    cad::Point insPt;  // read at the search and again after each write
    QString lay;
    int index = 0;     // position in the selection set that found it
    bool locked = false; // the layer was locked at the search
};

extern QList<Lumo2> searchArray;
// The drawing searchArray was read from.
extern cad::DrawingSource searchArrayDrawing;

// The pattern handed to the CAD's filter for what is in the pattern box.
QString SearchPattern(const QString &box, bool prefixOnly);

// Ordinal UTF-16 comparison, case-sensitive; a proper prefix sorts first.
bool TextLess(const QString &a, const QString &b);

// Progress of a pass: called about a hundred times with (step, of); a false
// answer abandons the sort (the caller then throws the results away).
using SortProgress = std::function<bool(int step, int of)>;

// Sorts by text, O(n log n); equal texts keep their selection order.
// Returns false when the progress callback stopped it (entries unchanged).
bool SortSearchResults(QList<Lumo2> &entries, const SortProgress &progress = {});

} // namespace lumo
