#include "cad/readahead.h"

namespace cad {

SelectedItems::SelectedItems(const SelectionSet &set, int from, int to)
{
    items.reserve(to - from);
    for (int i = from; i < to; ++i)
        items.append(batch.item(set, i));
    batch.run();
    entities.resize(items.size());
    for (qsizetype j = 0; j < items.size(); ++j)
        if (!batch.failed(items[j]))
            entities[j] = batch.value(items[j]);
}

} // namespace cad
