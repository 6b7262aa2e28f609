#pragma once
// The drawing: layers, block definitions, model-space entities, handles,
// undo history, selection sets and the saved view (VIEWCTR, VIEWSIZE are
// saved with a drawing in the CAD too). Headless. The host around it
// (minicad/host: the other drawings open, the active one, picks, windows)
// is the Session.
//
// Every change of content goes through the drawing, is recorded for undo,
// bumps revision() and emits changed(). Errors are thrown as ModelError.

#include "minicad/model/entity.h"
#include "minicad/model/filter.h"
#include "minicad/model/modelerror.h"

#include <QHash>
#include <QJsonDocument>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace minicad {

// A named selection set of the document; it holds handles, so an entity
// deleted later is still counted and fails when used, as in a CAD.
struct SelectionSet {
    quint64 id = 0; // stable identity; names can be reused after Delete
    QString name;
    QStringList handles;
};

enum class HandleState { Live, Erased, Unknown };

class Drawing : public QObject {
    Q_OBJECT
public:
    explicit Drawing(QObject *parent = nullptr);
    ~Drawing() override;

    // ---- Content ---------------------------------------------------------

    // Layers in table order; layer "0" always exists.
    const QList<Layer> &layers() const { return m_layers; }
    const Layer *layer(const QString &name) const; // letter case ignored
    void addLayer(const QString &name, bool locked = false); // no-op when it exists
    void setLayerLocked(const QString &name, bool locked);
    bool isLayerLocked(const QString &name) const;

    // Block definitions in table order.
    const QList<Block> &blocks() const { return m_blocks; }
    const Block *block(const QString &name) const; // letter case ignored
    // Adds a definition; handles are assigned to its entities. Returns them.
    QStringList addBlockDefinition(const QString &name, const QList<Entity> &entities,
                                   const Point &basePoint = {});

    // Model-space handles in drawing (database) order.
    QStringList modelSpaceHandles() const;
    int modelSpaceCount() const { return int(m_entities.size()); }

    // Any object by handle: a model-space entity, an attribute of a block
    // reference, or an entity inside a block definition. nullptr when there
    // is none. The pointer is valid until the next change of the drawing.
    const Entity *find(const QString &handle) const;
    // The model-space block reference owning an attribute; nullptr otherwise.
    const Entity *ownerOf(const QString &handle) const;
    bool isModelSpace(const QString &handle) const;
    HandleState handleState(const QString &handle) const;

    // ---- Changes (recorded for undo) --------------------------------------

    // Changes one object (model-space entity, attribute, or block-definition
    // entity). Refuses objects on locked layers ("On locked layer"); for an
    // attribute the owning reference's layer counts too. The handle and kind
    // cannot be changed. A new layer must exist and must not be locked.
    void modify(const QString &handle, const std::function<void(Entity &)> &change);
    // Convenience setters over modify(). Points follow the CAD: for a
    // non-left alignment the two points move together.
    void setTextString(const QString &handle, const QString &text);
    void setInsertionPoint(const QString &handle, const Point &p);
    void setTextAlignmentPoint(const QString &handle, const Point &p);
    void setAlignment(const QString &handle, int alignment); // 0..14
    void setLayer(const QString &handle, const QString &layer);

    // A new model-space entity with all properties of the original and new
    // handles (its attributes too), placed last in drawing order.
    QString copyEntity(const QString &handle);
    // The entity a copy was first made from (a copy of a copy names the
    // original); "" for an entity that is no copy.
    QString copySource(const QString &handle) const;
    // Removes a model-space entity ("On locked layer" when locked).
    void eraseEntity(const QString &handle);

    // Adds a model-space entity (handles of it and its attributes are
    // assigned, any given ones are replaced). The layer is created when new.
    QString addEntity(Entity entity);
    // Test and scripting helpers over addEntity().
    QString addText(const QString &layer, const QString &text, const Point &insertion,
                    int alignment = 0, const Point &alignmentPoint = {}, double height = 2.5);
    // A reference whose attributes come from the definition's attribute
    // definitions (tag, default text), overridden by `values` per tag.
    QString addBlockReference(const QString &layer, const QString &blockName, const Point &insertion,
                              const QHash<QString, QString> &values = {});

    // ---- Undo ---------------------------------------------------------------

    // Marks nest; the outermost pair makes one group. A change outside any
    // mark is a group of its own. An unmatched end is ignored.
    void startUndoMark();
    void endUndoMark();
    int undoMarkDepth() const { return m_markDepth; }
    bool canUndo() const;
    bool canRedo() const { return !m_redo.isEmpty(); }
    int undoGroupCount() const;
    // Takes back the last group (closing an open mark first). False when
    // there is nothing to undo.
    bool undo();
    bool redo();
    void clearUndoHistory();

    // ---- Selection sets -----------------------------------------------------

    int selectionSetCount() const { return int(m_sets.size()); }
    const SelectionSet &selectionSetAt(int index) const;
    const SelectionSet *selectionSet(quint64 id) const;
    int selectionSetIndex(const QString &name) const; // letter case ignored; -1
    // A new empty set; throws when the name is taken (letter case ignored) or empty.
    quint64 addSelectionSet(const QString &name);
    void clearSelectionSet(quint64 id);
    void deleteSelectionSet(quint64 id);
    // Adds every model-space entity passing the filter (mode "all").
    void selectAll(quint64 id, const SelectionFilter &filter);
    // Adds the entities whose reference point lies in the box (window/crossing).
    void selectWindow(quint64 id, const Point &a, const Point &b, const SelectionFilter &filter);
    // Adds the last model-space entity when it passes.
    void selectLast(quint64 id, const SelectionFilter &filter);
    // Adds the entities the user picked on screen (the host asks) that pass
    // the filter; unknown handles and non-model-space objects are ignored.
    void selectPicked(quint64 id, const SelectionFilter &filter, const QStringList &handles);

    // ---- View ----------------------------------------------------------------

    Point viewCenter() const { return m_viewCenter; }
    double viewSize() const { return m_viewSize; } // "VIEWSIZE": view height in drawing units
    void zoomCenter(const Point &center, double height); // height > 0
    void regen();                         // emits redrawRequested()
    void update(const QString &handle);   // emits redrawRequested()

    // ---- Files ---------------------------------------------------------------

    // The whole content (layers, blocks, entities, handle seed, view).
    QJsonDocument toJson() const;
    // Replaces the content; undo history and selection sets are dropped. Throws ModelError and leaves the drawing unchanged when
    // the document is malformed.
    void fromJson(const QJsonDocument &doc);
    void loadFile(const QString &path); // throws ModelError
    void saveFile(const QString &path) const; // atomic; throws ModelError
    QString fileName() const { return m_fileName; }
    // For readers of other formats (DXF lives in its own library).
    void setFileName(const QString &path) { m_fileName = path; }

    // ---- Handles and revision -----------------------------------------------

    // The next handle to hand out (never lower than any handle ever used).
    // Handles are never reused: once FFFFFFFFFFFFFFFF is taken the space is
    // exhausted and whatever needs a new handle fails with a ModelError.
    quint64 handleSeed() const { return m_handleSeed; }
    bool handlesExhausted() const { return m_handlesExhausted; }
    static constexpr quint64 kLastHandle = ~quint64(0);
    // The seed as text: upper-case hex, or "10000000000000000" once exhausted.
    QString handleSeedText() const;
    // Reads handleSeedText(); nullopt when malformed.
    static std::optional<std::pair<quint64, bool>> parseHandleSeed(const QString &text);
    static QString formatHandle(quint64 value);
    static std::optional<quint64> parseHandle(const QString &handle);
    // Grows with every change of content (also by undo and redo).
    quint64 revision() const { return m_revision; }

signals:
    void changed();
    void redrawRequested();
    void viewChanged();

private:
    struct Stored {
        quint64 order = 0; // drawing order; kept through delete and undo
        Entity entity;
        friend bool operator==(const Stored &, const Stored &) = default;
    };
    // One recorded change: the state before and after of one model-space
    // entity, one layer or one block definition (nullopt = absent).
    struct Change {
        enum class What { Entity, Layer, Block } what = What::Entity;
        quint64 handle = 0; // entity
        QString name;       // layer or block
        int position = -1;  // table position of a layer or block
        std::optional<Stored> entityBefore, entityAfter;
        std::optional<Layer> layerBefore, layerAfter;
        std::optional<Block> blockBefore, blockAfter;
    };
    using Group = QList<Change>;
    // Where an object lives.
    struct Location {
        quint64 top = 0;     // model-space entity holding it (itself or the owner)
        int attribute = -1;  // index in the owner's attributes
        int block = -1;      // block-definition index when inside a block
        int blockEntity = -1;
    };
    class MarkScope;

    quint64 allocateHandle();
    void requireHandles(qsizetype count) const;
    void assignHandles(Entity &entity);
    void record(Change change);
    void apply(const Change &change, bool forward);
    void putEntity(quint64 handle, const std::optional<Stored> &value);
    void putLayer(const QString &name, int position, const std::optional<Layer> &value);
    void putBlock(const QString &name, int position, const std::optional<Block> &value);
    void rebuildBlockIndex();
    qsizetype layerPosition(const QString &name) const; // -1 when there is none
    void touched();
    std::optional<Location> locate(quint64 handle) const;
    Location locateOrThrow(const QString &handle) const;
    const Entity *entityAt(const Location &loc) const;
    SelectionSet *setById(quint64 id);
    SelectionSet &setOrThrow(quint64 id);
    void addMatching(quint64 id, const SelectionFilter &filter, const std::function<bool(const Entity &)> &take);

    QList<Layer> m_layers;
    QList<Block> m_blocks;
    QHash<quint64, Stored> m_entities;          // model space by handle value
    std::map<quint64, quint64> m_order;         // order -> handle value
    QHash<quint64, quint64> m_attributeOwner;   // attribute handle -> reference handle
    QHash<quint64, std::pair<int, int>> m_blockEntityBlock; // handle in a definition -> block, position
    QHash<quint64, quint64> m_copySource;       // copy -> the entity first copied
    mutable QHash<QString, qsizetype> m_layerIndex; // case-folded name -> position in m_layers
    mutable bool m_layerIndexValid = false;
    mutable QStringList m_orderCache;           // model-space handles, rebuilt after changes
    mutable bool m_orderCacheValid = false;
    QSet<quint64> m_erased;
    quint64 m_handleSeed = 0x20;
    bool m_handlesExhausted = false;
    quint64 m_orderSeed = 1;
    quint64 m_revision = 0;

    QList<Group> m_undo;
    QList<Group> m_redo;
    int m_markDepth = 0;
    bool m_groupOpen = false;

    QList<SelectionSet> m_sets;
    quint64 m_setSeed = 1;

    Point m_viewCenter;
    double m_viewSize = 100;
    QString m_fileName;
};

} // namespace minicad
