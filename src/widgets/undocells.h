#pragma once
// Cell undo stack of the string grids. Before a cell's text changes, its old
// text goes onto the stack with the cell's position; undo pops per grid,
// newest first. One stack may hold the entries of several grids.

#include <QString>

#include <cstddef>
#include <deque>
#include <list>
#include <memory>
#include <unordered_map>

namespace widgets { class StringGrid; }

namespace lumo {

class TUndoCells;

// One undo entry: the text a cell held before a change.
class TUndoCell
{
public:
    widgets::StringGrid *Grid() const { return FGrid; }
    const QString &Text() const { return FText; }
    int X() const { return FX; }
    int Y() const { return FY; }
    // 0 for the grid's oldest entry, one more for each newer one.
    int UndoLevel() const;

private:
    friend class TUndoCells;
    struct Lane;
    widgets::StringGrid *FGrid = nullptr;
    QString FText;
    int FX = 0;
    int FY = 0;
    // Levels of one grid are consecutive, so an entry keeps a running number
    // and its level is that number minus its grid's base: dropping the oldest
    // entry renumbers the rest without touching them.
    long long FSeq = 0;
    const Lane *FLane = nullptr;
    std::list<std::unique_ptr<TUndoCell>>::iterator FPos;
};

class TUndoCells
{
public:
    TUndoCells();
    virtual ~TUndoCells();
    TUndoCells(const TUndoCells &) = delete;
    TUndoCells &operator=(const TUndoCells &) = delete;

    // Records the current text of cell (ACol, ARow); call just before changing it.
    TUndoCell *Add(widgets::StringGrid *aGrid, int ACol, int ARow);
    // Takes back the newest entry of aGrid (text restored, cell made current);
    // returns false when the grid has none.
    bool Undo(widgets::StringGrid *aGrid);
    // Frees the entries of every grid.
    void Clear();

    // All entries of all grids in the order they were added. GetItem walks
    // the list: meant for inspection, not for inner loops.
    TUndoCell *GetItem(int X) const;
    TUndoCell *Items(int X) const { return GetItem(X); }
    int Count() const { return static_cast<int>(FList.size()); }
    // Entries held for one grid.
    int CountFor(const widgets::StringGrid *aGrid) const;

    // Most entries kept per grid; 0 means no limit.
    int UndoLevels() const { return FUndoLevels; }
    void SetUndoLevels(int levels) { FUndoLevels = levels; }

private:
    std::list<std::unique_ptr<TUndoCell>> FList;
    int FUndoLevels = 0;
    std::unordered_map<const widgets::StringGrid *, std::unique_ptr<TUndoCell::Lane>> FLanes;

    TUndoCell::Lane *lane(const widgets::StringGrid *aGrid) const;
};

// The entries of one grid, oldest first; an entry's level is its position.
struct TUndoCell::Lane
{
    std::deque<TUndoCell *> entries;
    long long base = 0; // running number of the entry at level 0
};

inline int TUndoCell::UndoLevel() const
{
    return static_cast<int>(FSeq - FLane->base);
}

// One user operation's run of entries on one grid. Push each cell before
// changing it (or let setCell do both); finish() — or the destructor — sets
// the grid's batch counter to the number of entries pushed, at least 1, so
// one undo request takes back the whole operation.
class UndoBatch
{
public:
    UndoBatch(TUndoCells &stack, widgets::StringGrid &grid, int &counter);
    ~UndoBatch();
    UndoBatch(const UndoBatch &) = delete;
    UndoBatch &operator=(const UndoBatch &) = delete;

    void push(int col, int row);
    void setCell(int col, int row, const QString &text); // push, then write
    int size() const { return m_pushed; }
    void finish();

private:
    TUndoCells &m_stack;
    widgets::StringGrid &m_grid;
    int &m_counter;
    int m_pushed = 0;
    bool m_finished = false;
};

// Ctrl+Z in a grid: pops `counter` entries (one when it is 0 or less), then
// the counter becomes 0, so further presses take back one entry each.
void UndoGridByKey(TUndoCells &stack, widgets::StringGrid &grid, int &counter);
// The "UNDO" button: pops `counter` entries (none when it is 0 or less) and
// leaves the counter alone, so each press takes back another batch that size.
void UndoGridByButton(TUndoCells &stack, widgets::StringGrid &grid, int counter);

} // namespace lumo
