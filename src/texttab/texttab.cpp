#include "texttab/texttab.h"
#include "texttab/internal.h"

#include "cad/connection.h"
#include "cad/readahead.h"
#include "cad/tracking.h"
#include "widgets/lineeditor.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QToolButton>
#include <QWidget>

#include <cmath>

namespace lumo {

using namespace cad;


std::optional<double> readStep(const QLineEdit *box)
{
    bool ok = false;
    const double v = QLocale().toDouble(box->text().trimmed(), &ok);
    if (ok)
        return v;
    // Users type the C locale's point too, whatever the system's separator.
    const double c = QLocale::c().toDouble(box->text().trimmed(), &ok);
    return ok ? std::optional<double>(c) : std::nullopt;
}

namespace {
// Two decimals; a step that rounds to nothing shows as "0.00", not "-0.00".
QString stepText(double v)
{
    const QString text = QLocale().toString(v, 'f', 2);
    return QLocale().toDouble(text) == 0 ? QLocale().toString(0.0, 'f', 2) : text;
}
} // namespace

void writeSteps(TextTab &tab, double dx, double dy)
{
    tab.dxBox->setText(stepText(dx));
    tab.dyBox->setText(stepText(dy));
}

namespace detail {

const QString kInsert = QStringLiteral("INSERT");

void restoreOwnWindow(TextTab &tab)
{
    if (tab.mainWindow->isMinimized())
        tab.mainWindow->showNormal();
    ForceForegroundWindow(WindowHandle(tab.mainWindow->winId()));
}

void setTextColour(QLineEdit *box, const QColor &colour)
{
    QPalette p = box->palette();
    p.setColor(QPalette::Text, colour);
    box->setPalette(p);
}

void showProgress(TextTab &tab, int at, int of)
{
    // Repainting the window for every entity costs more than the entity's
    // automation calls; a few updates a second are all the eye can follow.
    static QElapsedTimer shown;
    if (at != 1 && at != of && shown.isValid() && shown.elapsed() < 50)
        return;
    shown.start();
    tab.progressLabel->setText(QStringLiteral("%1 / %2").arg(at).arg(of));
}

Point referencePoint(const Entity &e, int alignment)
{
    return alignment == 0 ? e.insertionPoint() : e.textAlignmentPoint();
}

void placeAt(const Entity &e, const Point &p)
{
    placeAt(e, e.alignment(), p);
}

void placeAt(const Entity &e, int alignment, const Point &p)
{
    if (alignment == 0) {
        e.setInsertionPoint(p);
    } else if (alignment == 3 || alignment == 5) {
        // Aligned and Fit lie between their two points: putting only one of
        // them would stretch or turn the text, so both move by one step.
        const Point from = e.textAlignmentPoint();
        const Point first = e.insertionPoint();
        const double dx = p.x - from.x, dy = p.y - from.y, dz = p.z - from.z;
        e.setInsertionPoint({first.x + dx, first.y + dy, first.z + dz});
        e.setTextAlignmentPoint(p);
    } else {
        e.setTextAlignmentPoint(p);
    }
}

void showSnapshotLines(TextTab &tab)
{
    QStringList lines;
    lines.reserve(textArray.size());
    for (const Lumo &e : std::as_const(textArray))
        lines << e.text;
    tab.editor->beginUpdate();
    tab.editor->setLines(lines);
    tab.editor->endUpdate();
    tab.editor->setCaretToStart();
}

bool showStepOfLastTwo(TextTab &tab)
{
    double dx = 0;
    double dy = 0;
    const qsizetype n = textArray.size();
    if (n >= 2) {
        dx = textArray[n - 1].insPt.x - textArray[n - 2].insPt.x;
        dy = textArray[n - 1].insPt.y - textArray[n - 2].insPt.y;
    }
    writeSteps(tab, dx, dy);
    // The boxes hold what later steps use, so the test is on the rounded values.
    dx = readStep(tab.dxBox).value_or(0);
    dy = readStep(tab.dyBox).value_or(0);
    const bool zero = dx == 0 && dy == 0;
    setTextColour(tab.dxBox, zero ? Qt::red : Qt::black);
    setTextColour(tab.dyBox, zero ? Qt::red : Qt::black);
    return !zero;
}

TextRun::TextRun(TextTab &tab) : m_tab(tab), m_run(*tab.fields, tab.lockedWhileRunning, tab.stopButton)
{
    tab.progressLabel->show();
    tab.selectAllButton->hide();
}

TextRun::~TextRun()
{
    m_tab.progressLabel->hide();
    m_tab.selectAllButton->show();
}

RunHooks TextRun::hooks() const
{
    return {.progress = [this](int at, int of) { showProgress(m_tab, at, of); },
            .keepGoing = [this] { return m_run.keepGoing(); }};
}

PickingRun::PickingRun(TextTab &tab, bool attributeLines) : m_tab(tab)
{
    tab.countLabel->clear();
    tab.progressLabel->clear();
    tab.setStatusPanel(0, QString());
    tab.setStatusPanel(1, QString());
    tab.fields->ATTmode = attributeLines;
}

PickingRun::~PickingRun()
{
    restoreOwnWindow(m_tab);
}

void PickingRun::activate(const Application &app) const
{
    ActivateCad(app, ActivateLevel::FrontEsc, [this] { m_tab.mainWindow->showMinimized(); });
}

} // namespace detail

using namespace detail;

namespace {

// Picked TEXTs from..to read ahead in one batch, with exactly the reads the
// loop makes of each: Item and Layer, then, off the locked layers,
// TextString, Handle, Alignment and the point that alignment names. A read
// that failed raises its error when the loop takes its value.
struct PickedTexts : SelectedItems {
    struct Text {
        Pending<QString> text, handle;
        Pending<int> alignment;
        Pending<Point> point;
    };
    QList<Pending<QString>> layers;
    QList<Text> texts;

    PickedTexts(const SelectionSet &set, int from, int to, const QString &locked)
        : SelectedItems(set, from, to), layers(readEach(&ReadBatch::layer)), texts(entities.size())
    {
        for (qsizetype j = 0; j < texts.size(); ++j) {
            if (batch.failed(layers[j]) || IsLayerLocked(locked, batch.value(layers[j])))
                continue;
            texts[j].text = batch.textString(entities[j]);
            texts[j].handle = batch.handle(entities[j]);
            texts[j].alignment = batch.alignment(entities[j]);
        }
        batch.run();
        for (qsizetype j = 0; j < texts.size(); ++j) {
            Text &t = texts[j];
            if (t.alignment.slot < 0 || batch.failed(t.text) || batch.failed(t.handle) || batch.failed(t.alignment))
                continue;
            t.point = batch.value(t.alignment) == 0 ? batch.insertionPoint(entities[j])
                                                     : batch.textAlignmentPoint(entities[j]);
        }
        batch.run();
    }
    // Entity j's layer; raises the error of its Item or Layer read.
    QString layerOf(int j) const
    {
        (void)batch.value(items[j]);
        return batch.value(layers[j]);
    }
};

} // namespace

PickReport PickTexts(const Document &doc, const RunHooks &hooks)
{
    const DrawingSource source = DrawingSource::of(doc);
    const QString locked = LockedLayerList(doc);
    const SelectionFilter filter = entityTypeFilter(QStringLiteral("TEXT"));
    SelectionSet set = GetTempSelectionSet(doc);
    TempSelectionSetGuard guard(set);
    PickOnScreen(set, filter);
    PickReport report;
    const int c = report.picked = set.count();
    if (c == 0)
        return report;
    // Built aside and taken over whole, so an error half-way never leaves a
    // snapshot that no longer matches the editor's lines.
    QList<Lumo> picked = textArray;
    picked.resize(c);
    int &k = report.taken;
    readAheadEntities(
        c, [](int) { return true; }, [&](int from, int to) { return PickedTexts(set, from, to, locked); },
        [&](const PickedTexts &read, int j, int) {
            const QString layer = read.layerOf(j);
            if (IsLayerLocked(locked, layer))
                return;
            hooks.keepGoing();
            const PickedTexts::Text &t = read.texts[j];
            Lumo &e = picked[k];
            e.text = read.batch.value(t.text);
            e.sHnd = read.batch.value(t.handle);
            e.index = k;
            e.txtAli = read.batch.value(t.alignment);
            e.insPt = read.batch.value(t.point);
            e.lay = layer;
            e.parentType.clear();
            ++k;
        });
    picked.resize(k);
    textArray = picked;
    textArrayDrawing = source;
    return report;
}

void AcquireTexts(TextTab &tab)
{
    FormFields &f = *tab.fields;
    if (f.runFlag)
        return;
    const PickingRun picking(tab, false);
    if (!IsCadRunning())
        return;
    Application app = AttachCad();
    picking.activate(app);
    Document doc = app.activeDocument();
    const PickReport report = PickTexts(doc, {.keepGoing = [] {
                                                  QCoreApplication::processEvents();
                                                  return true;
                                              }});
    if (report.picked > 0) {
        if (report.taken < report.picked) {
            widgets::showMessage(widgets::MessageKind::Information,
                                 QStringLiteral("ロック画層のTEXT %1 個を除外しました.").arg(report.picked - report.taken),
                                 tab.mainWindow);
        }
        if (report.taken > 0 && tab.sortBox->isChecked())
            SortTextsByPosition(textArray, SortMode::Automatic);
        f.undoFlag = false;
        tab.undoButton->setEnabled(false);
        showSnapshotLines(tab);
    }
    if (report.taken == 0)
        return;
    if (!showStepOfLastTwo(tab)) {
        widgets::showMessage(widgets::MessageKind::Information,
                             QStringLiteral("dX, dY が 0 です．\rdX, dY の値を設定するか、[取得]で複数の TEXT "
                                            "を選択してください．"),
                             tab.mainWindow);
    }
    tab.writeButton->setEnabled(!textArray.isEmpty());
    tab.alignButton->setEnabled(textArray.size() > 1);
}

void StopRun(TextTab &tab)
{
    tab.fields->runFlag = false;
    QCoreApplication::processEvents();
    tab.stopButton->setEnabled(false);
}

namespace {

// The main pass: line r against entry s of the snapshot. Returns false
// when "中止" stopped it.
bool writeMainPass(const Document &doc, const QStringList &lines, const RunHooks &hooks, Entity &templ,
                   bool &templSet, int &r)
{
    const qsizetype n = textArray.size();
    const int lastAlignment = textArray[n - 1].txtAli;
    const int last = LastTextLineCount(lines);
    for (qsizetype s = 0; s < n; ++s) {
        Lumo &e = textArray[s];
        hooks.progress(int(s) + 1, int(lines.size()));
        if (!e.sHnd.isEmpty()) {
            if (r >= last) {
                try {
                    const Entity ent = doc.handleToObject(e.sHnd);
                    if (e.parentType != kInsert) {
                        ent.erase();
                        e.sHnd.clear();
                    }
                } catch (const AutomationError &) {
                }
            } else {
                const QString &line = lines.at(r);
                try {
                    const Entity ent = doc.handleToObject(e.sHnd);
                    if (!IsBlankLine(line) || e.parentType == kInsert) {
                        if (ent.textString() != line)
                            ent.setTextString(line);
                        templ = ent;
                        templSet = true;
                    } else {
                        ent.erase();
                        e.sHnd.clear();
                    }
                } catch (const AutomationError &) {
                    // Erased or locked in the CAD meanwhile: this entry stays as it was.
                }
                ++r;
            }
        } else if (e.parentType != kInsert) {
            if (!templSet)
                templSet = FindLastLiveEntity(doc, templ);
            if (templSet) {
                if (r < last) {
                    const QString &line = lines.at(r);
                    if (!IsBlankLine(line)) {
                        const Entity copy = templ.copy();
                        if (copy.textString() != line)
                            copy.setTextString(line);
                        copy.setAlignment(lastAlignment);
                        placeAt(copy, e.insPt);
                        e.lay = copy.layer();
                        e.sHnd = copy.handle();
                    }
                    ++r;
                }
            }
        }
        if (!hooks.keepGoing())
            return false;
    }
    return true;
}

// Lines beyond the snapshot become copies placed one step apart.
void writeAddPass(const Document &doc, const QStringList &lines, double dx, double dy, const RunHooks &hooks,
                  Entity &templ, int r, const Point &lastPoint, WriteBackReport &report)
{
    if (!FindLastLiveEntity(doc, templ) || lines.size() <= r)
        return;
    if (std::fabs(dx) < 0.001 && std::fabs(dy) < 0.001) {
        report.zeroStep = true;
        return;
    }
    Point pt = lastPoint;
    const int last = LastTextLineCount(lines);
    for (int i = r; i < last; ++i) {
        hooks.progress(i + 1, int(lines.size()));
        pt.x += dx;
        pt.y += dy;
        const QString &line = lines.at(i);
        Lumo entry;
        if (!IsBlankLine(line)) {
            const Entity copy = templ.copy();
            placeAt(copy, pt);
            copy.setTextString(line);
            entry.text = copy.textString();
            entry.sHnd = copy.handle();
            entry.txtAli = copy.alignment();
            entry.lay = copy.layer();
            entry.insPt = referencePoint(copy, entry.txtAli);
            templ = copy;
        } else {
            // A placeholder: text typed here later is created at this point.
            entry.insPt = pt;
        }
        textArray.append(entry);
        if (!hooks.keepGoing())
            return;
    }
}

} // namespace

WriteBackReport WriteLinesBack(const Document &doc, const QStringList &lines, double dx, double dy,
                               bool attributeLines, const RunHooks &hooks)
{
    WriteBackReport report;
    const qsizetype n = textArray.size();
    if (n == 0)
        return report;
    try {
        UndoGroup group(doc);
        Entity templ;
        bool templSet = false;
        int r = 0;
        const Point lastPoint = textArray[n - 1].insPt;
        // A stop during the main pass ends the run; the add pass does not start.
        if (writeMainPass(doc, lines, hooks, templ, templSet, r) && !attributeLines)
            writeAddPass(doc, lines, dx, dy, hooks, templ, r, lastPoint, report);
        group.close();
    } catch (const AutomationError &e) {
        // The group is closed on the way out.
        report.failure = e.message();
    }
    return report;
}

void WriteBackTexts(TextTab &tab)
{
    FormFields &f = *tab.fields;
    widgets::LineEditor &ed = *tab.editor;
    if (ed.lineCount() == 0 || f.runFlag)
        return;
    if (!IsCadRunning())
        return;
    Application app = AttachCad();
    ActivateCad(app, ActivateLevel::Front);
    Document doc = app.activeDocument();
    if (!textArray.isEmpty() && refuseOtherDrawing(textArrayDrawing, doc, tab.mainWindow))
        return;

    const QStringList lines = ed.lines();
    WriteBackReport report;
    {
        const TextRun run(tab);
        report = WriteLinesBack(doc, lines, readStep(tab.dxBox).value_or(0), readStep(tab.dyBox).value_or(0),
                                f.ATTmode, run.hooks());
        // Said while the run still holds the window, where the adding stopped.
        if (report.zeroStep) {
            widgets::showMessage(widgets::MessageKind::Information,
                                 QStringLiteral("dX, dY が 0 のため、追加を中止しました．"), tab.mainWindow);
        }
    }
    // An error is told only once the run has ended.
    if (!report.failure.isNull())
        widgets::showMessage(widgets::MessageKind::Plain, QStringLiteral("エラーのため、更新を中止しました．"),
                             tab.mainWindow);
    // The snapshot lines up with the lines again: entries past the last text go.
    if (!f.ATTmode)
        textArray.resize(LastTextLineCount(lines));
    try {
        doc.regen(0);
    } catch (const AutomationError &) {
    }
}

std::optional<Point> trackingPoint(const TextTab &tab, int y)
{
    const qsizetype n = textArray.size();
    if (!tab.panBox->isChecked() || n == 0)
        return std::nullopt;
    if (y <= n)
        return textArray[y - 1].insPt;
    if (tab.fields->ATTmode)
        return std::nullopt;
    const std::optional<double> dx = readStep(tab.dxBox);
    const std::optional<double> dy = readStep(tab.dyBox);
    if (!dx || !dy)
        throw std::invalid_argument(
            QStringLiteral("'%1' is not a valid floating point value").arg((!dx ? tab.dxBox : tab.dyBox)->text())
                .toStdString());
    Point p = textArray[n - 1].insPt;
    p.x += *dx * (y - n);
    p.y += *dy * (y - n);
    return p;
}

void CaretYChanged(TextTab &tab, int y)
{
    if (y == tab.fields->CaretY_Old || y < 1)
        return;
    const std::optional<Point> point = trackingPoint(tab, y);
    if (point && IsCadRunning()) {
        try {
            ShowPointInCad(AttachCad(), *point, 3, false, 0.05, textArrayDrawing);
        } catch (const AutomationError &) {
        }
    }
    tab.fields->CaretY_Old = y;
}

int selectedLineCount(const QString &selectedText)
{
    if (selectedText.isEmpty())
        return 0;
    const int feeds = int(selectedText.count(QLatin1Char('\n')));
    return selectedText.endsWith(QLatin1Char('\n')) ? feeds : feeds + 1;
}

void StatusDisplay(TextTab &tab)
{
    FormFields &f = *tab.fields;
    widgets::LineEditor &ed = *tab.editor;
    f.iLineLast = f.ATTmode ? int(textArray.size()) : LastTextLineCount(ed);
    const QString count = QStringLiteral("取得データ数 = %1").arg(f.iLineLast);
    if (tab.countLabel->text() != count)
        tab.countLabel->setText(count);

    const int caretLine = ed.caretLine();
    // Pale green (yellow for attribute lines) beyond the snapshot: a line typed there is new.
    const QColor colour = caretLine > textArray.size()
                              ? (f.ATTmode ? QColor(0xFF, 0xFF, 0x00) : QColor(0xDD, 0xFF, 0xFD))
                              : QApplication::palette().color(QPalette::Active, QPalette::Base);
    if (ed.backgroundColour() != colour)
        ed.setBackgroundColour(colour);

    const bool undoEnabled = ed.canUndo() || f.undoFlag;
    if (tab.undoButton->isEnabled() != undoEnabled)
        tab.undoButton->setEnabled(undoEnabled);

    tab.setStatusPanel(1, QStringLiteral("selRows = %1").arg(selectedLineCount(ed.selectedText())));
    tab.setStatusPanel(0, QStringLiteral("Row = %1 / %2 Col= %3").arg(caretLine).arg(f.iLineLast).arg(ed.caretColumn()));
}

void UndoMark(TextTab &tab, bool flag)
{
    if (flag)
        tab.fields->undoText = tab.editor->text();
    else
        tab.editor->setText(tab.fields->undoText);
    tab.undoButton->setEnabled(flag);
    tab.fields->undoFlag = flag;
}

void UndoButton(TextTab &tab)
{
    if (tab.editor->canUndo())
        tab.editor->undoGroup();
    else
        UndoMark(tab, false);
}

void ClearCommand(TextTab &tab)
{
    UndoMark(tab, true);
    tab.editor->clearLines();
}

void CopyCommand(TextTab &tab)
{
    QGuiApplication::clipboard()->setText(tab.editor->selectedText());
}

void CutCommand(TextTab &tab)
{
    CopyCommand(tab);
    tab.editor->replaceSelection(QString());
}

void PasteCommand(TextTab &tab)
{
    UndoMark(tab, true);
    tab.editor->pasteFromClipboard();
}

} // namespace lumo
