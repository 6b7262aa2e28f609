#include "texttab/lumo.h"

#include "widgets/lineeditor.h"

#include <utility>

namespace lumo {

QList<Lumo> textArray;
cad::DrawingSource textArrayDrawing;

void SortTextsByPosition(QList<Lumo> &entries, SortMode mode)
{
    const qsizetype n = entries.size();
    if (n < 2)
        return;
    if (mode == SortMode::Automatic) {
        double minX = entries[0].insPt.x, maxX = minX, minY = entries[0].insPt.y, maxY = minY;
        for (const Lumo &e : entries) {
            minX = std::min(minX, e.insPt.x);
            maxX = std::max(maxX, e.insPt.x);
            minY = std::min(minY, e.insPt.y);
            maxY = std::max(maxY, e.insPt.y);
        }
        mode = (maxY - minY) >= (maxX - minX) ? SortMode::ByY : SortMode::ByX;
    }
    for (qsizetype i = 0; i < n - 1; ++i) {
        for (qsizetype j = i + 1; j < n; ++j) {
            const bool exchange = mode == SortMode::ByX ? entries[i].insPt.x > entries[j].insPt.x
                                                        : entries[i].insPt.y < entries[j].insPt.y;
            if (exchange)
                std::swap(entries[i], entries[j]);
        }
    }
}

bool IsBlankLine(const QString &line)
{
    for (const QChar c : line) {
        if (c.unicode() > 0x20)
            return false;
    }
    return true;
}

int LastTextLineCount(const QStringList &lines)
{
    for (qsizetype i = lines.size(); i > 0; --i) {
        if (!IsBlankLine(lines.at(i - 1)))
            return int(i);
    }
    return 0;
}

int LastTextLineCount(const widgets::LineEditor &editor)
{
    for (int i = editor.lineCount(); i > 0; --i) {
        if (!IsBlankLine(editor.line(i - 1)))
            return i;
    }
    return 0;
}

bool FindLastLiveEntity(const cad::Document &doc, cad::Entity &entity)
{
    for (qsizetype i = textArray.size(); i > 0; --i) {
        const Lumo &e = textArray.at(i - 1);
        if (e.sHnd.isEmpty())
            continue;
        try {
            entity = doc.handleToObject(e.sHnd);
        } catch (const cad::AutomationError &) {
        }
        return true;
    }
    return false;
}

} // namespace lumo
