#include "cad/objectmodel.h"

namespace cad {

namespace {

Object collection(const Object &o, const char *member)
{
    if (!o)
        throw AutomationError(QStringLiteral("Object variable not set"));
    QVariantList none;
    Object c = toObject(o->invoke(QLatin1String(member), InvokeKind::PropertyGet, none));
    if (!c)
        throw AutomationError(QStringLiteral("%1 did not return an object").arg(QLatin1String(member)));
    return c;
}

int countOf(const Object &c)
{
    QVariantList none;
    return c->invoke(QStringLiteral("Count"), InvokeKind::PropertyGet, none).toInt();
}

Object itemOf(const Object &c, const QVariant &index)
{
    QVariantList args{index};
    Object o = toObject(c->invoke(QStringLiteral("Item"), InvokeKind::Method, args));
    if (!o)
        throw AutomationError(QStringLiteral("Item did not return an object"));
    return o;
}

} // namespace

Dispatch &ObjectRef::d() const
{
    if (!m_object)
        throw AutomationError(QStringLiteral("Object variable not set"));
    return *m_object;
}

QVariant ObjectRef::get(const char *member, QVariantList args) const
{
    return d().invoke(QLatin1String(member), InvokeKind::PropertyGet, args);
}

void ObjectRef::put(const char *member, const QVariant &value) const
{
    QVariantList args{value};
    d().invoke(QLatin1String(member), InvokeKind::PropertyPut, args);
}

QVariant ObjectRef::call(const char *member, QVariantList args) const
{
    return d().invoke(QLatin1String(member), InvokeKind::Method, args);
}

Object ObjectRef::getObject(const char *member, QVariantList args) const
{
    Object o = toObject(get(member, std::move(args)));
    if (!o)
        throw AutomationError(QStringLiteral("%1 did not return an object").arg(QLatin1String(member)));
    return o;
}

Object ObjectRef::callObject(const char *member, QVariantList args) const
{
    Object o = toObject(call(member, std::move(args)));
    if (!o)
        throw AutomationError(QStringLiteral("%1 did not return an object").arg(QLatin1String(member)));
    return o;
}

// Entity

QString Entity::handle() const { return get("Handle").toString(); }
QString Entity::layer() const { return get("Layer").toString(); }
QString Entity::entityName() const { return get("EntityName").toString(); }
QString Entity::objectName() const { return get("ObjectName").toString(); }
QString Entity::textString() const { return get("TextString").toString(); }
void Entity::setTextString(const QString &text) const { put("TextString", text); }
Point Entity::insertionPoint() const { return toPoint(get("InsertionPoint")); }
void Entity::setInsertionPoint(const Point &p) const { put("InsertionPoint", fromPoint(p)); }
Point Entity::textAlignmentPoint() const { return toPoint(get("TextAlignmentPoint")); }
void Entity::setTextAlignmentPoint(const Point &p) const { put("TextAlignmentPoint", fromPoint(p)); }
int Entity::alignment() const { return get("Alignment").toInt(); }
void Entity::setAlignment(int alignment) const { put("Alignment", alignment); }
Entity Entity::copy() const { return Entity(callObject("Copy")); }
void Entity::erase() const { call("Delete"); }
void Entity::update() const { call("Update"); }
QString Entity::name() const { return get("Name").toString(); }
QString Entity::tagString() const { return get("TagString").toString(); }
QString Entity::promptString() const { return get("PromptString").toString(); }

QList<Entity> Entity::getAttributes() const
{
    QList<Entity> out;
    for (const QVariant &v : call("GetAttributes").toList()) {
        Object o = toObject(v);
        if (o)
            out.append(Entity(o));
    }
    return out;
}

// Layer

QString Layer::name() const { return get("Name").toString(); }
bool Layer::lock() const { return get("Lock").toBool(); }

// SelectionSet

QString SelectionSet::name() const { return get("Name").toString(); }
void SelectionSet::clear() const { call("Clear"); }
void SelectionSet::erase() const { call("Delete"); }
int SelectionSet::count() const { return get("Count").toInt(); }
Entity SelectionSet::item(int index) const { return Entity(itemOf(object(), index)); }

void SelectionSet::selectOnScreen(const QList<qint16> &filterTypes, const QVariantList &filterData) const
{
    call("SelectOnScreen", {int16Array(filterTypes), QVariant(filterData)});
}

void SelectionSet::select(int mode, const QList<qint16> &filterTypes, const QVariantList &filterData) const
{
    // The two points of a window selection are left empty for mode 5 (all).
    call("Select", {mode, QVariant(), QVariant(), int16Array(filterTypes), QVariant(filterData)});
}

// Block

QString Block::name() const { return get("Name").toString(); }
int Block::count() const { return get("Count").toInt(); }
Entity Block::item(int index) const { return Entity(itemOf(object(), index)); }

// Document

WindowHandle Document::hwnd() const { return WindowHandle(get("HWND").toULongLong()); }
QVariant Document::getVariable(const QString &name) const { return call("GetVariable", {name}); }
double Document::viewSize() const { return getVariable(QStringLiteral("VIEWSIZE")).toDouble(); }

QList<int> Document::screenSize() const
{
    const QVariant v = getVariable(QStringLiteral("SCREENSIZE"));
    if (v.metaType() == QMetaType::fromType<Point>()) {
        const Point p = v.value<Point>();
        return {int(p.x), int(p.y)};
    }
    QList<int> out;
    for (const QVariant &e : v.toList())
        out.append(int(e.toDouble()));
    return out;
}

int Document::layerCount() const { return countOf(collection(object(), "Layers")); }
Layer Document::layer(int index) const { return Layer(itemOf(collection(object(), "Layers"), index)); }
int Document::selectionSetCount() const { return countOf(collection(object(), "SelectionSets")); }

SelectionSet Document::selectionSet(int index) const
{
    return SelectionSet(itemOf(collection(object(), "SelectionSets"), index));
}

SelectionSet Document::addSelectionSet(const QString &name) const
{
    Object sets = collection(object(), "SelectionSets");
    QVariantList args{name};
    Object o = toObject(sets->invoke(QStringLiteral("Add"), InvokeKind::Method, args));
    if (!o)
        throw AutomationError(QStringLiteral("Add did not return a selection set"));
    return SelectionSet(o);
}

QString Document::name() const { return get("Name").toString(); }
QString Document::fullName() const { return get("FullName").toString(); }
Entity Document::handleToObject(const QString &handle) const { return Entity(callObject("HandleToObject", {handle})); }
void Document::startUndoMark() const { call("StartUndoMark"); }
void Document::endUndoMark() const { call("EndUndoMark"); }
void Document::regen(int which) const { call("Regen", {which}); }
int Document::blockCount() const { return countOf(collection(object(), "Blocks")); }
Block Document::block(int index) const { return Block(itemOf(collection(object(), "Blocks"), index)); }

// Application

WindowHandle Application::hwnd() const { return WindowHandle(get("HWND").toULongLong()); }
Document Application::activeDocument() const { return Document(getObject("ActiveDocument")); }

void Application::zoomCenter(const Point &center, double height) const
{
    call("ZoomCenter", {fromPoint(center), height});
}

} // namespace cad
