#include "minicad/model/drawing.h"

#include <algorithm>
#include <cmath>

namespace minicad {

namespace {

const QString kLockedMessage = QStringLiteral("On locked layer");

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

Point moved(const Point &p, const Point &from, const Point &to)
{
    return {p.x + to.x - from.x, p.y + to.y - from.y, p.z + to.z - from.z};
}

bool finite(const Point &p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

} // namespace

// Groups the changes of one helper into one undo step.
class Drawing::MarkScope {
public:
    explicit MarkScope(Drawing &d) : m_d(d) { m_d.startUndoMark(); }
    ~MarkScope() { m_d.endUndoMark(); }
    MarkScope(const MarkScope &) = delete;
    MarkScope &operator=(const MarkScope &) = delete;

private:
    Drawing &m_d;
};

Drawing::Drawing(QObject *parent) : QObject(parent)
{
    m_layers.append(Layer{QStringLiteral("0"), false});
}

Drawing::~Drawing() = default;

// ---- Handles ------------------------------------------------------------------

QString Drawing::formatHandle(quint64 value)
{
    return QString::number(value, 16).toUpper();
}

std::optional<quint64> Drawing::parseHandle(const QString &handle)
{
    const QString h = handle.trimmed();
    if (h.isEmpty() || h.size() > 16)
        return std::nullopt;
    bool ok = false;
    const quint64 v = h.toULongLong(&ok, 16);
    if (!ok || v == 0)
        return std::nullopt;
    return v;
}

QString Drawing::handleSeedText() const
{
    return m_handlesExhausted ? QStringLiteral("10000000000000000") : formatHandle(m_handleSeed);
}

std::optional<std::pair<quint64, bool>> Drawing::parseHandleSeed(const QString &text)
{
    if (text.trimmed() == QLatin1String("10000000000000000"))
        return std::pair{kLastHandle, true};
    if (const auto h = parseHandle(text))
        return std::pair{*h, false};
    return std::nullopt;
}

void Drawing::requireHandles(qsizetype count) const
{
    // The seed is never 0, so this does not wrap.
    const quint64 left = m_handlesExhausted ? 0 : kLastHandle - m_handleSeed + 1;
    if (count > 0 && quint64(count) > left)
        throw ModelError(QStringLiteral("Out of handles: every handle up to FFFFFFFFFFFFFFFF is taken"));
}

quint64 Drawing::allocateHandle()
{
    requireHandles(1);
    const quint64 h = m_handleSeed;
    if (h == kLastHandle)
        m_handlesExhausted = true; // the seed stays: nothing wraps onto handle 1
    else
        ++m_handleSeed;
    return h;
}

void Drawing::assignHandles(Entity &entity)
{
    requireHandles(1 + entity.attributes.size());
    entity.handle = formatHandle(allocateHandle());
    for (Entity &a : entity.attributes) {
        a.kind = EntityKind::Attribute;
        a.handle = formatHandle(allocateHandle());
    }
}

// ---- Lookup -------------------------------------------------------------------

qsizetype Drawing::layerPosition(const QString &name) const
{
    // Drawings from other programs can have tens of thousands of layers.
    if (!m_layerIndexValid) {
        m_layerIndex.clear();
        m_layerIndex.reserve(m_layers.size());
        for (qsizetype i = 0; i < m_layers.size(); ++i)
            m_layerIndex.insert(m_layers[i].name.toCaseFolded(), i);
        m_layerIndexValid = true;
    }
    return m_layerIndex.value(name.toCaseFolded(), -1);
}

const Layer *Drawing::layer(const QString &name) const
{
    const qsizetype at = layerPosition(name);
    return at >= 0 ? &m_layers[at] : nullptr;
}

bool Drawing::isLayerLocked(const QString &name) const
{
    const Layer *l = layer(name);
    return l && l->locked;
}

const Block *Drawing::block(const QString &name) const
{
    for (const Block &b : m_blocks)
        if (sameName(b.name, name))
            return &b;
    return nullptr;
}

QStringList Drawing::modelSpaceHandles() const
{
    if (!m_orderCacheValid) {
        m_orderCache.clear();
        m_orderCache.reserve(qsizetype(m_order.size()));
        for (const auto &[order, handle] : m_order)
            m_orderCache.append(formatHandle(handle));
        m_orderCacheValid = true;
    }
    return m_orderCache;
}

std::optional<Drawing::Location> Drawing::locate(quint64 handle) const
{
    if (m_entities.contains(handle))
        return Location{handle, -1, -1, -1};
    if (const auto owner = m_attributeOwner.constFind(handle); owner != m_attributeOwner.constEnd()) {
        const Entity &ref = m_entities.value(*owner).entity;
        const QString h = formatHandle(handle);
        for (qsizetype i = 0; i < ref.attributes.size(); ++i)
            if (ref.attributes[i].handle == h)
                return Location{*owner, int(i), -1, -1};
        return std::nullopt;
    }
    if (const auto blk = m_blockEntityBlock.constFind(handle); blk != m_blockEntityBlock.constEnd())
        return Location{0, -1, blk->first, blk->second};
    return std::nullopt;
}

Drawing::Location Drawing::locateOrThrow(const QString &handle) const
{
    const auto value = parseHandle(handle);
    if (value) {
        if (const auto loc = locate(*value))
            return *loc;
        if (m_erased.contains(*value))
            throw ModelError(QStringLiteral("Object was erased"));
    }
    throw ModelError(QStringLiteral("Unknown handle"));
}

const Entity *Drawing::entityAt(const Location &loc) const
{
    if (loc.block >= 0)
        return &m_blocks[loc.block].entities[loc.blockEntity];
    const auto it = m_entities.constFind(loc.top);
    if (it == m_entities.constEnd())
        return nullptr;
    return loc.attribute >= 0 ? &it->entity.attributes[loc.attribute] : &it->entity;
}

const Entity *Drawing::find(const QString &handle) const
{
    const auto value = parseHandle(handle);
    if (!value)
        return nullptr;
    // The common case first: one hash lookup for a model-space entity.
    const auto it = m_entities.constFind(*value);
    if (it != m_entities.constEnd())
        return &it->entity;
    const auto loc = locate(*value);
    return loc ? entityAt(*loc) : nullptr;
}

const Entity *Drawing::ownerOf(const QString &handle) const
{
    const auto value = parseHandle(handle);
    if (!value)
        return nullptr;
    const auto owner = m_attributeOwner.constFind(*value);
    if (owner == m_attributeOwner.constEnd())
        return nullptr;
    return &m_entities.find(*owner)->entity;
}

bool Drawing::isModelSpace(const QString &handle) const
{
    const auto value = parseHandle(handle);
    return value && m_entities.contains(*value);
}

HandleState Drawing::handleState(const QString &handle) const
{
    const auto value = parseHandle(handle);
    if (!value)
        return HandleState::Unknown;
    if (locate(*value))
        return HandleState::Live;
    return m_erased.contains(*value) ? HandleState::Erased : HandleState::Unknown;
}

// ---- Storage --------------------------------------------------------------------

void Drawing::touched()
{
    ++m_revision;
    m_orderCacheValid = false;
    emit changed();
}

void Drawing::putEntity(quint64 handle, const std::optional<Stored> &value)
{
    if (const auto it = m_entities.constFind(handle); it != m_entities.constEnd()) {
        m_erased.insert(handle);
        m_order.erase(it->order);
        for (const Entity &a : it->entity.attributes) {
            if (const auto h = parseHandle(a.handle)) {
                m_attributeOwner.remove(*h);
                m_erased.insert(*h);
            }
        }
        m_entities.erase(it);
    }
    if (!value)
        return;
    m_entities.insert(handle, *value);
    m_erased.remove(handle);
    m_order[value->order] = handle;
    for (const Entity &a : value->entity.attributes) {
        if (const auto h = parseHandle(a.handle)) {
            m_attributeOwner.insert(*h, handle);
            m_erased.remove(*h);
        }
    }
}

void Drawing::putLayer(const QString &name, int position, const std::optional<Layer> &value)
{
    const qsizetype at = layerPosition(name);
    if (!value) {
        if (at >= 0) {
            m_layers.removeAt(at);
            m_layerIndexValid = false;
        }
    } else if (at >= 0) {
        if (m_layers[at].name.toCaseFolded() != value->name.toCaseFolded())
            m_layerIndexValid = false;
        m_layers[at] = *value;
    } else {
        const qsizetype to = qBound(qsizetype(0), qsizetype(position), m_layers.size());
        m_layers.insert(to, *value);
        if (to == m_layers.size() - 1)
            m_layerIndex.insert(value->name.toCaseFolded(), to); // the common case: a layer added last
        else
            m_layerIndexValid = false;
    }
}

void Drawing::putBlock(const QString &name, int position, const std::optional<Block> &value)
{
    qsizetype at = -1;
    for (qsizetype i = 0; i < m_blocks.size(); ++i)
        if (sameName(m_blocks[i].name, name))
            at = i;
    if (at >= 0) {
        for (const Entity &e : m_blocks[at].entities)
            if (const auto h = parseHandle(e.handle))
                m_erased.insert(*h);
    }
    if (!value) {
        if (at >= 0)
            m_blocks.removeAt(at);
    } else if (at >= 0) {
        m_blocks[at] = *value;
    } else {
        m_blocks.insert(qBound(qsizetype(0), qsizetype(position), m_blocks.size()), *value);
    }
    rebuildBlockIndex();
}

void Drawing::rebuildBlockIndex()
{
    m_blockEntityBlock.clear();
    for (qsizetype b = 0; b < m_blocks.size(); ++b) {
        const QList<Entity> &list = m_blocks[b].entities;
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (const auto h = parseHandle(list[i].handle)) {
                m_blockEntityBlock.insert(*h, {int(b), int(i)});
                m_erased.remove(*h);
            }
        }
    }
}

// ---- Undo -----------------------------------------------------------------------

void Drawing::record(Change change)
{
    m_redo.clear();
    if (m_markDepth > 0) {
        if (!m_groupOpen) {
            m_undo.append(Group{});
            m_groupOpen = true;
        }
        m_undo.last().append(std::move(change));
    } else {
        m_undo.append(Group{std::move(change)});
    }
}

void Drawing::apply(const Change &c, bool forward)
{
    switch (c.what) {
    case Change::What::Entity:
        putEntity(c.handle, forward ? c.entityAfter : c.entityBefore);
        break;
    case Change::What::Layer:
        putLayer(c.name, c.position, forward ? c.layerAfter : c.layerBefore);
        break;
    case Change::What::Block:
        putBlock(c.name, c.position, forward ? c.blockAfter : c.blockBefore);
        break;
    }
}

void Drawing::startUndoMark()
{
    ++m_markDepth;
}

void Drawing::endUndoMark()
{
    if (m_markDepth == 0)
        return;
    if (--m_markDepth == 0)
        m_groupOpen = false;
}

bool Drawing::canUndo() const
{
    return !m_undo.isEmpty();
}

int Drawing::undoGroupCount() const
{
    return int(m_undo.size());
}

bool Drawing::undo()
{
    // Undo ends an open group first, as the CAD's UNDO command does.
    m_markDepth = 0;
    m_groupOpen = false;
    if (m_undo.isEmpty())
        return false;
    Group g = m_undo.takeLast();
    for (qsizetype i = g.size() - 1; i >= 0; --i)
        apply(g[i], false);
    m_redo.append(std::move(g));
    touched();
    return true;
}

bool Drawing::redo()
{
    if (m_redo.isEmpty())
        return false;
    m_markDepth = 0;
    m_groupOpen = false;
    Group g = m_redo.takeLast();
    for (const Change &c : g)
        apply(c, true);
    m_undo.append(std::move(g));
    touched();
    return true;
}

void Drawing::clearUndoHistory()
{
    m_undo.clear();
    m_redo.clear();
    m_groupOpen = false;
    // An open mark stays open: its later changes still form one group.
}

// ---- Layers and blocks ------------------------------------------------------------

void Drawing::addLayer(const QString &name, bool locked)
{
    if (name.trimmed().isEmpty())
        throw ModelError(QStringLiteral("Invalid input: empty layer name"));
    if (layer(name))
        return;
    Change c;
    c.what = Change::What::Layer;
    c.name = name;
    c.position = int(m_layers.size());
    c.layerAfter = Layer{name, locked};
    putLayer(name, c.position, c.layerAfter);
    record(std::move(c));
    touched();
}

void Drawing::setLayerLocked(const QString &name, bool locked)
{
    const Layer *l = layer(name);
    if (!l)
        throw ModelError(QStringLiteral("Key not found: layer %1").arg(name));
    if (l->locked == locked)
        return;
    Change c;
    c.what = Change::What::Layer;
    c.name = l->name;
    c.position = int(l - m_layers.constData());
    c.layerBefore = *l;
    c.layerAfter = Layer{l->name, locked};
    putLayer(c.name, c.position, c.layerAfter);
    record(std::move(c));
    touched();
}

QStringList Drawing::addBlockDefinition(const QString &name, const QList<Entity> &entities,
                                        const Point &basePoint)
{
    if (name.trimmed().isEmpty())
        throw ModelError(QStringLiteral("Invalid input: empty block name"));
    if (block(name))
        throw ModelError(QStringLiteral("Duplicate record name: block %1").arg(name));
    qsizetype needed = 0;
    for (const Entity &e : entities)
        needed += 1 + e.attributes.size();
    requireHandles(needed);
    MarkScope group(*this);
    Block b;
    b.name = name;
    b.basePoint = basePoint;
    QStringList handles;
    for (Entity e : entities) {
        if (e.kind == EntityKind::Attribute)
            e.kind = EntityKind::AttributeDefinition;
        if (!layer(e.layer))
            addLayer(e.layer);
        assignHandles(e);
        handles.append(e.handle);
        b.entities.append(e);
    }
    Change c;
    c.what = Change::What::Block;
    c.name = name;
    c.position = int(m_blocks.size());
    c.blockAfter = b;
    putBlock(name, c.position, c.blockAfter);
    record(std::move(c));
    touched();
    return handles;
}

// ---- Entities ---------------------------------------------------------------------

QString Drawing::addEntity(Entity entity)
{
    if (entity.kind == EntityKind::Attribute)
        throw ModelError(QStringLiteral("Not applicable: an attribute belongs to a block reference"));
    if (entity.layer.isEmpty())
        entity.layer = QStringLiteral("0");
    assignHandles(entity); // first: it fails when the handles are used up
    MarkScope group(*this);
    if (!layer(entity.layer))
        addLayer(entity.layer);
    const quint64 h = *parseHandle(entity.handle);
    Change c;
    c.handle = h;
    c.entityAfter = Stored{m_orderSeed++, entity};
    putEntity(h, c.entityAfter);
    record(std::move(c));
    touched();
    return entity.handle;
}

QString Drawing::addText(const QString &layerName, const QString &text, const Point &insertion, int alignment,
                         const Point &alignmentPoint, double height)
{
    if (alignment < 0 || alignment > 14)
        throw ModelError(QStringLiteral("Invalid input: alignment %1").arg(alignment));
    Entity e;
    e.kind = EntityKind::Text;
    e.layer = layerName;
    e.text = text;
    e.insertion = insertion;
    e.alignment = alignment;
    e.alignmentPoint = alignment == 0 ? Point{} : alignmentPoint;
    e.height = height;
    return addEntity(e);
}

QString Drawing::addBlockReference(const QString &layerName, const QString &blockName, const Point &insertion,
                                   const QHash<QString, QString> &values)
{
    const Block *b = block(blockName);
    if (!b)
        throw ModelError(QStringLiteral("Key not found: block %1").arg(blockName));
    Entity e;
    e.kind = EntityKind::BlockReference;
    e.layer = layerName;
    e.blockName = b->name;
    e.insertion = insertion;
    for (const Entity &def : b->entities) {
        if (def.kind != EntityKind::AttributeDefinition)
            continue;
        Entity a = def;
        a.kind = EntityKind::Attribute;
        a.prompt.clear();
        a.layer = layerName;
        a.text = values.value(def.tag, def.text);
        a.insertion = moved(def.insertion, b->basePoint, insertion);
        a.alignmentPoint = def.alignment == 0 ? Point{} : moved(def.alignmentPoint, b->basePoint, insertion);
        e.attributes.append(a);
    }
    return addEntity(e);
}

void Drawing::modify(const QString &handle, const std::function<void(Entity &)> &change)
{
    const Location loc = locateOrThrow(handle);
    if (loc.block >= 0) {
        Block before = m_blocks[loc.block];
        Block after = before;
        Entity &target = after.entities[loc.blockEntity];
        const Entity original = target;
        change(target);
        target.handle = original.handle;
        target.kind = original.kind;
        if (target == original)
            return;
        if (!layer(target.layer))
            throw ModelError(QStringLiteral("Key not found: layer %1").arg(target.layer));
        Change c;
        c.what = Change::What::Block;
        c.name = before.name;
        c.position = loc.block;
        c.blockBefore = std::move(before);
        c.blockAfter = std::move(after);
        putBlock(c.name, c.position, c.blockAfter);
        record(std::move(c));
        touched();
        return;
    }

    const Stored &stored = m_entities.find(loc.top).value();
    if (isLayerLocked(stored.entity.layer))
        throw ModelError(kLockedMessage);
    Stored after = stored;
    Entity &target = loc.attribute >= 0 ? after.entity.attributes[loc.attribute] : after.entity;
    if (loc.attribute >= 0 && isLayerLocked(target.layer))
        throw ModelError(kLockedMessage);
    const Entity original = target;
    change(target);
    target.handle = original.handle;
    target.kind = original.kind;
    if (target.layer != original.layer) {
        const Layer *l = layer(target.layer);
        if (!l)
            throw ModelError(QStringLiteral("Key not found: layer %1").arg(target.layer));
        if (l->locked)
            throw ModelError(kLockedMessage);
        target.layer = l->name;
    }
    if (loc.attribute < 0) {
        // Attributes may have been added by the change: give them handles;
        // their kind is fixed.
        auto isNew = [&](const Entity &a) {
            return !parseHandle(a.handle) || locate(*parseHandle(a.handle)).value_or(Location{}).top != loc.top;
        };
        requireHandles(std::count_if(target.attributes.cbegin(), target.attributes.cend(), isNew));
        for (Entity &a : target.attributes) {
            a.kind = EntityKind::Attribute;
            if (isNew(a))
                a.handle = formatHandle(allocateHandle());
        }
    }
    if (target == original)
        return;
    Change c;
    c.handle = loc.top;
    c.entityBefore = stored;
    c.entityAfter = std::move(after);
    putEntity(c.handle, c.entityAfter);
    record(std::move(c));
    touched();
}

void Drawing::setTextString(const QString &handle, const QString &text)
{
    const Entity *e = find(handle);
    if (e && !e->isTextLike())
        throw ModelError(QStringLiteral("Not applicable: a block reference has no text"));
    modify(handle, [&](Entity &x) { x.text = text; });
}

namespace {

// Left, Aligned (3) and Fit (5) texts take their InsertionPoint; Aligned and
// Fit stretch from it to the TextAlignmentPoint.
bool placedByInsertion(int alignment)
{
    return alignment == 0 || alignment == 3 || alignment == 5;
}

} // namespace

void Drawing::setInsertionPoint(const QString &handle, const Point &p)
{
    if (!finite(p))
        throw ModelError(QStringLiteral("Invalid input: point"));
    modify(handle, [&](Entity &x) {
        // A justified text is placed by its alignment point alone; Aligned and
        // Fit lie between two points of their own, so the second stays put.
        if (x.isTextLike() && !placedByInsertion(x.alignment))
            throw ModelError(QStringLiteral("Not applicable: the insertion point of a justified text is read-only"));
        if (x.kind == EntityKind::BlockReference) {
            for (Entity &a : x.attributes) {
                if (a.alignment != 0)
                    a.alignmentPoint = moved(a.alignmentPoint, x.insertion, p);
                a.insertion = moved(a.insertion, x.insertion, p);
            }
        }
        x.insertion = p;
    });
}

void Drawing::setTextAlignmentPoint(const QString &handle, const Point &p)
{
    if (!finite(p))
        throw ModelError(QStringLiteral("Invalid input: point"));
    const Entity *e = find(handle);
    if (e && !e->isTextLike())
        throw ModelError(QStringLiteral("Not applicable: a block reference has no alignment point"));
    modify(handle, [&](Entity &x) {
        // Any other justification moves the text whole by its alignment point.
        if (x.alignment != 0 && !placedByInsertion(x.alignment))
            x.insertion = moved(x.insertion, x.alignmentPoint, p);
        x.alignmentPoint = p;
    });
}

void Drawing::setAlignment(const QString &handle, int alignment)
{
    if (alignment < 0 || alignment > 14)
        throw ModelError(QStringLiteral("Invalid input: alignment %1").arg(alignment));
    const Entity *e = find(handle);
    if (e && !e->isTextLike())
        throw ModelError(QStringLiteral("Not applicable: a block reference has no alignment"));
    modify(handle, [&](Entity &x) {
        // A left-aligned text that becomes justified keeps its place: its
        // reference point starts where the insertion point is.
        if (x.alignment == 0 && alignment != 0)
            x.alignmentPoint = x.insertion;
        x.alignment = alignment;
    });
}

void Drawing::setLayer(const QString &handle, const QString &layerName)
{
    modify(handle, [&](Entity &x) { x.layer = layerName; });
}

QString Drawing::copyEntity(const QString &handle)
{
    const Location loc = locateOrThrow(handle);
    if (loc.attribute >= 0 || loc.block >= 0)
        throw ModelError(QStringLiteral("Not applicable: only model-space entities can be copied"));
    Stored copy{m_orderSeed, m_entities.value(loc.top).entity};
    assignHandles(copy.entity);
    ++m_orderSeed;
    const quint64 h = *parseHandle(copy.entity.handle);
    m_copySource.insert(h, m_copySource.value(loc.top, loc.top));
    Change c;
    c.handle = h;
    c.entityAfter = std::move(copy);
    putEntity(h, c.entityAfter);
    record(std::move(c));
    touched();
    return formatHandle(h);
}

QString Drawing::copySource(const QString &handle) const
{
    const auto value = parseHandle(handle);
    if (!value)
        return {};
    const auto it = m_copySource.constFind(*value);
    return it == m_copySource.constEnd() ? QString() : formatHandle(*it);
}

void Drawing::eraseEntity(const QString &handle)
{
    const Location loc = locateOrThrow(handle);
    if (loc.attribute >= 0 || loc.block >= 0)
        throw ModelError(QStringLiteral("Not applicable: only model-space entities can be deleted"));
    const Stored &stored = m_entities.find(loc.top).value();
    if (isLayerLocked(stored.entity.layer))
        throw ModelError(kLockedMessage);
    Change c;
    c.handle = loc.top;
    c.entityBefore = stored;
    putEntity(c.handle, std::nullopt);
    record(std::move(c));
    touched();
}

// ---- Selection sets ------------------------------------------------------------------

const SelectionSet &Drawing::selectionSetAt(int index) const
{
    if (index < 0 || index >= m_sets.size())
        throw ModelError(QStringLiteral("Invalid index"));
    return m_sets[index];
}

SelectionSet *Drawing::setById(quint64 id)
{
    for (SelectionSet &s : m_sets)
        if (s.id == id)
            return &s;
    return nullptr;
}

const SelectionSet *Drawing::selectionSet(quint64 id) const
{
    return const_cast<Drawing *>(this)->setById(id);
}

SelectionSet &Drawing::setOrThrow(quint64 id)
{
    SelectionSet *s = setById(id);
    if (!s)
        throw ModelError(QStringLiteral("Object was erased: the selection set was deleted"));
    return *s;
}

int Drawing::selectionSetIndex(const QString &name) const
{
    for (qsizetype i = 0; i < m_sets.size(); ++i)
        if (sameName(m_sets[i].name, name))
            return int(i);
    return -1;
}

quint64 Drawing::addSelectionSet(const QString &name)
{
    if (name.trimmed().isEmpty())
        throw ModelError(QStringLiteral("Invalid input: empty selection set name"));
    if (selectionSetIndex(name) >= 0)
        throw ModelError(QStringLiteral("Duplicate record name"));
    SelectionSet s;
    s.id = m_setSeed++;
    s.name = name;
    m_sets.append(s);
    return s.id;
}

void Drawing::clearSelectionSet(quint64 id)
{
    setOrThrow(id).handles.clear();
}

void Drawing::deleteSelectionSet(quint64 id)
{
    for (qsizetype i = 0; i < m_sets.size(); ++i) {
        if (m_sets[i].id == id) {
            m_sets.removeAt(i);
            return;
        }
    }
    throw ModelError(QStringLiteral("Object was erased: the selection set was deleted"));
}

void Drawing::addMatching(quint64 id, const SelectionFilter &filter, const std::function<bool(const Entity &)> &take)
{
    SelectionSet &set = setOrThrow(id);
    QSet<QString> present(set.handles.cbegin(), set.handles.cend());
    for (const auto &[order, handle] : m_order) {
        const Entity &e = m_entities.find(handle)->entity;
        if (!take(e) || !filter.passes(e) || present.contains(e.handle))
            continue;
        set.handles.append(e.handle);
        present.insert(e.handle);
    }
}

void Drawing::selectAll(quint64 id, const SelectionFilter &filter)
{
    addMatching(id, filter, [](const Entity &) { return true; });
}

void Drawing::selectWindow(quint64 id, const Point &a, const Point &b, const SelectionFilter &filter)
{
    const double x0 = qMin(a.x, b.x), x1 = qMax(a.x, b.x);
    const double y0 = qMin(a.y, b.y), y1 = qMax(a.y, b.y);
    addMatching(id, filter, [&](const Entity &e) {
        const Point &p = e.isTextLike() && e.alignment != 0 ? e.alignmentPoint : e.insertion;
        return p.x >= x0 && p.x <= x1 && p.y >= y0 && p.y <= y1;
    });
}

void Drawing::selectLast(quint64 id, const SelectionFilter &filter)
{
    SelectionSet &set = setOrThrow(id);
    if (m_order.empty())
        return;
    const Entity &e = m_entities.find(m_order.rbegin()->second)->entity;
    if (filter.passes(e) && !set.handles.contains(e.handle))
        set.handles.append(e.handle);
}

void Drawing::selectPicked(quint64 id, const SelectionFilter &filter, const QStringList &handles)
{
    SelectionSet &set = setOrThrow(id);
    QSet<QString> present(set.handles.cbegin(), set.handles.cend());
    for (const QString &picked : handles) {
        const auto h = parseHandle(picked);
        if (!h)
            continue;
        const auto it = m_entities.constFind(*h);
        if (it == m_entities.constEnd() || !filter.passes(it->entity) || present.contains(it->entity.handle))
            continue;
        set.handles.append(it->entity.handle);
        present.insert(it->entity.handle);
    }
}

// ---- View --------------------------------------------------------------------------------

void Drawing::zoomCenter(const Point &center, double height)
{
    if (!finite(center) || !std::isfinite(height) || height <= 0)
        throw ModelError(QStringLiteral("Invalid input: zoom center and height"));
    m_viewCenter = center;
    m_viewSize = height;
    emit viewChanged();
}

void Drawing::regen()
{
    emit redrawRequested();
}

void Drawing::update(const QString &handle)
{
    locateOrThrow(handle);
    emit redrawRequested();
}

} // namespace minicad
