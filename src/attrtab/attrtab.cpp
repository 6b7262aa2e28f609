#include "attrtab/attrtab.h"

#include "cad/batch.h"
#include "cad/connection.h"
#include "widgets/stringgrid.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>
#include <QWidget>

#include <optional>

namespace lumo {

using namespace cad;

QList<nBlk> blkArray;
QList<nAtt> attArray;
cad::DrawingSource blkArrayDrawing;

nAtt *attributeOfSlot(int slot)
{
    if (slot < 1 || slot > attArray.size())
        return nullptr;
    return &attArray[slot - 1];
}

// ---- tag sets ----------------------------------------------------------------------

QStringList SplitDelimited(const QString &text)
{
    QStringList fields;
    if (text.isEmpty())
        return fields;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (true) {
        QString field;
        if (i < n && text[i] == QLatin1Char('"')) {
            ++i;
            while (i < n) {
                if (text[i] == QLatin1Char('"')) {
                    if (i + 1 < n && text[i + 1] == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
        }
        // Plain text, or whatever follows a closing quote up to the comma.
        while (i < n && text[i] != QLatin1Char(','))
            field += text[i++];
        fields << field;
        if (i >= n)
            break;
        ++i; // the comma; a trailing one leaves an empty last field
    }
    return fields;
}

TagSet SplitTagSet(const QString &item)
{
    TagSet set;
    QStringList fields = SplitDelimited(item);
    if (fields.isEmpty())
        return set;
    set.name = fields.takeFirst();
    set.tags = fields;
    const qsizetype open = set.name.indexOf(QLatin1Char('['));
    const qsizetype close = set.name.indexOf(QLatin1Char(']'));
    if (open >= 0 && close > open + 1)
        set.blockName = set.name.mid(open + 1, close - open - 1);
    return set;
}

// ---- ordering and prompts ---------------------------------------------------------

void SortBlocksByPosition(QList<nBlk> &blocks, int mode)
{
    const qsizetype n = blocks.size();
    if (n < 2)
        return;
    if (mode >= kSortAutomatic) {
        double minX = blocks[0].insPt.x, maxX = minX;
        double minY = blocks[0].insPt.y, maxY = minY;
        for (const nBlk &b : std::as_const(blocks)) {
            minX = qMin(minX, b.insPt.x);
            maxX = qMax(maxX, b.insPt.x);
            minY = qMin(minY, b.insPt.y);
            maxY = qMax(maxY, b.insPt.y);
        }
        mode = (maxY - minY) >= (maxX - minX) ? 1 : 0;
    }
    if (mode != 0 && mode != 1)
        return;
    for (qsizetype i = 0; i < n - 1; ++i)
        for (qsizetype j = i + 1; j < n; ++j) {
            const bool swap = mode == 0 ? blocks[i].insPt.x > blocks[j].insPt.x
                                        : blocks[i].insPt.y < blocks[j].insPt.y;
            if (swap)
                blocks.swapItemsAt(i, j);
        }
}

int GetTagPrompts(const Document &doc, const QString &blockName, QStringList &list)
{
    list.clear();
    const int blocks = doc.blockCount();
    for (int b = 0; b < blocks; ++b) {
        const Block block = doc.block(b);
        if (block.name() != blockName)
            continue;
        const int count = block.count();
        for (int k = 0; k < count; ++k) {
            const Entity e = block.item(k);
            if (e.entityName() == QLatin1String("AcDbAttributeDefinition"))
                list << e.tagString() + QLatin1Char('\t') + e.promptString();
        }
        break;
    }
    return static_cast<int>(list.size());
}

// ---- acquisition -----------------------------------------------------------------------

namespace {

void setProgress(AttrTab &tab, int maximum)
{
    tab.progressBar->setMaximum(qMax(maximum, 1));
    tab.progressBar->setValue(0);
}

QString progressText(const char *what, int at, int of)
{
    return QStringLiteral("%1 = %2 / %3").arg(QLatin1String(what)).arg(at).arg(of);
}

// The progress bar and label of one phase. Painting the window once per
// entity would cost more than the entity itself, so a step is shown at the
// first and the last step, when the phase ends early, and in between when
// the bar would move by a pixel and the last showing is a frame old; what
// the user is left with is always the last step taken.
class ProgressShow
{
public:
    ProgressShow(AttrTab &tab, const char *what, int labelCount)
        : m_tab(tab), m_what(what), m_labelCount(labelCount),
          m_width(qMax(tab.progressBar->width(), 100))
    {
        m_clock.start();
    }
    ~ProgressShow() { flush(); }
    void step(int value)
    {
        const int maximum = m_tab.progressBar->maximum();
        const int pixel = static_cast<int>(qint64(value) * m_width / qMax(maximum, 1));
        if (value <= 1 || value >= maximum || (pixel != m_shownPixel && m_clock.elapsed() >= 15)) {
            show(value);
            m_shownPixel = pixel;
            m_clock.restart();
        } else {
            m_pending = value;
        }
    }
    void flush()
    {
        if (m_pending > 0)
            show(m_pending);
    }

private:
    void show(int value)
    {
        m_pending = 0;
        m_tab.progressLabel->setText(progressText(m_what, value, m_labelCount));
        m_tab.progressBar->setValue(qMin(value, m_tab.progressBar->maximum()));
        m_tab.progressBar->repaint();
    }
    AttrTab &m_tab;
    const char *m_what;
    int m_labelCount;
    int m_width;
    int m_shownPixel = -1;
    int m_pending = 0;
    QElapsedTimer m_clock;
};

int firstColumnOf(const QStringList &tags, const QString &tag)
{
    const qsizetype i = tags.indexOf(tag);
    return i < 0 ? -1 : static_cast<int>(i) + 1;
}

// The closing step, on every path out of an acquisition.
struct ClosingStep {
    AttrTab &tab;
    ~ClosingStep()
    {
        if (tab.mainWindow->isMinimized())
            tab.mainWindow->showNormal();
        tab.progressBar->setValue(0);
        ForceForegroundWindow(WindowHandle(tab.mainWindow->winId()));
        tab.fields->runFlag = false;
        tab.stopButton->setEnabled(false);
        if (tab.setBusy)
            tab.setBusy(false);
        // The current cell may now hold an attribute or none without having
        // moved, so no click told the grid whether it may be edited.
        const widgets::StringGrid &grid = *tab.grid;
        tab.grid->setEditing(attributeOfSlot(grid.objects(grid.col(), grid.row())) != nullptr);
    }
};

// Ends a begun grid update on every path.
struct GridUpdate {
    widgets::StringGrid &grid;
    explicit GridUpdate(widgets::StringGrid &g) : grid(g) { grid.beginUpdate(); }
    ~GridUpdate() { grid.endUpdate(); }
};

// Picked references from..to read ahead for phase 1, with exactly the
// reads the loop makes: Item, GetAttributes, the attributes' TagString up
// to the first of a tag of the set, then Layer, InsertionPoint, Handle and
// Name of a reference that has one.
struct Candidates {
    struct Reference {
        Entity ref;
        Pending<Entity> item;
        Pending<QList<Entity>> attributes;
        QList<Entity> attrs;
        QList<Pending<QString>> tags; // read so far, in attribute order
        bool qualifies = false;
        Pending<QString> layer, handle, name;
        Pending<Point> point;
    };
    ReadBatch batch;
    QList<Reference> refs;

    Candidates(const SelectionSet &set, int from, int to, const QStringList &tagSet)
    {
        refs.resize(to - from);
        for (int i = from; i < to; ++i)
            refs[i - from].item = batch.item(set, i);
        batch.run();
        for (Reference &r : refs)
            if (!batch.failed(r.item)) {
                r.ref = batch.value(r.item);
                r.attributes = batch.getAttributes(r.ref);
            }
        batch.run();
        for (Reference &r : refs)
            if (!batch.failed(r.attributes))
                r.attrs = batch.value(r.attributes);
        // One round per attribute position, for the references still looking.
        for (bool more = true; more;) {
            more = false;
            for (Reference &r : refs) {
                if (r.qualifies || r.tags.size() >= r.attrs.size())
                    continue;
                if (!r.tags.isEmpty() && batch.failed(r.tags.last()))
                    continue;
                if (!r.tags.isEmpty() && tagSet.contains(batch.value(r.tags.last()))) {
                    r.qualifies = true;
                    continue;
                }
                r.tags.append(batch.tagString(r.attrs[r.tags.size()]));
                more = true;
            }
            batch.run();
        }
        for (Reference &r : refs) {
            if (!r.qualifies && !(r.tags.size() > 0 && !batch.failed(r.tags.last())
                                  && tagSet.contains(batch.value(r.tags.last()))))
                continue;
            r.qualifies = true;
            r.layer = batch.layer(r.ref);
            r.point = batch.insertionPoint(r.ref);
            r.handle = batch.handle(r.ref);
            r.name = batch.name(r.ref);
        }
        batch.run();
    }
};

// Phase 1: the picked references that carry a tag of the set, in pick order.
// "中止" empties the list: a stopped acquisition shows no rows.
void qualify(AttrTab &tab, const SelectionSet &set, int count, const QStringList &tags)
{
    setProgress(tab, count);
    blkArray.clear();
    attArray.clear();
    ProgressShow progress(tab, "INSERT", count);
    ReadAheadSize ahead;
    for (int from = 0; from < count;) {
        const int to = ahead.end(from, count);
        std::optional<Candidates> read;
        for (int i = from; i < to; ++i) {
            QCoreApplication::processEvents();
            if (!tab.fields->runFlag) {
                blkArray.clear();
                return;
            }
            progress.step(i + 1);
            QCoreApplication::processEvents();
            if (!read) {
                read.emplace(set, from, to, tags);
                ahead.ran();
            }
            const Candidates::Reference &r = read->refs[i - from];
            const ReadBatch &b = read->batch;
            try {
                (void)b.value(r.item);
                (void)b.value(r.attributes);
                for (const Pending<QString> &tag : r.tags) {
                    if (!tags.contains(b.value(tag)))
                        continue;
                    nBlk blk;
                    blk.index = static_cast<int>(blkArray.size());
                    blk.lay = b.value(r.layer);
                    blk.insPt = b.value(r.point);
                    blk.sHnd = b.value(r.handle);
                    blk.blkName = b.value(r.name);
                    blkArray << blk;
                    break;
                }
            } catch (const AutomationError &) {
                // This reference is left out.
            }
        }
        from = to;
    }
}

// Rows from..to read ahead for phase 2: HandleToObject and GetAttributes of
// each row's reference, every attribute's TagString, and Handle and
// TextString of those that have a column, up to the first tag that could
// not be read (the row ends there).
struct Rows {
    struct Attribute {
        Entity attr;
        Pending<QString> tag, handle, text;
    };
    struct Row {
        Pending<Entity> ref;
        Pending<QList<Entity>> attributes;
        QList<Attribute> attrs;
    };
    ReadBatch batch;
    QList<Row> rows;

    Rows(const Document &doc, int from, int to, const QStringList &tags)
    {
        rows.resize(to - from);
        for (int i = from; i < to; ++i)
            rows[i - from].ref = batch.handleToObject(doc, blkArray[i].sHnd);
        batch.run();
        for (Row &r : rows)
            if (!batch.failed(r.ref))
                r.attributes = batch.getAttributes(batch.value(r.ref));
        batch.run();
        for (Row &r : rows) {
            if (batch.failed(r.attributes))
                continue;
            for (const Entity &a : batch.value(r.attributes))
                r.attrs.append({a, batch.tagString(a), {}, {}});
        }
        batch.run();
        for (Row &r : rows)
            for (Attribute &a : r.attrs) {
                if (batch.failed(a.tag))
                    break;
                if (firstColumnOf(tags, batch.value(a.tag)) < 0)
                    continue;
                a.handle = batch.handle(a.attr);
                a.text = batch.textString(a.attr);
            }
        batch.run();
    }
};

// Phase 2: one row per qualifying reference.
void fill(AttrTab &tab, const Document &doc, int count, const QStringList &tags, const QStringList &prompts)
{
    widgets::StringGrid &grid = *tab.grid;
    const int n = static_cast<int>(blkArray.size());
    const int k = static_cast<int>(tags.size());
    ClearGrid(grid);
    GridUpdate update(grid);
    grid.setRowCount(n >= 1 ? n + 1 : 2);
    if (n >= 1)
        setProgress(tab, n);
    grid.setColCount(k + 1);
    // The number cells live in the grid's row header, and every change there
    // makes the grid measure its header again at the next event; so the rows
    // begun are numbered together when the loop ends, however it ends.
    struct RowNumbers {
        widgets::StringGrid &grid;
        int begun = 0;
        ~RowNumbers()
        {
            for (int row = 1; row <= begun; ++row)
                grid.setCells(0, row, QString::number(row));
        }
    } numbers{grid};
    ProgressShow progress(tab, "ATTR", count);
    ReadAheadSize ahead;
    for (int from = 0; from < n;) {
        const int to = ahead.end(from, n);
        std::optional<Rows> read;
        for (int i = from; i < to; ++i) {
            QCoreApplication::processEvents();
            if (!tab.fields->runFlag)
                return;
            progress.step(i + 1);
            const int row = i + 1;
            numbers.begun = row;
            if (!read) {
                read.emplace(doc, from, to, tags);
                ahead.ran();
            }
            const Rows::Row &r = read->rows[i - from];
            const ReadBatch &b = read->batch;
            // Failures here end the acquisition.
            const nBlk block = blkArray[i];
            (void)b.value(r.ref);
            (void)b.value(r.attributes);
            try {
                for (const Rows::Attribute &a : r.attrs) {
                    const int col = firstColumnOf(tags, b.value(a.tag));
                    if (col < 0)
                        continue;
                    nAtt att;
                    att.sHnd = b.value(a.handle);
                    att.text = b.value(a.text);
                    att.insPt = block.insPt;
                    att.lay = block.lay;
                    attArray << att;
                    grid.setCells(col, row, att.text);
                    grid.setObjects(col, row, static_cast<int>(attArray.size()));
                    if (grid.cells(col, 0).isEmpty()) {
                        const QString head = tags[col - 1] + QLatin1Char('\t');
                        for (const QString &line : prompts)
                            if (line.startsWith(head)) {
                                grid.setCells(col, 0, line.mid(line.indexOf(QLatin1Char('\t')) + 1));
                                break;
                            }
                    }
                }
            } catch (const AutomationError &) {
                // The rest of this row stays empty.
            }
        }
        from = to;
    }
}

} // namespace

void AcquireAttributes(AttrTab &tab)
{
    FormFields &f = *tab.fields;
    // The loops let events through; a second press must not start a second
    // acquisition over the arrays the first one is filling.
    if (f.runFlag)
        return;
    tab.textCountLabel->clear();
    tab.textProgressLabel->clear();
    f.ATTmode = true;
    f.runFlag = true;
    tab.stopButton->setEnabled(true);
    if (tab.setBusy)
        tab.setBusy(true);
    tab.setStatusPanel(0, QString());
    tab.setStatusPanel(1, QString());

    ClosingStep closing{tab};
    if (!IsCadRunning())
        return;

    try {
        Application app = AttachCad();
        ActivateCad(app, ActivateLevel::FrontEsc, [&] { tab.mainWindow->showMinimized(); });
        Document doc = app.activeDocument();
        const DrawingSource source = DrawingSource::of(doc);
        SelectionFilter filter;
        filter.types = {0, 2, 66};
        filter.data = {QStringLiteral("INSERT"), QStringLiteral("*"), 1};

        const TagSet tagSet = SplitTagSet(tab.tagSetBox->currentText());
        if (tagSet.name.isEmpty() && tagSet.tags.isEmpty())
            return; // no tag set to work with
        if (!tagSet.blockName.isEmpty())
            filter.data[1] = tagSet.blockName;

        SelectionSet set = GetTempSelectionSet(doc);
        if (set.isNull())
            return;
        TempSelectionSetGuard guard(set);
        set.clear();
        try {
            set.selectOnScreen(filter.types, filter.data);
        } catch (const AutomationError &) {
            // A cancelled pick: the set is read as it stands.
        }
        // The window keeps answering meanwhile; runFlag and the busy state
        // set above keep a second acquisition or a write from starting.
        windowOps().wait(500);
        const int count = set.count();

        if (tab.mainWindow->isMinimized())
            tab.mainWindow->showNormal();
        tab.progressLabel->setText(QStringLiteral("INSERT = %1").arg(count));
        if (count == 0)
            return;

        qualify(tab, set, count, tagSet.tags);
        blkArrayDrawing = source;
        SortBlocksByPosition(blkArray, kSortAutomatic);
        QStringList prompts;
        GetTagPrompts(doc, tagSet.blockName, prompts);
        fill(tab, doc, count, tagSet.tags, prompts);

        AutoSizeColumns(*tab.grid, 10);
        tab.undo->Clear();
        f.sgUndoCnt = 0;
        tab.writeAllowed = true;
        tab.writeButton->setEnabled(true);
    } catch (const AutomationError &) {
        // Ends silently; what was filled so far stays.
    }
}

void StopAcquisition(AttrTab &tab)
{
    tab.fields->runFlag = false;
    QCoreApplication::processEvents();
}

// ---- sorting -----------------------------------------------------------------------------

void SortByAcquisition(AttrTab &tab)
{
    SortGridRows(*tab.grid, 0, -1, false);
}

void SortByText(AttrTab &tab)
{
    const int col = tab.grid->col();
    if (col > 0)
        SortGridRows(*tab.grid, col, -1, false);
}

void SortByNumber(AttrTab &tab)
{
    const int col = tab.grid->col();
    if (col > 0)
        SortGridRows(*tab.grid, col, -1, true);
}

} // namespace lumo
