#pragma once
// Plain values of the drawing: points, layers, entities, block definitions.
// They copy cheaply and compare exactly, which is what undo relies on.

#include <QList>
#include <QString>

namespace minicad {

struct Point {
    double x = 0;
    double y = 0;
    double z = 0;
    friend bool operator==(const Point &, const Point &) = default;
};

struct Layer {
    QString name;
    bool locked = false;
    friend bool operator==(const Layer &, const Layer &) = default;
};

enum class EntityKind {
    Text,                // TEXT in model space or a block
    BlockReference,      // INSERT
    AttributeDefinition, // ATTDEF, inside block definitions
    Attribute,           // ATTRIB, owned by a block reference
};

struct Entity {
    EntityKind kind = EntityKind::Text;
    QString handle; // upper-case hexadecimal, assigned by the drawing
    QString layer = QStringLiteral("0");

    // TEXT, ATTDEF, ATTRIB
    QString text;         // TextString; the default value of an attribute definition
    Point insertion;      // InsertionPoint
    Point alignmentPoint; // TextAlignmentPoint, the reference point when alignment != 0
    int alignment = 0;    // 0 left ... 14 bottom right, the CAD's alignment codes
    double height = 2.5;
    double rotation = 0; // radians
    QString style = QStringLiteral("Standard");

    // ATTDEF, ATTRIB
    QString tag;
    QString prompt; // ATTDEF only

    // INSERT
    QString blockName;
    Point scale{1, 1, 1};
    QList<Entity> attributes; // kind Attribute, in the order of the reference

    friend bool operator==(const Entity &, const Entity &) = default;

    bool isTextLike() const { return kind != EntityKind::BlockReference; }
    bool hasAttributes() const { return kind == EntityKind::BlockReference && !attributes.isEmpty(); }
};

struct Block {
    QString name;
    Point basePoint;
    QList<Entity> entities; // attribute definitions, TEXTs, nested references
    friend bool operator==(const Block &, const Block &) = default;
};

// "TEXT", "INSERT", "ATTDEF", "ATTRIB": the DXF type, used by filter code 0.
QString dxfTypeName(EntityKind kind);
// "AcDbText", "AcDbBlockReference", "AcDbAttributeDefinition", "AcDbAttribute".
QString className(EntityKind kind);

// An attribute definition for building blocks quickly.
Entity attributeDefinition(const QString &tag, const QString &prompt, const QString &defaultText,
                           const Point &insertion = {}, double height = 2.5);

} // namespace minicad
