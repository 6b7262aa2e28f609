#pragma once
// The main window's fields that the handlers of several tabs share. The main
// window inherits them; the tabs' code gets them by reference, so it never
// needs the main window class itself.

#include <QString>

namespace lumo {

struct FormFields {
    bool runFlag = false;   // a long operation runs; its stop button clears it
    bool undoFlag = false;  // a saved editor text can be restored
    QString undoText;       // the editor text saved by UndoMark
    bool ATTmode = false;   // the editor holds attribute lines, not TEXT lines
    int iLineLast = 0;      // data lines of the editor, as last shown
    int CaretY_Old = 0;     // caret line of the last tracking step
    int sgUndoCnt = 0;      // entries of the attribute grid's last edit batch
    int sgUndoCnt2 = 0;     // the same for the search result grid
    int startCol = -1;      // drag-selection start in the attribute grid
    int startRow = -1;
    int moveCol = 0;        // last drag-selection cell
    int moveRow = 0;
};

} // namespace lumo
