#pragma once
// The one loop that reads many entities for a tab: entity by entity as the
// user sees it (progress, events, "中止"), while the automation calls are
// made ahead in batches over ReadBatch, sized by ReadAheadSize.

#include "cad/batch.h"

#include <optional>

namespace cad {

// The first round of a selection set's batch: Item of every entity from..to,
// asked together. The rounds that follow are the reader's own.
struct SelectedItems {
    SelectedItems(const SelectionSet &set, int from, int to);
    ReadBatch batch;
    QList<Pending<Entity>> items;
    // Entity j of the batch; null where its Item failed (the error stays in items[j]).
    QList<Entity> entities;

    // One read of every entity, asked together as a round of its own; the
    // read of an entity whose Item failed fails too.
    template <typename T>
    QList<Pending<T>> readEach(Pending<T> (ReadBatch::*read)(const Entity &))
    {
        QList<Pending<T>> reads(entities.size());
        for (qsizetype j = 0; j < entities.size(); ++j)
            if (!entities[j].isNull())
                reads[j] = (batch.*read)(entities[j]);
        batch.run();
        return reads;
    }
};

// Takes entities 0..count-1 in order. Before entity i, before(i) shows
// progress and lets events through; its false stops the loop there, and
// readAheadEntities() answers false. The batch holding entity i is read as
// read(from, to) only once its first entity is due, so a stop pressed
// meanwhile ends the loop before the CAD is asked again; then
// take(reads, i - from, i). Errors a take raises leave the loop.
template <typename Before, typename Read, typename Take>
bool readAheadEntities(int count, Before &&before, Read &&read, Take &&take)
{
    using Reads = decltype(read(0, 0));
    ReadAheadSize ahead;
    for (int from = 0; from < count;) {
        const int to = ahead.end(from, count);
        std::optional<Reads> reads;
        for (int i = from; i < to; ++i) {
            if (!before(i))
                return false;
            if (!reads) {
                reads.emplace(read(from, to));
                ahead.ran();
            }
            take(*reads, i - from, i);
        }
        from = to;
    }
    return true;
}

} // namespace cad
