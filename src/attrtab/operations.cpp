#include "attrtab/operations.h"

#include "cad/connection.h"
#include "cad/readahead.h"

namespace lumo {

using namespace cad;

namespace {

int firstColumnOf(const QStringList &tags, const QString &tag)
{
    const qsizetype i = tags.indexOf(tag);
    return i < 0 ? -1 : static_cast<int>(i) + 1;
}

// Picked references from..to read ahead for phase 1, with exactly the
// reads the loop makes: Item, GetAttributes, the attributes' TagString up
// to the first of a tag of the set, then Layer, InsertionPoint, Handle and
// Name of a reference that has one.
struct Candidates : SelectedItems {
    struct Reference {
        QList<Entity> attrs;
        QList<Pending<QString>> tags; // read so far, in attribute order
        bool qualifies = false;
        Pending<QString> layer, handle, name;
        Pending<Point> point;
    };
    QList<Pending<QList<Entity>>> attributes;
    QList<Reference> refs;

    Candidates(const SelectionSet &set, int from, int to, const QStringList &tagSet)
        : SelectedItems(set, from, to), attributes(readEach(&ReadBatch::getAttributes)), refs(entities.size())
    {
        for (qsizetype j = 0; j < refs.size(); ++j)
            if (!batch.failed(attributes[j]))
                refs[j].attrs = batch.value(attributes[j]);
        // One round per attribute position, for the references still looking.
        for (bool more = true; more;) {
            more = false;
            for (Reference &r : refs) {
                if (r.qualifies || r.tags.size() >= r.attrs.size())
                    continue;
                if (!r.tags.isEmpty() && batch.failed(r.tags.last()))
                    continue;
                if (!r.tags.isEmpty() && tagSet.contains(batch.value(r.tags.last()))) {
                    r.qualifies = true;
                    continue;
                }
                r.tags.append(batch.tagString(r.attrs[r.tags.size()]));
                more = true;
            }
            batch.run();
        }
        for (qsizetype j = 0; j < refs.size(); ++j) {
            Reference &r = refs[j];
            if (!r.qualifies && !(r.tags.size() > 0 && !batch.failed(r.tags.last())
                                  && tagSet.contains(batch.value(r.tags.last()))))
                continue;
            r.qualifies = true;
            r.layer = batch.layer(entities[j]);
            r.point = batch.insertionPoint(entities[j]);
            r.handle = batch.handle(entities[j]);
            r.name = batch.name(entities[j]);
        }
        batch.run();
    }
};

// Phase 1: the picked references that carry a tag of the set, in pick
// order. A stop empties the list: a stopped acquisition shows no rows.
void qualify(const SelectionSet &set, int count, const QStringList &tags, const std::function<bool(int)> &before)
{
    blkArray.clear();
    attArray.clear();
    const bool whole = readAheadEntities(
        count, [&](int i) { return !before || before(i); },
        [&](int from, int to) { return Candidates(set, from, to, tags); },
        [&](const Candidates &read, int j, int) {
            const Candidates::Reference &r = read.refs[j];
            const ReadBatch &b = read.batch;
            try {
                (void)b.value(read.items[j]);
                (void)b.value(read.attributes[j]);
                for (const Pending<QString> &tag : r.tags) {
                    if (!tags.contains(b.value(tag)))
                        continue;
                    nBlk blk;
                    blk.index = static_cast<int>(blkArray.size());
                    blk.lay = b.value(r.layer);
                    blk.insPt = b.value(r.point);
                    blk.sHnd = b.value(r.handle);
                    blk.blkName = b.value(r.name);
                    blkArray << blk;
                    break;
                }
            } catch (const AutomationError &) {
                // This reference is left out.
            }
        });
    if (!whole)
        blkArray.clear();
}

// Rows from..to read ahead for phase 2: HandleToObject and GetAttributes of
// each row's reference, every attribute's TagString, and Handle and
// TextString of those that have a column, up to the first tag that could
// not be read (the row ends there).
struct Rows {
    struct Attribute {
        Entity attr;
        Pending<QString> tag, handle, text;
    };
    ReadBatch batch;
    // Row j of the batch: its reference, the reference's attributes, and those read.
    QList<Pending<Entity>> refs;
    QList<Pending<QList<Entity>>> attributes;
    QList<QList<Attribute>> attrs;

    Rows(const Document &doc, int from, int to, const QStringList &tags)
    {
        for (int i = from; i < to; ++i)
            refs.append(batch.handleToObject(doc, blkArray[i].sHnd));
        batch.run();
        attributes.resize(refs.size());
        attrs.resize(refs.size());
        for (qsizetype j = 0; j < refs.size(); ++j)
            if (!batch.failed(refs[j]))
                attributes[j] = batch.getAttributes(batch.value(refs[j]));
        batch.run();
        for (qsizetype j = 0; j < refs.size(); ++j) {
            if (batch.failed(attributes[j]))
                continue;
            for (const Entity &a : batch.value(attributes[j]))
                attrs[j].append({a, batch.tagString(a), {}, {}});
        }
        batch.run();
        for (QList<Attribute> &row : attrs)
            for (Attribute &a : row) {
                if (batch.failed(a.tag))
                    break;
                if (firstColumnOf(tags, batch.value(a.tag)) < 0)
                    continue;
                a.handle = batch.handle(a.attr);
                a.text = batch.textString(a.attr);
            }
        batch.run();
    }
};

// Phase 2: the attributes of every row, row by row.
void readRows(const Document &doc, const QStringList &tags, const AcquireSteps &steps)
{
    readAheadEntities(
        static_cast<int>(blkArray.size()), [&](int i) { return !steps.beforeRow || steps.beforeRow(i); },
        [&](int from, int to) { return Rows(doc, from, to, tags); },
        [&](const Rows &read, int j, int i) {
            const ReadBatch &b = read.batch;
            // Failures here end the acquisition.
            const nBlk block = blkArray[i];
            (void)b.value(read.refs[j]);
            (void)b.value(read.attributes[j]);
            QList<RowCell> cells;
            try {
                for (const Rows::Attribute &a : read.attrs[j]) {
                    const int col = firstColumnOf(tags, b.value(a.tag));
                    if (col < 0)
                        continue;
                    nAtt att;
                    att.sHnd = b.value(a.handle);
                    att.text = b.value(a.text);
                    att.insPt = block.insPt;
                    att.lay = block.lay;
                    attArray << att;
                    cells.append({col, static_cast<int>(attArray.size())});
                }
            } catch (const AutomationError &) {
                // The rest of this row stays empty.
            }
            if (steps.row)
                steps.row(i, cells);
        });
}

} // namespace

bool AcquireAttributeRows(const Document &doc, const TagSet &tagSet, const AcquireSteps &steps)
{
    const DrawingSource source = DrawingSource::of(doc);
    if (tagSet.name.isEmpty() && tagSet.tags.isEmpty())
        return false; // no tag set to work with
    SelectionFilter filter;
    filter.types = {0, 2, 66};
    filter.data = {QStringLiteral("INSERT"), tagSet.blockName.isEmpty() ? QStringLiteral("*") : tagSet.blockName, 1};

    SelectionSet set = GetTempSelectionSet(doc);
    if (set.isNull())
        return false;
    TempSelectionSetGuard guard(set);
    PickOnScreen(set, filter);
    // The window keeps answering meanwhile; the caller's run keeps a second
    // acquisition or a write from starting.
    windowOps().wait(500);
    const int picked = set.count();
    if (steps.picked)
        steps.picked(picked);
    if (picked == 0)
        return false;

    qualify(set, picked, tagSet.tags, steps.beforeReference);
    blkArrayDrawing = source;
    SortBlocksByPosition(blkArray, kSortAutomatic);
    QStringList prompts;
    GetTagPrompts(doc, tagSet.blockName, prompts);
    if (steps.beginRows)
        steps.beginRows(prompts);
    readRows(doc, tagSet.tags, steps);
    return true;
}

WriteReport WriteAttributeCells(const Document &doc, const QList<CellText> &cells)
{
    WriteReport report;
    report.otherDrawing = wrongDrawingMessage(blkArrayDrawing, doc);
    if (report.otherDrawing)
        return report;
    UndoGroup group(doc);
    for (const CellText &cell : cells) {
        nAtt *att = attributeOfSlot(cell.slot);
        if (!att)
            continue;
        ++report.targets;
        try {
            WriteTextString(doc, att->sHnd, cell.text);
            att->text = cell.text;
            ++report.written;
        } catch (const AutomationError &) {
            // Locked or gone: the cell keeps its changed look.
        }
    }
    group.close();
    return report;
}

WriteReport WriteAttributeCell(const Document &doc, const CellText &cell)
{
    WriteReport report;
    nAtt *att = attributeOfSlot(cell.slot);
    if (!att)
        return report;
    report.otherDrawing = wrongDrawingMessage(blkArrayDrawing, doc);
    if (report.otherDrawing)
        return report;
    report.targets = 1;
    try {
        const Entity e = WriteTextString(doc, att->sHnd, cell.text);
        att->insPt = e.insertionPoint();
        att->text = e.textString();
        report.written = 1;
    } catch (const AutomationError &) {
        // The drawing refused it.
    }
    return report;
}

} // namespace lumo
