#include "texttab/internal.h"

#include "cad/connection.h"
#include "cad/readahead.h"
#include "widgets/lineeditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QToolButton>
#include <QWidget>

namespace lumo {

using namespace cad;
using namespace detail;

QString tagOfComboText(const QString &text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    return colon < 0 ? text : text.left(colon);
}

QString blockFilterOfComboText(const QString &text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        const QString comment = text.mid(colon);
        const qsizetype open = comment.indexOf(QLatin1Char('['));
        const qsizetype close = comment.indexOf(QLatin1Char(']'));
        if (open >= 0 && close >= open + 2)
            return comment.mid(open + 1, close - open - 1);
    }
    return QStringLiteral("*");
}

namespace {

// Picked references from..to read ahead in one batch: Item, GetAttributes,
// every attribute's TagString, and for each attribute of the tag its
// TextString, Handle and Alignment with the reference's Layer and
// InsertionPoint, the reads the loop makes in that order. Reads stop at an
// attribute whose tag cannot be read: the loop ends there with its error.
struct PickedReferences : SelectedItems {
    struct Attribute {
        Entity attr;
        Pending<QString> tag, text, handle, layer;
        Pending<int> alignment;
        Pending<Point> point;
    };
    QList<Pending<QList<Entity>>> attributes;
    QList<QList<Attribute>> attrs; // reference j's attributes, read so far

    PickedReferences(const SelectionSet &set, int from, int to, const QString &tag)
        : SelectedItems(set, from, to), attributes(readEach(&ReadBatch::getAttributes)), attrs(entities.size())
    {
        for (qsizetype j = 0; j < attrs.size(); ++j) {
            if (batch.failed(attributes[j]))
                continue;
            for (const Entity &a : batch.value(attributes[j]))
                attrs[j].append({a, batch.tagString(a), {}, {}, {}, {}, {}});
        }
        batch.run();
        for (qsizetype j = 0; j < attrs.size(); ++j) {
            for (Attribute &a : attrs[j]) {
                if (batch.failed(a.tag))
                    break;
                if (batch.value(a.tag) != tag)
                    continue;
                a.text = batch.textString(a.attr);
                a.handle = batch.handle(a.attr);
                a.alignment = batch.alignment(a.attr);
                a.layer = batch.layer(entities[j]);
                a.point = batch.insertionPoint(entities[j]);
            }
        }
        batch.run();
    }
};

} // namespace

PickReport PickAttributeLines(const Document &doc, const QString &comboText, const RunHooks &hooks)
{
    const DrawingSource source = DrawingSource::of(doc);
    SelectionSet set = GetTempSelectionSet(doc);
    TempSelectionSetGuard guard(set);
    PickOnScreen(set, {{0, 2, 66}, {QStringLiteral("INSERT"), blockFilterOfComboText(comboText), 1}});
    PickReport report;
    const int c = report.picked = set.count();
    hooks.progress(0, c);
    if (c == 0)
        return report;
    const QString tag = tagOfComboText(comboText);
    // Collected aside so an error half-way leaves the old lines and snapshot together.
    QList<Lumo> lines;
    readAheadEntities(
        c,
        [&](int i) {
            hooks.progress(i + 1, c);
            return true;
        },
        [&](int from, int to) { return PickedReferences(set, from, to, tag); },
        [&](const PickedReferences &read, int j, int) {
            (void)read.batch.value(read.items[j]);
            (void)read.batch.value(read.attributes[j]);
            for (const PickedReferences::Attribute &a : read.attrs[j]) {
                if (read.batch.value(a.tag) != tag)
                    continue;
                Lumo e;
                e.text = read.batch.value(a.text);
                e.sHnd = read.batch.value(a.handle);
                e.index = int(lines.size());
                e.txtAli = read.batch.value(a.alignment);
                e.lay = read.batch.value(a.layer);
                e.insPt = read.batch.value(a.point);
                e.parentType = kInsert;
                lines.append(e);
            }
        });
    textArray = lines;
    textArrayDrawing = source;
    report.taken = int(lines.size());
    return report;
}

void AcquireAttributeLines(TextTab &tab)
{
    FormFields &f = *tab.fields;
    if (f.runFlag)
        return;
    const PickingRun picking(tab, true);
    if (!IsCadRunning())
        return;
    const Application app = AttachCad();
    picking.activate(app);
    const Document doc = app.activeDocument();
    const QString comboText = tab.tagBox->currentText();
    const QString tag = tagOfComboText(comboText);
    QLabel &label = *tab.progressLabel;
    const PickReport report = PickAttributeLines(doc, comboText, {.progress = [&](int at, int of) {
        if (at == 0) {
            label.setText(QStringLiteral("INSERT=%1").arg(of));
            return;
        }
        label.setText(QStringLiteral("%1 : %2 / %3").arg(tag).arg(at).arg(of));
        label.repaint();
    }});
    if (report.picked == 0)
        return;
    if (tab.sortBox->isChecked())
        SortTextsByPosition(textArray, SortMode::Automatic);
    f.undoFlag = false;
    tab.undoButton->setEnabled(false);
    showSnapshotLines(tab);
    label.setText(QStringLiteral("%1 = %2 / %3").arg(tag).arg(tab.editor->lineCount()).arg(report.picked));
    // Red boxes but no message: attribute lines are not aligned or added to.
    showStepOfLastTwo(tab);
    tab.writeButton->setEnabled(!textArray.isEmpty());
    tab.alignButton->setEnabled(false);
}

} // namespace lumo
