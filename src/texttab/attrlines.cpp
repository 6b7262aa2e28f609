#include "texttab/internal.h"

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
            for (int i = 0; i < c; ++i) {
                tab.progressLabel->setText(QStringLiteral("%1 : %2 / %3").arg(tag).arg(i + 1).arg(c));
                tab.progressLabel->repaint();
                const Entity ref = set.item(i);
                for (const Entity &attr : ref.getAttributes()) {
                    if (attr.tagString() != tag)
                        continue;
                    Lumo e;
                    e.text = attr.textString();
                    e.sHnd = attr.handle();
                    e.index = int(lines.size());
                    e.txtAli = attr.alignment();
                    e.lay = ref.layer();
                    e.insPt = ref.insertionPoint();
                    e.parentType = kInsert;
                    lines.append(e);
                }
            }
            textArray = lines;
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
