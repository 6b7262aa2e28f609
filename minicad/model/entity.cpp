#include "minicad/model/entity.h"

namespace minicad {

QString dxfTypeName(EntityKind kind)
{
    switch (kind) {
    case EntityKind::Text: return QStringLiteral("TEXT");
    case EntityKind::BlockReference: return QStringLiteral("INSERT");
    case EntityKind::AttributeDefinition: return QStringLiteral("ATTDEF");
    case EntityKind::Attribute: return QStringLiteral("ATTRIB");
    }
    return {};
}

QString className(EntityKind kind)
{
    switch (kind) {
    case EntityKind::Text: return QStringLiteral("AcDbText");
    case EntityKind::BlockReference: return QStringLiteral("AcDbBlockReference");
    case EntityKind::AttributeDefinition: return QStringLiteral("AcDbAttributeDefinition");
    case EntityKind::Attribute: return QStringLiteral("AcDbAttribute");
    }
    return {};
}

Entity attributeDefinition(const QString &tag, const QString &prompt, const QString &defaultText,
                           const Point &insertion, double height)
{
    Entity e;
    e.kind = EntityKind::AttributeDefinition;
    e.tag = tag;
    e.prompt = prompt;
    e.text = defaultText;
    e.insertion = insertion;
    e.height = height;
    return e;
}

} // namespace minicad
