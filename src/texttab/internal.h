#pragma once
// Steps shared by the TEXT tab's operations.

#include "texttab/operations.h"
#include "texttab/texttab.h"
#include "widgets/longrun.h"

class QLineEdit;

namespace lumo::detail {

extern const QString kInsert;

// Back to normal size and in front after an operation that picked on screen.
void restoreOwnWindow(TextTab &tab);
void setTextColour(QLineEdit *box, const QColor &colour);
// "at / of" in the progress label, at most every 50 ms (and always at the ends).
void showProgress(TextTab &tab, int at, int of);
// The point acquisition reads: the alignment point for justified text.
cad::Point referencePoint(const cad::Entity &e, int alignment);
// Writes the point through the property that matches the entity's alignment
// (read from the CAD, or the one the snapshot keeps); an Aligned or Fit text
// moves whole, its two points by the same step.
void placeAt(const cad::Entity &e, const cad::Point &p);
void placeAt(const cad::Entity &e, int alignment, const cad::Point &p);
// The snapshot's texts become the editor's lines, caret at the start.
void showSnapshotLines(TextTab &tab);
// dX, dY from the last two entries into the boxes, red when both read back
// as 0; answers whether the step is usable.
bool showStepOfLastTwo(TextTab &tab);
// An acquisition that picks on screen ("TEXT", "ATTR"): empties the labels
// and panels and sets the mode at the start, brings the own window back at
// the end on every path.
class PickingRun {
public:
    PickingRun(TextTab &tab, bool attributeLines);
    ~PickingRun();
    // Fronts the CAD with ESC, the own window minimised out of the way.
    void activate(const cad::Application &app) const;
    PickingRun(const PickingRun &) = delete;
    PickingRun &operator=(const PickingRun &) = delete;

private:
    TextTab &m_tab;
};

// A write-back or alignment runs: "中止" on, the progress label in place of
// "すべて選択", the rest locked, all of it undone on every path out.
class TextRun {
public:
    explicit TextRun(TextTab &tab);
    ~TextRun();
    TextRun(const TextRun &) = delete;
    TextRun &operator=(const TextRun &) = delete;
    // Progress in the label; events and "中止" through the run.
    RunHooks hooks() const;

private:
    TextTab &m_tab;
    LongRun m_run;
};

} // namespace lumo::detail
