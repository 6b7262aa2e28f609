#include "texttab/internal.h"

#include "cad/connection.h"
#include "widgets/lineeditor.h"
#include "widgets/messagebox.h"

#include <QLabel>
#include <QLineEdit>

#include <cmath>

namespace lumo {

using namespace cad;
using namespace detail;

namespace {

struct Grid {
    double x0 = 0, y0 = 0, dx = 0, dy = 0;
    Point at(int i, double z) const { return {x0 + i * dx, y0 + i * dy, z}; }
};

// A copy of the template for entry e at grid position i; a blank line only
// keeps the grid point as a placeholder. An entry already in the snapshot
// keeps the copy's z, an extra line gets 0.
void createAt(const Entity &templ, Lumo &e, const Grid &grid, int i, const QString &line, bool keepZ)
{
    const Entity copy = templ.copy();
    e.sHnd = copy.handle();
    e.txtAli = copy.alignment();
    e.lay = copy.layer();
    e.insPt = grid.at(i, keepZ ? referencePoint(copy, e.txtAli).z : 0.0);
    if (IsBlankLine(line)) {
        copy.erase();
        e.sHnd.clear();
        return;
    }
    e.text = line;
    copy.setTextString(line);
    placeAt(copy, e.insPt);
    copy.update();
}

void placeExisting(const Document &doc, const QStringList &lines, const RunHooks &hooks, const Grid &grid,
                   Entity &templ, bool &templSet)
{
    const qsizetype n = textArray.size();
    const int last = LastTextLineCount(lines);
    for (qsizetype i = 0; i < n; ++i) {
        Lumo &e = textArray[i];
        hooks.progress(int(i) + 1, int(lines.size()));
        const QString line = lines.value(i);
        if (!e.sHnd.isEmpty()) {
            if (i >= last)
                continue; // surplus: removed below
            e.insPt = grid.at(int(i), e.insPt.z);
            Entity ent;
            try {
                ent = doc.handleToObject(e.sHnd);
            } catch (const AutomationError &) {
                continue;
            }
            // Through the property it was read from, so justified text stays justified.
            placeAt(ent, e.txtAli, e.insPt);
            if (!IsBlankLine(line)) {
                if (ent.textString() != line)
                    ent.setTextString(line);
                templ = ent;
                templSet = true;
                ent.update();
            } else {
                ent.erase();
                e.sHnd.clear();
            }
        } else {
            if (!templSet)
                templSet = FindLastLiveEntity(doc, templ);
            if (templSet)
                createAt(templ, e, grid, int(i), line, true);
        }
    }
}

void addExtraLines(const Document &doc, const QStringList &lines, const Grid &grid, Entity &templ, bool templSet)
{
    const int last = LastTextLineCount(lines);
    const int n = int(textArray.size());
    if (last <= n)
        return;
    if (!templSet && !FindLastLiveEntity(doc, templ))
        return;
    for (int i = n; i < last; ++i) {
        textArray.append(Lumo());
        createAt(templ, textArray.last(), grid, i, lines.value(i), false);
    }
}

void removeSurplus(const Document &doc, const QStringList &lines)
{
    const int last = LastTextLineCount(lines);
    const qsizetype m = textArray.size();
    if (last >= m)
        return;
    for (qsizetype i = last; i < m; ++i) {
        Lumo &e = textArray[i];
        if (e.sHnd.isEmpty())
            continue;
        Entity ent;
        try {
            ent = doc.handleToObject(e.sHnd);
        } catch (const AutomationError &) {
        }
        e.sHnd.clear();
        if (!ent.isNull())
            ent.erase();
    }
    doc.regen(0);
}

} // namespace

AlignReport AlignLines(const Document &doc, const QStringList &lines, double dx, double dy, const RunHooks &hooks)
{
    AlignReport report;
    try {
        UndoGroup group(doc);
        if (textArray.size() > 1) {
            if (std::fabs(dx) > 0.01 || std::fabs(dy) > 0.01) {
                const Grid grid{textArray[0].insPt.x, textArray[0].insPt.y, dx, dy};
                Entity templ;
                bool templSet = false;
                placeExisting(doc, lines, hooks, grid, templ, templSet);
                addExtraLines(doc, lines, grid, templ, templSet);
            }
            removeSurplus(doc, lines);
        }
        group.close();
    } catch (const AutomationError &) {
        report.failed = true; // the group was closed on the way out
    }
    return report;
}

void AlignTexts(TextTab &tab)
{
    if (tab.fields->runFlag || !IsCadRunning())
        return;
    const Application app = AttachCad();
    ActivateCad(app, ActivateLevel::FrontEsc);
    const Document doc = app.activeDocument();
    if (refuseOtherDrawing(textArrayDrawing, doc, tab.mainWindow))
        return;

    AlignReport report;
    {
        // The run takes no user input: everything that could change the lines is locked.
        const TextRun run(tab);
        report = AlignLines(doc, tab.editor->lines(), readStep(tab.dxBox).value_or(0),
                            readStep(tab.dyBox).value_or(0), run.hooks());
    }
    if (report.failed)
        widgets::showMessage(widgets::MessageKind::Plain, QStringLiteral("エラーのため、更新処理を中止しました．"),
                             tab.mainWindow);
}

} // namespace lumo
