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

QString DxfDocument::textCodepage() const
{
    return m_index->codepage.isEmpty() ? m_index->assumedCodepage : m_index->codepage;
}

bool DxfDocument::isBinary() const
{
    return m_index->binary;
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

void DxfDocument::track(const Drawing &drawing)
{
    m_drawing = &drawing;
}

QString DxfDocument::templateOf(const QString &handle) const
{
    // The drawing knows what each copy was made from; the source counts
    // when it is a record of this file.
    if (!m_drawing)
        return {};
    const QString source = m_drawing->copySource(handle);
    return m_index->ownedByHandle.contains(source) ? source : QString();
}

} // namespace minicad
