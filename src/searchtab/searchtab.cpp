#include "searchtab/searchtab.h"
#include "searchtab/searchops.h"

#include "widgets/grideditkey.h"
#include "widgets/undocells.h"
#include "cad/connection.h"
#include "cad/tracking.h"
#include "widgets/messagebox.h"
#include "widgets/longrun.h"
#include "widgets/stringgrid.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QToolButton>
#include <QWidget>


namespace lumo {

using namespace cad;

namespace {

const QString kSearchCaption = QStringLiteral("検索");
const QString kStopCaption = QStringLiteral("中止");
const QString kPatternLabelAtRest = QStringLiteral("検索 (部分一致)");
const QColor kLockedFill(0xC0, 0xC0, 0xC0);
constexpr int kFillChunk = 2000;

QString progressText(qsizetype at, qsizetype of)
{
    return QStringLiteral("%1 / %2").arg(at).arg(of);
}

// Every s-th item shows progress: about a hundred times per pass.
qsizetype progressStep(qsizetype n)
{
    return std::max<qsizetype>(1, n / 100);
}

// The record behind grid row `row`, or nullptr for a row without one.
Lumo2 *recordOfRow(const SearchTab &tab, int row)
{
    const int k = tab.grid->objects(0, row);
    if (k < 1 || k > searchArray.size())
        return nullptr;
    return &searchArray[k - 1];
}

// The current cell's text, also when its editor is open.
void putBackCurrentText(widgets::StringGrid &grid, const QString &text)
{
    grid.setEditorText(text);
    grid.setCells(grid.col(), grid.row(), text);
}

// The cells keep no stale rows: with no records, one empty row.
void reduceToEmptyRow(SearchTab &tab)
{
    widgets::StringGrid &g = *tab.grid;
    g.setRowCount(1);
    g.setCells(0, 0, QString());
    g.setObjects(0, 0, 0);
    tab.setStatusPanel(0, QString());
}

// Attach, select every matching TEXT, read it. Returns false when stopped.
bool runSelection(SearchTab &tab, const LongRun &run, QString &lockedList, QList<Lumo2> &found,
                  DrawingSource &source)
{
    Application app = AttachCad();
    ActivateCad(app, ActivateLevel::FrontEsc);
    Document doc = app.activeDocument();
    source = DrawingSource::of(doc);
    lockedList = LockedLayerList(doc);

    const QString pattern = SearchPattern(tab.patternBox->text(), tab.prefixBox->isChecked());
    tab.patternLabel->setText(QStringLiteral("[") + pattern + QStringLiteral("] (部分一致)"));
    SearchProgress progress;
    progress.selected = [&](int n) { tab.countLabel->setText(QStringLiteral("TEXT = %1").arg(n)); };
    progress.reading = [&](int i, int n) {
        if (i % progressStep(n) == 0)
            tab.countLabel->setText(progressText(i + 1, n));
        return run.keepGoing();
    };
    const bool finished = FindTexts(doc, pattern, found, progress);

    // Back to the CAD as after a pick, cancelling whatever command it was in.
    WindowOps &w = windowOps();
    const WindowHandle hwnd = app.hwnd();
    w.setForegroundWindow(hwnd);
    if (w.foregroundWindow() == hwnd) {
        w.sendEscape();
        w.sleep(5);
    }
    return finished;
}

// Sort, mark locked records and fill the grid; false when stopped midway.
bool showResults(SearchTab &tab, const LongRun &run, const QString &lockedList)
{
    const bool sorted = SortSearchResults(searchArray, [&](int step, int of) {
        tab.countLabel->setText(progressText(step, of));
        return run.keepGoing();
    });
    tab.countLabel->clear();
    if (!sorted || run.stopped())
        return false;
    MarkLockedRecords(searchArray, lockedList);
    return FillSearchGrid(tab, [&] { return run.keepGoing(); });
}

// A search from its start to its end, also while a stop unwinds it: the
// pattern and the grid locked, "更新" off, the button saying "中止".
class SearchRun {
public:
    explicit SearchRun(SearchTab &tab) : m_tab(tab), m_run(*tab.fields, {tab.patternBox, tab.grid})
    {
        tab.running = true;
        tab.writeButton->setEnabled(false);
        tab.searchButton->setText(kStopCaption);
    }
    ~SearchRun()
    {
        m_tab.running = false;
        m_tab.writeButton->setEnabled(HasEditedRows(m_tab));
        m_tab.searchButton->setText(kSearchCaption);
    }
    const LongRun &run() const { return m_run; }

private:
    SearchTab &m_tab;
    LongRun m_run;
};

} // namespace

void SetupSearchGrid(SearchTab &tab)
{
    widgets::StringGrid &g = *tab.grid;
    g.setFixedRows(0);
    g.setFixedCols(0);
    g.setColCount(1);
    g.setRowCount(1);
    g.setDefaultRowHeight(20);
    g.setEditing(true);
    g.setSelectionMode(QAbstractItemView::ContiguousSelection);
    // The one column follows the grid's width.
    g.horizontalHeader()->setStretchLastSection(true);
    g.setColumnWidth(0, g.viewport()->width());
}

void StartOrStopSearch(SearchTab &tab)
{
    FormFields &f = *tab.fields;
    tab.setStatusPanel(0, QString());
    tab.setStatusPanel(1, QString());

    if (tab.running) {
        // Re-entered from the running search's event processing: only stop it.
        if (tab.searchButton->text().contains(kStopCaption)) {
            f.runFlag = false;
            QCoreApplication::processEvents();
            tab.searchButton->setText(kSearchCaption);
            tab.patternLabel->setText(kPatternLabelAtRest);
        }
        return;
    }
    // Another long operation owns runFlag; starting here would end it.
    if (f.runFlag)
        return;

    // A half-typed cell goes in before the rows are replaced.
    tab.grid->hideEditor(true);
    const SearchRun running(tab);

    if (!IsCadRunning()) {
        // Nothing to search: the results held from before stay as they are.
        ForceForegroundWindow(WindowHandle(tab.mainWindow->winId()));
        return;
    }

    QString lockedList;
    QList<Lumo2> found;
    DrawingSource source;
    bool complete = runSelection(tab, running.run(), lockedList, found, source) && f.runFlag;
    ForceForegroundWindow(WindowHandle(tab.mainWindow->winId()));

    if (complete) {
        searchArray = std::move(found);
        searchArrayDrawing = source;
        complete = showResults(tab, running.run(), lockedList);
    }
    if (complete) {
        tab.grid->setCurrentCell(0, 0);
        tab.running = false; // the grid's own click notifications count again
        SearchGridClick(tab);
        if (TUndoCells *undo = tab.undoCells ? tab.undoCells() : nullptr)
            undo->Clear();
        f.sgUndoCnt2 = 0;
    } else {
        searchArray.clear();
        reduceToEmptyRow(tab);
        tab.countLabel->clear();
    }
}

void SearchOptionClicked(SearchTab &tab, bool upperBoxClicked)
{
    if (upperBoxClicked && tab.upperBox->isChecked()) {
        const QString upper = tab.patternBox->text().toUpper();
        if (upper != tab.patternBox->text())
            tab.patternBox->setText(upper);
    }
    if (tab.isActivePage && tab.isActivePage() && !tab.patternBox->text().isEmpty())
        StartOrStopSearch(tab);
}

bool FillSearchGrid(SearchTab &tab, const std::function<bool()> &keepGoing)
{
    widgets::StringGrid &g = *tab.grid;
    const qsizetype n = searchArray.size();
    if (n == 0) {
        reduceToEmptyRow(tab);
        return true;
    }
    // Emptied first, so no row of the last search keeps its text or slot.
    g.setRowCount(0);
    // Rows grow chunk by chunk too: adding them all at once is one long pause.
    for (qsizetype from = 0; from < n; from += kFillChunk) {
        const qsizetype to = std::min(n, from + kFillChunk);
        g.beginUpdate();
        g.setRowCount(int(to));
        for (qsizetype r = from; r < to; ++r) {
            g.setCells(0, int(r), searchArray[r].text);
            g.setObjects(0, int(r), int(r) + 1);
        }
        g.endUpdate();
        if (keepGoing && to < n && !keepGoing())
            return false;
    }
    return true;
}

void DrawSearchCell(SearchTab &tab, QPainter &painter, int col, int row, const QRect &rect, bool selected)
{
    const Lumo2 *r = recordOfRow(tab, row);
    if (!r)
        return;
    const QString text = tab.grid->cells(col, row);
    const QRect textRect = rect.adjusted(2, 0, 0, 0);
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    if (r->locked) {
        painter.fillRect(rect, kLockedFill);
        painter.setPen(Qt::black);
        painter.drawText(textRect, flags, text);
    }
    if (text != r->text) {
        if (!r->locked) {
            const QPalette &p = tab.grid->palette();
            painter.fillRect(rect, selected ? p.color(QPalette::Highlight) : p.color(QPalette::Base));
        }
        painter.setPen(QColor(255, 0, 0));
        painter.drawText(textRect, flags, text);
    }
}

void SearchCellChanged(SearchTab &tab, int row)
{
    if (tab.running)
        return;
    const Lumo2 *r = recordOfRow(tab, row);
    if (!r)
        return;
    const QString text = tab.grid->cells(0, row);
    if (text.isEmpty() && !r->text.isEmpty()) {
        // An emptied cell is never an edit: it shows its snapshot text again.
        tab.grid->setCells(0, row, r->text);
        return;
    }
    if (text != r->text && !tab.writeButton->isEnabled())
        tab.writeButton->setEnabled(true);
}

void SearchGridEditText(SearchTab &tab, int col, int row)
{
    if (TUndoCells *undo = tab.undoCells ? tab.undoCells() : nullptr)
        undo->Add(tab.grid, col, row);
    tab.fields->sgUndoCnt2 = 1;
}

namespace {

// Enter with "Enter=更新": write the current row when it was edited.
void writeCurrentRow(SearchTab &tab)
{
    widgets::StringGrid &g = *tab.grid;
    Lumo2 *r = recordOfRow(tab, g.row());
    const QString t = g.editorText();
    if (!r || t.isEmpty() || t == r->text)
        return;
    if (r->locked) {
        // Never written: the row shows its snapshot again.
        putBackCurrentText(g, r->text);
    } else if (IsCadRunning()) {
        const Application app = AttachCad();
        const Document doc = app.activeDocument();
        if (refuseOtherDrawing(searchArrayDrawing, doc, tab.mainWindow)) {
            // As for a locked row: nothing was written, so the row shows its snapshot.
            putBackCurrentText(g, r->text);
            return;
        }
        try {
            WriteSearchText(doc, *r, t);
        } catch (const AutomationError &) {
            putBackCurrentText(g, r->text);
        }
    }
    SearchGridClick(tab);
}

} // namespace

void SearchGridKeyDown(SearchTab &tab, int &key, Qt::KeyboardModifiers shift)
{
    widgets::StringGrid &g = *tab.grid;
    TUndoCells *undo = tab.undoCells ? tab.undoCells() : nullptr;
    if (key == Qt::Key_Z && (shift & Qt::ControlModifier)) {
        key = 0;
        // An edit in progress is what the newest entry takes back.
        g.hideEditor(false);
        if (undo)
            UndoGridByKey(*undo, g, tab.fields->sgUndoCnt2);
        return;
    }
    if (key == Qt::Key_Return) {
        const bool editorWasOpen = g.isEditorOpen();
        if (tab.enterWriteBox->isChecked())
            writeCurrentRow(tab);
        if (tab.enterDownBox->isChecked() && editorWasOpen) {
            const int next = g.row() + 1 < g.rowCount() ? g.row() + 1 : 0;
            g.setCurrentCell(g.col(), next);
        }
        return;
    }
    if (undo)
        GridEditKey(g, *undo, tab.fields->sgUndoCnt2, key, shift);
}

void SearchGridClick(SearchTab &tab)
{
    if (tab.running)
        return;
    widgets::StringGrid &g = *tab.grid;
    const int row = g.row();
    const int k = g.objects(g.col(), row);
    const QString t = g.cells(g.col(), row);
    tab.countLabel->setText(progressText(row + 1, g.rowCount()));
    if (k > 0 && !t.isEmpty() && k <= searchArray.size()) {
        const Lumo2 &r = searchArray[k - 1];
        tab.setStatusPanel(0, r.sHnd);
        tab.setStatusPanel(1, QString::asprintf("%.3f, %.3f", r.insPt.x, r.insPt.y));
        if (IsCadRunning()) {
            try {
                ShowPointInCad(AttachCad(), r.insPt, 3, false, 0.05, searchArrayDrawing);
            } catch (const AutomationError &) {
                // Tracking never interrupts the user.
            }
        }
    } else {
        tab.setStatusPanel(0, QString());
        tab.countLabel->clear();
    }
}

void WriteSearchResults(SearchTab &tab)
{
    widgets::StringGrid &g = *tab.grid;
    // A cell still in its editor counts as typed.
    g.hideEditor(true);
    QList<SearchEdit> edits;
    for (int row = 0; row < g.rowCount(); ++row) {
        const Lumo2 *r = recordOfRow(tab, row);
        const QString text = g.cells(0, row);
        // An empty cell is never an edit; writing it would blank the TEXT.
        if (r && !text.isEmpty() && text != r->text)
            edits.append({int(r - searchArray.constData()), text});
    }

    Document doc;
    Application app;
    if (!searchArray.isEmpty() && IsCadRunning()) {
        app = AttachCad();
        ActivateCad(app, ActivateLevel::Restore);
        doc = app.activeDocument();
        if (refuseOtherDrawing(searchArrayDrawing, doc, tab.mainWindow))
            return;
    }
    const WriteReport report = WriteSearchEdits(doc, searchArray, edits);
    doc.release();
    app.release();
    tab.writeButton->setEnabled(HasEditedRows(tab));
    g.viewport()->update();
    widgets::showMessage(widgets::MessageKind::Information, WriteReportMessage(report), tab.mainWindow);
}

bool HasEditedRows(const SearchTab &tab)
{
    if (searchArray.isEmpty())
        return false;
    const widgets::StringGrid &g = *tab.grid;
    for (int row = 0; row < g.rowCount(); ++row) {
        const int k = g.objects(0, row);
        if (k >= 1 && k <= searchArray.size() && g.cells(0, row) != searchArray[k - 1].text)
            return true;
    }
    return false;
}

} // namespace lumo
