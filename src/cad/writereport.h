#pragma once
// What a write-back of rows or cells did, for the window to tell the user:
// one shape for the search rows and the attribute cells.

#include <QString>

#include <optional>

namespace cad {

struct WriteReport {
    // The snapshot came from another drawing than the active one: nothing
    // was tried, and this says why.
    std::optional<QString> otherDrawing;
    int targets = 0; // what the write tried
    int written = 0; // what the CAD took
    int locked = 0;  // on layers locked when the snapshot was taken: never tried
    // Tried but not taken: erased or locked in the CAD meanwhile.
    int refused() const { return targets - written; }
};

} // namespace cad
