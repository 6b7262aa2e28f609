#pragma once
// The drawing's model space in a Qt Graphics View: texts, block references
// with their attributes, and the lines, polylines, circles and arcs of the
// DXF file. Wheel zoom, middle-drag pan, zoom extents.
//
// The drawing's view (viewCenter, "VIEWSIZE") is the one truth: a client's
// ZoomCenter moves this view, and the user's zoom and pan go through
// Drawing::zoomCenter(). The viewport's size is the session's "SCREENSIZE"
// of the drawing.
//
// The view is also a PickProvider: while a client's
// SelectOnScreen waits, the user picks by click, window box (drag left to
// right: entities fully inside), crossing box (right to left: entities
// touched); Shift removes; Enter, Space or right-click finishes, ESC
// cancels. Only entities passing the selection filter highlight and count.

#include "minicad/host/session.h"

#include <QGraphicsView>
#include <QTimer>

#include <memory>

namespace minicad {

namespace view {
class EntityItem;
struct SceneContext;
}

class DrawingView : public QGraphicsView, public PickProvider {
    Q_OBJECT
public:
    // Installs itself as the session's pick provider, when it has none,
    // until destroyed.
    DrawingView(Session *session, Drawing *drawing, QWidget *parent = nullptr);
    ~DrawingView() override;

    Drawing *drawing() const { return m_drawing; }
    Session *session() const { return m_session; }

    // Brings the scene in step with the drawing now (changes are otherwise
    // taken in batches, a few milliseconds after they happen).
    void syncScene();
    // Shows everything; done on the first showing when requested.
    void zoomExtents();
    void requestZoomExtents() { m_extentsPending = true; }
    // factor > 1 zooms in; the world point under `pixel` stays where it is.
    void zoomAt(double factor, const QPointF &pixel);
    void panBy(const QPointF &pixels);

    // Between drawing and viewport coordinates.
    QPointF toPixel(const Point &world) const;
    Point toWorld(const QPointF &pixel) const;

    // The model-space entity under a viewport pixel; while picking, only
    // one passing the filter. Empty when none.
    QString entityAt(const QPointF &pixel) const;

    bool isPicking() const { return m_picking; }
    QStringList pickedHandles() const { return m_picked; }
    QString prompt() const;
    // Answers the waiting pick with what is picked / cancels it.
    void finishPick();
    void cancelCurrentPick();

    void beginPick(const SelectionFilter &filter) override;
    void endPick() override;

signals:
    // The status-bar prompt of a pick; empty when no pick waits.
    void promptChanged(const QString &prompt);
    void cursorMoved(double x, double y);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void drawForeground(QPainter *painter, const QRectF &rect) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onViewChanged();
    void scheduleSync();
    void applyModelView();
    void rebuildShapes();
    double pixelsPerUnit() const;
    QRectF worldRect(const QPointF &a, const QPointF &b) const;
    bool passes(const view::EntityItem *item) const;
    void pickAt(const QPointF &pixel, bool remove);
    void pickBox(const QPointF &from, const QPointF &to, bool remove);
    void take(const QString &handle, bool remove);
    void setHover(const QString &handle);
    void refreshLooks();
    bool handlePickKey(int key);

    Session *m_session;
    Drawing *m_drawing;
    std::unique_ptr<view::SceneContext> m_context;
    QGraphicsScene *m_scene;
    QHash<QString, view::EntityItem *> m_items;
    QList<QGraphicsItem *> m_shapeItems;
    const QObject *m_shapeSource = nullptr; // the DXF document the shapes came from
    bool m_shapesStale = true;
    QList<Block> m_blocks;
    QList<Layer> m_layers;
    QTimer m_syncTimer;
    bool m_extentsPending = false;

    // Panning.
    bool m_panning = false;
    QPointF m_lastPan;

    // Picking.
    bool m_picking = false;
    SelectionFilter m_filter;
    QStringList m_picked;
    QString m_hover;
    QSet<QString> m_lit; // entities drawn picked or hovered
    bool m_leftDown = false;
    bool m_dragging = false;
    bool m_boxOpen = false; // a click on empty space opened a box; the next click closes it
    QPointF m_boxStart;
    QPointF m_boxEnd;
};

} // namespace minicad
