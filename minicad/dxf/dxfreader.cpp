// Splits a DXF file into its (group code, value) pairs and finds what the
// drawing model takes from it: header values, layers, blocks, the TEXTs,
// ATTDEFs and INSERTs with their ATTRIBs, and the display geometry.

#include "minicad/dxf/dxfbinary.h"
#include "minicad/dxf/dxfindex.h"
#include "minicad/model/drawing.h"

#include <bitset>
#include <charconv>
#include <cmath>

namespace minicad {

namespace {

// Coordinates beyond this are junk, not drawings; they would also break the view.
constexpr double kLargestCoordinate = 1e15;

QByteArrayView trimmed(QByteArrayView v)
{
    while (!v.isEmpty() && (v.front() == ' ' || v.front() == '\t'))
        v = v.sliced(1);
    while (!v.isEmpty() && (v.back() == ' ' || v.back() == '\t'))
        v.chop(1);
    return v;
}

// A value as it can be shown in a message: short, control bytes escaped.
QString shown(QByteArrayView v)
{
    QString s;
    for (qsizetype i = 0; i < v.size() && i < 24; ++i) {
        const unsigned char c = static_cast<unsigned char>(v[i]);
        if (c < 0x20 || c >= 0x7F)
            s += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
        else
            s += QLatin1Char(char(c));
    }
    if (v.size() > 24)
        s += QStringLiteral("...");
    return s;
}

bool isValidCode(int code)
{
    return code >= 0 && code <= 1071;
}

void writeCanonicalCode(char *buf, int &len, int code, bool padded)
{
    char digits[8];
    const auto r = std::to_chars(digits, digits + sizeof digits, code);
    const int n = int(r.ptr - digits);
    len = 0;
    if (padded)
        for (int i = n; i < 3; ++i)
            buf[len++] = ' ';
    for (int i = 0; i < n; ++i)
        buf[len++] = digits[i];
}

int alignmentFrom(int h, int v)
{
    if (v == 0 || h >= 3)
        return h >= 0 && h <= 5 ? h : 0;
    if (h < 0 || h > 2 || v < 0 || v > 3)
        return 0;
    static const int table[4][3] = {{0, 1, 2}, {12, 13, 14}, {9, 10, 11}, {6, 7, 8}};
    return table[v][h];
}

bool isLayoutBlock(const QString &name)
{
    const QString n = name.toUpper();
    return n.startsWith(QLatin1String("*MODEL_SPACE")) || n.startsWith(QLatin1String("*PAPER_SPACE"))
        || n.startsWith(QLatin1String("$MODEL_SPACE")) || n.startsWith(QLatin1String("$PAPER_SPACE"));
}

void tokenize(DxfIndex &x, const QByteArray &bytes)
{
    if (isBinaryDxf(bytes)) {
        tokenizeBinary(x, bytes);
        return;
    }
    const char *data = bytes.constData();
    const qsizetype n = bytes.size();
    qsizetype pos = 0;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        x.prefix = bytes.left(3);
        pos = 3;
    }
    int line = 0;
    bool eolKnown = false;
    bool lastLineEnded = true;
    auto readLine = [&](QByteArrayView &out) {
        if (pos >= n)
            return false;
        ++line;
        const qsizetype nl = bytes.indexOf('\n', pos);
        const qsizetype e = nl < 0 ? n : nl;
        qsizetype stop = e;
        if (stop > pos && data[stop - 1] == '\r')
            --stop;
        if (!eolKnown && nl >= 0) {
            x.eol = stop < e ? QByteArray("\r\n") : QByteArray("\n");
            eolKnown = true;
        }
        out = QByteArrayView(data + pos, stop - pos);
        lastLineEnded = nl >= 0;
        pos = nl < 0 ? n : nl + 1;
        return true;
    };

    x.pairs.reserve(n / 12);
    bool first = true;
    for (;;) {
        QByteArrayView codeLine;
        if (!readLine(codeLine))
            x.fail(line + 1, x.pairs.isEmpty() ? QStringLiteral("the file is empty")
                                               : QStringLiteral("unexpected end of file: EOF is missing"));
        const int codeLineNo = line;
        const QByteArrayView t = trimmed(codeLine);
        int code = -1;
        const auto r = std::from_chars(t.data(), t.data() + t.size(), code);
        if (t.isEmpty() || r.ec != std::errc() || r.ptr != t.data() + t.size())
            x.fail(codeLineNo, QStringLiteral("group code expected, found \"%1\"").arg(shown(codeLine)));
        if (!isValidCode(code))
            x.fail(codeLineNo, QStringLiteral("group code %1 is out of range").arg(code));
        QByteArrayView value;
        if (!readLine(value))
            x.fail(codeLineNo, QStringLiteral("the value of group code %1 is missing: the file ends early").arg(code));
        if (first) {
            x.paddedCodes = codeLine.size() == 3;
            first = false;
        }
        DxfPair p;
        p.code = code;
        p.value = value.toByteArray();
        p.line = codeLineNo;
        char buf[16];
        int len = 0;
        writeCanonicalCode(buf, len, code, x.paddedCodes);
        if (codeLine != QByteArrayView(buf, len))
            p.codeText = codeLine.toByteArray();
        x.pairs.append(std::move(p));
        if (code == 0 && trimmed(value) == "EOF") {
            x.eofPair = int(x.pairs.size() - 1);
            x.eofLineEnd = lastLineEnded;
            x.tail = bytes.mid(pos);
            return;
        }
    }
}

struct Section {
    QString name;
    int begin = 0; // first pair after the name
    int end = 0;   // the ENDSEC pair
};

class Indexer {
public:
    explicit Indexer(DxfIndex &x) : x(x) {}
    void run();

private:
    void header(const Section &s);
    void tables(const Section &s);
    void blocks(const Section &s);
    void entities(const Section &s);
    int groupEnd(int begin, int limit) const;
    void entity(int begin, int end, int block);
    Entity textLike(int begin, int end, EntityKind kind, bool &hasHandle, bool &paper) const;
    void shape(int begin, int end, int block, const QString &type);
    quint64 handleAt(int i) const;
    quint64 newHandle(int record);
    Point pointAt(int i, int code, Point p) const;

    DxfIndex &x;
    QSet<QString> m_handles; // every handle the model gets
    QSet<QString> m_layerNames, m_blockNames; // case-folded
    QList<int> m_unhandled;  // owned records without a handle, or with one taken before
    quint64 m_next = 1;      // the next handle for them
    bool m_full = false;     // FFFFFFFFFFFFFFFF is taken
};

// Handles continue above the highest one in the file; they never wrap.
quint64 Indexer::newHandle(int record)
{
    if (m_full)
        x.failAt(record, QStringLiteral("no handle is left for the entities without one: FFFFFFFFFFFFFFFF is taken"));
    const quint64 h = m_next;
    if (h == Drawing::kLastHandle)
        m_full = true;
    else
        ++m_next;
    x.maxHandle = qMax(x.maxHandle, h);
    return h;
}

quint64 Indexer::handleAt(int i) const
{
    const QByteArrayView t = trimmed(x.pairs[i].value);
    quint64 v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v, 16);
    if (t.isEmpty() || r.ec != std::errc() || r.ptr != t.data() + t.size())
        x.failAt(i, QStringLiteral("bad handle \"%1\"").arg(shown(x.pairs[i].value)));
    return v;
}

void Indexer::run()
{
    QList<Section> sections;
    QString strayVersion; // $ACADVER outside the HEADER, as some programs write it first
    int i = 0;
    while (i < x.eofPair) {
        // Comments, and stray pairs other programs put before a section, are
        // kept as they are.
        if (x.pairs[i].code != 0) {
            if (x.pairs[i].code == 9 && trimmed(x.pairs[i].value) == "$ACADVER" && i + 1 < x.eofPair
                && x.pairs[i + 1].code == 1)
                strayVersion = QString::fromLatin1(trimmed(x.pairs[i + 1].value)).toUpper();
            ++i;
            continue;
        }
        if (x.typeAt(i) != QLatin1String("SECTION"))
            x.failAt(i, QStringLiteral("SECTION expected, found \"%1\"").arg(shown(x.pairs[i].value)));
        if (i + 1 >= x.eofPair || x.pairs[i + 1].code != 2)
            x.failAt(i + 1, QStringLiteral("section name expected"));
        Section s;
        s.name = QString::fromLatin1(trimmed(x.pairs[i + 1].value)).toUpper();
        s.begin = i + 2;
        int end = s.begin;
        while (end < x.eofPair && !(x.pairs[end].code == 0 && x.typeAt(end) == QLatin1String("ENDSEC"))) {
            if (x.pairs[end].code == 0 && x.typeAt(end) == QLatin1String("SECTION"))
                x.failAt(end, QStringLiteral("section %1 is not closed").arg(s.name));
            ++end;
        }
        if (end >= x.eofPair)
            x.failAt(i, QStringLiteral("section %1 is not closed: ENDSEC is missing").arg(s.name));
        s.end = end;
        sections.append(s);
        i = end + 1;
    }

    bool versioned = false;
    for (const Section &s : sections) {
        if (s.name == QLatin1String("HEADER")) {
            header(s);
            versioned = versioned || x.headerHasVersion;
        }
    }
    if (!versioned && !strayVersion.isEmpty())
        x.version = strayVersion;
    x.codec.setup(x.version, x.codepage);
    if (x.codepage.isEmpty() && !x.codec.isUtf8()) {
        // Older Japanese programs write Shift_JIS and say nothing about it.
        QList<QByteArrayView> texts;
        for (int p = 0; p < x.eofPair; ++p)
            if (!x.pairs[p].value.isEmpty())
                texts.append(x.pairs[p].value);
        if (DxfTextCodec::isShiftJis(texts)) {
            x.assumedCodepage = QStringLiteral("ANSI_932");
            x.codec.setup(x.version, x.assumedCodepage);
        }
    }
    x.markers = x.version.toUpper() >= QLatin1String("AC1012");

    // Every handle in the file: new ones must stay clear of all of them.
    // (A DIMSTYLE has its handle in 105; its 5 names a block.) A record the
    // model does not read may hold junk there: it is written back as it is.
    bool dimstyle = false;
    for (int p = qMax(x.headerEnd, 0); p < x.eofPair; ++p) {
        const DxfPair &pair = x.pairs[p];
        if (pair.code == 0)
            dimstyle = x.typeAt(p) == QLatin1String("DIMSTYLE");
        if ((pair.code == 5 && !dimstyle) || pair.code == 105) {
            const QByteArrayView t = trimmed(pair.value);
            quint64 v = 0;
            const auto r = std::from_chars(t.data(), t.data() + t.size(), v, 16);
            if (!t.isEmpty() && r.ec == std::errc() && r.ptr == t.data() + t.size()) {
                x.maxHandle = qMax(x.maxHandle, v);
                x.hasHandles = true;
            }
        }
    }

    for (const Section &s : sections) {
        if (s.name == QLatin1String("TABLES"))
            tables(s);
        else if (s.name == QLatin1String("BLOCKS"))
            blocks(s);
        else if (s.name == QLatin1String("ENTITIES"))
            entities(s);
    }

    // Entities of a file without handles, and the later ones of a handle
    // the file uses twice, get handles above every handle in the file.
    m_full = x.maxHandle == Drawing::kLastHandle;
    m_next = qMax(qMax(x.handseed, m_full ? x.maxHandle : x.maxHandle + 1), quint64(1));
    for (int o : m_unhandled) {
        DxfOwned &rec = x.owned[o];
        if (rec.asRead.handle.isEmpty()) {
            rec.asRead.handle = Drawing::formatHandle(newHandle(rec.begin));
            x.ownedByHandle.insert(rec.asRead.handle, o);
        }
        for (Entity &a : rec.asRead.attributes)
            if (a.handle.isEmpty())
                a.handle = Drawing::formatHandle(newHandle(rec.begin));
    }
}

void Indexer::header(const Section &s)
{
    x.headerEnd = s.end;
    QString var;
    for (int i = s.begin; i < s.end; ++i) {
        const DxfPair &p = x.pairs[i];
        if (p.code == 9) {
            var = QString::fromLatin1(trimmed(p.value)).toUpper();
        } else if (var == QLatin1String("$ACADVER") && p.code == 1) {
            x.version = QString::fromLatin1(trimmed(p.value)).toUpper();
            x.headerHasVersion = true;
        } else if (var == QLatin1String("$DWGCODEPAGE") && p.code == 3) {
            x.codepage = QString::fromLatin1(trimmed(p.value));
        } else if (var == QLatin1String("$HANDSEED") && p.code == 5) {
            x.handseedPair = i;
            x.handseed = handleAt(i);
            x.hasHandles = true;
        }
    }
}

void Indexer::tables(const Section &s)
{
    int i = s.begin;
    while (i < s.end) {
        if (x.pairs[i].code != 0) {
            ++i;
            continue;
        }
        if (x.typeAt(i) != QLatin1String("TABLE"))
            x.failAt(i, QStringLiteral("TABLE expected, found \"%1\"").arg(shown(x.pairs[i].value)));
        DxfTable table;
        table.begin = i;
        QString name;
        int j = i + 1;
        for (; j < s.end && x.pairs[j].code != 0; ++j) {
            const DxfPair &p = x.pairs[j];
            if (p.code == 2 && name.isEmpty())
                name = QString::fromLatin1(trimmed(p.value)).toUpper();
            else if (p.code == 5)
                table.handle = QString::fromLatin1(trimmed(p.value));
            else if (p.code == 70 && table.countPair < 0)
                table.countPair = j;
        }
        // Entries up to ENDTAB.
        while (j < s.end && x.typeAt(j) != QLatin1String("ENDTAB")) {
            const int end = x.nextRecord(j);
            if (end > s.end)
                break;
            const QString type = x.typeAt(j);
            if (type == QLatin1String("LAYER") && name == QLatin1String("LAYER")) {
                DxfLayerRecord layer;
                layer.begin = j;
                layer.end = end;
                for (int k = j + 1; k < end; ++k) {
                    const DxfPair &p = x.pairs[k];
                    if (p.code == 2 && layer.name.isEmpty())
                        layer.name = x.stringAt(k);
                    else if (p.code == 70 && layer.flagsPair < 0) {
                        layer.flagsPair = k;
                        layer.flags = int(x.intAt(k));
                    }
                }
                if (layer.name.trimmed().isEmpty())
                    x.failAt(j, QStringLiteral("a layer without a name"));
                const QString key = layer.name.toCaseFolded();
                if (m_layerNames.contains(key))
                    x.failAt(j, QStringLiteral("layer \"%1\" is defined twice").arg(layer.name));
                m_layerNames.insert(key);
                x.layers.append(layer);
            } else if (type == QLatin1String("BLOCK_RECORD") && name == QLatin1String("BLOCK_RECORD")) {
                QString recordName, handle;
                for (int k = j + 1; k < end; ++k) {
                    if (x.pairs[k].code == 2 && recordName.isEmpty())
                        recordName = x.stringAt(k);
                    else if (x.pairs[k].code == 5 && handle.isEmpty())
                        handle = QString::fromLatin1(trimmed(x.pairs[k].value));
                }
                if (recordName.compare(QLatin1String("*Model_Space"), Qt::CaseInsensitive) == 0)
                    x.modelSpaceRecord = handle;
            }
            j = end;
        }
        if (j >= s.end)
            x.failAt(i, QStringLiteral("table %1 is not closed: ENDTAB is missing").arg(name));
        table.endtab = j;
        if (name == QLatin1String("LAYER"))
            x.layerTable = table;
        else if (name == QLatin1String("BLOCK_RECORD"))
            x.blockRecordTable = table;
        i = x.nextRecord(j);
    }
}

int Indexer::groupEnd(int begin, int limit) const
{
    const QString type = x.typeAt(begin);
    int end = qMin(x.nextRecord(begin), limit);
    QLatin1String child;
    if (type == QLatin1String("INSERT"))
        child = QLatin1String("ATTRIB");
    else if (type == QLatin1String("POLYLINE"))
        child = QLatin1String("VERTEX");
    else
        return end;
    while (end < limit && x.typeAt(end) == child)
        end = qMin(x.nextRecord(end), limit);
    if (end < limit && x.typeAt(end) == QLatin1String("SEQEND"))
        end = qMin(x.nextRecord(end), limit);
    return end;
}

void Indexer::blocks(const Section &s)
{
    x.blocksEnd = s.end;
    int i = s.begin;
    while (i < s.end) {
        if (x.pairs[i].code != 0) {
            ++i;
            continue;
        }
        if (x.typeAt(i) != QLatin1String("BLOCK"))
            x.failAt(i, QStringLiteral("BLOCK expected, found \"%1\"").arg(shown(x.pairs[i].value)));
        DxfBlockRecord b;
        b.begin = i;
        const int headEnd = x.nextRecord(i);
        for (int k = i + 1; k < headEnd; ++k) {
            const int code = x.pairs[k].code;
            if (code == 2 && b.name.isEmpty())
                b.name = x.stringAt(k);
            else if (code == 10 || code == 20 || code == 30)
                b.base = pointAt(k, code - 10, b.base);
        }
        if (b.name.trimmed().isEmpty())
            x.failAt(i, QStringLiteral("a block without a name"));
        b.inModel = !isLayoutBlock(b.name);
        if (b.inModel) {
            const QString key = b.name.toCaseFolded();
            if (m_blockNames.contains(key))
                x.failAt(i, QStringLiteral("block \"%1\" is defined twice").arg(b.name));
            m_blockNames.insert(key);
        }
        const int index = int(x.blocks.size());
        x.blocks.append(b);
        int j = headEnd;
        while (j < s.end && x.typeAt(j) != QLatin1String("ENDBLK")) {
            if (x.typeAt(j) == QLatin1String("BLOCK"))
                x.failAt(i, QStringLiteral("block \"%1\" is not closed: ENDBLK is missing").arg(b.name));
            const int end = groupEnd(j, s.end);
            entity(j, end, index);
            j = end;
        }
        if (j >= s.end)
            x.failAt(i, QStringLiteral("block \"%1\" is not closed: ENDBLK is missing").arg(b.name));
        x.blocks[index].endblk = j;
        i = x.nextRecord(j);
    }
}

void Indexer::entities(const Section &s)
{
    x.entitiesEnd = s.end;
    int i = s.begin;
    while (i < s.end) {
        if (x.pairs[i].code != 0) {
            x.failAt(i, QStringLiteral("an entity expected, found group code %1").arg(x.pairs[i].code));
        }
        const int end = groupEnd(i, s.end);
        entity(i, end, -1);
        i = end;
    }
}

Point Indexer::pointAt(int i, int axis, Point p) const
{
    const double v = x.realAt(i);
    if (std::fabs(v) > kLargestCoordinate)
        x.failAt(i, QStringLiteral("coordinate %1 is out of range").arg(shown(x.pairs[i].value)));
    (axis == 0 ? p.x : axis == 10 ? p.y : p.z) = v;
    return p;
}

Entity Indexer::textLike(int begin, int end, EntityKind kind, bool &hasHandle, bool &paper) const
{
    Entity e;
    e.kind = kind;
    e.style = QStringLiteral("Standard");
    int h = 0, v = 0;
    std::bitset<256> seen; // the first of each code counts
    auto first = [&](int code) {
        const bool was = seen.test(size_t(code));
        seen.set(size_t(code));
        return !was;
    };
    const bool text = kind == EntityKind::Text;
    const bool insert = kind == EntityKind::BlockReference;
    for (int i = begin + 1; i < end; ++i) {
        const int code = x.pairs[i].code;
        if (code == 1001 || code == 101)
            break; // extended data, embedded objects
        if (code > 74 && code != 210 && code != 220 && code != 230)
            continue;
        switch (code) {
        case 5:
            if (first(code) && !trimmed(x.pairs[i].value).isEmpty()) {
                // Handle 0 (or none written) means none.
                if (const quint64 value = handleAt(i)) {
                    e.handle = Drawing::formatHandle(value);
                    hasHandle = true;
                }
            }
            break;
        case 8:
            if (first(code))
                e.layer = x.stringAt(i);
            break;
        case 1:
            if (!insert && first(code))
                e.text = x.stringAt(i);
            break;
        case 2:
            if (first(code))
                (insert ? e.blockName : e.tag) = x.stringAt(i);
            break;
        case 3:
            if (kind == EntityKind::AttributeDefinition && first(code))
                e.prompt = x.stringAt(i);
            break;
        case 7:
            if (!insert && first(code))
                e.style = x.stringAt(i);
            break;
        case 10: case 20: case 30:
            if (first(code))
                e.insertion = pointAt(i, code - 10, e.insertion);
            break;
        case 11: case 21: case 31:
            if (!insert && first(code))
                e.alignmentPoint = pointAt(i, code - 11, e.alignmentPoint);
            break;
        case 40:
            if (!insert && first(code))
                e.height = x.realAt(i);
            break;
        case 41: case 42: case 43:
            if (insert && first(code)) {
                const double s = x.realAt(i);
                (code == 41 ? e.scale.x : code == 42 ? e.scale.y : e.scale.z) = s;
            }
            break;
        case 50:
            if (first(code)) {
                const double deg = x.realAt(i);
                if (std::fabs(deg) > 1e9)
                    x.failAt(i, QStringLiteral("angle %1 is out of range").arg(shown(x.pairs[i].value)));
                e.rotation = deg * M_PI / 180.0;
            }
            break;
        case 67:
            if (first(code))
                paper = x.intAt(i) == 1;
            break;
        case 72:
            if (!insert && first(code))
                h = int(x.intAt(i));
            break;
        case 73:
            if (text && first(code))
                v = int(x.intAt(i));
            break;
        case 74:
            if (!text && !insert && first(code))
                v = int(x.intAt(i));
            break;
        default:
            break;
        }
    }
    if (e.layer.isEmpty())
        e.layer = QStringLiteral("0");
    if (!insert)
        e.alignment = alignmentFrom(h, v);
    return e;
}

void Indexer::entity(int begin, int end, int block)
{
    const QString type = x.typeAt(begin);
    EntityKind kind;
    if (type == QLatin1String("TEXT"))
        kind = EntityKind::Text;
    else if (type == QLatin1String("INSERT"))
        kind = EntityKind::BlockReference;
    else if (type == QLatin1String("ATTDEF") && block >= 0)
        kind = EntityKind::AttributeDefinition;
    else {
        shape(begin, end, block, type);
        return;
    }
    if (block >= 0 && !x.blocks[block].inModel)
        return; // layout blocks stay as they are

    DxfOwned o;
    o.begin = begin;
    o.end = end;
    o.block = block;
    bool paper = false;
    const int headEnd = qMin(x.nextRecord(begin), end);
    o.asRead = textLike(begin, headEnd, kind, o.fileHandle, paper);
    if (paper && block < 0)
        return; // paper space of the active layout: not the model's
    if (kind == EntityKind::BlockReference) {
        int j = headEnd;
        while (j < end && x.typeAt(j) == QLatin1String("ATTRIB")) {
            const int aEnd = qMin(x.nextRecord(j), end);
            bool attHandle = false, attPaper = false;
            Entity a = textLike(j, aEnd, EntityKind::Attribute, attHandle, attPaper);
            o.attribBegins.append(j);
            o.attribEnds.append(aEnd);
            o.asRead.attributes.append(a);
            j = aEnd;
        }
        if (j < end && x.typeAt(j) == QLatin1String("SEQEND"))
            o.seqend = j;
        if (o.asRead.blockName.isEmpty())
            x.failAt(begin, QStringLiteral("a block reference without a block name"));
    }
    // A handle the file uses twice stays with its first record; the later
    // one gets a handle of its own, in the drawing only: the file keeps its bytes.
    auto claim = [&](QString &handle) {
        if (handle.isEmpty())
            return;
        if (m_handles.contains(handle))
            handle.clear();
        else
            m_handles.insert(handle);
    };
    claim(o.asRead.handle);
    for (Entity &a : o.asRead.attributes)
        claim(a.handle);
    bool missing = o.asRead.handle.isEmpty();
    for (const Entity &a : o.asRead.attributes)
        missing = missing || a.handle.isEmpty();
    const int index = int(x.owned.size());
    x.ownedByBegin.insert(begin, index);
    if (!o.asRead.handle.isEmpty())
        x.ownedByHandle.insert(o.asRead.handle, index);
    if (missing)
        m_unhandled.append(index);
    x.owned.append(std::move(o));
}

void Indexer::shape(int begin, int end, int block, const QString &type)
{
    DxfShape s;
    if (type == QLatin1String("LINE"))
        s.kind = DxfShape::Kind::Line;
    else if (type == QLatin1String("LWPOLYLINE") || type == QLatin1String("POLYLINE"))
        s.kind = DxfShape::Kind::Polyline;
    else if (type == QLatin1String("CIRCLE"))
        s.kind = DxfShape::Kind::Circle;
    else if (type == QLatin1String("ARC"))
        s.kind = DxfShape::Kind::Arc;
    else
        return;
    const bool lw = type == QLatin1String("LWPOLYLINE");
    const int headEnd = qMin(x.nextRecord(begin), end);
    Point a, b;
    double extrusionZ = 1, elevation = 0;
    int flags = 0;
    bool paper = false;
    for (int i = begin + 1; i < headEnd; ++i) {
        const int code = x.pairs[i].code;
        if (code == 1001 || code == 101)
            break;
        switch (code) {
        case 5:
            if (!trimmed(x.pairs[i].value).isEmpty())
                s.handle = Drawing::formatHandle(handleAt(i));
            break;
        case 8: s.layer = x.stringAt(i); break;
        case 67: paper = x.intAt(i) == 1; break;
        case 70: flags = int(x.intAt(i)); break;
        case 38: elevation = x.realAt(i); break;
        case 230: extrusionZ = x.realAt(i); break;
        case 10: case 20: case 30:
            if (lw) {
                if (code == 10) {
                    s.points.append(Point{});
                    s.bulges.append(0);
                }
                if (!s.points.isEmpty() && code != 30)
                    s.points.last() = pointAt(i, code - 10, s.points.last());
            } else {
                a = pointAt(i, code - 10, a);
            }
            break;
        case 11: case 21: case 31: b = pointAt(i, code - 11, b); break;
        case 40: s.radius = x.realAt(i); break;
        case 42:
            if (lw && !s.bulges.isEmpty())
                s.bulges.last() = x.realAt(i);
            break;
        case 50: s.startAngle = x.realAt(i); break;
        case 51: s.endAngle = x.realAt(i); break;
        default: break;
        }
    }
    if (paper && block < 0)
        return;
    if (s.layer.isEmpty())
        s.layer = QStringLiteral("0");
    switch (s.kind) {
    case DxfShape::Kind::Line:
        s.points = {a, b};
        break;
    case DxfShape::Kind::Circle:
    case DxfShape::Kind::Arc:
        s.center = a;
        if (s.kind == DxfShape::Kind::Circle) {
            s.startAngle = 0;
            s.endAngle = 360;
        }
        break;
    case DxfShape::Kind::Polyline:
        s.closed = flags & 1;
        if (!lw) {
            if (flags & (16 | 64))
                return; // meshes are not drawn
            for (int j = headEnd; j < end && x.typeAt(j) == QLatin1String("VERTEX");) {
                const int vEnd = qMin(x.nextRecord(j), end);
                Point p;
                double bulge = 0;
                int vflags = 0;
                for (int i = j + 1; i < vEnd; ++i) {
                    const int code = x.pairs[i].code;
                    if (code == 1001)
                        break;
                    if (code == 10 || code == 20 || code == 30)
                        p = pointAt(i, code - 10, p);
                    else if (code == 42)
                        bulge = x.realAt(i);
                    else if (code == 70)
                        vflags = int(x.intAt(i));
                }
                if (!(vflags & 16)) { // spline frame points are not on the curve
                    s.points.append(p);
                    s.bulges.append(bulge);
                }
                j = vEnd;
            }
        } else {
            for (Point &p : s.points)
                p.z = elevation;
        }
        break;
    }
    // A mirrored object coordinate system: x runs the other way.
    if (extrusionZ < 0) {
        for (Point &p : s.points)
            p.x = -p.x;
        for (double &bulge : s.bulges)
            bulge = -bulge;
        s.center.x = -s.center.x;
        if (s.kind == DxfShape::Kind::Arc) {
            const double start = 180 - s.endAngle;
            s.endAngle = 180 - s.startAngle;
            s.startAngle = start;
        }
    }
    if (block < 0)
        x.modelShapes.append(s);
    else
        x.blockShapes[x.blocks[block].name.toUpper()].append(s);
}

const char *const kBlank =
    "  0\nSECTION\n  2\nHEADER\n"
    "  9\n$ACADVER\n  1\nAC1009\n"
    "  9\n$DWGCODEPAGE\n  3\nANSI_932\n"
    "  9\n$HANDLING\n 70\n1\n"
    "  9\n$HANDSEED\n  5\n1\n"
    "  0\nENDSEC\n"
    "  0\nSECTION\n  2\nTABLES\n"
    "  0\nTABLE\n  2\nLTYPE\n 70\n1\n"
    "  0\nLTYPE\n  2\nCONTINUOUS\n 70\n0\n  3\nSolid line\n 72\n65\n 73\n0\n 40\n0.0\n"
    "  0\nENDTAB\n"
    "  0\nTABLE\n  2\nLAYER\n 70\n1\n"
    "  0\nLAYER\n  2\n0\n 70\n0\n 62\n7\n  6\nCONTINUOUS\n"
    "  0\nENDTAB\n"
    "  0\nTABLE\n  2\nSTYLE\n 70\n1\n"
    "  0\nSTYLE\n  2\nStandard\n 70\n0\n 40\n0.0\n 41\n1.0\n 50\n0.0\n 71\n0\n 42\n2.5\n  3\ntxt\n  4\n\n"
    "  0\nENDTAB\n"
    "  0\nENDSEC\n"
    "  0\nSECTION\n  2\nBLOCKS\n  0\nENDSEC\n"
    "  0\nSECTION\n  2\nENTITIES\n  0\nENDSEC\n"
    "  0\nEOF\n";

} // namespace

void indexDxf(DxfIndex &x, const QByteArray &bytes)
{
    tokenize(x, bytes);
    Indexer(x).run();
}

QByteArray blankDxf()
{
    return QByteArray(kBlank);
}

// ---- DxfIndex -------------------------------------------------------------------

void DxfIndex::fail(int line, const QString &what) const
{
    throw ModelError(QStringLiteral("%1, %2 %3: %4")
                         .arg(name, binary ? QStringLiteral("byte") : QStringLiteral("line"))
                         .arg(line)
                         .arg(what));
}

void DxfIndex::failAt(int pair, const QString &what) const
{
    const int line = pair >= 0 && pair < pairs.size() ? pairs[pair].line : (pairs.isEmpty() ? 1 : pairs.last().line);
    fail(line, what);
}

QString DxfIndex::typeAt(int i) const
{
    if (i < 0 || i >= pairs.size() || pairs[i].code != 0)
        return {};
    return QString::fromLatin1(trimmed(pairs[i].value)).toUpper();
}

int DxfIndex::nextRecord(int i) const
{
    const int n = int(pairs.size());
    for (++i; i < n; ++i)
        if (pairs[i].code == 0)
            return i;
    return n;
}

double DxfIndex::realAt(int i) const
{
    const QByteArrayView t = trimmed(pairs[i].value);
    double v = 0;
    const char *from = t.data();
    const char *to = t.data() + t.size();
    if (from != to && *from == '+')
        ++from;
    const auto r = std::from_chars(from, to, v);
    if (t.isEmpty() || r.ec != std::errc() || r.ptr != to || !std::isfinite(v))
        failAt(i, QStringLiteral("bad number \"%1\" for group code %2").arg(shown(pairs[i].value)).arg(pairs[i].code));
    return v;
}

qint64 DxfIndex::intAt(int i) const
{
    const QByteArrayView t = trimmed(pairs[i].value);
    qint64 v = 0;
    const char *from = t.data();
    const char *to = t.data() + t.size();
    if (from != to && *from == '+')
        ++from;
    const auto r = std::from_chars(from, to, v);
    const int code = pairs[i].code;
    const bool wide = code >= 90 && code <= 99;
    const qint64 limit = wide ? 0x7FFFFFFFLL : 0x7FFF;
    if (t.isEmpty() || r.ec != std::errc() || r.ptr != to || v > limit || v < -limit - 1)
        failAt(i, QStringLiteral("bad integer \"%1\" for group code %2").arg(shown(pairs[i].value)).arg(code));
    return v;
}

} // namespace minicad
