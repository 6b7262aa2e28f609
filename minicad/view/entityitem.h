#pragma once
// One model-space entity of the drawing on the view's scene: a TEXT or a
// block reference with its block's content and its attributes. Items live
// in world coordinates; the view flips y.

#include "minicad/view/viewgeometry.h"

#include <QGraphicsItem>
#include <QSet>

namespace minicad::view {

// What the items of one view share.
struct SceneContext {
    BlockLibrary blocks;
    QSet<QString> lockedLayers; // upper-case names
};

class EntityItem : public QGraphicsItem {
public:
    enum { Type = UserType + 1 };
    enum class Look { Normal, Hover, Picked };

    EntityItem(const SceneContext &context, const Entity &entity);

    const Entity &entity() const { return m_entity; }
    QString handle() const { return m_entity.handle; }
    // Takes a changed entity (or a changed block it refers to).
    void setEntity(const Entity &entity);
    void setLook(Look look);
    Look look() const { return m_look; }

    // In world coordinates: what picking tests against.
    const QPainterPath &outline() const { return m_outline; }
    bool hits(const QRectF &worldBox) const;

    int type() const override { return Type; }
    QRectF boundingRect() const override { return m_bounds; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    void measure();
    void paintReference(QPainter *painter, const Entity &reference, const QTransform &outer, const QColor &colour,
                        double lod, int depth) const;

    const SceneContext &m_context;
    Entity m_entity;
    QPainterPath m_outline;
    QRectF m_bounds;
    Look m_look = Look::Normal;
};

// Draws one text at the painter's current world transform combined with `outer`.
void paintText(QPainter *painter, const Entity &text, const QTransform &outer, const QColor &colour, double lod);

} // namespace minicad::view
