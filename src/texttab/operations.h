#pragma once
// What the TEXT tab's commands do to the drawing and to textArray, apart
// from the window: each works on a cad::Document, takes the lines and steps
// as values and answers with a report. The handlers (AcquireTexts,
// WriteBackTexts, AlignTexts, AcquireAttributeLines) read the widgets, hold
// the busy state and show the report.

#include "cad/objectmodel.h"

#include <QStringList>

#include <functional>

namespace lumo {

// What a run shows of itself: progress(at, of) names the entry it is at
// (1-based); keepGoing() lets events through and answers false once "中止"
// was pressed. Left out, they show nothing and never stop.
struct RunHooks {
    std::function<void(int at, int of)> progress = [](int, int) {};
    std::function<bool()> keepGoing = [] { return true; };
};

struct PickReport {
    int picked = 0; // entities in the pick; with none, textArray is left as it was
    int taken = 0;  // of them, made entries of textArray
};

// Picks TEXTs on screen into textArray, in selection order, leaving out those
// on locked layers. keepGoing() runs before each text taken; the pick has no
// stop.
PickReport PickTexts(const cad::Document &doc, const RunHooks &hooks = {});

// Picks block references on screen (comboText names the tag and the block
// filter, as in the tag box) and makes textArray of their attributes of the
// tag, in selection order. progress(0, picked) once the pick is counted,
// then progress(i, picked) before reference i.
PickReport PickAttributeLines(const cad::Document &doc, const QString &comboText, const RunHooks &hooks = {});

struct WriteBackReport {
    bool zeroStep = false; // lines beyond the snapshot were not added: dX, dY are 0
    QString failure;       // the error that ended the run; null when none did
};

// Writes the lines back over textArray in one undo group: changed strings,
// erased and recreated entities, lines beyond the snapshot added one (dx, dy)
// step apart (not for attribute lines). progress() before each entry,
// keepGoing() after it. textArray keeps its entries past the last line with
// text; the caller cuts them once it has told the user of a failure.
WriteBackReport WriteLinesBack(const cad::Document &doc, const QStringList &lines, double dx, double dy,
                               bool attributeLines, const RunHooks &hooks = {});

struct AlignReport {
    bool failed = false; // an error ended the run; the undo group was closed
};

// Lays textArray's texts out on a (dx, dy) grid from the first one in one
// undo group, creating the extra lines and erasing what the lines no longer
// hold. progress() before each entry; the run has no stop.
AlignReport AlignLines(const cad::Document &doc, const QStringList &lines, double dx, double dy,
                       const RunHooks &hooks = {});

} // namespace lumo
