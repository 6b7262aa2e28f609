#pragma once
// Selection filters as the CAD takes them: pairs of a group code and a value,
// all of which must hold (AND).
//   0  entity type ("TEXT", "INSERT"; wildcards; letter case ignored)
//   1  text string (wildcards; case-sensitive)
//   2  block name (wildcards; letter case ignored)
//   8  layer name (wildcards; letter case ignored)
//   66 attributes follow (1 = a block reference with attributes)

#include "minicad/model/entity.h"

#include <QList>
#include <QVariant>

namespace minicad {

struct FilterCondition {
    int code = 0;
    QVariant value;
};

class SelectionFilter {
public:
    SelectionFilter() = default; // passes everything
    // Throws ModelError when the lists differ in length, a code is not
    // supported or a value has the wrong type for its code.
    SelectionFilter(const QList<int> &codes, const QVariantList &values);

    bool isEmpty() const { return m_conditions.isEmpty(); }
    const QList<FilterCondition> &conditions() const { return m_conditions; }
    bool passes(const Entity &entity) const;

private:
    QList<FilterCondition> m_conditions;
};

} // namespace minicad
