#include "attrtab/attrtab.h"

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

namespace lumo {

using namespace cad;

QList<nBlk> blkArray;
QList<nAtt> attArray;

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

// Phase 1: the picked references that carry a tag of the set, in pick order.
// "中止" empties the list: a stopped acquisition shows no rows.
void qualify(AttrTab &tab, const SelectionSet &set, int count, const QStringList &tags)
{
    setProgress(tab, count);
    blkArray.clear();
    attArray.clear();
    ProgressShow progress(tab, "INSERT", count);
    for (int i = 0; i < count; ++i) {
        QCoreApplication::processEvents();
        if (!tab.fields->runFlag) {
            blkArray.clear();
            break;
        }
        progress.step(i + 1);
        QCoreApplication::processEvents();
        try {
            const Entity ref = set.item(i);
            const QList<Entity> attributes = ref.getAttributes();
            for (const Entity &a : attributes) {
                if (!tags.contains(a.tagString()))
                    continue;
                nBlk b;
                b.index = static_cast<int>(blkArray.size());
                b.lay = ref.layer();
                b.insPt = ref.insertionPoint();
                b.sHnd = ref.handle();
                b.blkName = ref.name();
                blkArray << b;
                break;
            }
        } catch (const AutomationError &) {
            // This reference is left out.
        }
    }
}

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
    for (int i = 0; i < n; ++i) {
        QCoreApplication::processEvents();
        if (!tab.fields->runFlag)
            break;
        progress.step(i + 1);
        const int row = i + 1;
        numbers.begun = row;
        // Failures here end the acquisition.
        const nBlk block = blkArray[i];
        const QList<Entity> attributes = doc.handleToObject(block.sHnd).getAttributes();
        try {
            for (const Entity &a : attributes) {
                const int col = firstColumnOf(tags, a.tagString());
                if (col < 0)
                    continue;
                nAtt att;
                att.sHnd = a.handle();
                att.text = a.textString();
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
        windowOps().sleep(500);
        const int count = set.count();

        if (tab.mainWindow->isMinimized())
            tab.mainWindow->showNormal();
        tab.progressLabel->setText(QStringLiteral("INSERT = %1").arg(count));
        if (count == 0)
            return;

        qualify(tab, set, count, tagSet.tags);
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
