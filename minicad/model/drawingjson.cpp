// The drawing as one JSON document: what the test interface dumps and what
// minicad loads and saves until it reads DXF.

#include "minicad/model/drawing.h"
#include "minicad/model/drawingjson.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace minicad {

QJsonArray pointToJson(const Point &p)
{
    return QJsonArray{p.x, p.y, p.z};
}

QJsonObject entityToJson(const Entity &e)
{
    QJsonObject o;
    o[QStringLiteral("type")] = dxfTypeName(e.kind);
    o[QStringLiteral("handle")] = e.handle;
    o[QStringLiteral("layer")] = e.layer;
    o[QStringLiteral("insertion")] = pointToJson(e.insertion);
    if (e.isTextLike()) {
        o[QStringLiteral("text")] = e.text;
        o[QStringLiteral("alignment")] = e.alignment;
        o[QStringLiteral("alignmentPoint")] = pointToJson(e.alignmentPoint);
        o[QStringLiteral("height")] = e.height;
        o[QStringLiteral("style")] = e.style;
    }
    o[QStringLiteral("rotation")] = e.rotation;
    if (e.kind == EntityKind::AttributeDefinition || e.kind == EntityKind::Attribute)
        o[QStringLiteral("tag")] = e.tag;
    if (e.kind == EntityKind::AttributeDefinition)
        o[QStringLiteral("prompt")] = e.prompt;
    if (e.kind == EntityKind::BlockReference) {
        o[QStringLiteral("block")] = e.blockName;
        o[QStringLiteral("scale")] = pointToJson(e.scale);
        QJsonArray atts;
        for (const Entity &a : e.attributes)
            atts.append(entityToJson(a));
        o[QStringLiteral("attributes")] = atts;
    }
    return o;
}

namespace {

[[noreturn]] void bad(const QString &what)
{
    throw ModelError(QStringLiteral("Malformed drawing: %1").arg(what));
}

Point pointFromJson(const QJsonValue &v, const QString &what, const Point &fallback = {})
{
    if (v.isUndefined() || v.isNull())
        return fallback;
    const QJsonArray a = v.toArray();
    if (!v.isArray() || a.size() < 2 || a.size() > 3)
        bad(what + QStringLiteral(" is not a point"));
    for (const QJsonValue &e : a)
        if (!e.isDouble())
            bad(what + QStringLiteral(" is not a point"));
    return {a[0].toDouble(), a[1].toDouble(), a.size() > 2 ? a[2].toDouble() : 0.0};
}

QString stringFromJson(const QJsonObject &o, const char *key, const QString &fallback = {})
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return fallback;
    if (!v.isString())
        bad(QStringLiteral("\"%1\" is not a string").arg(QLatin1String(key)));
    return v.toString();
}

double numberFromJson(const QJsonObject &o, const char *key, double fallback)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return fallback;
    if (!v.isDouble())
        bad(QStringLiteral("\"%1\" is not a number").arg(QLatin1String(key)));
    return v.toDouble();
}


EntityKind kindFromJson(const QString &type)
{
    for (EntityKind k : {EntityKind::Text, EntityKind::BlockReference, EntityKind::AttributeDefinition,
                         EntityKind::Attribute})
        if (dxfTypeName(k) == type)
            return k;
    bad(QStringLiteral("unknown entity type \"%1\"").arg(type));
}

Entity entityFromJson(const QJsonValue &v)
{
    if (!v.isObject())
        bad(QStringLiteral("an entity is not an object"));
    const QJsonObject o = v.toObject();
    Entity e;
    e.kind = kindFromJson(stringFromJson(o, "type"));
    e.handle = stringFromJson(o, "handle");
    e.layer = stringFromJson(o, "layer", QStringLiteral("0"));
    if (e.layer.isEmpty())
        e.layer = QStringLiteral("0");
    e.insertion = pointFromJson(o.value(QStringLiteral("insertion")), QStringLiteral("insertion"));
    e.text = stringFromJson(o, "text");
    const double alignment = numberFromJson(o, "alignment", 0);
    if (alignment != std::floor(alignment) || alignment < 0 || alignment > 14)
        bad(QStringLiteral("alignment out of range"));
    e.alignment = int(alignment);
    e.alignmentPoint = pointFromJson(o.value(QStringLiteral("alignmentPoint")), QStringLiteral("alignmentPoint"));
    e.height = numberFromJson(o, "height", e.height);
    e.rotation = numberFromJson(o, "rotation", 0);
    e.style = stringFromJson(o, "style", e.style);
    e.tag = stringFromJson(o, "tag");
    e.prompt = stringFromJson(o, "prompt");
    e.blockName = stringFromJson(o, "block");
    e.scale = pointFromJson(o.value(QStringLiteral("scale")), QStringLiteral("scale"), e.scale);
    const QJsonValue atts = o.value(QStringLiteral("attributes"));
    if (!atts.isUndefined() && !atts.isNull()) {
        if (!atts.isArray() || e.kind != EntityKind::BlockReference)
            bad(QStringLiteral("attributes belong to block references"));
        for (const QJsonValue &a : atts.toArray()) {
            Entity att = entityFromJson(a);
            if (att.kind != EntityKind::Attribute)
                bad(QStringLiteral("a block reference holds an entity that is no attribute"));
            e.attributes.append(att);
        }
    }
    if (e.kind == EntityKind::BlockReference && e.blockName.isEmpty())
        bad(QStringLiteral("a block reference without a block name"));
    return e;
}

} // namespace

QJsonDocument Drawing::toJson() const
{
    QJsonObject root;
    root[QStringLiteral("format")] = QStringLiteral("minicad-drawing");
    root[QStringLiteral("version")] = 1;
    root[QStringLiteral("handseed")] = handleSeedText();
    QJsonArray layers;
    for (const Layer &l : m_layers)
        layers.append(QJsonObject{{QStringLiteral("name"), l.name}, {QStringLiteral("locked"), l.locked}});
    root[QStringLiteral("layers")] = layers;
    QJsonArray blocks;
    for (const Block &b : m_blocks) {
        QJsonArray entities;
        for (const Entity &e : b.entities)
            entities.append(entityToJson(e));
        blocks.append(QJsonObject{{QStringLiteral("name"), b.name},
                                  {QStringLiteral("base"), pointToJson(b.basePoint)},
                                  {QStringLiteral("entities"), entities}});
    }
    root[QStringLiteral("blocks")] = blocks;
    QJsonArray entities;
    for (const auto &[order, handle] : m_order)
        entities.append(entityToJson(m_entities.value(handle).entity));
    root[QStringLiteral("entities")] = entities;
    // Handles of erased objects stay erased after a load, so a client holding
    // one is told "erased", not "unknown", whichever copy of the drawing it asks.
    QList<quint64> erased(m_erased.cbegin(), m_erased.cend());
    std::sort(erased.begin(), erased.end());
    QJsonArray erasedHandles;
    for (quint64 h : erased)
        erasedHandles.append(formatHandle(h));
    if (!erasedHandles.isEmpty())
        root[QStringLiteral("erased")] = erasedHandles;
    root[QStringLiteral("view")] = QJsonObject{{QStringLiteral("center"), pointToJson(m_viewCenter)},
                                               {QStringLiteral("size"), m_viewSize}};
    return QJsonDocument(root);
}

void Drawing::fromJson(const QJsonDocument &doc)
{
    if (!doc.isObject())
        bad(QStringLiteral("the document is not an object"));
    const QJsonObject root = doc.object();
    for (const char *key : {"layers", "blocks", "entities"}) {
        const QJsonValue v = root.value(QLatin1String(key));
        if (!v.isUndefined() && !v.isArray())
            bad(QStringLiteral("\"%1\" is not an array").arg(QLatin1String(key)));
    }

    // Everything is read into locals first, so a bad document changes nothing.
    // Names are looked up through a hash: a drawing may have tens of thousands of layers.
    QList<Layer> layers{Layer{QStringLiteral("0"), false}};
    QHash<QString, qsizetype> layerAt{{QStringLiteral("0"), 0}};
    auto ensureLayer = [&](const QString &name) {
        const QString key = name.toCaseFolded();
        if (!layerAt.contains(key)) {
            layerAt.insert(key, layers.size());
            layers.append(Layer{name, false});
        }
    };
    for (const QJsonValue &v : root.value(QStringLiteral("layers")).toArray()) {
        const QJsonObject o = v.toObject();
        const QString name = stringFromJson(o, "name");
        if (!v.isObject() || name.trimmed().isEmpty())
            bad(QStringLiteral("a layer without a name"));
        const bool locked = o.value(QStringLiteral("locked")).toBool();
        const QString key = name.toCaseFolded();
        if (const auto it = layerAt.constFind(key); it != layerAt.constEnd()) {
            if (*it != 0)
                bad(QStringLiteral("layer \"%1\" twice").arg(name));
            layers[0].locked = locked;
        } else {
            layerAt.insert(key, layers.size());
            layers.append(Layer{name, locked});
        }
    }

    // The next free handle; "full" once FFFFFFFFFFFFFFFF is taken.
    quint64 seed = 1;
    bool full = false;
    QSet<quint64> used;
    QList<Entity *> unassigned;
    auto claim = [&](Entity &e) {
        if (e.handle.isEmpty()) {
            unassigned.append(&e);
            return;
        }
        const auto h = parseHandle(e.handle);
        if (!h)
            bad(QStringLiteral("bad handle \"%1\"").arg(e.handle));
        if (used.contains(*h))
            bad(QStringLiteral("handle %1 twice").arg(formatHandle(*h)));
        used.insert(*h);
        e.handle = formatHandle(*h);
        if (*h == kLastHandle)
            full = true;
        else
            seed = qMax(seed, *h + 1);
    };

    QList<Block> blocks;
    QSet<QString> blockNames;
    for (const QJsonValue &v : root.value(QStringLiteral("blocks")).toArray()) {
        const QJsonObject o = v.toObject();
        Block b;
        b.name = stringFromJson(o, "name");
        if (!v.isObject() || b.name.trimmed().isEmpty())
            bad(QStringLiteral("a block without a name"));
        const QString key = b.name.toCaseFolded();
        if (blockNames.contains(key))
            bad(QStringLiteral("block \"%1\" twice").arg(b.name));
        blockNames.insert(key);
        b.basePoint = pointFromJson(o.value(QStringLiteral("base")), QStringLiteral("base"));
        const QJsonValue list = o.value(QStringLiteral("entities"));
        if (!list.isUndefined() && !list.isArray())
            bad(QStringLiteral("block entities are not an array"));
        for (const QJsonValue &ev : list.toArray()) {
            Entity e = entityFromJson(ev);
            if (e.kind == EntityKind::Attribute)
                bad(QStringLiteral("an attribute outside a block reference"));
            b.entities.append(e);
        }
        blocks.append(b);
    }
    QList<Entity> entities;
    for (const QJsonValue &v : root.value(QStringLiteral("entities")).toArray()) {
        Entity e = entityFromJson(v);
        if (e.kind == EntityKind::Attribute)
            bad(QStringLiteral("an attribute outside a block reference"));
        entities.append(e);
    }
    for (Block &b : blocks)
        for (Entity &e : b.entities) {
            claim(e);
            ensureLayer(e.layer);
        }
    for (Entity &e : entities) {
        claim(e);
        ensureLayer(e.layer);
        for (Entity &a : e.attributes) {
            claim(a);
            ensureLayer(a.layer);
        }
    }
    QSet<quint64> erased;
    const QJsonValue erasedList = root.value(QStringLiteral("erased"));
    if (!erasedList.isUndefined() && !erasedList.isArray())
        bad(QStringLiteral("\"erased\" is not an array"));
    for (const QJsonValue &v : erasedList.toArray()) {
        const auto h = parseHandle(v.toString());
        if (!v.isString() || !h)
            bad(QStringLiteral("bad erased handle"));
        if (used.contains(*h))
            bad(QStringLiteral("handle %1 is both live and erased").arg(formatHandle(*h)));
        erased.insert(*h);
        seed = qMax(seed, *h + 1);
    }
    const QString seedText = stringFromJson(root, "handseed");
    if (!seedText.isEmpty()) {
        const auto s = parseHandleSeed(seedText);
        if (!s)
            bad(QStringLiteral("bad handle seed"));
        seed = qMax(seed, s->first);
        full = full || s->second;
    }
    for (Entity *e : unassigned) {
        if (full)
            bad(QStringLiteral("no handle left for an entity without one"));
        e->handle = formatHandle(seed);
        if (seed == kLastHandle)
            full = true;
        else
            ++seed;
    }

    const QJsonObject view = root.value(QStringLiteral("view")).toObject();
    const Point center = pointFromJson(view.value(QStringLiteral("center")), QStringLiteral("view center"));
    const double size = numberFromJson(view, "size", 100);
    if (!(size > 0))
        bad(QStringLiteral("view size must be positive"));

    // Commit.
    m_layers = layers;
    m_layerIndexValid = false;
    m_blocks = blocks;
    m_copySource.clear();
    m_entities.clear();
    m_order.clear();
    m_attributeOwner.clear();
    m_erased.clear();
    m_orderSeed = 1;
    for (const Entity &e : entities)
        putEntity(*parseHandle(e.handle), Stored{m_orderSeed++, e});
    m_erased = erased;
    rebuildBlockIndex();
    m_handleSeed = seed;
    m_handlesExhausted = full;
    m_undo.clear();
    m_redo.clear();
    m_markDepth = 0;
    m_groupOpen = false;
    m_sets.clear();
    m_viewCenter = center;
    m_viewSize = size;
    touched();
    emit viewChanged();
}

void Drawing::loadFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw ModelError(QStringLiteral("Cannot open %1: %2").arg(path, f.errorString()));
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
    if (err.error != QJsonParseError::NoError)
        throw ModelError(QStringLiteral("Malformed drawing %1: %2").arg(path, err.errorString()));
    fromJson(doc);
    m_fileName = path;
}

void Drawing::saveFile(const QString &path) const
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        throw ModelError(QStringLiteral("Cannot write %1: %2").arg(path, f.errorString()));
    f.write(toJson().toJson(QJsonDocument::Indented));
    if (!f.commit())
        throw ModelError(QStringLiteral("Cannot write %1: %2").arg(path, f.errorString()));
}

} // namespace minicad
