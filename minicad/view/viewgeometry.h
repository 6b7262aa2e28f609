#pragma once
// Geometry of what the view draws, in world coordinates (y up): where a
// text lies, the outline of DXF shapes, and block definitions ready to be
// drawn by their references.

#include "minicad/dxf/dxfdocument.h"
#include "minicad/model/drawing.h"

#include <QFont>
#include <QHash>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>

namespace minicad::view {

// The font every text is drawn with: a gothic face that has Japanese glyphs
// (IPA Gothic, else Noto Sans CJK), laid out at a fixed pixel size and
// scaled so that its capital letters are as tall as the text's height.
struct TextFont {
    QFont font;
    double capHeight = 70;
    double ascent = 88;
    double descent = 12;
    static const TextFont &instance();
    double advance(const QString &text) const;
};

// Where a text (TEXT, ATTRIB, ATTDEF) lies: `toWorld` maps the font's
// coordinates (pixels of TextFont, y down, baseline at 0, text starting at
// x 0) to world coordinates; `box` is the text's extent in font coordinates.
struct TextPlacement {
    QTransform toWorld;
    QRectF box;
    QPolygonF outline() const { return toWorld.map(QPolygonF(box)); }
};
TextPlacement placeText(const Entity &text);

// The outline of one DXF shape (bulges and arcs as true arcs).
QPainterPath shapePath(const DxfShape &shape);

// Maps a block definition's coordinates to the world for one reference.
QTransform referenceTransform(const Entity &reference, const Point &basePoint);

// A block definition as its references draw it, in block coordinates.
struct BlockGraphic {
    QPainterPath strokes;     // lines, polylines, circles, arcs
    QList<Entity> texts;      // TEXTs (attribute definitions are not shown by references)
    QList<Entity> references; // nested block references
    Point basePoint;
};

class BlockLibrary {
public:
    void rebuild(const Drawing &drawing, const DxfDocument *document);
    const BlockGraphic *find(const QString &name) const; // letter case ignored

private:
    QHash<QString, BlockGraphic> m_blocks; // key: upper-case name
};

// Field by field (attributes too): the model's Entity has no usable ==.
bool sameEntity(const Entity &a, const Entity &b);
bool sameBlocks(const QList<Block> &a, const QList<Block> &b);

// Nesting deeper than this is taken to be a cycle and not drawn.
constexpr int kMaxBlockNesting = 8;

// What a reference puts into the world: its block's strokes and the
// outlines of its texts and attributes; used for picking. `outer` maps the
// reference's own coordinates to the world (identity in model space).
QPainterPath referenceOutline(const Entity &reference, const BlockLibrary &library,
                              const QTransform &outer = {}, int depth = 0);

} // namespace minicad::view
