#include "widgets/undocells.h"

#include "widgets/stringgrid.h"

namespace lumo {

TUndoCells::TUndoCells() = default;

TUndoCells::~TUndoCells()
{
    Clear();
}

TUndoCell::Lane *TUndoCells::lane(const widgets::StringGrid *aGrid) const
{
    const auto found = FLanes.find(aGrid);
    return found == FLanes.end() ? nullptr : found->second.get();
}

TUndoCell *TUndoCells::Add(widgets::StringGrid *aGrid, int ACol, int ARow)
{
    auto cell = std::make_unique<TUndoCell>();
    cell->FGrid = aGrid;
    cell->FX = ACol;
    cell->FY = ARow;
    cell->FText = aGrid ? aGrid->cells(ACol, ARow) : QString();

    std::unique_ptr<TUndoCell::Lane> &slot = FLanes[aGrid];
    if (!slot)
        slot = std::make_unique<TUndoCell::Lane>();
    TUndoCell::Lane &own = *slot;

    // The level the new entry would get is the number of entries the grid
    // holds; at the limit the oldest goes first, which renumbers the rest.
    const auto level = static_cast<long long>(own.entries.size());
    if (FUndoLevels > 0 && !own.entries.empty() && level >= FUndoLevels) {
        TUndoCell *oldest = own.entries.front();
        own.entries.pop_front();
        ++own.base;
        FList.erase(oldest->FPos);
    }
    cell->FLane = &own;
    cell->FSeq = own.base + static_cast<long long>(own.entries.size());
    TUndoCell *added = cell.get();
    own.entries.push_back(added);
    FList.push_back(std::move(cell));
    added->FPos = std::prev(FList.end());
    return added;
}

bool TUndoCells::Undo(widgets::StringGrid *aGrid)
{
    TUndoCell::Lane *own = lane(aGrid);
    if (!own || own->entries.empty())
        return false;
    TUndoCell *newest = own->entries.back();
    own->entries.pop_back();
    // Take the entry off the list before touching the grid: moving the current
    // cell runs the grid's handlers, which may push or undo again.
    std::unique_ptr<TUndoCell> entry = std::move(*newest->FPos);
    FList.erase(newest->FPos);
    if (aGrid) {
        aGrid->setCells(entry->FX, entry->FY, entry->FText);
        aGrid->setCol(entry->FX);
        aGrid->setRow(entry->FY);
    }
    return true;
}

void TUndoCells::Clear()
{
    FList.clear();
    FLanes.clear();
}

TUndoCell *TUndoCells::GetItem(int X) const
{
    if (X < 0 || X >= Count())
        return nullptr;
    // Walk from the nearer end.
    if (X < Count() / 2) {
        auto it = FList.begin();
        std::advance(it, X);
        return it->get();
    }
    auto it = FList.end();
    std::advance(it, X - Count());
    return it->get();
}

int TUndoCells::CountFor(const widgets::StringGrid *aGrid) const
{
    const TUndoCell::Lane *own = lane(aGrid);
    return own ? static_cast<int>(own->entries.size()) : 0;
}

// ---- batches ---------------------------------------------------------------------

UndoBatch::UndoBatch(TUndoCells &stack, widgets::StringGrid &grid, int &counter)
    : m_stack(stack), m_grid(grid), m_counter(counter)
{
}

UndoBatch::~UndoBatch()
{
    finish();
}

void UndoBatch::push(int col, int row)
{
    m_stack.Add(&m_grid, col, row);
    ++m_pushed;
}

void UndoBatch::setCell(int col, int row, const QString &text)
{
    push(col, row);
    m_grid.setCells(col, row, text);
}

void UndoBatch::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_counter = qMax(m_pushed, 1);
}

// An open cell editor is closed without committing: committing it later
// would write the abandoned text over the cell just restored.
void UndoGridByKey(TUndoCells &stack, widgets::StringGrid &grid, int &counter)
{
    grid.hideEditor(false);
    const int count = counter <= 0 ? 1 : counter;
    for (int i = 0; i < count; ++i)
        if (!stack.Undo(&grid))
            break;
    counter = 0;
}

void UndoGridByButton(TUndoCells &stack, widgets::StringGrid &grid, int counter)
{
    if (counter > 0)
        grid.hideEditor(false);
    for (int i = 0; i < counter; ++i)
        if (!stack.Undo(&grid))
            break;
}

} // namespace lumo
