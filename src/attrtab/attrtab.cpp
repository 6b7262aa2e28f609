#include "attrtab/attrtab.h"
#include "attrtab/operations.h"

#include "cad/connection.h"
#include "widgets/longrun.h"
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

// The closing step, on every path out of an acquisition; the run then
// gives the locked controls back.
struct ClosingStep {
    AttrTab &tab;
    ~ClosingStep()
    {
        if (tab.mainWindow->isMinimized())
            tab.mainWindow->showNormal();
        tab.progressBar->setValue(0);
        ForceForegroundWindow(WindowHandle(tab.mainWindow->winId()));
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

// The grid side of phase 2, from its start to however the phase ends. The
// number cells live in the grid's row header, and every change there makes
// the grid measure its header again at the next event; so the rows begun are
// numbered together at the end.
struct RowsShown {
    AttrTab &tab;
    int begun = 0;
    ProgressShow progress;

    RowsShown(AttrTab &t, int rows, int columns, int picked) : tab(t), progress(t, "ATTR", picked)
    {
        widgets::StringGrid &grid = *tab.grid;
        grid.setRowCount(rows >= 1 ? rows + 1 : 2);
        if (rows >= 1)
            setProgress(tab, rows);
        grid.setColCount(columns + 1);
    }
    ~RowsShown()
    {
        progress.flush();
        for (int row = 1; row <= begun; ++row)
            tab.grid->setCells(0, row, QString::number(row));
    }
    void fill(int row, const QList<RowCell> &cells, const QStringList &tags, const QStringList &prompts)
    {
        widgets::StringGrid &grid = *tab.grid;
        for (const RowCell &cell : cells) {
            grid.setCells(cell.col, row, attArray[cell.slot - 1].text);
            grid.setObjects(cell.col, row, cell.slot);
            if (!grid.cells(cell.col, 0).isEmpty())
                continue;
            const QString head = tags[cell.col - 1] + QLatin1Char('\t');
            for (const QString &line : prompts)
                if (line.startsWith(head)) {
                    grid.setCells(cell.col, 0, line.mid(line.indexOf(QLatin1Char('\t')) + 1));
                    break;
                }
        }
    }
};

// From attaching to the filled grid; the run is the caller's.
void acquire(AttrTab &tab, const LongRun &run)
{
    if (!IsCadRunning())
        return;
    try {
        Application app = AttachCad();
        ActivateCad(app, ActivateLevel::FrontEsc, [&] { tab.mainWindow->showMinimized(); });
        const Document doc = app.activeDocument();
        const TagSet tagSet = SplitTagSet(tab.tagSetBox->currentText());

        int picked = 0;
        QStringList prompts;
        std::optional<ProgressShow> references;
        std::optional<GridUpdate> update;
        std::optional<RowsShown> rows;
        AcquireSteps steps;
        steps.picked = [&](int count) {
            if (tab.mainWindow->isMinimized())
                tab.mainWindow->showNormal();
            tab.progressLabel->setText(QStringLiteral("INSERT = %1").arg(count));
            picked = count;
            if (count > 0) {
                setProgress(tab, count);
                references.emplace(tab, "INSERT", count);
            }
        };
        steps.beforeReference = [&](int i) {
            if (!run.keepGoing())
                return false;
            references->step(i + 1);
            QCoreApplication::processEvents();
            return true;
        };
        steps.beginRows = [&](const QStringList &lines) {
            references.reset();
            prompts = lines;
            ClearGrid(*tab.grid);
            update.emplace(*tab.grid);
            rows.emplace(tab, static_cast<int>(blkArray.size()), static_cast<int>(tagSet.tags.size()), picked);
        };
        steps.beforeRow = [&](int i) {
            if (!run.keepGoing())
                return false;
            rows->progress.step(i + 1);
            rows->begun = i + 1;
            return true;
        };
        steps.row = [&](int i, const QList<RowCell> &cells) { rows->fill(i + 1, cells, tagSet.tags, prompts); };

        const bool filled = AcquireAttributeRows(doc, tagSet, steps);
        rows.reset();
        update.reset();
        if (!filled)
            return;
        AutoSizeColumns(*tab.grid, 10);
        tab.undo->Clear();
        tab.fields->sgUndoCnt = 0;
        tab.writeAllowed = true;
    } catch (const AutomationError &) {
        // Ends silently; what was filled so far stays.
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
    {
        const LongRun run(f, tab.lockedWhileRunning, tab.stopButton);
        tab.setStatusPanel(0, QString());
        tab.setStatusPanel(1, QString());
        ClosingStep closing{tab};
        acquire(tab, run);
    }
    // The run gave "更新" back the state it had; an acquisition that got
    // through turns it on for good.
    tab.writeButton->setEnabled(tab.writeAllowed);
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
