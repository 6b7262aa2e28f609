#include "minicad/view/entityitem.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <cmath>

namespace minicad::view {

namespace {

const QColor kTextColour(235, 235, 235);
const QColor kAttributeColour(255, 226, 130);
const QColor kStrokeColour(120, 200, 140);
const QColor kPickedColour(80, 190, 255);
const QColor kHoverColour(255, 255, 120);

// How much bigger a world length is on the screen under `t`.
double scaleOf(const QTransform &t)
{
    return std::sqrt(std::abs(t.determinant()));
}

} // namespace

void paintText(QPainter *painter, const Entity &text, const QTransform &outer, const QColor &colour, double lod)
{
    if (text.text.isEmpty())
        return;
    const TextPlacement place = placeText(text);
    const QTransform toWorld = place.toWorld * outer;
    const double pixelHeight = text.height * scaleOf(outer) * lod;
    if (pixelHeight < 2.5) {
        // Too small to read: a box where the text is keeps the drawing's shape and costs nothing.
        QColor faint = colour;
        faint.setAlpha(colour.alpha() / 2);
        painter->setPen(QPen(faint, 0));
        painter->setBrush(Qt::NoBrush);
        const QRectF box(0, -TextFont::instance().capHeight, place.box.width(), TextFont::instance().capHeight);
        painter->drawPolygon(toWorld.map(QPolygonF(box)));
        return;
    }
    painter->save();
    painter->setWorldTransform(toWorld, true);
    painter->setFont(TextFont::instance().font);
    painter->setPen(colour);
    painter->drawText(QPointF(0, 0), text.text);
    painter->restore();
}

EntityItem::EntityItem(const SceneContext &context, const Entity &entity)
    : m_context(context)
    , m_entity(entity)
{
    measure();
}

void EntityItem::setEntity(const Entity &entity)
{
    prepareGeometryChange();
    m_entity = entity;
    measure();
    update();
}

void EntityItem::setLook(Look look)
{
    if (look == m_look)
        return;
    m_look = look;
    update();
}

void EntityItem::measure()
{
    if (m_entity.kind == EntityKind::BlockReference) {
        m_outline = referenceOutline(m_entity, m_context.blocks);
    } else {
        m_outline = QPainterPath();
        m_outline.addPolygon(placeText(m_entity).outline());
        m_outline.closeSubpath();
    }
    m_bounds = m_outline.boundingRect();
}

bool EntityItem::hits(const QRectF &worldBox) const
{
    if (!worldBox.intersects(m_bounds) && !worldBox.contains(m_bounds))
        return false;
    return m_outline.intersects(worldBox) || worldBox.contains(m_bounds);
}

void EntityItem::paintReference(QPainter *painter, const Entity &reference, const QTransform &outer,
                                const QColor &colour, double lod, int depth) const
{
    const BlockGraphic *g = m_context.blocks.find(reference.blockName);
    if (g && depth < kMaxBlockNesting) {
        const QTransform t = referenceTransform(reference, g->basePoint) * outer;
        if (!g->strokes.isEmpty()) {
            painter->save();
            painter->setWorldTransform(t, true);
            QColor stroke = m_look == Look::Normal ? kStrokeColour : colour;
            stroke.setAlpha(colour.alpha());
            painter->setPen(QPen(stroke, 0));
            painter->setBrush(Qt::NoBrush);
            painter->drawPath(g->strokes);
            painter->restore();
        }
        for (const Entity &text : g->texts)
            paintText(painter, text, t, colour, lod);
        for (const Entity &nested : g->references)
            paintReference(painter, nested, t, colour, lod, depth + 1);
    }
    QColor attribute = m_look == Look::Normal ? kAttributeColour : colour;
    attribute.setAlpha(colour.alpha());
    for (const Entity &a : reference.attributes)
        paintText(painter, a, outer, attribute, lod);
}

void EntityItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    const double lod = option->levelOfDetailFromTransform(painter->worldTransform());
    QColor colour = m_look == Look::Picked ? kPickedColour : m_look == Look::Hover ? kHoverColour : kTextColour;
    // Locked layers are faded, as CAD programs show them.
    if (m_look == Look::Normal && m_context.lockedLayers.contains(m_entity.layer.toUpper()))
        colour.setAlpha(110);
    if (m_entity.kind == EntityKind::BlockReference)
        paintReference(painter, m_entity, QTransform(), colour, lod, 0);
    else
        paintText(painter, m_entity, QTransform(), colour, lod);
    if (m_look != Look::Normal) {
        QPen frame(colour, 0, m_look == Look::Picked ? Qt::DashLine : Qt::SolidLine);
        frame.setCosmetic(true);
        painter->setPen(frame);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(m_bounds);
    }
}

} // namespace minicad::view
