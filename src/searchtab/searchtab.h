#pragma once
// The search tab: wildcard search over every TEXT of the drawing, the result
// grid with its painting, keys and tracking, and the write-back. The main
// window's handlers call these with the tab's controls.

#include "searchtab/lumo2.h"
#include "widgets/formfields.h"

#include <Qt>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPainter;
class QRect;
class QToolButton;
class QWidget;

namespace widgets {
class StringGrid;
}

namespace lumo {

class TUndoCells;

struct SearchTab {
    QWidget *mainWindow = nullptr;
    FormFields *fields = nullptr;
    QLineEdit *patternBox = nullptr;    // Edit3
    QLabel *patternLabel = nullptr;     // "検索 (部分一致)"
    QToolButton *searchButton = nullptr; // "検索" / "中止"
    QToolButton *writeButton = nullptr; // "更新"
    QLabel *countLabel = nullptr;
    QCheckBox *prefixBox = nullptr;     // "先頭一致"
    QCheckBox *upperBox = nullptr;      // "a->A"
    QCheckBox *enterWriteBox = nullptr; // "Enter=更新"
    QCheckBox *enterDownBox = nullptr;  // "Enter=[↓]"
    widgets::StringGrid *grid = nullptr;
    // The grid's undo stack (the main window creates it after the tab is wired).
    std::function<TUndoCells *()> undoCells;
    std::function<void(int panel, const QString &text)> setStatusPanel;
    std::function<bool()> isActivePage;

    // A search is between its start and its end (also while a stop unwinds it).
    bool running = false;
};

// One column as wide as the grid, no fixed cells, rows 20 px, editable.
void SetupSearchGrid(SearchTab &tab);

// "検索" / "中止": search, or stop the search that runs.
void StartOrStopSearch(SearchTab &tab);
// "先頭一致" / "a->A": search again at once when there is a pattern.
void SearchOptionClicked(SearchTab &tab, bool upperBoxClicked);

// Puts searchArray into the grid (one empty row when it is empty). With a
// keepGoing callback the rows go in chunks, asking between them; false when
// it said stop.
bool FillSearchGrid(SearchTab &tab, const std::function<bool()> &keepGoing = {});

// The grid's hooks.
void DrawSearchCell(SearchTab &tab, QPainter &painter, int col, int row, const QRect &rect, bool selected);
void SearchGridEditText(SearchTab &tab, int col, int row);
void SearchGridKeyDown(SearchTab &tab, int &key, Qt::KeyboardModifiers shift);
void SearchGridClick(SearchTab &tab);
// A cell's text changed: an emptied cell takes back its snapshot text, and
// an edited row makes "更新" usable, also for rows out of view.
void SearchCellChanged(SearchTab &tab, int row);

// "更新": write every edited row.
void WriteSearchResults(SearchTab &tab);

// True when any row's text differs from its record.
bool HasEditedRows(const SearchTab &tab);

} // namespace lumo
