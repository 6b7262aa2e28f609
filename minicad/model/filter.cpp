#include "minicad/model/filter.h"

#include "minicad/model/modelerror.h"
#include "minicad/model/wildcard.h"

namespace minicad {

namespace {

bool isText(const QVariant &v)
{
    return v.metaType().id() == QMetaType::QString;
}

bool isNumber(const QVariant &v, int *out)
{
    switch (v.metaType().id()) {
    case QMetaType::Short: case QMetaType::UShort: case QMetaType::Int: case QMetaType::UInt:
    case QMetaType::Long: case QMetaType::LongLong: case QMetaType::ULongLong: case QMetaType::Double:
    case QMetaType::Float: case QMetaType::Bool: case QMetaType::Char: case QMetaType::SChar:
    case QMetaType::UChar:
        *out = v.toInt();
        return true;
    default:
        return false;
    }
}

// Symbol names and entity types are compared without letter case in the CAD.
bool matchSymbol(const QString &value, const QString &pattern)
{
    return wcmatch(value.toUpper(), pattern.toUpper());
}

} // namespace

SelectionFilter::SelectionFilter(const QList<int> &codes, const QVariantList &values)
{
    if (codes.size() != values.size())
        throw ModelError(QStringLiteral("Invalid argument: filter types and filter data differ in length"));
    for (qsizetype i = 0; i < codes.size(); ++i) {
        FilterCondition c{codes[i], values[i]};
        switch (c.code) {
        case 0: case 1: case 2: case 8:
            if (!isText(c.value))
                throw ModelError(QStringLiteral("Invalid argument: filter code %1 needs a string").arg(c.code));
            break;
        case 66: {
            int n = 0;
            if (!isNumber(c.value, &n))
                throw ModelError(QStringLiteral("Invalid argument: filter code 66 needs a number"));
            c.value = n;
            break;
        }
        default:
            throw ModelError(QStringLiteral("Invalid argument: filter code %1 is not supported").arg(c.code));
        }
        m_conditions.append(c);
    }
}

bool SelectionFilter::passes(const Entity &e) const
{
    for (const FilterCondition &c : m_conditions) {
        bool ok = false;
        switch (c.code) {
        case 0:
            ok = matchSymbol(dxfTypeName(e.kind), c.value.toString());
            break;
        case 1:
            // Block references carry no text; the condition cannot hold for them.
            ok = e.isTextLike() && wcmatch(e.text, c.value.toString());
            break;
        case 2:
            ok = e.kind == EntityKind::BlockReference && matchSymbol(e.blockName, c.value.toString());
            break;
        case 8:
            ok = matchSymbol(e.layer, c.value.toString());
            break;
        case 66:
            ok = e.kind == EntityKind::BlockReference && int(e.hasAttributes()) == c.value.toInt();
            break;
        }
        if (!ok)
            return false;
    }
    return true;
}

} // namespace minicad
