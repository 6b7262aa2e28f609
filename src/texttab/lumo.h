#pragma once
// The snapshot of the TEXT tab: one record per editor line, holding the
// entity handle and the values read when the line was made.

#include "cad/drawingsource.h"
#include "cad/objectmodel.h"

#include <QList>
#include <QString>

namespace widgets {
class LineEditor;
}

namespace lumo {

struct Lumo {
    QString sHnd;       // empty: no entity (deleted, or a placeholder for a blank line)
    QString text;       // the string when the entry was made
    cad::Point insPt;   // alignment point when txtAli != 0, else insertion point
    int txtAli = 0;
    QString lay;
    int index = 0;      // position in selection order, before sorting
    QString parentType; // "INSERT" for attribute lines
    QString parentName;
    bool locked = false;
};

// Entry i belongs to editor line i.
extern QList<Lumo> textArray;
// The drawing textArray was read from.
extern cad::DrawingSource textArrayDrawing;

enum class SortMode { ByX, ByY, Automatic };

// Exchange sort on one coordinate; the order it leaves equal keys in is
// part of what users see, so it stays exactly this procedure.
void SortTextsByPosition(QList<Lumo> &entries, SortMode mode);

// Lines up to and including the last non-blank one.
int LastTextLineCount(const widgets::LineEditor &editor);
int LastTextLineCount(const QStringList &lines);

// Empty after removing characters up to U+0020 from both ends (U+3000 stays).
bool IsBlankLine(const QString &line);

// The entity of the last entry that still has a handle. A failure to resolve
// it still answers true and leaves `entity` as it was.
bool FindLastLiveEntity(const cad::Document &doc, cad::Entity &entity);

} // namespace lumo
