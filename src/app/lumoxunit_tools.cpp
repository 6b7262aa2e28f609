// The text tools of the editor's and the attribute grid's popup menus: width
// conversion, replace, number addition and sequential numbering.

#include "app/lumoxunit.h"

#include "widgets/undocells.h"
#include "tools/kasanform.h"
#include "tools/numbers.h"
#include "tools/renban.h"
#include "tools/renbanform.h"
#include "tools/replace.h"
#include "tools/textlines.h"
#include "tools/tikanform.h"
#include "tools/widthcommands.h"
#include "tools/zenhanutil.h"
#include "widgets/lineeditor.h"
#include "widgets/longrun.h"
#include "widgets/stringgrid.h"

#include <QAction>
#include <QCoreApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <optional>

namespace lumo {

namespace {

using LineConversion = std::function<QString(const QString &)>;

LineConversion byWidthFunction(tools::WidthConversion convert)
{
    return [convert](const QString &text) {
        QString s = text;
        convert(s);
        return s;
    };
}

// One line-by-line run of a tool over the editor: runFlag set and "中止"
// enabled while it lasts. The editor and the commands that would change its
// lines under the run are locked meanwhile, so nothing typed or acquired
// during the pauses is overwritten when the run puts its lines back.
class ToolRun
{
public:
    explicit ToolRun(TLumoMainForm &form)
        : m_form(form), m_run(form, form.textTab().lockedWhileRunning, form.SpeedButton5)
    {
        // "Undo" restoring the text mid-run would be overwritten and lose the
        // saved text; the periodic refresh would enable it again, so it waits too.
        m_undoEnabled = m_form.SpeedButton4->isEnabled();
        m_form.SpeedButton4->setEnabled(false);
        m_timerActive = m_form.Timer1->isActive();
        m_form.Timer1->stop();
    }

    ~ToolRun()
    {
        m_form.SpeedButton4->setEnabled(m_undoEnabled || m_form.undoFlag);
        if (m_timerActive)
            m_form.Timer1->start();
    }

    ToolRun(const ToolRun &) = delete;
    ToolRun &operator=(const ToolRun &) = delete;

    // Lets pending events through (repaint, "中止"); false once the run was stopped.
    bool keepGoing() const { return m_run.keepGoing(); }

private:
    TLumoMainForm &m_form;
    LongRun m_run;
    bool m_undoEnabled = false;
    bool m_timerActive = false;
};

// Converts lines in place, pausing after each line (or only after each line
// that changed) so "中止" can stop the run; lines after the stop stay as they were.
void convertLines(ToolRun &run, QStringList &lines, const LineConversion &convert, bool pauseOnChangeOnly)
{
    for (QString &line : lines) {
        QString converted = convert(line);
        const bool changed = converted != line;
        line = std::move(converted);
        if (pauseOnChangeOnly && !changed)
            continue;
        if (!run.keepGoing())
            break;
    }
}

// A tool on every line of the editor, with the undo mark saved first.
void convertEveryLine(TLumoMainForm &form, const LineConversion &convert, bool pauseOnChangeOnly = false)
{
    widgets::LineEditor &ed = *form.SynEdit1;
    form.UndoMark(true);
    ToolRun run(form);
    QStringList lines = ed.lines();
    convertLines(run, lines, convert, pauseOnChangeOnly);
    ed.beginUpdate();
    ed.setLines(lines);
    ed.endUpdate();
}

enum class SelectionEnds {
    TrimResult,    // blanks at the ends of the result go
    TrimSelection, // the selection's own blanks go first: a width conversion
                   // would turn spaces into ideographic ones no trim removes
};

// A tool on the selected text, line by line. The result replaces the
// selection joined with line breaks and without blanks at either end.
void convertSelection(TLumoMainForm &form, const LineConversion &convert, bool pauseOnChangeOnly = false,
                      SelectionEnds ends = SelectionEnds::TrimResult)
{
    widgets::LineEditor &ed = *form.SynEdit1;
    if (ed.selectionLength() == 0)
        return;
    const QString selected = ed.selectedText();
    form.UndoMark(true);
    ToolRun run(form);
    QStringList lines = tools::SplitSelectionLines(
        ends == SelectionEnds::TrimSelection ? tools::TrimBlanks(selected) : selected);
    convertLines(run, lines, convert, pauseOnChangeOnly);
    ed.beginUpdate();
    ed.replaceSelection(tools::JoinSelectionLines(lines));
    ed.endUpdate();
}

// The selected data cells; nothing when the grid has no data cell.
std::optional<widgets::GridRect> selectedDataCells(const widgets::StringGrid &grid)
{
    widgets::GridRect r = grid.selection();
    r.left = qMax(r.left, grid.fixedCols());
    r.top = qMax(r.top, grid.fixedRows());
    r.right = qMin(r.right, grid.colCount() - 1);
    r.bottom = qMin(r.bottom, grid.rowCount() - 1);
    if (r.left > r.right || r.top > r.bottom)
        return std::nullopt;
    return r;
}

enum class GridRecord {
    EverySelectedCell, // one undo entry per selected cell, changed or not
    ChangedCellsOnly,  // entries only for the cells whose text changes
};

// Rewrites the selected cells of the grid as one undo batch, rows from top to
// bottom and columns from left to right, and sets the grid's batch counter to
// the entries pushed. A command that would change no cell pushes nothing and
// leaves the counter alone: the next "UNDO" still takes back the last real
// batch instead of one entry of an older one.
void rewriteSelectedCells(TUndoCells &undo, widgets::StringGrid &grid, int &counter, const LineConversion &convert,
                          GridRecord record, bool repaintOnChange = false)
{
    // A cell editor left open would write its stale text over the result.
    grid.hideEditor(true);
    const std::optional<widgets::GridRect> rect = selectedDataCells(grid);
    if (!rect)
        return;
    bool anyChange = false;
    for (int r = rect->top; r <= rect->bottom && !anyChange; ++r) {
        for (int c = rect->left; c <= rect->right && !anyChange; ++c) {
            const QString text = grid.cells(c, r);
            anyChange = convert(text) != text;
        }
    }
    if (!anyChange)
        return;

    int pushed = 0;
    for (int r = rect->top; r <= rect->bottom; ++r) {
        for (int c = rect->left; c <= rect->right; ++c) {
            const QString text = grid.cells(c, r);
            const QString converted = convert(text);
            const bool changed = converted != text;
            if (record == GridRecord::ChangedCellsOnly && !changed)
                continue;
            undo.Add(&grid, c, r);
            ++pushed;
            grid.setCells(c, r, converted);
            // Repaint only: input waits, so no edit can slip into the batch.
            if (repaintOnChange && changed)
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
    }
    counter = pushed;
}

// The line (from 0) that holds the start of the editor's selection, or the caret line.
int selectionStartLine(const widgets::LineEditor &ed)
{
    return ed.document()->findBlock(ed.selectionStart()).blockNumber();
}

} // namespace

void TLumoMainForm::connectToolCommands()
{
    LumoTikanForm = new TLumoTikanForm(this);
    LumoKasanForm = new TLumoKasanForm(this);
    LumoRenbanForm = new TLumoRenbanForm(this);

    connect(N1, &QAction::triggered, this, [this] { N1Click(); });
    connect(N2, &QAction::triggered, this, [this] { N2Click(); });
    connect(N4, &QAction::triggered, this, [this] { N4Click(); });
    connect(N5, &QAction::triggered, this, [this] { N5Click(); });
    connect(N28, &QAction::triggered, this, [this] { N28Click(); });
    for (QAction *item : conversionItems)
        connect(item, &QAction::triggered, this, [this, item] { N23Click(item); });
    connect(N7, &QAction::triggered, this, [this] { N7Click(); });
    connect(N8, &QAction::triggered, this, [this] { N8Click(); });
    connect(N14, &QAction::triggered, this, [this] { N14Click(); });
    connect(N15, &QAction::triggered, this, [this] { N15Click(); });
    connect(N17, &QAction::triggered, this, [this] { N17Click(); });

    connect(N32, &QAction::triggered, this, [this] { N32Click(); });
    connect(N33, &QAction::triggered, this, [this] { N33Click(); });
    connect(N35, &QAction::triggered, this, [this] { N35Click(); });
    connect(N36, &QAction::triggered, this, [this] { N36Click(); });
    connect(N42, &QAction::triggered, this, [this] { N42Click(); });
    connect(N31, &QAction::triggered, this, [this] { N31Click(); });
}

// Editor: width conversions.

void TLumoMainForm::N1Click()
{
    convertEveryLine(*this, byWidthFunction(zenHanUtil::AllToZen));
}

void TLumoMainForm::N2Click()
{
    convertSelection(*this, byWidthFunction(zenHanUtil::AllToZen), false, SelectionEnds::TrimSelection);
}

void TLumoMainForm::N4Click()
{
    convertEveryLine(*this, byWidthFunction(zenHanUtil::AllToHan));
}

void TLumoMainForm::N5Click()
{
    convertSelection(*this, byWidthFunction(zenHanUtil::AllToHan), false, SelectionEnds::TrimSelection);
}

void TLumoMainForm::N28Click()
{
    convertEveryLine(*this, byWidthFunction(tools::ParensToZen));
}

void TLumoMainForm::N23Click(QObject *Sender)
{
    const int n = qMin<int>(conversionItems.size(), tools::kWidthSubmenuSize);
    for (int i = 0; i < n; ++i) {
        if (conversionItems.at(i) == Sender) {
            convertEveryLine(*this, byWidthFunction(tools::WidthSubmenuItem(i).convert));
            return;
        }
    }
}

// Editor: replace.

void TLumoMainForm::N7Click()
{
    if (SynEdit1->lineCount() > 0)
        LumoTikanForm->prefillForAllLines({SynEdit1->line(0)});
    if (runModalTopmost(LumoTikanForm) != QDialog::Accepted)
        return;
    const QString search = LumoTikanForm->searchText();
    const QString replacement = LumoTikanForm->replaceText();
    const bool ignoreCase = LumoTikanForm->ignoreCase();
    if (search.isEmpty())
        return;
    convertEveryLine(*this, [&](const QString &line) {
        return tools::ReplaceString(line, search, replacement, ignoreCase);
    });
}

void TLumoMainForm::N8Click()
{
    if (SynEdit1->selectionLength() == 0)
        return;
    LumoTikanForm->prefillForSelection(SynEdit1->lineCount() > 0, SynEdit1->selectedText());
    if (runModalTopmost(LumoTikanForm) != QDialog::Accepted)
        return;
    const QString search = LumoTikanForm->searchText();
    const QString replacement = LumoTikanForm->replaceText();
    if (search.isEmpty())
        return;
    // A selection is always replaced case-sensitively.
    convertSelection(*this, [&](const QString &line) {
        return tools::ReplaceString(line, search, replacement, false);
    });
}

// Editor: number addition.

void TLumoMainForm::N14Click()
{
    if (runModalTopmost(LumoKasanForm) != QDialog::Accepted)
        return;
    const tools::AdditionSettings settings = LumoKasanForm->settings();
    if (settings.amount == 0)
        return;
    convertEveryLine(
        *this, [&](const QString &line) { return tools::AddToNumber(line, settings); }, true);
}

void TLumoMainForm::N15Click()
{
    if (SynEdit1->selectionLength() == 0)
        return;
    if (runModalTopmost(LumoKasanForm) != QDialog::Accepted)
        return;
    const tools::AdditionSettings settings = LumoKasanForm->settings();
    if (settings.amount == 0)
        return;
    convertSelection(
        *this, [&](const QString &line) { return tools::AddToNumber(line, settings); }, true);
}

// Editor: sequential numbering.

void TLumoMainForm::N17Click()
{
    LumoRenbanForm->setGridMode(false);
    if (runModalTopmost(LumoRenbanForm) != QDialog::Accepted)
        return;
    const TLumoRenbanForm::Action action = LumoRenbanForm->action();
    if (action != TLumoRenbanForm::Action::Append && action != TLumoRenbanForm::Action::Insert)
        return;
    const QStringList items = LumoRenbanForm->items();
    const bool insert = action == TLumoRenbanForm::Action::Insert;
    widgets::LineEditor &ed = *SynEdit1;
    const int insertLine = selectionStartLine(ed);
    const int caretLine = ed.caretLine() - 1;

    UndoMark(true);
    QStringList lines = ed.lines();
    tools::PlaceRenbanLines(lines, items, insert, insertLine);
    ed.beginUpdate();
    ed.setLines(lines);
    // The caret stays on the line it was on, which an insert moved down.
    const int keep = caretLine + (insert && caretLine >= insertLine ? int(items.size()) : 0);
    const QTextBlock block = ed.document()->findBlockByNumber(qBound(0, keep, qMax(0, ed.lineCount() - 1)));
    if (block.isValid()) {
        QTextCursor cursor(block);
        ed.setTextCursor(cursor);
    }
    ed.endUpdate();
}

// Attribute grid.

void TLumoMainForm::N32Click()
{
    rewriteSelectedCells(*FUndoCells, *StringGrid1, sgUndoCnt, byWidthFunction(tools::AllToZenExceptSpaces),
                         GridRecord::EverySelectedCell);
}

void TLumoMainForm::N33Click()
{
    rewriteSelectedCells(*FUndoCells, *StringGrid1, sgUndoCnt, byWidthFunction(zenHanUtil::AllToHan),
                         GridRecord::EverySelectedCell);
}

void TLumoMainForm::N35Click()
{
    if (const std::optional<widgets::GridRect> rect = selectedDataCells(*StringGrid1))
        LumoTikanForm->prefillForGridCell(StringGrid1->cells(rect->left, rect->top));
    if (runModalTopmost(LumoTikanForm) != QDialog::Accepted)
        return;
    const QString search = LumoTikanForm->searchText();
    const QString replacement = LumoTikanForm->replaceText();
    if (search.isEmpty())
        return;
    rewriteSelectedCells(
        *FUndoCells, *StringGrid1, sgUndoCnt,
        [&](const QString &text) { return tools::ReplaceString(text, search, replacement, false); },
        GridRecord::EverySelectedCell);
}

void TLumoMainForm::N36Click()
{
    addToSelectedCells(false);
}

void TLumoMainForm::N42Click()
{
    addToSelectedCells(true);
}

// "選択範囲の半角数字を加算" records only the cells whose number changed;
// "選択範囲を加算" records every selected cell and repaints as it goes.
void TLumoMainForm::addToSelectedCells(bool everyCell)
{
    if (runModalTopmost(LumoKasanForm) != QDialog::Accepted)
        return;
    const tools::AdditionSettings settings = LumoKasanForm->settings();
    if (settings.amount == 0)
        return;
    rewriteSelectedCells(
        *FUndoCells, *StringGrid1, sgUndoCnt, [&](const QString &text) { return tools::AddToNumber(text, settings); },
        everyCell ? GridRecord::EverySelectedCell : GridRecord::ChangedCellsOnly, everyCell);
}

void TLumoMainForm::N31Click()
{
    LumoRenbanForm->setGridMode(true);
    const int result = runModalTopmost(LumoRenbanForm); // closing restores "挿入" and "追加"
    if (result != QDialog::Accepted || LumoRenbanForm->action() != TLumoRenbanForm::Action::Overwrite)
        return;
    const QStringList items = LumoRenbanForm->items();
    widgets::StringGrid &grid = *StringGrid1;
    grid.hideEditor(true);
    const std::optional<widgets::GridRect> rect = selectedDataCells(grid);
    if (!rect || items.isEmpty())
        return;
    const tools::RowRange rows = tools::RenbanGridRows(rect->top, rect->bottom, grid.row(), grid.rowCount() - 1);
    const int col = grid.col();
    const int count = qMin<int>(items.size(), rows.last - rows.first + 1);
    if (count <= 0)
        return;

    // As with the other grid commands, a series that writes what the cells
    // already hold is no batch of its own.
    bool anyChange = false;
    for (int k = 0; k < count && !anyChange; ++k)
        anyChange = grid.cells(col, rows.first + k) != items.at(k);
    if (!anyChange)
        return;
    for (int k = 0; k < count; ++k) {
        FUndoCells->Add(&grid, col, rows.first + k);
        grid.setCells(col, rows.first + k, items.at(k));
    }
    sgUndoCnt = count;
}

} // namespace lumo
