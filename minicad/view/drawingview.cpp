#include "minicad/view/drawingview.h"

#include "minicad/dxf/dxffile.h"
#include "minicad/view/entityitem.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGraphicsPathItem>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <cmath>

namespace minicad {

using view::EntityItem;

namespace {

constexpr double kAperture = 4;     // pixels around a click that still hit
constexpr double kDragStart = 4;    // pixels the mouse moves before a press becomes a box
constexpr double kWheelStep = 1.25; // zoom per wheel notch
constexpr double kMinViewSize = 1e-6;
constexpr double kMaxViewSize = 1e9;
const QColor kBackground(30, 36, 44);
const QColor kShapeColour(150, 160, 170);

} // namespace

DrawingView::DrawingView(Session *session, Drawing *drawing, QWidget *parent)
    : QGraphicsView(parent)
    , m_session(session)
    , m_drawing(drawing)
    , m_context(std::make_unique<view::SceneContext>())
    , m_scene(new QGraphicsScene(this))
{
    setScene(m_scene);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTransformationAnchor(QGraphicsView::NoAnchor);
    setResizeAnchor(QGraphicsView::NoAnchor);
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    setBackgroundBrush(kBackground);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    // The scene's own index would be rebuilt on every sync; a BSP tree pays off for the picks.
    m_scene->setItemIndexMethod(QGraphicsScene::BspTreeIndex);

    m_syncTimer.setSingleShot(true);
    m_syncTimer.setInterval(15);
    connect(&m_syncTimer, &QTimer::timeout, this, &DrawingView::syncScene);
    connect(m_drawing, &Drawing::changed, this, &DrawingView::scheduleSync);
    connect(m_drawing, &Drawing::redrawRequested, this, [this] {
        syncScene();
        viewport()->update();
    });
    connect(m_drawing, &Drawing::viewChanged, this, &DrawingView::onViewChanged);
    if (!m_session->pickProvider())
        m_session->setPickProvider(this);
    m_drawing->installEventFilter(this);
    syncScene();
    applyModelView();
}

DrawingView::~DrawingView()
{
    if (m_picking)
        qApp->removeEventFilter(this);
    if (m_session->pickProvider() == this) {
        // Nobody is left to answer a waiting pick.
        m_session->cancelPick();
        m_session->setPickProvider(nullptr);
    }
    // Items refer to the context; they go first.
    m_items.clear();
    m_scene->clear();
}

// ---- Scene ------------------------------------------------------------------------------

void DrawingView::scheduleSync()
{
    if (!m_syncTimer.isActive())
        m_syncTimer.start();
}

void DrawingView::rebuildShapes()
{
    for (QGraphicsItem *item : std::as_const(m_shapeItems))
        delete item;
    m_shapeItems.clear();
    const DxfDocument *doc = dxfDocument(*m_drawing);
    m_shapeSource = doc;
    m_shapesStale = false;
    if (!doc)
        return;
    QPen pen(kShapeColour, 0);
    pen.setCosmetic(true);
    for (const DxfShape &shape : doc->modelSpaceShapes()) {
        auto *item = new QGraphicsPathItem(view::shapePath(shape));
        item->setPen(pen);
        item->setZValue(-1);
        m_scene->addItem(item);
        m_shapeItems.append(item);
    }
}

void DrawingView::syncScene()
{
    m_syncTimer.stop();
    QElapsedTimer spent;
    spent.start();
    const Drawing &d = *m_drawing;
    const bool newDocument = m_shapesStale || m_shapeSource != dxfDocument(d);
    if (newDocument)
        rebuildShapes();
    const bool blocksChanged = newDocument || !view::sameBlocks(m_blocks, d.blocks());
    if (blocksChanged) {
        m_blocks = d.blocks();
        m_context->blocks.rebuild(d, dxfDocument(d));
    }
    const bool layersChanged = m_layers != d.layers();
    if (layersChanged) {
        m_layers = d.layers();
        m_context->lockedLayers.clear();
        for (const Layer &l : m_layers)
            if (l.locked)
                m_context->lockedLayers.insert(l.name.toUpper());
    }

    const QStringList handles = d.modelSpaceHandles();
    QHash<QString, EntityItem *> kept;
    kept.reserve(handles.size());
    qreal z = 0;
    for (const QString &h : handles) {
        const Entity *e = d.find(h);
        if (!e)
            continue;
        EntityItem *item = m_items.take(h);
        if (!item) {
            item = new EntityItem(*m_context, *e);
            m_scene->addItem(item);
        } else if (blocksChanged || !view::sameEntity(item->entity(), *e)) {
            item->setEntity(*e);
        } else if (layersChanged) {
            item->update();
        }
        if (item->zValue() != z)
            item->setZValue(z);
        z += 1;
        kept.insert(h, item);
    }
    for (EntityItem *gone : std::as_const(m_items))
        delete gone;
    m_items = std::move(kept);

    // A client writing thousands of texts changes the drawing between every
    // two calls: keep the share of time spent following it small.
    m_syncTimer.setInterval(int(qBound(qint64(15), spent.elapsed() * 6, qint64(500))));

    if (m_picking) {
        // Entities that went away cannot stay picked.
        m_picked.erase(std::remove_if(m_picked.begin(), m_picked.end(),
                                      [this](const QString &h) { return !m_items.contains(h); }),
                       m_picked.end());
        refreshLooks();
    }
}

// ---- View ---------------------------------------------------------------------------------

double DrawingView::pixelsPerUnit() const
{
    const int h = qMax(1, viewport()->height());
    return h / m_drawing->viewSize();
}

void DrawingView::applyModelView()
{
    const QSize size = viewport()->size();
    if (size.isEmpty())
        return;
    const double s = pixelsPerUnit();
    const Point c = m_drawing->viewCenter();
    setTransform(QTransform::fromScale(s, -s));
    // A scene rectangle a little smaller than the viewport is centred exactly
    // (no scrolling): the view centre then is the drawing's view centre.
    const double w = qMax(1.0, size.width() - 4.0) / s;
    const double h = qMax(1.0, size.height() - 4.0) / s;
    setSceneRect(QRectF(c.x - w / 2, c.y - h / 2, w, h));
}

void DrawingView::onViewChanged()
{
    applyModelView();
    if (!isVisible())
        return;
    if (m_syncTimer.isActive())
        syncScene();
    // Painted now, not later: a client draws its marker on this window right
    // after ZoomCenter, and a late repaint would wipe it.
    viewport()->repaint();
}

QPointF DrawingView::toPixel(const Point &world) const
{
    const double s = pixelsPerUnit();
    const Point c = m_drawing->viewCenter();
    return {viewport()->width() / 2.0 + (world.x - c.x) * s, viewport()->height() / 2.0 - (world.y - c.y) * s};
}

Point DrawingView::toWorld(const QPointF &pixel) const
{
    const double s = pixelsPerUnit();
    const Point c = m_drawing->viewCenter();
    return {c.x + (pixel.x() - viewport()->width() / 2.0) / s, c.y - (pixel.y() - viewport()->height() / 2.0) / s, 0};
}

QRectF DrawingView::worldRect(const QPointF &a, const QPointF &b) const
{
    const Point p = toWorld(a);
    const Point q = toWorld(b);
    return QRectF(QPointF(qMin(p.x, q.x), qMin(p.y, q.y)), QPointF(qMax(p.x, q.x), qMax(p.y, q.y)));
}

void DrawingView::zoomAt(double factor, const QPointF &pixel)
{
    if (!(factor > 0) || !std::isfinite(factor))
        return;
    const double size = qBound(kMinViewSize, m_drawing->viewSize() / factor, kMaxViewSize);
    const Point under = toWorld(pixel);
    const double s = viewport()->height() / size;
    const Point centre{under.x - (pixel.x() - viewport()->width() / 2.0) / s,
                       under.y + (pixel.y() - viewport()->height() / 2.0) / s, 0};
    m_drawing->zoomCenter(centre, size);
}

void DrawingView::panBy(const QPointF &pixels)
{
    const double s = pixelsPerUnit();
    const Point c = m_drawing->viewCenter();
    m_drawing->zoomCenter({c.x - pixels.x() / s, c.y + pixels.y() / s, c.z}, m_drawing->viewSize());
}

void DrawingView::zoomExtents()
{
    m_extentsPending = false;
    syncScene();
    QRectF box;
    for (const QGraphicsItem *item : m_scene->items())
        box |= item->sceneBoundingRect();
    if (box.isNull() || !box.isValid())
        return;
    const QSize vp = viewport()->size();
    const double aspect = vp.isEmpty() ? 1.0 : double(vp.height()) / vp.width();
    double size = qMax(box.height(), box.width() * aspect) * 1.05;
    if (!(size > 0))
        size = m_drawing->viewSize();
    size = qBound(kMinViewSize, size, kMaxViewSize);
    m_drawing->zoomCenter({box.center().x(), box.center().y(), 0}, size);
}

void DrawingView::resizeEvent(QResizeEvent *event)
{
    QGraphicsView::resizeEvent(event);
    if (viewport()->size().isEmpty())
        return;
    m_session->setScreenSize(m_drawing, viewport()->size());
    if (m_extentsPending)
        zoomExtents();
    applyModelView();
}

void DrawingView::showEvent(QShowEvent *event)
{
    QGraphicsView::showEvent(event);
    if (m_extentsPending && !viewport()->size().isEmpty())
        zoomExtents();
}

// ---- Mouse and keys -------------------------------------------------------------------------

void DrawingView::wheelEvent(QWheelEvent *event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (notches != 0)
        zoomAt(std::pow(kWheelStep, notches), event->position());
    event->accept();
}

void DrawingView::mousePressEvent(QMouseEvent *event)
{
    const QPointF pos = event->position();
    if (event->button() == Qt::MiddleButton) {
        m_panning = true;
        m_lastPan = pos;
        viewport()->setCursor(Qt::ClosedHandCursor);
        event->accept();
        return;
    }
    if (!m_picking) {
        QGraphicsView::mousePressEvent(event);
        return;
    }
    event->accept();
    if (event->button() == Qt::RightButton) {
        finishPick();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    if (m_boxOpen) {
        m_boxOpen = false;
        pickBox(m_boxStart, pos, event->modifiers() & Qt::ShiftModifier);
        viewport()->update();
        return;
    }
    m_leftDown = true;
    m_dragging = false;
    m_boxStart = m_boxEnd = pos;
}

void DrawingView::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF pos = event->position();
    const Point world = toWorld(pos);
    emit cursorMoved(world.x, world.y);
    if (m_panning) {
        panBy(pos - m_lastPan);
        m_lastPan = pos;
        event->accept();
        return;
    }
    if (!m_picking) {
        QGraphicsView::mouseMoveEvent(event);
        return;
    }
    if (m_leftDown && !m_dragging && QLineF(m_boxStart, pos).length() > kDragStart)
        m_dragging = true;
    if (m_dragging || m_boxOpen) {
        m_boxEnd = pos;
        viewport()->update();
    }
    setHover(entityAt(pos));
    event->accept();
}

void DrawingView::mouseReleaseEvent(QMouseEvent *event)
{
    const QPointF pos = event->position();
    if (event->button() == Qt::MiddleButton && m_panning) {
        m_panning = false;
        viewport()->setCursor(m_picking ? Qt::CrossCursor : Qt::ArrowCursor);
        event->accept();
        return;
    }
    if (!m_picking || event->button() != Qt::LeftButton || !m_leftDown) {
        QGraphicsView::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    m_leftDown = false;
    const bool remove = event->modifiers() & Qt::ShiftModifier;
    if (m_dragging) {
        m_dragging = false;
        pickBox(m_boxStart, pos, remove);
        viewport()->update();
        return;
    }
    if (!entityAt(pos).isEmpty()) {
        pickAt(pos, remove);
        return;
    }
    // A click on empty space opens a box; the next click closes it.
    m_boxOpen = true;
    m_boxStart = m_boxEnd = pos;
}

void DrawingView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A double click of the wheel shows everything, as in CAD programs.
    if (event->button() == Qt::MiddleButton) {
        zoomExtents();
        event->accept();
        return;
    }
    // Otherwise a double click is two clicks.
    mousePressEvent(event);
}

bool DrawingView::handlePickKey(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        finishPick();
        return true;
    case Qt::Key_Escape:
        cancelCurrentPick();
        return true;
    default:
        return false;
    }
}

void DrawingView::keyPressEvent(QKeyEvent *event)
{
    if (m_picking && handlePickKey(event->key())) {
        event->accept();
        return;
    }
    QGraphicsView::keyPressEvent(event);
}

bool DrawingView::eventFilter(QObject *watched, QEvent *event)
{
    // A file read into the drawing attaches its DXF document (a child of the
    // drawing) after the drawing has announced the new content: look again.
    if (watched == m_drawing && (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildRemoved)) {
        m_shapesStale = true;
        scheduleSync();
        return false;
    }
    // While a pick waits, its keys work wherever the focus is in this window.
    if (m_picking && event->type() == QEvent::KeyPress) {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() == window()) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier)
                if (handlePickKey(key->key()))
                    return true;
        }
    }
    return QGraphicsView::eventFilter(watched, event);
}

void DrawingView::drawForeground(QPainter *painter, const QRectF &)
{
    if (!m_picking || !(m_dragging || m_boxOpen))
        return;
    painter->save();
    painter->resetTransform();
    const bool crossing = m_boxEnd.x() < m_boxStart.x();
    const QRectF box = QRectF(m_boxStart, m_boxEnd).normalized();
    // Window boxes blue and solid, crossing boxes green and dashed, as CAD programs draw them.
    painter->setBrush(crossing ? QColor(60, 200, 90, 50) : QColor(60, 120, 255, 50));
    QPen pen(crossing ? QColor(90, 230, 120) : QColor(110, 160, 255), 1, crossing ? Qt::DashLine : Qt::SolidLine);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->drawRect(box);
    painter->restore();
}

// ---- Picking --------------------------------------------------------------------------------

bool DrawingView::passes(const EntityItem *item) const
{
    return !m_picking || m_filter.passes(item->entity());
}

QString DrawingView::entityAt(const QPointF &pixel) const
{
    const QRectF box = worldRect(pixel - QPointF(kAperture, kAperture), pixel + QPointF(kAperture, kAperture));
    const EntityItem *best = nullptr;
    double bestArea = 0;
    for (QGraphicsItem *candidate : m_scene->items(box, Qt::IntersectsItemBoundingRect)) {
        const auto *item = qgraphicsitem_cast<const EntityItem *>(candidate);
        if (!item || !passes(item) || !item->hits(box))
            continue;
        // The smallest thing under the cursor wins: a text lying on a frame is what was meant.
        const QRectF b = item->boundingRect();
        const double area = b.width() * b.height();
        if (!best || area < bestArea) {
            best = item;
            bestArea = area;
        }
    }
    return best ? best->handle() : QString();
}

void DrawingView::take(const QString &handle, bool remove)
{
    if (remove)
        m_picked.removeAll(handle);
    else if (!m_picked.contains(handle))
        m_picked.append(handle);
}

void DrawingView::pickAt(const QPointF &pixel, bool remove)
{
    const QString handle = entityAt(pixel);
    if (handle.isEmpty())
        return;
    take(handle, remove);
    refreshLooks();
}

void DrawingView::pickBox(const QPointF &from, const QPointF &to, bool remove)
{
    // Left to right: a window, only what lies wholly inside; right to left:
    // a crossing box, everything it touches.
    const bool crossing = to.x() < from.x();
    const QRectF box = worldRect(from, to);
    QList<const EntityItem *> found;
    for (QGraphicsItem *candidate : m_scene->items(box, Qt::IntersectsItemBoundingRect, Qt::AscendingOrder)) {
        const auto *item = qgraphicsitem_cast<const EntityItem *>(candidate);
        if (!item || !passes(item))
            continue;
        const bool inside = box.contains(item->boundingRect());
        if (inside || (crossing && item->hits(box)))
            found.append(item);
    }
    for (const EntityItem *item : std::as_const(found))
        take(item->handle(), remove);
    refreshLooks();
}

void DrawingView::setHover(const QString &handle)
{
    if (handle == m_hover)
        return;
    m_hover = handle;
    refreshLooks();
}

void DrawingView::refreshLooks()
{
    // Only the few entities that are or were lit are touched, not the whole drawing.
    QSet<QString> lit;
    if (m_picking) {
        lit = QSet<QString>(m_picked.cbegin(), m_picked.cend());
        if (!m_hover.isEmpty())
            lit.insert(m_hover);
    }
    const QSet<QString> touched = lit + m_lit;
    const QSet<QString> picked(m_picked.cbegin(), m_picked.cend());
    for (const QString &h : touched) {
        EntityItem *item = m_items.value(h);
        if (!item)
            continue;
        EntityItem::Look look = EntityItem::Look::Normal;
        if (m_picking && picked.contains(h))
            look = EntityItem::Look::Picked;
        else if (m_picking && h == m_hover)
            look = EntityItem::Look::Hover;
        item->setLook(look);
    }
    m_lit = lit;
    emit promptChanged(prompt());
}

QString DrawingView::prompt() const
{
    if (!m_picking)
        return {};
    // The count first: the rest is the same every time and may be cut off.
    return tr("Select objects (%n found): click, or drag a box (left to right: window, right to left: "
              "crossing); Shift removes. Enter, Space or right-click: done. Esc: cancel.",
              nullptr, int(m_picked.size()));
}

void DrawingView::beginPick(const SelectionFilter &filter)
{
    syncScene();
    m_picking = true;
    m_filter = filter;
    m_picked.clear();
    m_hover.clear();
    m_leftDown = m_dragging = m_boxOpen = false;
    qApp->installEventFilter(this);
    viewport()->setCursor(Qt::CrossCursor);
    QWidget *top = window();
    if (top->isMinimized())
        top->showNormal();
    top->raise();
    top->activateWindow();
    setFocus(Qt::OtherFocusReason);
    refreshLooks();
}

void DrawingView::endPick()
{
    if (!m_picking)
        return;
    m_picking = false;
    qApp->removeEventFilter(this);
    m_picked.clear();
    m_hover.clear();
    m_leftDown = m_dragging = m_boxOpen = false;
    viewport()->setCursor(Qt::ArrowCursor);
    refreshLooks();
    viewport()->update();
}

void DrawingView::finishPick()
{
    if (m_picking)
        m_session->answerPick(m_picked);
}

void DrawingView::cancelCurrentPick()
{
    if (m_picking)
        m_session->cancelPick();
}

} // namespace minicad
