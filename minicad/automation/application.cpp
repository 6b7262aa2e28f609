#include "minicad/automation/application.h"

#include "minicad/dxf/dxffile.h"

#include <QFileInfo>

#include <cmath>
#include <span>

namespace minicad {

namespace {

using cad::AutomationError;
using cad::InvokeKind;

// ---- Argument conversion, with the errors of a COM server --------------------------

[[noreturn]] void typeMismatch()
{
    throw AutomationError(QStringLiteral("Type mismatch"));
}

bool isNumeric(const QVariant &v)
{
    switch (v.metaType().id()) {
    case QMetaType::Short: case QMetaType::UShort: case QMetaType::Int: case QMetaType::UInt:
    case QMetaType::Long: case QMetaType::ULong: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Float: case QMetaType::Bool: case QMetaType::Char:
    case QMetaType::SChar: case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

// Strings take numbers and booleans too, as VariantChangeType does; an
// empty value is an empty string.
QString argString(const QVariant &v)
{
    if (!v.isValid())
        return {};
    if (v.metaType().id() == QMetaType::QString)
        return v.toString();
    if (isNumeric(v))
        return v.toString();
    typeMismatch();
}

double argDouble(const QVariant &v)
{
    bool ok = false;
    double d = 0;
    if (isNumeric(v))
        d = v.toDouble(&ok);
    else if (v.metaType().id() == QMetaType::QString)
        d = v.toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d))
        typeMismatch();
    return d;
}

int argInt(const QVariant &v)
{
    const double d = argDouble(v);
    if (d < -2147483648.0 || d > 2147483647.0)
        throw AutomationError(QStringLiteral("Overflow"));
    return int(std::lround(d));
}

bool argBool(const QVariant &v)
{
    if (v.metaType().id() == QMetaType::Bool)
        return v.toBool();
    if (isNumeric(v))
        return v.toDouble() != 0;
    if (v.metaType().id() == QMetaType::QString) {
        const QString s = v.toString().trimmed();
        if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
    }
    typeMismatch();
}

Point argPoint(const QVariant &v)
{
    if (!cad::isPoint(v))
        typeMismatch();
    const cad::Point p = cad::toPoint(v);
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
        typeMismatch();
    return {p.x, p.y, p.z};
}

QVariant pointValue(const Point &p)
{
    return cad::fromPoint(cad::Point{p.x, p.y, p.z});
}

// The two filter arrays; either may be missing or empty (no filter).
SelectionFilter argFilter(const QVariant &types, const QVariant &data)
{
    QList<int> codes;
    if (types.metaType() == QMetaType::fromType<QList<qint16>>()) {
        for (qint16 c : types.value<QList<qint16>>())
            codes.append(c);
    } else if (types.metaType().id() == QMetaType::QVariantList) {
        for (const QVariant &c : types.toList()) {
            if (!isNumeric(c))
                typeMismatch();
            codes.append(argInt(c));
        }
    } else if (types.isValid()) {
        typeMismatch();
    }
    QVariantList values;
    if (data.metaType().id() == QMetaType::QVariantList)
        values = data.toList();
    else if (data.metaType().id() == QMetaType::QStringList)
        for (const QString &s : data.toStringList())
            values.append(s);
    else if (data.isValid())
        typeMismatch();
    try {
        return SelectionFilter(codes, values);
    } catch (const ModelError &e) {
        throw AutomationError(e.message());
    }
}

// ---- Member tables ------------------------------------------------------------------

enum KindMask : unsigned {
    kText = 1u << int(EntityKind::Text),
    kInsert = 1u << int(EntityKind::BlockReference),
    kAttDef = 1u << int(EntityKind::AttributeDefinition),
    kAttrib = 1u << int(EntityKind::Attribute),
    kTextLike = kText | kAttDef | kAttrib,
    kAll = kText | kInsert | kAttDef | kAttrib,
};

template <class Self>
struct Member {
    const char *name;
    bool method;           // a method; otherwise a property
    int minArgs, maxArgs;  // of the get or the call
    QVariant (*get)(Self &, QVariantList &);
    void (*put)(Self &, const QVariant &) = nullptr; // null: read-only
    unsigned kinds = kAll; // entities: which kinds have the member
};

// The entry for a name, or null: a member the object's kind lacks counts as unknown.
template <class Self>
const Member<Self> *findMember(std::span<const Member<Self>> table, const QString &name, unsigned entityKind)
{
    for (const Member<Self> &m : table) {
        if (cad::sameMember(name, m.name))
            return (m.kinds & entityKind) ? &m : nullptr;
    }
    return nullptr;
}

template <class Self>
QVariant dispatch(Self &self, std::span<const Member<Self>> table, const QString &name, InvokeKind kind,
                  QVariantList &args, unsigned entityKind = kAll)
{
    const Member<Self> *m = findMember(table, name, entityKind);
    if (!m)
        throw AutomationError(QStringLiteral("Unknown name: %1").arg(name));
    if (kind == InvokeKind::PropertyPut) {
        if (m->method || !m->put)
            throw AutomationError(QStringLiteral("Member not found: %1 cannot be set").arg(name));
        if (args.size() != 1)
            throw AutomationError(QStringLiteral("Invalid number of parameters"));
        m->put(self, args[0]);
        return {};
    }
    // Property gets and method calls are taken either way, as
    // automation clients pass both flags.
    if (args.size() < m->minArgs || args.size() > m->maxArgs)
        throw AutomationError(QStringLiteral("Invalid number of parameters"));
    return m->get(self, args);
}

// ---- Objects --------------------------------------------------------------------------

// What every object holds: the host, and the drawing it belongs to (none
// for the application and its documents collection).
struct Context {
    std::shared_ptr<Session> session;
    std::shared_ptr<Drawing> drawing;
};

class Base : public cad::Dispatch {
public:
    explicit Base(Context c) : m_context(std::move(c)) {}
    QVariant invoke(const QString &member, InvokeKind kind, QVariantList &args) final
    {
        // An object of a closed drawing is cut off, as a CAD's objects are
        // disconnected from their clients when their document closes.
        if (m_context.drawing && !m_context.session->isOpen(m_context.drawing.get()))
            throw AutomationError(QStringLiteral("The object invoked has disconnected from its clients: "
                                                 "its drawing was closed"));
        try {
            return dispatchMember(member, kind, args);
        } catch (const ModelError &e) {
            throw AutomationError(e.message());
        }
    }
    Drawing &drawing() const { return *m_context.drawing; }
    Session &session() const { return *m_context.session; }
    const Context &context() const { return m_context; }
    // Whether a call of the member could be answered (COM asks by name first).
    virtual bool hasMember(const QString &member) const = 0;

protected:
    virtual QVariant dispatchMember(const QString &member, InvokeKind kind, QVariantList &args) = 0;

private:
    Context m_context;
};

// An object answered from its member table: Self has a static members() and
// may narrow the table by entity kind with callMask() (for a call) and
// askMask() (for a question by name).
template <class Self>
class Tabled : public Base {
public:
    using Base::Base;
    unsigned callMask() const { return kAll; }
    unsigned askMask() const { return kAll; }

protected:
    QVariant dispatchMember(const QString &member, InvokeKind kind, QVariantList &args) override
    {
        Self &self = static_cast<Self &>(*this);
        return dispatch(self, Self::members(), member, kind, args, self.callMask());
    }
    bool hasMember(const QString &member) const override
    {
        const Self &self = static_cast<const Self &>(*this);
        return findMember(Self::members(), member, self.askMask()) != nullptr;
    }
};

template <class T, class... A>
QVariant object(A &&...a)
{
    return cad::fromObject(std::make_shared<T>(std::forward<A>(a)...));
}

// Collections take an index or, where the CAD allows it, a name.
bool isIndex(const QVariant &v)
{
    return isNumeric(v);
}

int checkedIndex(const QVariant &v, int count)
{
    const int i = argInt(v);
    if (i < 0 || i >= count)
        throw AutomationError(QStringLiteral("Invalid index"));
    return i;
}

// -- Entity: holds only the handle and finds the entity again on every call.

class EntityObject : public Tabled<EntityObject> {
public:
    EntityObject(Context d, QString handle) : Tabled(std::move(d)), m_handle(std::move(handle)) {}

    const Entity &entity() const
    {
        if (const Entity *e = drawing().find(m_handle))
            return *e;
        if (drawing().handleState(m_handle) == HandleState::Erased)
            throw AutomationError(QStringLiteral("Object was erased"));
        throw AutomationError(QStringLiteral("Unknown handle"));
    }
    const QString &handle() const { return m_handle; }
    // The entity's kind for the member table.
    unsigned callMask() const { return 1u << int(entity().kind); }
    // Every kind's members while the entity is gone, so the call itself tells
    // what happened.
    unsigned askMask() const
    {
        try {
            return callMask();
        } catch (const AutomationError &) {
            return kAll;
        }
    }

    static std::span<const Member<EntityObject>> members()
    {
        using S = EntityObject;
        static const Member<S> table[] = {
            {"Handle", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.entity().handle; }},
            {"Layer", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.entity().layer; },
             [](S &s, const QVariant &v) { s.drawing().setLayer(s.m_handle, argString(v)); }},
            {"EntityName", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return className(s.entity().kind); }},
            {"ObjectName", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return className(s.entity().kind); }},
            {"TextString", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.entity().text; },
             [](S &s, const QVariant &v) { s.drawing().setTextString(s.m_handle, argString(v)); }, kTextLike},
            {"InsertionPoint", false, 0, 0, [](S &s, QVariantList &) { return pointValue(s.entity().insertion); },
             [](S &s, const QVariant &v) { s.drawing().setInsertionPoint(s.m_handle, argPoint(v)); }},
            {"TextAlignmentPoint", false, 0, 0,
             [](S &s, QVariantList &) { return pointValue(s.entity().alignmentPoint); },
             [](S &s, const QVariant &v) { s.drawing().setTextAlignmentPoint(s.m_handle, argPoint(v)); }, kTextLike},
            {"Alignment", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.entity().alignment; },
             [](S &s, const QVariant &v) { s.drawing().setAlignment(s.m_handle, argInt(v)); }, kTextLike},
            {"Height", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.entity().height; }, nullptr,
             kTextLike},
            {"Rotation", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.entity().rotation; }},
            {"StyleName", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.entity().style; }, nullptr,
             kTextLike},
            {"TagString", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.entity().tag; }, nullptr,
             kAttDef | kAttrib},
            {"PromptString", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.entity().prompt; },
             nullptr, kAttDef},
            {"Name", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.entity().blockName; }, nullptr,
             kInsert},
            {"HasAttributes", false, 0, 0,
             [](S &s, QVariantList &) -> QVariant { return s.entity().hasAttributes(); }, nullptr, kInsert},
            {"XScaleFactor", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.entity().scale.x; },
             nullptr, kInsert},
            {"YScaleFactor", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.entity().scale.y; },
             nullptr, kInsert},
            {"ZScaleFactor", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.entity().scale.z; },
             nullptr, kInsert},
            {"GetAttributes", true, 0, 0,
             [](S &s, QVariantList &) -> QVariant {
                 QVariantList out;
                 for (const Entity &a : s.entity().attributes)
                     out.append(object<EntityObject>(s.context(), a.handle));
                 return out;
             },
             nullptr, kInsert},
            {"Copy", true, 0, 0,
             [](S &s, QVariantList &) {
                 return object<EntityObject>(s.context(), s.drawing().copyEntity(s.m_handle));
             }},
            {"Delete", true, 0, 0, [](S &s, QVariantList &) { s.drawing().eraseEntity(s.m_handle); return QVariant(); }},
            {"Update", true, 0, 0, [](S &s, QVariantList &) { s.drawing().update(s.m_handle); return QVariant(); }},
        };
        return table;
    }

private:
    QString m_handle;
};

// -- Layers

class LayerObject : public Tabled<LayerObject> {
public:
    LayerObject(Context d, QString name) : Tabled(std::move(d)), m_name(std::move(name)) {}

    const Layer &layer() const
    {
        if (const Layer *l = drawing().layer(m_name))
            return *l;
        throw AutomationError(QStringLiteral("Object was erased"));
    }

    static std::span<const Member<LayerObject>> members()
    {
        using S = LayerObject;
        static const Member<S> table[] = {
            {"Name", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.layer().name; }},
            {"Lock", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.layer().locked; },
             [](S &s, const QVariant &v) { s.drawing().setLayerLocked(s.layer().name, argBool(v)); }},
        };
        return table;
    }

private:
    QString m_name;
};

class LayersObject : public Tabled<LayersObject> {
public:
    using Tabled::Tabled;
    static std::span<const Member<LayersObject>> members()
    {
        using S = LayersObject;
        static const Member<S> table[] = {
            {"Count", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return int(s.drawing().layers().size()); }},
            {"Item", true, 1, 1,
             [](S &s, QVariantList &a) {
                 const QList<Layer> &layers = s.drawing().layers();
                 if (isIndex(a[0]))
                     return object<LayerObject>(s.context(), layers[checkedIndex(a[0], int(layers.size()))].name);
                 const Layer *l = s.drawing().layer(argString(a[0]));
                 if (!l)
                     throw AutomationError(QStringLiteral("Key not found"));
                 return object<LayerObject>(s.context(), l->name);
             }},
            {"Add", true, 1, 1,
             [](S &s, QVariantList &a) {
                 const QString name = argString(a[0]);
                 s.drawing().addLayer(name);
                 return object<LayerObject>(s.context(), s.drawing().layer(name)->name);
             }},
        };
        return table;
    }
};

// -- Selection sets: identified by the model's set id, so a deleted set
// fails cleanly and a new set of the same name is another object.

class SelectionSetObject : public Tabled<SelectionSetObject> {
public:
    SelectionSetObject(Context d, quint64 id) : Tabled(std::move(d)), m_id(id) {}

    const SelectionSet &set() const
    {
        if (const SelectionSet *s = drawing().selectionSet(m_id))
            return *s;
        throw AutomationError(QStringLiteral("Object was erased: the selection set was deleted"));
    }

    static std::span<const Member<SelectionSetObject>> members()
    {
        using S = SelectionSetObject;
        static const Member<S> table[] = {
            {"Name", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.set().name; }},
            {"Count", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return int(s.set().handles.size()); }},
            {"Item", true, 1, 1,
             [](S &s, QVariantList &a) {
                 const QStringList &h = s.set().handles;
                 return object<EntityObject>(s.context(), h[checkedIndex(a[0], int(h.size()))]);
             }},
            {"Clear", true, 0, 0, [](S &s, QVariantList &) { s.drawing().clearSelectionSet(s.m_id); return QVariant(); }},
            {"Delete", true, 0, 0,
             [](S &s, QVariantList &) { s.drawing().deleteSelectionSet(s.m_id); return QVariant(); }},
            {"SelectOnScreen", true, 0, 2,
             [](S &s, QVariantList &a) {
                 const SelectionFilter f = argFilter(a.value(0), a.value(1));
                 s.set();
                 s.session().selectOnScreen(s.drawing(), s.m_id, f);
                 return QVariant();
             }},
            {"Select", true, 1, 5,
             [](S &s, QVariantList &a) {
                 const int mode = argInt(a[0]);
                 const SelectionFilter f = argFilter(a.value(3), a.value(4));
                 s.set();
                 switch (mode) {
                 case 0: // window
                 case 1: // crossing: reference points stand in for extents
                     if (a.size() < 3)
                         throw AutomationError(QStringLiteral("Invalid number of parameters"));
                     s.drawing().selectWindow(s.m_id, argPoint(a[1]), argPoint(a[2]), f);
                     break;
                 case 4: // last
                     s.drawing().selectLast(s.m_id, f);
                     break;
                 case 5: // all
                     s.drawing().selectAll(s.m_id, f);
                     break;
                 default:
                     throw AutomationError(QStringLiteral("Invalid argument: selection mode %1").arg(mode));
                 }
                 return QVariant();
             }},
        };
        return table;
    }

private:
    quint64 m_id;
};

class SelectionSetsObject : public Tabled<SelectionSetsObject> {
public:
    using Tabled::Tabled;
    static std::span<const Member<SelectionSetsObject>> members()
    {
        using S = SelectionSetsObject;
        static const Member<S> table[] = {
            {"Count", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.drawing().selectionSetCount(); }},
            {"Item", true, 1, 1,
             [](S &s, QVariantList &a) {
                 Drawing &d = s.drawing();
                 const int i = isIndex(a[0]) ? checkedIndex(a[0], d.selectionSetCount())
                                             : d.selectionSetIndex(argString(a[0]));
                 if (i < 0)
                     throw AutomationError(QStringLiteral("Key not found"));
                 return object<SelectionSetObject>(s.context(), d.selectionSetAt(i).id);
             }},
            {"Add", true, 1, 1,
             [](S &s, QVariantList &a) {
                 return object<SelectionSetObject>(s.context(), s.drawing().addSelectionSet(argString(a[0])));
             }},
        };
        return table;
    }
};

// -- Blocks: the two layout blocks come first, as in the CAD's block table.

const QString kModelSpace = QStringLiteral("*Model_Space");
const QString kPaperSpace = QStringLiteral("*Paper_Space");

class BlockObject : public Tabled<BlockObject> {
public:
    BlockObject(Context d, QString name) : Tabled(std::move(d)), m_name(std::move(name)) {}

    QStringList handles() const
    {
        if (m_name == kModelSpace)
            return drawing().modelSpaceHandles();
        if (m_name == kPaperSpace)
            return {};
        const Block *b = drawing().block(m_name);
        if (!b)
            throw AutomationError(QStringLiteral("Object was erased"));
        QStringList out;
        for (const Entity &e : b->entities)
            out.append(e.handle);
        return out;
    }
    QString name() const
    {
        if (m_name == kModelSpace || m_name == kPaperSpace)
            return m_name;
        const Block *b = drawing().block(m_name);
        if (!b)
            throw AutomationError(QStringLiteral("Object was erased"));
        return b->name;
    }

    static std::span<const Member<BlockObject>> members()
    {
        using S = BlockObject;
        static const Member<S> table[] = {
            {"Name", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.name(); }},
            {"Count", false, 0, 0,
             [](S &s, QVariantList &) -> QVariant {
                 return s.m_name == kModelSpace ? s.drawing().modelSpaceCount() : int(s.handles().size());
             }},
            {"Item", true, 1, 1,
             [](S &s, QVariantList &a) {
                 const QStringList h = s.handles();
                 return object<EntityObject>(s.context(), h[checkedIndex(a[0], int(h.size()))]);
             }},
            {"IsLayout", false, 0, 0,
             [](S &s, QVariantList &) -> QVariant { return s.m_name == kModelSpace || s.m_name == kPaperSpace; }},
        };
        return table;
    }

private:
    QString m_name;
};

class BlocksObject : public Tabled<BlocksObject> {
public:
    using Tabled::Tabled;
    static std::span<const Member<BlocksObject>> members()
    {
        using S = BlocksObject;
        static const Member<S> table[] = {
            {"Count", false, 0, 0,
             [](S &s, QVariantList &) -> QVariant { return int(s.drawing().blocks().size()) + 2; }},
            {"Item", true, 1, 1,
             [](S &s, QVariantList &a) {
                 const QList<Block> &blocks = s.drawing().blocks();
                 if (isIndex(a[0])) {
                     const int i = checkedIndex(a[0], int(blocks.size()) + 2);
                     const QString name = i == 0 ? kModelSpace : i == 1 ? kPaperSpace : blocks[i - 2].name;
                     return object<BlockObject>(s.context(), name);
                 }
                 const QString name = argString(a[0]);
                 for (const QString &layout : {kModelSpace, kPaperSpace})
                     if (name.compare(layout, Qt::CaseInsensitive) == 0)
                         return object<BlockObject>(s.context(), layout);
                 const Block *b = s.drawing().block(name);
                 if (!b)
                     throw AutomationError(QStringLiteral("Key not found"));
                 return object<BlockObject>(s.context(), b->name);
             }},
        };
        return table;
    }
};

// -- Documents and application

class DocumentObject : public Tabled<DocumentObject> {
public:
    using Tabled::Tabled;
    static std::span<const Member<DocumentObject>> members();
};

QVariant documentObject(Session &session, const std::shared_ptr<Session> &owner, int index)
{
    return object<DocumentObject>(Context{owner, session.drawing(index)});
}

// The session's own shared pointer, kept by every object.
const std::shared_ptr<Session> &owner(const Base &b)
{
    return b.context().session;
}

// The document of a put or an argument: one of ours, of an open drawing.
int documentIndex(const Session &session, const QVariant &v)
{
    const auto *doc = dynamic_cast<const DocumentObject *>(cad::toObject(v).get());
    if (!doc)
        typeMismatch();
    const int i = session.indexOf(&doc->drawing());
    if (i < 0)
        throw AutomationError(QStringLiteral("The object invoked has disconnected from its clients: "
                                             "its drawing was closed"));
    return i;
}

int activeIndexOrThrow(const Session &session)
{
    if (session.activeIndex() < 0)
        throw AutomationError(QStringLiteral("No document is open"));
    return session.activeIndex();
}

class DocumentsObject : public Tabled<DocumentsObject> {
public:
    using Tabled::Tabled;
    static std::span<const Member<DocumentsObject>> members();
};

class ApplicationObject : public Tabled<ApplicationObject> {
public:
    using Tabled::Tabled;
    static std::span<const Member<ApplicationObject>> members()
    {
        using S = ApplicationObject;
        static const Member<S> table[] = {
            {"HWND", false, 0, 0,
             [](S &s, QVariantList &) -> QVariant { return qulonglong(s.session().applicationWindow()); }},
            // Setting it activates the document, as the CAD allows.
            {"ActiveDocument", false, 0, 0,
             [](S &s, QVariantList &) {
                 return documentObject(s.session(), owner(s), activeIndexOrThrow(s.session()));
             },
             [](S &s, const QVariant &v) { s.session().activate(documentIndex(s.session(), v)); }},
            {"Documents", false, 0, 0,
             [](S &s, QVariantList &) { return object<DocumentsObject>(Context{owner(s), nullptr}); }},
            {"Name", false, 0, 0, [](S &, QVariantList &) -> QVariant { return QStringLiteral("minicad"); }},
            // The view of the active drawing moves.
            {"ZoomCenter", true, 2, 2,
             [](S &s, QVariantList &a) {
                 const Point center = argPoint(a[0]);
                 const double height = argDouble(a[1]);
                 s.session().drawing(activeIndexOrThrow(s.session()))->zoomCenter(center, height);
                 return QVariant();
             }},
        };
        return table;
    }
};

std::span<const Member<DocumentsObject>> DocumentsObject::members()
{
    using S = DocumentsObject;
    static const Member<S> table[] = {
        {"Count", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.session().count(); }},
        // An index from 0, or a document's name (letter case ignored).
        {"Item", true, 1, 1,
         [](S &s, QVariantList &a) {
             Session &session = s.session();
             if (isIndex(a[0]))
                 return documentObject(session, owner(s), checkedIndex(a[0], session.count()));
             const QString name = argString(a[0]);
             for (int i = 0; i < session.count(); ++i) {
                 if (session.name(session.drawing(i).get()).compare(name, Qt::CaseInsensitive) == 0)
                     return documentObject(session, owner(s), i);
             }
             throw AutomationError(QStringLiteral("Key not found"));
         }},
        // The template name is taken and not used: every new drawing starts empty.
        {"Add", true, 0, 1,
         [](S &s, QVariantList &a) {
             if (!a.isEmpty() && a[0].isValid())
                 argString(a[0]);
             return documentObject(s.session(), owner(s), s.session().add());
         }},
        // Open(Name [, ReadOnly [, Password]]): the drawing becomes the active one.
        {"Open", true, 1, 3,
         [](S &s, QVariantList &a) {
             const QString path = argString(a[0]);
             if (path.isEmpty())
                 throw AutomationError(QStringLiteral("Invalid argument: the file name is empty"));
             return documentObject(s.session(), owner(s), s.session().openFile(path));
         }},
        // Closes every drawing.
        {"Close", true, 0, 0,
         [](S &s, QVariantList &) {
             while (s.session().count() > 0)
                 s.session().close(s.session().count() - 1);
             return QVariant();
         }},
        {"Application", false, 0, 0,
         [](S &s, QVariantList &) { return object<ApplicationObject>(Context{owner(s), nullptr}); }},
    };
    return table;
}

std::span<const Member<DocumentObject>> DocumentObject::members()
{
    using S = DocumentObject;
    static const Member<S> table[] = {
        {"HWND", false, 0, 0,
         [](S &s, QVariantList &) -> QVariant { return qulonglong(s.session().documentWindow(&s.drawing())); }},
        {"Name", false, 0, 0, [](S &s, QVariantList &) -> QVariant { return s.session().name(&s.drawing()); }},
        {"FullName", false, 0, 0,
         [](S &s, QVariantList &) -> QVariant { return s.session().fullName(&s.drawing()); }},
        // The folder of FullName; "" for a drawing never saved.
        {"Path", false, 0, 0,
         [](S &s, QVariantList &) -> QVariant {
             const QString full = s.session().fullName(&s.drawing());
             return full.isEmpty() ? QString() : QFileInfo(full).absolutePath();
         }},
        {"Active", false, 0, 0,
         [](S &s, QVariantList &) -> QVariant { return s.session().activeDrawing().get() == &s.drawing(); }},
        {"Activate", true, 0, 0,
         [](S &s, QVariantList &) {
             s.session().activate(s.session().indexOf(&s.drawing()));
             return QVariant();
         }},
        // Close([SaveChanges [, FileName]]): with SaveChanges true the drawing
        // is first saved, to FileName when given (DXF by its extension, else
        // minicad's JSON), else to its own file; a drawing never saved and
        // given no name is closed unsaved, as minicad has no dialog to ask.
        {"Close", true, 0, 2,
         [](S &s, QVariantList &a) {
             const bool save = !a.isEmpty() && a[0].isValid() && argBool(a[0]);
             const QString path = a.size() > 1 && a[1].isValid() ? argString(a[1]) : QString();
             Drawing &d = s.drawing();
             const QString target = path.isEmpty() ? s.session().fullName(&d) : path;
             if (save && !target.isEmpty())
                 saveDrawingFile(d, target);
             s.session().close(s.session().indexOf(&d));
             return QVariant();
         }},
        {"Application", false, 0, 0,
         [](S &s, QVariantList &) { return object<ApplicationObject>(Context{owner(s), nullptr}); }},
        {"GetVariable", true, 1, 1,
         [](S &s, QVariantList &a) -> QVariant {
             const QString name = argString(a[0]).trimmed();
             const Drawing &d = s.drawing();
             if (cad::sameMember(name, "VIEWSIZE"))
                 return d.viewSize();
             if (cad::sameMember(name, "SCREENSIZE")) {
                 const QSize screen = s.session().screenSize(&d);
                 return QVariantList{double(screen.width()), double(screen.height())};
             }
             if (cad::sameMember(name, "VIEWCTR"))
                 return pointValue(d.viewCenter());
             if (cad::sameMember(name, "DWGNAME"))
                 return s.session().name(&d);
             // Undo on (1), plus 8 while an undo group is open, as the CAD reports it.
             if (cad::sameMember(name, "UNDOCTL"))
                 return d.undoMarkDepth() > 0 ? 9 : 1;
             throw AutomationError(QStringLiteral("Error getting system variable %1").arg(name));
         }},
        {"Layers", false, 0, 0, [](S &s, QVariantList &) { return object<LayersObject>(s.context()); }},
        {"SelectionSets", false, 0, 0,
         [](S &s, QVariantList &) { return object<SelectionSetsObject>(s.context()); }},
        {"Blocks", false, 0, 0, [](S &s, QVariantList &) { return object<BlocksObject>(s.context()); }},
        {"ModelSpace", false, 0, 0,
         [](S &s, QVariantList &) { return object<BlockObject>(s.context(), kModelSpace); }},
        {"HandleToObject", true, 1, 1,
         [](S &s, QVariantList &a) {
             if (a[0].metaType().id() != QMetaType::QString)
                 typeMismatch();
             const QString handle = a[0].toString();
             const Entity *e = s.drawing().find(handle);
             if (!e) {
                 if (s.drawing().handleState(handle) == HandleState::Erased)
                     throw AutomationError(QStringLiteral("Object was erased"));
                 throw AutomationError(QStringLiteral("Unknown handle"));
             }
             return object<EntityObject>(s.context(), e->handle);
         }},
        {"StartUndoMark", true, 0, 0, [](S &s, QVariantList &) { s.drawing().startUndoMark(); return QVariant(); }},
        {"EndUndoMark", true, 0, 0, [](S &s, QVariantList &) { s.drawing().endUndoMark(); return QVariant(); }},
        {"Regen", true, 1, 1,
         [](S &s, QVariantList &a) {
             const int which = argInt(a[0]);
             if (which != 0 && which != 1)
                 throw AutomationError(QStringLiteral("Invalid argument: viewport %1").arg(which));
             s.drawing().regen();
             return QVariant();
         }},
    };
    return table;
}

} // namespace

bool hasMember(const cad::Object &object, const QString &member)
{
    const auto *own = dynamic_cast<const Base *>(object.get());
    return own ? own->hasMember(member) : true;
}

const Drawing *drawingOf(const cad::Object &object)
{
    const auto *own = dynamic_cast<const Base *>(object.get());
    return own ? own->context().drawing.get() : nullptr;
}

cad::Object makeApplication(std::shared_ptr<Session> session)
{
    if (!session)
        throw AutomationError(QStringLiteral("No session"));
    return std::make_shared<ApplicationObject>(Context{std::move(session), nullptr});
}

} // namespace minicad
