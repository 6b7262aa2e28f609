#include "minicad/view/viewgeometry.h"

#include <QFontMetricsF>

#include <cmath>

namespace minicad::view {

const TextFont &TextFont::instance()
{
    static const TextFont font = [] {
        TextFont f;
        // A CAD's Japanese gothic: IPA Gothic is what install-deps brings;
        // Noto CJK serves where it is not installed.
        f.font.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("IPAexGothic"),
                            QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans Mono CJK JP"),
                            QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans")});
        f.font.setPixelSize(100);
        f.font.setKerning(false);
        const QFontMetricsF m(f.font);
        f.ascent = m.ascent();
        f.descent = m.descent();
        f.capHeight = m.capHeight() > 0 ? m.capHeight() : f.ascent * 0.75;
        return f;
    }();
    return font;
}

double TextFont::advance(const QString &text) const
{
    return QFontMetricsF(font).horizontalAdvance(text);
}

TextPlacement placeText(const Entity &text)
{
    const TextFont &f = TextFont::instance();
    const double width = f.advance(text.text);
    const double height = text.height > 0 ? text.height : 1e-6;
    double kx = height / f.capHeight;
    double ky = kx;
    Point at = text.alignment == 0 ? text.insertion : text.alignmentPoint;
    double angle = text.rotation;
    double rx = 0; // reference point in font coordinates
    double ry = 0;

    const int a = text.alignment;
    const double dx = text.alignmentPoint.x - text.insertion.x;
    const double dy = text.alignmentPoint.y - text.insertion.y;
    const double span = std::hypot(dx, dy);
    if ((a == 3 || a == 5) && span > 0 && width > 0) {
        // Aligned and fit: the baseline runs from the insertion point to the
        // alignment point; aligned keeps the proportions, fit the height.
        at = text.insertion;
        angle = std::atan2(dy, dx);
        kx = span / width;
        if (a == 3)
            ky = kx;
    } else {
        switch (a) {
        case 1: case 4: case 7: case 10: case 13: rx = width / 2; break;
        case 2: case 8: case 11: case 14: rx = width; break;
        default: break;
        }
        switch (a) {
        case 4: case 9: case 10: case 11: ry = -f.capHeight / 2; break;
        case 6: case 7: case 8: ry = -f.capHeight; break;
        case 12: case 13: case 14: ry = f.descent; break;
        default: break;
        }
        if (a == 3 || a == 5)
            at = text.insertion;
    }

    TextPlacement p;
    p.toWorld.translate(at.x, at.y);
    p.toWorld.rotateRadians(angle);
    p.toWorld.scale(kx, -ky); // font y runs down, the world's up
    p.toWorld.translate(-rx, -ry);
    p.box = QRectF(0, -f.ascent, width, f.ascent + f.descent);
    return p;
}

namespace {

// QPainterPath angles turn clockwise in y-up coordinates; DXF angles turn
// counter-clockwise, so they are negated.
void addArc(QPainterPath &path, const QPointF &centre, double radius, double startDeg, double sweepDeg, bool move)
{
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    if (move)
        path.arcMoveTo(box, -startDeg);
    path.arcTo(box, -startDeg, -sweepDeg);
}

QPointF pt(const Point &p)
{
    return {p.x, p.y};
}

void addBulge(QPainterPath &path, const QPointF &from, const QPointF &to, double bulge)
{
    const QPointF d = to - from;
    const double chord = std::hypot(d.x(), d.y());
    if (chord == 0 || bulge == 0 || !std::isfinite(bulge)) {
        path.lineTo(to);
        return;
    }
    const double theta = 4 * std::atan(bulge); // included angle, counter-clockwise when positive
    const double h = (chord / 2) / std::tan(theta / 2);
    const QPointF mid = (from + to) / 2;
    const QPointF left(-d.y() / chord, d.x() / chord);
    const QPointF centre = mid + left * h;
    const double radius = std::hypot(from.x() - centre.x(), from.y() - centre.y());
    const double start = std::atan2(from.y() - centre.y(), from.x() - centre.x()) * 180 / M_PI;
    addArc(path, centre, radius, start, theta * 180 / M_PI, false);
}

} // namespace

QPainterPath shapePath(const DxfShape &shape)
{
    QPainterPath path;
    switch (shape.kind) {
    case DxfShape::Kind::Line:
        if (shape.points.size() >= 2) {
            path.moveTo(pt(shape.points[0]));
            path.lineTo(pt(shape.points[1]));
        }
        break;
    case DxfShape::Kind::Polyline: {
        const qsizetype n = shape.points.size();
        if (n == 0)
            break;
        path.moveTo(pt(shape.points[0]));
        const qsizetype segments = shape.closed ? n : n - 1;
        for (qsizetype i = 0; i < segments; ++i) {
            const QPointF to = pt(shape.points[(i + 1) % n]);
            addBulge(path, path.currentPosition(), to, shape.bulges.value(i, 0));
        }
        break;
    }
    case DxfShape::Kind::Circle:
        if (shape.radius > 0)
            path.addEllipse(pt(shape.center), shape.radius, shape.radius);
        break;
    case DxfShape::Kind::Arc: {
        if (!(shape.radius > 0))
            break;
        double sweep = std::fmod(shape.endAngle - shape.startAngle, 360.0);
        if (sweep <= 0)
            sweep += 360;
        addArc(path, pt(shape.center), shape.radius, shape.startAngle, sweep, true);
        break;
    }
    }
    return path;
}

QTransform referenceTransform(const Entity &reference, const Point &basePoint)
{
    QTransform t;
    t.translate(reference.insertion.x, reference.insertion.y);
    t.rotateRadians(reference.rotation);
    t.scale(reference.scale.x, reference.scale.y);
    t.translate(-basePoint.x, -basePoint.y);
    return t;
}

void BlockLibrary::rebuild(const Drawing &drawing, const DxfDocument *document)
{
    m_blocks.clear();
    for (const Block &b : drawing.blocks()) {
        BlockGraphic g;
        g.basePoint = b.basePoint;
        if (document)
            for (const DxfShape &s : document->blockShapes(b.name))
                g.strokes.addPath(shapePath(s));
        for (const Entity &e : b.entities) {
            if (e.kind == EntityKind::Text)
                g.texts.append(e);
            else if (e.kind == EntityKind::BlockReference)
                g.references.append(e);
        }
        m_blocks.insert(b.name.toUpper(), g);
    }
}

const BlockGraphic *BlockLibrary::find(const QString &name) const
{
    const auto it = m_blocks.constFind(name.toUpper());
    return it == m_blocks.constEnd() ? nullptr : &*it;
}

bool sameEntity(const Entity &a, const Entity &b)
{
    if (a.kind != b.kind || a.handle != b.handle || a.layer != b.layer || a.text != b.text
        || !(a.insertion == b.insertion) || !(a.alignmentPoint == b.alignmentPoint) || a.alignment != b.alignment
        || a.height != b.height || a.rotation != b.rotation || a.style != b.style || a.tag != b.tag
        || a.prompt != b.prompt || a.blockName != b.blockName || !(a.scale == b.scale)
        || a.attributes.size() != b.attributes.size())
        return false;
    for (qsizetype i = 0; i < a.attributes.size(); ++i)
        if (!sameEntity(a.attributes[i], b.attributes[i]))
            return false;
    return true;
}

bool sameBlocks(const QList<Block> &a, const QList<Block> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const Block &x = a[i];
        const Block &y = b[i];
        if (x.name != y.name || !(x.basePoint == y.basePoint) || x.entities.size() != y.entities.size())
            return false;
        for (qsizetype j = 0; j < x.entities.size(); ++j)
            if (!sameEntity(x.entities[j], y.entities[j]))
                return false;
    }
    return true;
}

QPainterPath referenceOutline(const Entity &reference, const BlockLibrary &library, const QTransform &outer, int depth)
{
    QPainterPath path;
    for (const Entity &a : reference.attributes)
        path.addPolygon(outer.map(placeText(a).outline()));
    const BlockGraphic *g = library.find(reference.blockName);
    if (!g || depth >= kMaxBlockNesting)
        return path;
    const QTransform t = referenceTransform(reference, g->basePoint) * outer;
    path.addPath(t.map(g->strokes));
    for (const Entity &text : g->texts)
        path.addPolygon(t.map(placeText(text).outline()));
    for (const Entity &nested : g->references)
        path.addPath(referenceOutline(nested, library, t, depth + 1));
    return path;
}

} // namespace minicad::view
