#pragma once
// The shared steps of every CAD operation: check that the target runs,
// attach, bring its window forward, the locked-layer list, the temporary
// selection set and the undo group. No CAD object outlives an operation.

#include "cad/objectmodel.h"
#include "cad/runningobjects.h"
#include "cad/windowops.h"

#include <functional>

namespace cad {

inline const QString kDefaultProgID = QStringLiteral("BricscadApp.AcadApplication");

// The backends the steps go through; the program sets them once at start,
// tests swap in the in-process table and the recording fake.
struct Platform {
    RunningObjects *objects = nullptr;
    WindowOps *windows = nullptr;
};
Platform &platform();
void setPlatform(RunningObjects *objects, WindowOps *windows);
RunningObjects &runningObjects();
WindowOps &windowOps();

// The ProgID every operation attaches to.
QString &targetProgID();

bool IsCadRunning();
// Attach to the running target; throws AutomationError.
Application AttachCad();

enum class ActivateLevel {
    Restore = 1,  // restore a minimised CAD window only
    Front = 2,    // restore and bring to the front
    FrontEsc = 3, // restore, front, and cancel a running CAD command with ESC
};
// `beforeFront` runs between restoring and fronting: the picking operations
// minimise the tool's own window there.
void ActivateCad(const Application &app, ActivateLevel level, const std::function<void()> &beforeFront = {});

void ForceForegroundWindow(WindowHandle window);

// TAB, then each locked layer's name followed by a TAB, in layer-table order.
QString LockedLayerList(const Document &doc);
bool IsLayerLocked(const QString &lockedList, const QString &layer);

// The document's "SSTEMP" set, cleared; errors are swallowed (the result is then null).
SelectionSet GetTempSelectionSet(const Document &doc);

// Clears and deletes the temporary selection set on every path out of scope.
class TempSelectionSetGuard {
public:
    explicit TempSelectionSetGuard(SelectionSet &set) : m_set(set) {}
    ~TempSelectionSetGuard();
    TempSelectionSetGuard(const TempSelectionSetGuard &) = delete;
    TempSelectionSetGuard &operator=(const TempSelectionSetGuard &) = delete;

private:
    SelectionSet &m_set;
};

// Opens one CAD undo group and always closes it, also when the operation
// ends with an error, so the drawing is never left inside an open group.
class UndoGroup {
public:
    explicit UndoGroup(const Document &doc);
    ~UndoGroup();
    void close(); // EndUndoMark now; errors propagate
    UndoGroup(const UndoGroup &) = delete;
    UndoGroup &operator=(const UndoGroup &) = delete;

private:
    Document m_doc;
    bool m_open = false;
};

// The filter of the pick calls: one code, one value.
struct SelectionFilter {
    QList<qint16> types;
    QVariantList data;
};
SelectionFilter entityTypeFilter(const QString &type);

// Empties the set and lets the user pick into it through the filter. A
// cancelled pick leaves the set as it stands, to be read as it is.
void PickOnScreen(const SelectionSet &set, const SelectionFilter &filter);
// Empties the set and selects every entity of the drawing the filter
// passes; a filter the CAD refuses finds nothing.
void SelectAll(const SelectionSet &set, const SelectionFilter &filter);

// Puts a new string into the TEXT or attribute of the handle and has the
// CAD redraw it; the entity, for what the caller reads back.
Entity WriteTextString(const Document &doc, const QString &handle, const QString &text);

} // namespace cad
