#include "minicad/dxf/dxfdocument.h"

#include "minicad/dxf/dxfindex.h"
#include "minicad/model/drawing.h"

namespace minicad {

// ---- DxfDocument -----------------------------------------------------------------

DxfDocument::DxfDocument() : m_index(std::make_unique<DxfIndex>()) {}

DxfDocument::~DxfDocument() = default;

std::unique_ptr<DxfDocument> DxfDocument::parse(const QByteArray &bytes, const QString &name)
{
    std::unique_ptr<DxfDocument> doc(new DxfDocument);
    DxfIndex &x = *doc->m_index;
    x.name = name.isEmpty() ? QStringLiteral("DXF") : name;
    indexDxf(x, bytes);
    return doc;
}

std::unique_ptr<DxfDocument> DxfDocument::blank()
{
    return parse(blankDxf(), QStringLiteral("blank drawing"));
}

QString DxfDocument::version() const
{
    return m_index->version;
}

QString DxfDocument::codepage() const
{
    return m_index->codepage;
}

bool DxfDocument::isUtf8() const
{
    return m_index->codec.isUtf8();
}

const QList<DxfPair> &DxfDocument::pairs() const
{
    return m_index->pairs;
}

const QList<DxfShape> &DxfDocument::modelSpaceShapes() const
{
    return m_index->modelShapes;
}

QList<DxfShape> DxfDocument::blockShapes(const QString &blockName) const
{
    return m_index->blockShapes.value(blockName.toUpper());
}

// ---- Copies ----------------------------------------------------------------------

namespace {

// Equal but for the handles: a copy just made.
bool sameContent(const Entity &a, const Entity &b)
{
    if (a.kind != b.kind || a.text != b.text || a.insertion != b.insertion || a.layer != b.layer
        || a.blockName != b.blockName || a.attributes.size() != b.attributes.size())
        return false;
    Entity x = a, y = b;
    x.handle.clear();
    y.handle.clear();
    for (Entity &e : x.attributes)
        e.handle.clear();
    for (Entity &e : y.attributes)
        e.handle.clear();
    return x == y;
}

} // namespace

void DxfDocument::track(const Drawing &drawing)
{
    m_drawing = &drawing;
    m_seenSeed = drawing.handleSeed();
    connect(&drawing, &Drawing::changed, this, &DxfDocument::noteNewHandles);
}

void DxfDocument::noteNewHandles()
{
    const quint64 seed = m_drawing->handleSeed();
    if (seed <= m_seenSeed)
        return;
    const quint64 from = m_seenSeed;
    m_seenSeed = seed;
    for (quint64 h = from; h < seed; ++h) {
        const QString handle = Drawing::formatHandle(h);
        if (!m_drawing->isModelSpace(handle) || m_index->ownedByHandle.contains(handle))
            continue;
        const Entity *copy = m_drawing->find(handle);
        // The source is an entity read from the file, or an earlier copy of one.
        auto matches = [&](const QString &candidate) {
            const Entity *e = m_drawing->find(candidate);
            return e && candidate != handle && sameContent(*e, *copy);
        };
        QString found;
        for (const DxfOwned &o : m_index->owned) {
            if (o.block < 0 && matches(o.asRead.handle)) {
                found = o.asRead.handle;
                break;
            }
        }
        if (found.isEmpty()) {
            for (auto it = m_templates.cbegin(); it != m_templates.cend() && found.isEmpty(); ++it)
                if (matches(it.key()))
                    found = it.value();
        }
        if (!found.isEmpty())
            m_templates.insert(handle, found);
    }
}

QString DxfDocument::templateOf(const QString &handle) const
{
    return m_templates.value(handle);
}

} // namespace minicad
