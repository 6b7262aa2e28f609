// Writes a DXF document back with the drawing's changes: records the model
// does not hold go out byte for byte; the ones it holds are patched only in
// the values that changed; copies are clones of their source records.

#include "minicad/dxf/dxfwriter.h"

#include "minicad/dxf/dxfbinary.h"
#include "minicad/dxf/dxfindex.h"
#include "minicad/model/drawing.h"

#include <cmath>

namespace minicad {

namespace {

using Record = QList<DxfPair>;

DxfPair mk(int code, const QByteArray &value)
{
    DxfPair p;
    p.code = code;
    p.value = value;
    return p;
}

QByteArray trimmedValue(const DxfPair &p)
{
    return p.value.trimmed();
}

bool isMarker(const DxfPair &p, const char *marker)
{
    return p.code == 100 && trimmedValue(p) == marker;
}

// An integer in the width the file used for the value it replaces.
QByteArray intLike(const QByteArray &old, qint64 v)
{
    QByteArray s = QByteArray::number(v);
    if (old.startsWith(' ') && old.size() > s.size())
        s = s.rightJustified(old.size(), ' ');
    return s;
}

std::pair<int, int> horizontalVertical(int alignment)
{
    if (alignment >= 0 && alignment <= 5)
        return {alignment, 0};
    static const int v[] = {3, 3, 3, 2, 2, 2, 1, 1, 1}; // 6..14
    static const int h[] = {0, 1, 2, 0, 1, 2, 0, 1, 2};
    if (alignment >= 6 && alignment <= 14)
        return {h[alignment - 6], v[alignment - 6]};
    return {0, 0};
}

double degrees(double radians)
{
    return radians * 180.0 / M_PI;
}

int xdataStart(const Record &r)
{
    for (int i = 1; i < r.size(); ++i)
        if (r[i].code >= 1000)
            return i;
    return int(r.size());
}

int firstMarker(const Record &r)
{
    for (int i = 1; i < r.size(); ++i)
        if (r[i].code == 100)
            return i;
    return int(r.size());
}

const char *attributeMarker(EntityKind kind)
{
    return kind == EntityKind::AttributeDefinition ? "AcDbAttributeDefinition" : "AcDbAttribute";
}

class Writer {
public:
    Writer(const DxfDocument &doc, const Drawing &d) : m_doc(doc), x(doc.index()), d(d) {}
    QByteArray run();

private:
    struct Region {
        int from = 1;
        int to = 1;
    };

    void put(const DxfPair &p);
    void putRange(int begin, int end);
    void putRecord(const Record &r);
    Record slice(int begin, int end) const { return x.pairs.mid(begin, end - begin); }
    QByteArray str(const QString &s) const { return x.codec.encode(s); }
    QString alloc();
    qsizetype valueEnd() const { return m_out.size() - (x.binary ? 1 : x.eol.size()); }

    Region region(Record &r, const char *marker, int occurrence);
    int find(const Record &r, const Region &g, int code) const;
    void set(Record &r, const char *marker, int occurrence, int code, const QByteArray &value);
    void setInt(Record &r, const char *marker, int occurrence, int code, qint64 value);
    void setPoint(Record &r, const char *marker, int code, const Point &p);
    void setHandle(Record &r, const QString &handle);
    void setOwner(Record &r, const QString &owner);
    void dropGroups(Record &r);
    void patchText(Record &r, const Entity &before, const Entity &after);
    void patchInsert(Record &r, const Entity &before, const Entity &after);

    void writeOwned(const DxfOwned &o);
    void writeTextLike(const DxfOwned &src, const Entity &cur, bool clone);
    void writeInsert(const DxfOwned &src, const Entity &cur, bool clone);
    void writeNewEntity(const Entity &e, const QString &owner);
    void writeLayer(const DxfLayerRecord &rec);
    void writeNewLayers();
    void writeNewBlockRecords();
    void writeNewBlocks();
    void writeNewEntities();
    void writeSeed();

    Record genTextLike(const Entity &e, const QString &owner);
    void genPoint(Record &r, int code, const Point &p) const;

    const DxfDocument &m_doc;
    const DxfIndex &x;
    const Drawing &d;
    QByteArray m_out;
    quint64 m_next = 0;
    quint64 m_firstNext = 0;
    bool m_full = false; // no handle left
    qsizetype m_seedAt = -1;

    QList<Layer> m_newLayers;
    struct NewBlock {
        const Block *block = nullptr;
        QString record, begin, end; // handles
    };
    QList<NewBlock> m_newBlocks;
    QStringList m_newEntities;
    QHash<int, int> m_layerAt; // pair index -> layer record
};

// Handles for the records the drawing does not hold (a SEQEND, a new layer)
// continue above the drawing's; they never wrap onto handles in use.
QString Writer::alloc()
{
    if (m_full)
        throw ModelError(QStringLiteral("Cannot save: no handle is left for a new record "
                                        "(every handle up to FFFFFFFFFFFFFFFF is taken)"));
    const quint64 h = m_next;
    if (h == Drawing::kLastHandle)
        m_full = true;
    else
        ++m_next;
    return Drawing::formatHandle(h);
}

void Writer::put(const DxfPair &p)
{
    if (x.binary) {
        m_out += p.codeText.isEmpty() ? binaryCode(p.code, x.wideCodes) : p.codeText;
        // Kept bytes stand as long as the value still reads the same.
        if (!p.binary.isEmpty() && binaryValueText(p.code, p.binary) == p.value) {
            m_out += p.binary;
            return;
        }
        if (!binaryValue(p.code, p.value, m_out))
            throw ModelError(QStringLiteral("Cannot save: \"%1\" is no value for group code %2")
                                 .arg(QString::fromLatin1(p.value.left(40)))
                                 .arg(p.code));
        return;
    }
    if (!p.codeText.isEmpty()) {
        m_out += p.codeText;
    } else {
        const QByteArray c = QByteArray::number(p.code);
        if (x.paddedCodes && c.size() < 3)
            m_out += QByteArray(3 - c.size(), ' ');
        m_out += c;
    }
    m_out += x.eol;
    m_out += p.value;
    m_out += x.eol;
}

void Writer::putRange(int begin, int end)
{
    for (int i = begin; i < end; ++i)
        put(x.pairs[i]);
}

void Writer::putRecord(const Record &r)
{
    for (const DxfPair &p : r)
        put(p);
}

// The pairs of one subclass of a record: after its marker up to the next
// marker, embedded object or extended data. Without markers (R12) the whole
// record. A missing marker is added at the end.
Writer::Region Writer::region(Record &r, const char *marker, int occurrence)
{
    const int xdata = xdataStart(r);
    if (!x.markers || firstMarker(r) >= xdata)
        return {1, xdata};
    int seen = 0;
    for (int i = 1; i < xdata; ++i) {
        if (isMarker(r[i], marker) && ++seen == occurrence) {
            int to = i + 1;
            while (to < xdata && r[to].code != 100 && r[to].code != 101)
                ++to;
            return {i + 1, to};
        }
    }
    r.insert(xdata, mk(100, marker));
    return {xdata + 1, xdata + 1};
}

int Writer::find(const Record &r, const Region &g, int code) const
{
    for (int i = g.from; i < g.to; ++i)
        if (r[i].code == code)
            return i;
    return -1;
}

void Writer::set(Record &r, const char *marker, int occurrence, int code, const QByteArray &value)
{
    const Region g = region(r, marker, occurrence);
    const int at = find(r, g, code);
    if (at >= 0)
        r[at].value = value;
    else
        r.insert(g.to, mk(code, value));
}

void Writer::setInt(Record &r, const char *marker, int occurrence, int code, qint64 value)
{
    const Region g = region(r, marker, occurrence);
    const int at = find(r, g, code);
    if (at >= 0)
        r[at].value = intLike(r[at].value, value);
    else
        r.insert(g.to, mk(code, QByteArray::number(value)));
}

void Writer::setPoint(Record &r, const char *marker, int code, const Point &p)
{
    const Region g = region(r, marker, 1);
    const int at = find(r, g, code);
    if (at < 0) {
        r.insert(g.to, mk(code + 20, formatReal(p.z)));
        r.insert(g.to, mk(code + 10, formatReal(p.y)));
        r.insert(g.to, mk(code, formatReal(p.x)));
        return;
    }
    r[at].value = formatReal(p.x);
    Region rest{at + 1, g.to};
    const int y = find(r, rest, code + 10);
    int last = at;
    if (y >= 0) {
        r[y].value = formatReal(p.y);
        last = y;
    } else {
        r.insert(at + 1, mk(code + 10, formatReal(p.y)));
        last = at + 1;
        ++rest.to;
    }
    const int z = find(r, rest, code + 20);
    if (z >= 0)
        r[z].value = formatReal(p.z);
    else if (p.z != 0)
        r.insert(last + 1, mk(code + 20, formatReal(p.z)));
}

void Writer::setHandle(Record &r, const QString &handle)
{
    const int head = firstMarker(r);
    for (int i = 1; i < head; ++i) {
        if (r[i].code == 5) {
            r[i].value = handle.toLatin1();
            return;
        }
    }
    if (x.hasHandles)
        r.insert(1, mk(5, handle.toLatin1()));
}

void Writer::setOwner(Record &r, const QString &owner)
{
    if (!x.markers || owner.isEmpty())
        return;
    const int head = firstMarker(r);
    int after = 1;
    for (int i = 1; i < head; ++i) {
        if (r[i].code == 330) {
            r[i].value = owner.toLatin1();
            return;
        }
        if (r[i].code == 5)
            after = i + 1;
    }
    r.insert(after, mk(330, owner.toLatin1()));
}

// A clone shares neither the extension dictionary nor the reactors of its source.
void Writer::dropGroups(Record &r)
{
    for (int i = 1; i < firstMarker(r);) {
        if (r[i].code == 102 && trimmedValue(r[i]).startsWith('{')) {
            int end = i + 1;
            while (end < r.size() && !(r[end].code == 102 && trimmedValue(r[end]) == "}"))
                ++end;
            r.remove(i, qMin(end + 1, int(r.size())) - i);
            continue;
        }
        ++i;
    }
}

void Writer::patchText(Record &r, const Entity &before, const Entity &after)
{
    const char *text = "AcDbText";
    if (after.layer != before.layer)
        set(r, "AcDbEntity", 1, 8, str(after.layer));
    if (after.text != before.text)
        set(r, text, 1, 1, str(after.text));
    if (after.insertion != before.insertion)
        setPoint(r, text, 10, after.insertion);
    if (after.height != before.height)
        set(r, text, 1, 40, formatReal(after.height));
    if (after.rotation != before.rotation)
        set(r, text, 1, 50, formatReal(degrees(after.rotation)));
    if (after.style != before.style)
        set(r, text, 1, 7, str(after.style));
    const auto [h0, v0] = horizontalVertical(before.alignment);
    const auto [h1, v1] = horizontalVertical(after.alignment);
    if (h1 != h0)
        setInt(r, text, 1, 72, h1);
    if (v1 != v0) {
        if (after.kind == EntityKind::Text)
            setInt(r, text, 2, 73, v1);
        else
            setInt(r, attributeMarker(after.kind), 1, 74, v1);
    }
    if (after.alignmentPoint != before.alignmentPoint
        || (after.alignment != 0 && find(r, Region{1, xdataStart(r)}, 11) < 0))
        setPoint(r, text, 11, after.alignmentPoint);
    if (after.kind != EntityKind::Text && after.tag != before.tag)
        set(r, attributeMarker(after.kind), 1, 2, str(after.tag));
    if (after.kind == EntityKind::AttributeDefinition && after.prompt != before.prompt)
        set(r, "AcDbAttributeDefinition", 1, 3, str(after.prompt));
}

void Writer::patchInsert(Record &r, const Entity &before, const Entity &after)
{
    const char *ref = "AcDbBlockReference";
    if (after.layer != before.layer)
        set(r, "AcDbEntity", 1, 8, str(after.layer));
    if (after.blockName != before.blockName)
        set(r, ref, 1, 2, str(after.blockName));
    if (after.insertion != before.insertion)
        setPoint(r, ref, 10, after.insertion);
    if (after.scale.x != before.scale.x)
        set(r, ref, 1, 41, formatReal(after.scale.x));
    if (after.scale.y != before.scale.y)
        set(r, ref, 1, 42, formatReal(after.scale.y));
    if (after.scale.z != before.scale.z)
        set(r, ref, 1, 43, formatReal(after.scale.z));
    if (after.rotation != before.rotation)
        set(r, ref, 1, 50, formatReal(degrees(after.rotation)));
    if (after.attributes.isEmpty() != before.attributes.isEmpty())
        setInt(r, ref, 1, 66, after.attributes.isEmpty() ? 0 : 1);
}

void Writer::genPoint(Record &r, int code, const Point &p) const
{
    r << mk(code, formatReal(p.x)) << mk(code + 10, formatReal(p.y)) << mk(code + 20, formatReal(p.z));
}

Record Writer::genTextLike(const Entity &e, const QString &owner)
{
    const bool m = x.markers;
    Record r;
    r << mk(0, dxfTypeName(e.kind).toLatin1());
    if (x.hasHandles)
        r << mk(5, e.handle.toLatin1());
    if (m) {
        if (!owner.isEmpty())
            r << mk(330, owner.toLatin1());
        r << mk(100, "AcDbEntity");
    }
    r << mk(8, str(e.layer));
    if (m)
        r << mk(100, "AcDbText");
    genPoint(r, 10, e.insertion);
    r << mk(40, formatReal(e.height)) << mk(1, str(e.text));
    if (e.rotation != 0)
        r << mk(50, formatReal(degrees(e.rotation)));
    r << mk(7, str(e.style));
    const auto [h, v] = horizontalVertical(e.alignment);
    if (h != 0)
        r << mk(72, QByteArray::number(h));
    if (e.alignment != 0)
        genPoint(r, 11, e.alignmentPoint);
    if (e.kind == EntityKind::Text) {
        if (m)
            r << mk(100, "AcDbText");
        if (v != 0)
            r << mk(73, QByteArray::number(v));
        return r;
    }
    if (m)
        r << mk(100, attributeMarker(e.kind));
    if (e.kind == EntityKind::AttributeDefinition)
        r << mk(3, str(e.prompt));
    r << mk(2, str(e.tag)) << mk(70, "0");
    if (v != 0)
        r << mk(74, QByteArray::number(v));
    return r;
}

void Writer::writeNewEntity(const Entity &e, const QString &owner)
{
    if (e.kind != EntityKind::BlockReference) {
        putRecord(genTextLike(e, owner));
        return;
    }
    const bool m = x.markers;
    Record r;
    r << mk(0, "INSERT");
    if (x.hasHandles)
        r << mk(5, e.handle.toLatin1());
    if (m) {
        if (!owner.isEmpty())
            r << mk(330, owner.toLatin1());
        r << mk(100, "AcDbEntity");
    }
    r << mk(8, str(e.layer));
    if (m)
        r << mk(100, "AcDbBlockReference");
    if (!e.attributes.isEmpty())
        r << mk(66, "1");
    r << mk(2, str(e.blockName));
    genPoint(r, 10, e.insertion);
    if (e.scale.x != 1)
        r << mk(41, formatReal(e.scale.x));
    if (e.scale.y != 1)
        r << mk(42, formatReal(e.scale.y));
    if (e.scale.z != 1)
        r << mk(43, formatReal(e.scale.z));
    if (e.rotation != 0)
        r << mk(50, formatReal(degrees(e.rotation)));
    putRecord(r);
    if (e.attributes.isEmpty())
        return;
    for (const Entity &a : e.attributes)
        putRecord(genTextLike(a, e.handle));
    Record end;
    end << mk(0, "SEQEND");
    if (x.hasHandles)
        end << mk(5, alloc().toLatin1());
    if (m)
        end << mk(330, e.handle.toLatin1()) << mk(100, "AcDbEntity");
    end << mk(8, str(e.layer));
    putRecord(end);
}

void Writer::writeTextLike(const DxfOwned &src, const Entity &cur, bool clone)
{
    Record r = slice(src.begin, src.end);
    if (clone) {
        dropGroups(r);
        setHandle(r, cur.handle);
    }
    patchText(r, src.asRead, cur);
    putRecord(r);
}

void Writer::writeInsert(const DxfOwned &src, const Entity &cur, bool clone)
{
    const int headEnd = !src.attribBegins.isEmpty() ? src.attribBegins.first()
                        : src.seqend >= 0           ? src.seqend
                                                    : src.end;
    Record head = slice(src.begin, headEnd);
    if (clone) {
        dropGroups(head);
        setHandle(head, cur.handle);
    }
    patchInsert(head, src.asRead, cur);
    putRecord(head);

    for (qsizetype k = 0; k < cur.attributes.size(); ++k) {
        const Entity &a = cur.attributes[k];
        qsizetype from = -1;
        if (clone) {
            if (k < src.attribBegins.size())
                from = k;
        } else {
            for (qsizetype j = 0; j < src.asRead.attributes.size(); ++j)
                if (src.asRead.attributes[j].handle == a.handle)
                    from = j;
        }
        const bool fresh = clone || from < 0;
        if (from < 0 && !src.attribBegins.isEmpty())
            from = 0; // a new attribute takes a sibling's form
        if (from < 0) {
            putRecord(genTextLike(a, cur.handle));
            continue;
        }
        Record r = slice(src.attribBegins[from], src.attribEnds[from]);
        if (fresh) {
            dropGroups(r);
            setHandle(r, a.handle);
            setOwner(r, cur.handle);
        }
        patchText(r, src.asRead.attributes[from], a);
        putRecord(r);
    }

    // The SEQEND closes the attributes; a reference without them has none.
    if (cur.attributes.isEmpty()) {
        if (!clone && src.seqend >= 0 && src.asRead.attributes.isEmpty())
            putRange(src.seqend, src.end);
        return;
    }
    if (src.seqend >= 0) {
        Record r = slice(src.seqend, src.end);
        if (clone) {
            dropGroups(r);
            setHandle(r, alloc());
            setOwner(r, cur.handle);
        }
        putRecord(r);
        return;
    }
    Record end;
    end << mk(0, "SEQEND");
    if (x.hasHandles)
        end << mk(5, alloc().toLatin1());
    if (x.markers)
        end << mk(330, cur.handle.toLatin1()) << mk(100, "AcDbEntity");
    end << mk(8, str(cur.layer));
    putRecord(end);
}

void Writer::writeOwned(const DxfOwned &o)
{
    const Entity *cur = d.find(o.asRead.handle);
    if (o.block < 0 && !d.isModelSpace(o.asRead.handle))
        return; // deleted
    if (!cur || *cur == o.asRead) {
        putRange(o.begin, o.end);
        return;
    }
    if (cur->kind == EntityKind::BlockReference)
        writeInsert(o, *cur, false);
    else
        writeTextLike(o, *cur, false);
}

void Writer::writeLayer(const DxfLayerRecord &rec)
{
    const Layer *l = d.layer(rec.name);
    if (!l || l->locked == bool(rec.flags & 4)) {
        putRange(rec.begin, rec.end);
        return;
    }
    Record r = slice(rec.begin, rec.end);
    const int flags = l->locked ? rec.flags | 4 : rec.flags & ~4;
    if (rec.flagsPair >= 0)
        r[rec.flagsPair - rec.begin].value = intLike(r[rec.flagsPair - rec.begin].value, flags);
    else
        r.insert(xdataStart(r), mk(70, QByteArray::number(flags)));
    putRecord(r);
}

void Writer::writeNewLayers()
{
    const DxfLayerRecord *pattern = nullptr;
    for (const DxfLayerRecord &rec : x.layers)
        if (!pattern || rec.name == QLatin1String("0"))
            pattern = &rec;
    for (const Layer &l : m_newLayers) {
        Record r;
        if (pattern) {
            r = slice(pattern->begin, pattern->end);
            dropGroups(r);
            setHandle(r, alloc());
            set(r, "AcDbLayerTableRecord", 1, 2, str(l.name));
            setInt(r, "AcDbLayerTableRecord", 1, 70, l.locked ? 4 : 0);
        } else {
            r << mk(0, "LAYER");
            if (x.hasHandles)
                r << mk(5, alloc().toLatin1());
            if (x.markers) {
                if (!x.layerTable.handle.isEmpty())
                    r << mk(330, x.layerTable.handle.toLatin1());
                r << mk(100, "AcDbSymbolTableRecord") << mk(100, "AcDbLayerTableRecord");
            }
            r << mk(2, str(l.name)) << mk(70, l.locked ? "4" : "0") << mk(62, "7") << mk(6, "Continuous");
        }
        putRecord(r);
    }
}

void Writer::writeNewBlockRecords()
{
    for (const NewBlock &b : m_newBlocks) {
        Record r;
        r << mk(0, "BLOCK_RECORD") << mk(5, b.record.toLatin1());
        if (!x.blockRecordTable.handle.isEmpty())
            r << mk(330, x.blockRecordTable.handle.toLatin1());
        r << mk(100, "AcDbSymbolTableRecord") << mk(100, "AcDbBlockTableRecord") << mk(2, str(b.block->name));
        putRecord(r);
    }
}

void Writer::writeNewBlocks()
{
    const bool m = x.markers;
    for (const NewBlock &nb : m_newBlocks) {
        const Block &b = *nb.block;
        bool attributes = false;
        for (const Entity &e : b.entities)
            attributes = attributes || e.kind == EntityKind::AttributeDefinition;
        Record r;
        r << mk(0, "BLOCK");
        if (x.hasHandles)
            r << mk(5, nb.begin.toLatin1());
        if (m) {
            if (!nb.record.isEmpty())
                r << mk(330, nb.record.toLatin1());
            r << mk(100, "AcDbEntity");
        }
        r << mk(8, "0");
        if (m)
            r << mk(100, "AcDbBlockBegin");
        r << mk(2, str(b.name)) << mk(70, attributes ? "2" : "0");
        genPoint(r, 10, b.basePoint);
        r << mk(3, str(b.name)) << mk(1, "");
        putRecord(r);
        for (const Entity &e : b.entities)
            writeNewEntity(e, nb.record);
        Record end;
        end << mk(0, "ENDBLK");
        if (x.hasHandles)
            end << mk(5, nb.end.toLatin1());
        if (m) {
            if (!nb.record.isEmpty())
                end << mk(330, nb.record.toLatin1());
            end << mk(100, "AcDbEntity");
        }
        end << mk(8, "0");
        if (m)
            end << mk(100, "AcDbBlockEnd");
        putRecord(end);
    }
}

void Writer::writeNewEntities()
{
    for (const QString &h : std::as_const(m_newEntities)) {
        const Entity *e = d.find(h);
        if (!e)
            continue;
        const QString source = m_doc.templateOf(h);
        const int at = x.ownedByHandle.value(source, -1);
        if (!source.isEmpty() && at >= 0 && x.owned[at].asRead.kind == e->kind) {
            const DxfOwned &src = x.owned[at];
            if (e->kind == EntityKind::BlockReference)
                writeInsert(src, *e, true);
            else
                writeTextLike(src, *e, true);
        } else {
            writeNewEntity(*e, x.modelSpaceRecord);
        }
    }
}

QByteArray Writer::run()
{
    m_full = d.handlesExhausted() || x.maxHandle == Drawing::kLastHandle;
    m_next = qMax(d.handleSeed(), x.handseed);
    if (!m_full)
        m_next = qMax(m_next, x.maxHandle + 1);
    m_firstNext = m_next;

    QSet<QString> knownLayers = x.layersAtLoad;
    for (const DxfLayerRecord &rec : x.layers)
        knownLayers.insert(rec.name.toUpper());
    if (x.layerTable.endtab >= 0)
        for (const Layer &l : d.layers())
            if (!knownLayers.contains(l.name.toUpper()))
                m_newLayers.append(l);
    for (qsizetype i = 0; i < x.layers.size(); ++i)
        m_layerAt.insert(x.layers[i].begin, int(i));

    QSet<QString> knownBlocks;
    for (const DxfBlockRecord &rec : x.blocks)
        if (rec.inModel)
            knownBlocks.insert(rec.name.toCaseFolded());
    for (const Block &b : d.blocks()) {
        if (knownBlocks.contains(b.name.toCaseFolded()))
            continue;
        NewBlock nb;
        nb.block = &b;
        if (x.markers && x.blockRecordTable.endtab >= 0)
            nb.record = alloc();
        nb.begin = alloc();
        nb.end = alloc();
        m_newBlocks.append(nb);
    }
    for (const QString &h : d.modelSpaceHandles()) {
        const int at = x.ownedByHandle.value(h, -1);
        if (at < 0 || x.owned[at].block >= 0)
            m_newEntities.append(h);
    }
    const bool newContent = !m_newLayers.isEmpty() || !m_newBlocks.isEmpty() || !m_newEntities.isEmpty();

    m_out.reserve(qsizetype(x.pairs.size()) * 16);
    m_out += x.prefix;
    for (int i = 0; i <= x.eofPair;) {
        if (i == x.handseedPair) {
            DxfPair p = x.pairs[i];
            p.value.clear();
            p.binary.clear();
            put(p);
            m_seedAt = valueEnd();
            ++i;
            continue;
        }
        if (i == x.headerEnd && x.handseedPair < 0 && x.hasHandles && newContent) {
            put(mk(9, "$HANDSEED"));
            put(mk(5, QByteArray()));
            m_seedAt = valueEnd();
        }
        if (i == x.layerTable.countPair && !m_newLayers.isEmpty()) {
            put(mk(70, intLike(x.pairs[i].value, x.layers.size() + m_newLayers.size())));
            ++i;
            continue;
        }
        if (i == x.layerTable.endtab)
            writeNewLayers();
        if (i == x.blockRecordTable.countPair && x.markers && !m_newBlocks.isEmpty()) {
            const qint64 count = std::strtoll(trimmedValue(x.pairs[i]).constData(), nullptr, 10);
            put(mk(70, intLike(x.pairs[i].value, count + m_newBlocks.size())));
            ++i;
            continue;
        }
        if (i == x.blockRecordTable.endtab && x.markers)
            writeNewBlockRecords();
        if (const auto layer = m_layerAt.constFind(i); layer != m_layerAt.constEnd()) {
            writeLayer(x.layers[*layer]);
            i = x.layers[*layer].end;
            continue;
        }
        if (i == x.blocksEnd)
            writeNewBlocks();
        if (i == x.entitiesEnd)
            writeNewEntities();
        if (i == x.eofPair) {
            // A file without these sections gets them for what is new.
            if (x.blocksEnd < 0 && !m_newBlocks.isEmpty()) {
                put(mk(0, "SECTION"));
                put(mk(2, "BLOCKS"));
                writeNewBlocks();
                put(mk(0, "ENDSEC"));
            }
            if (x.entitiesEnd < 0 && !m_newEntities.isEmpty()) {
                put(mk(0, "SECTION"));
                put(mk(2, "ENTITIES"));
                writeNewEntities();
                put(mk(0, "ENDSEC"));
            }
        }
        if (const auto owned = x.ownedByBegin.constFind(i); owned != x.ownedByBegin.constEnd()) {
            const DxfOwned &o = x.owned[*owned];
            writeOwned(o);
            i = o.end;
            continue;
        }
        put(x.pairs[i]);
        ++i;
    }
    if (!x.eofLineEnd && !x.binary)
        m_out.chop(x.eol.size());
    m_out += x.tail;
    writeSeed();
    return m_out;
}

// Every handle handed out stays below the seed.
void Writer::writeSeed()
{
    if (m_seedAt < 0)
        return;
    // The file's seed stays when nothing got a handle since reading (handles
    // the drawing gave records that lack one, or use one twice, are not in
    // the file), and when every handle is taken, as no seed is right then.
    const quint64 seed = m_full ? Drawing::kLastHandle : qMax(m_next, x.handseed);
    const bool handedOut = d.handleSeed() != x.drawingSeed || m_next != m_firstNext;
    QByteArray value;
    if (x.handseedPair >= 0 && (seed == x.handseed || m_full || !handedOut))
        value = x.pairs[x.handseedPair].value;
    else
        value = Drawing::formatHandle(seed).toLatin1();
    m_out.insert(m_seedAt, value);
}

} // namespace

QByteArray writeDxfDocument(const DxfDocument &doc, const Drawing &drawing)
{
    return Writer(doc, drawing).run();
}

} // namespace minicad
