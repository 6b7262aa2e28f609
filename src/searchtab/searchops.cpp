#include "searchtab/searchops.h"

#include "cad/connection.h"
#include "cad/readahead.h"

#include <optional>

namespace lumo {

using namespace cad;

namespace {

// Found TEXTs from..to read ahead: Item, then TextString, Handle,
// InsertionPoint and Layer of each.
struct FoundTexts : SelectedItems {
    struct Text {
        Pending<QString> text, handle, layer;
        Pending<Point> point;
    };
    QList<Text> texts;

    FoundTexts(const SelectionSet &set, int from, int to) : SelectedItems(set, from, to)
    {
        texts.resize(entities.size());
        for (qsizetype j = 0; j < entities.size(); ++j) {
            if (entities[j].isNull())
                continue;
            Text &t = texts[j];
            t.text = batch.textString(entities[j]);
            t.handle = batch.handle(entities[j]);
            t.point = batch.insertionPoint(entities[j]);
            t.layer = batch.layer(entities[j]);
        }
        batch.run();
    }
    // Entity j as a record; nullopt when a read of it failed.
    std::optional<Lumo2> take(int j, int index) const
    {
        try {
            (void)batch.value(items[j]);
            const Text &t = texts[j];
            Lumo2 r;
            r.text = batch.value(t.text);
            r.sHnd = batch.value(t.handle);
            r.index = index;
            r.insPt = batch.value(t.point);
            r.lay = batch.value(t.layer);
            return r;
        } catch (const AutomationError &) {
            return std::nullopt;
        }
    }
};

// Writes the text and reads where the TEXT now stands (the CAD may move a
// justified text when its string changes).
Entity writeText(const Document &doc, Lumo2 &r, const QString &text)
{
    const Entity ent = WriteTextString(doc, r.sHnd, text);
    r.insPt = ent.insertionPoint();
    return ent;
}

} // namespace

bool FindTexts(const Document &doc, const QString &pattern, QList<Lumo2> &found, const SearchProgress &progress)
{
    SelectionSet set = GetTempSelectionSet(doc);
    TempSelectionSetGuard guard(set);
    SelectAll(set, {{0, 1}, {QStringLiteral("TEXT"), pattern}});
    const int n = set.count();
    if (progress.selected)
        progress.selected(n);
    found.reserve(n);
    return readAheadEntities(
        n, [&](int i) { return !progress.reading || progress.reading(i, n); },
        [&](int from, int to) { return FoundTexts(set, from, to); },
        [&](const FoundTexts &read, int j, int i) {
            if (std::optional<Lumo2> r = read.take(j, i))
                found.append(std::move(*r));
        });
}

void MarkLockedRecords(QList<Lumo2> &records, const QString &lockedList)
{
    for (Lumo2 &r : records)
        r.locked = IsLayerLocked(lockedList, r.lay);
}

WriteReport WriteSearchEdits(const Document &doc, QList<Lumo2> &records, const QList<SearchEdit> &edits)
{
    WriteReport report;
    std::optional<UndoGroup> group;
    if (!doc.isNull())
        group.emplace(doc);
    for (const SearchEdit &edit : edits) {
        Lumo2 &r = records[edit.record];
        if (r.locked) {
            ++report.locked;
            continue;
        }
        ++report.targets;
        if (doc.isNull())
            continue;
        try {
            writeText(doc, r, edit.text);
            r.text = edit.text;
            ++report.written;
        } catch (const AutomationError &) {
            // Skipped: the row stays an edit.
        }
    }
    if (group)
        group->close();
    return report;
}

void WriteSearchText(const Document &doc, Lumo2 &record, const QString &text)
{
    record.text = writeText(doc, record, text).textString();
}

QString WriteReportMessage(const WriteReport &report)
{
    QString message = report.targets == 0
                          ? QStringLiteral("更新対象の TEXT はありません．")
                          : QStringLiteral("%1 / %2 個の TEXT を更新しました．").arg(report.written).arg(report.targets);
    if (report.locked > 0)
        message += QStringLiteral("\nロック画層の TEXT %1 個は更新されません．").arg(report.locked);
    return message;
}

} // namespace lumo
