#include "searchtab/searchtab.h"

#include "widgets/grideditkey.h"
#include "widgets/undocells.h"
#include "cad/batch.h"
#include "cad/connection.h"
#include "cad/tracking.h"
#include "widgets/messagebox.h"
#include "widgets/stringgrid.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QToolButton>
#include <QWidget>

#include <optional>

namespace lumo {

using namespace cad;

namespace {

const QString kSearchCaption = QStringLiteral("検索");
const QString kStopCaption = QStringLiteral("中止");
const QString kPatternLabelAtRest = QStringLiteral("検索 (部分一致)");
const QColor kLockedFill(0xC0, 0xC0, 0xC0);
constexpr int kFillChunk = 2000;

QString progress(qsizetype at, qsizetype of)
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

// Found TEXTs from..to read ahead in one batch: Item, then TextString,
// Handle, InsertionPoint and Layer of each.
struct FoundTexts {
    struct Text {
        Pending<Entity> item;
        Pending<QString> text, handle, layer;
        Pending<Point> point;
    };
    ReadBatch batch;
    QList<Text> texts;

    FoundTexts(const SelectionSet &set, int from, int to)
    {
        texts.resize(to - from);
        for (int i = from; i < to; ++i)
            texts[i - from].item = batch.item(set, i);
        batch.run();
        for (Text &t : texts) {
            if (batch.failed(t.item))
                continue;
            const Entity ent = batch.value(t.item);
            t.text = batch.textString(ent);
            t.handle = batch.handle(ent);
            t.point = batch.insertionPoint(ent);
            t.layer = batch.layer(ent);
        }
        batch.run();
    }
    // False when a read of the entity failed: it is left out.
    bool take(const Text &t, int index, Lumo2 &r) const
    {
        try {
            (void)batch.value(t.item);
            r.text = batch.value(t.text);
            r.sHnd = batch.value(t.handle);
            r.index = index;
            r.insPt = batch.value(t.point);
            r.lay = batch.value(t.layer);
            return true;
        } catch (const AutomationError &) {
            return false;
        }
    }
};

// What the search found, in selection order. Items that cannot be read
// (erased meanwhile) are skipped; false when "中止" stopped the reading.
bool readFound(SearchTab &tab, const SelectionSet &set, int n, QList<Lumo2> &found)
{
    FormFields &f = *tab.fields;
    const qsizetype step = progressStep(n);
    found.reserve(n);
    ReadAheadSize ahead;
    for (int from = 0; from < n;) {
        // The batch is read before the stop is looked at for its first item,
        // as the single reads came after it: a stop pressed meanwhile still
        // ends the reading at that item.
        const int to = ahead.end(from, n);
        std::optional<FoundTexts> read;
        for (int i = from; i < to; ++i) {
            if (i % step == 0)
                tab.countLabel->setText(progress(i + 1, n));
            QCoreApplication::processEvents();
            if (!f.runFlag)
                return false;
            if (!read) {
                read.emplace(set, from, to);
                ahead.ran();
            }
            Lumo2 r;
            if (read->take(read->texts[i - from], i, r))
                found.append(std::move(r));
        }
        from = to;
    }
    return true;
}

// Attach, select every matching TEXT, read it. Returns false when stopped.
bool runSelection(SearchTab &tab, QString &lockedList, QList<Lumo2> &found, DrawingSource &source)
{
    Application app = AttachCad();
    ActivateCad(app, ActivateLevel::FrontEsc);
    Document doc = app.activeDocument();
    source = DrawingSource::of(doc);
    lockedList = LockedLayerList(doc);

    const QString pattern = SearchPattern(tab.patternBox->text(), tab.prefixBox->isChecked());
    tab.patternLabel->setText(QStringLiteral("[") + pattern + QStringLiteral("] (部分一致)"));
    const QList<qint16> types{0, 1};
    const QVariantList data{QStringLiteral("TEXT"), pattern};

    bool finished = false;
    {
        SelectionSet set = GetTempSelectionSet(doc);
        TempSelectionSetGuard guard(set);
        set.clear();
        try {
            set.select(5, types, data);
        } catch (const AutomationError &) {
            // The set is read as it stands: an error finds nothing.
        }
        const int n = set.count();
        tab.countLabel->setText(QStringLiteral("TEXT = %1").arg(n));
        finished = readFound(tab, set, n, found);
    }
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
bool showResults(SearchTab &tab, const QString &lockedList)
{
    FormFields &f = *tab.fields;
    const bool sorted = SortSearchResults(searchArray, [&](int step, int of) {
        tab.countLabel->setText(progress(step, of));
        QCoreApplication::processEvents();
        return f.runFlag;
    });
    tab.countLabel->clear();
    if (!sorted || !f.runFlag)
        return false;
    for (Lumo2 &r : searchArray)
        r.locked = IsLayerLocked(lockedList, r.lay);
    return FillSearchGrid(tab, [&] {
        QCoreApplication::processEvents();
        return f.runFlag;
    });
}

void setRunning(SearchTab &tab, bool running)
{
    tab.running = running;
    tab.patternBox->setEnabled(!running);
    tab.grid->setEnabled(!running);
    tab.writeButton->setEnabled(!running && HasEditedRows(tab));
    tab.searchButton->setText(running ? kStopCaption : kSearchCaption);
}

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
    setRunning(tab, true);
    struct EndRun {
        SearchTab &tab;
        ~EndRun()
        {
            tab.fields->runFlag = false;
            setRunning(tab, false);
        }
    } endRun{tab};

    if (!IsCadRunning()) {
        // Nothing to search: the results held from before stay as they are.
        ForceForegroundWindow(WindowHandle(tab.mainWindow->winId()));
        return;
    }

    f.runFlag = true;
    QString lockedList;
    QList<Lumo2> found;
    DrawingSource source;
    bool complete = runSelection(tab, lockedList, found, source) && f.runFlag;
    ForceForegroundWindow(WindowHandle(tab.mainWindow->winId()));

    if (complete) {
        searchArray = std::move(found);
        searchArrayDrawing = source;
        complete = showResults(tab, lockedList);
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
        if (!tab.running && !tab.writeButton->isEnabled())
            tab.writeButton->setEnabled(true);
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
            const Entity ent = doc.handleToObject(r->sHnd);
            ent.setTextString(t);
            ent.update();
            r->insPt = ent.insertionPoint();
            r->text = ent.textString();
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
    tab.countLabel->setText(progress(row + 1, g.rowCount()));
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
    const qsizetype n = searchArray.size();
    int targets = 0;
    int written = 0;
    int lockedCount = 0;

    Document doc;
    Application app;
    if (n > 0 && IsCadRunning()) {
        app = AttachCad();
        ActivateCad(app, ActivateLevel::Restore);
        doc = app.activeDocument();
        if (refuseOtherDrawing(searchArrayDrawing, doc, tab.mainWindow))
            return;
    }
    {
        std::optional<UndoGroup> group;
        if (!doc.isNull())
            group.emplace(doc);
        for (int row = 0; row < g.rowCount(); ++row) {
            Lumo2 *r = recordOfRow(tab, row);
            const QString text = g.cells(0, row);
            // An empty cell is never an edit; writing it would blank the TEXT.
            if (!r || text.isEmpty() || text == r->text)
                continue;
            if (r->locked) {
                ++lockedCount;
                continue;
            }
            ++targets;
            if (doc.isNull())
                continue;
            try {
                const Entity ent = doc.handleToObject(r->sHnd);
                ent.setTextString(text);
                ent.update();
                r->insPt = ent.insertionPoint();
                r->text = text;
                ++written;
            } catch (const AutomationError &) {
                // Skipped: the row stays red and counts among the targets only.
            }
        }
        if (group)
            group->close();
    }
    doc.release();
    app.release();
    tab.writeButton->setEnabled(HasEditedRows(tab));
    g.viewport()->update();

    QString message = targets == 0 ? QStringLiteral("更新対象の TEXT はありません．")
                                   : QStringLiteral("%1 / %2 個の TEXT を更新しました．").arg(written).arg(targets);
    if (lockedCount > 0)
        message += QStringLiteral("\nロック画層の TEXT %1 個は更新されません．").arg(lockedCount);
    widgets::showMessage(widgets::MessageKind::Information, message, tab.mainWindow);
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
