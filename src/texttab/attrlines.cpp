#include "texttab/internal.h"

#include "cad/batch.h"
#include "cad/connection.h"
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
struct PickedReferences {
    struct Attribute {
        Entity attr;
        Pending<QString> tag, text, handle, layer;
        Pending<int> alignment;
        Pending<Point> point;
    };
    struct Reference {
        Pending<Entity> item;
        Pending<QList<Entity>> attributes;
        QList<Attribute> attrs;
    };
    ReadBatch batch;
    QList<Reference> refs;

    PickedReferences(const SelectionSet &set, int from, int to, const QString &tag)
    {
        refs.resize(to - from);
        for (int i = from; i < to; ++i)
            refs[i - from].item = batch.item(set, i);
        batch.run();
        QList<Entity> entities(refs.size());
        for (qsizetype j = 0; j < refs.size(); ++j)
            if (!batch.failed(refs[j].item)) {
                entities[j] = batch.value(refs[j].item);
                refs[j].attributes = batch.getAttributes(entities[j]);
            }
        batch.run();
        for (Reference &r : refs) {
            if (batch.failed(r.attributes))
                continue;
            for (const Entity &a : batch.value(r.attributes))
                r.attrs.append({a, batch.tagString(a), {}, {}, {}, {}, {}});
        }
        batch.run();
        for (qsizetype j = 0; j < refs.size(); ++j) {
            for (Attribute &a : refs[j].attrs) {
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
    const DrawingSource source = DrawingSource::of(doc);

    const QString comboText = tab.tagBox->currentText();
    const QList<qint16> types{0, 2, 66};
    const QVariantList data{QStringLiteral("INSERT"), blockFilterOfComboText(comboText), 1};

    int c = 0;
    {
        SelectionSet set = GetTempSelectionSet(doc);
        TempSelectionSetGuard guard(set);
        set.clear();
        try {
            set.selectOnScreen(types, data);
        } catch (const AutomationError &) {
        }
        c = set.count();
        tab.progressLabel->setText(QStringLiteral("INSERT=%1").arg(c));
        if (c > 0) {
            const QString tag = tagOfComboText(comboText);
            // Collected aside so an error half-way leaves the old lines and snapshot together.
            QList<Lumo> lines;
            ReadAheadSize ahead;
            for (int from = 0; from < c;) {
                const int to = ahead.end(from, c);
                const PickedReferences read(set, from, to, tag);
                ahead.ran();
                for (int i = from; i < to; ++i) {
                    tab.progressLabel->setText(QStringLiteral("%1 : %2 / %3").arg(tag).arg(i + 1).arg(c));
                    tab.progressLabel->repaint();
                    const PickedReferences::Reference &ref = read.refs[i - from];
                    (void)read.batch.value(ref.item);
                    (void)read.batch.value(ref.attributes);
                    for (const PickedReferences::Attribute &a : ref.attrs) {
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
                }
                from = to;
            }
            textArray = lines;
            textArrayDrawing = source;
            if (tab.sortBox->isChecked())
                SortTextsByPosition(textArray, SortMode::Automatic);
            f.undoFlag = false;
            tab.undoButton->setEnabled(false);
            showSnapshotLines(tab);
            tab.progressLabel->setText(
                QStringLiteral("%1 = %2 / %3").arg(tag).arg(tab.editor->lineCount()).arg(c));
        }
    }
    if (c == 0)
        return;
    // Red boxes but no message: attribute lines are not aligned or added to.
    showStepOfLastTwo(tab);
    tab.writeButton->setEnabled(!textArray.isEmpty());
    tab.alignButton->setEnabled(false);
}

} // namespace lumo
