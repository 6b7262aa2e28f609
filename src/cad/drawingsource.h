#pragma once
// Which drawing a snapshot was read from. Handles are unique only inside one
// drawing and the user may switch drawings at any time, so whatever writes
// through a snapshot first checks that the active drawing is still that one.

#include "cad/objectmodel.h"

#include <QString>

class QWidget;

#include <optional>

namespace cad {

struct DrawingSource {
    QString fullName;   // the path; empty for a drawing never saved
    QString name;       // tells drawings never saved apart ("Drawing1.dwg")
    bool known = false; // false: the CAD's documents have neither member

    // Reads FullName, and Name when there is no path. A CAD whose documents
    // answer neither gives an unknown source, which matches any drawing.
    static DrawingSource of(const Document &doc);

    // A drawing saved under another name in between counts as another one:
    // the user acquires again rather than risk the wrong entities.
    bool sameAs(const DrawingSource &other) const;
    QString displayName() const { return fullName.isEmpty() ? name : fullName; }
};

// Null when the snapshot taken from `source` may be written into the active
// drawing `doc`; otherwise the message that tells the user why nothing was
// written.
std::optional<QString> wrongDrawingMessage(const DrawingSource &source, const Document &doc);

// True, after telling the user in one information box, when the snapshot
// taken from `source` must not be written into `doc`.
bool refuseOtherDrawing(const DrawingSource &source, const Document &doc, QWidget *parent);

} // namespace cad
