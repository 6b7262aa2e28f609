#pragma once
// Typed facade over the automation object model: the member names are spelt
// here once, so the tabs read entity.textString() and never a member name.
// Every call may throw cad::AutomationError.

#include "protocol/automation.h"

#include <QList>

namespace cad {

using WindowHandle = quintptr;

class ObjectRef {
public:
    ObjectRef() = default;
    explicit ObjectRef(Object o) : m_object(std::move(o)) {}
    bool isNull() const { return !m_object; }
    explicit operator bool() const { return bool(m_object); }
    const Object &object() const { return m_object; }
    // Drops this reference (the object is released when no other holds it).
    void release() { m_object.reset(); }

protected:
    Dispatch &d() const;
    QVariant get(const char *member, QVariantList args = {}) const;
    void put(const char *member, const QVariant &value) const;
    QVariant call(const char *member, QVariantList args = {}) const;
    Object getObject(const char *member, QVariantList args = {}) const;
    Object callObject(const char *member, QVariantList args = {}) const;

private:
    Object m_object;
};

class Entity : public ObjectRef {
public:
    using ObjectRef::ObjectRef;
    QString handle() const;
    QString layer() const;
    QString entityName() const;
    QString objectName() const;
    QString textString() const;
    void setTextString(const QString &text) const;
    Point insertionPoint() const;
    void setInsertionPoint(const Point &p) const;
    Point textAlignmentPoint() const;
    void setTextAlignmentPoint(const Point &p) const;
    int alignment() const;
    void setAlignment(int alignment) const;
    Entity copy() const;
    void erase() const; // Delete
    void update() const;
    // Block references.
    QString name() const;
    QList<Entity> getAttributes() const;
    // Attributes and attribute definitions.
    QString tagString() const;
    QString promptString() const;
};

class Layer : public ObjectRef {
public:
    using ObjectRef::ObjectRef;
    QString name() const;
    bool lock() const;
};

class SelectionSet : public ObjectRef {
public:
    using ObjectRef::ObjectRef;
    QString name() const;
    void clear() const;
    void erase() const; // Delete
    int count() const;
    Entity item(int index) const;
    // The user picks on screen; only entities passing the filter are added.
    void selectOnScreen(const QList<qint16> &filterTypes, const QVariantList &filterData) const;
    // Mode 5 selects every entity of the drawing that passes the filter.
    void select(int mode, const QList<qint16> &filterTypes, const QVariantList &filterData) const;
};

class Block : public ObjectRef {
public:
    using ObjectRef::ObjectRef;
    QString name() const;
    int count() const;
    Entity item(int index) const;
};

class Document : public ObjectRef {
public:
    using ObjectRef::ObjectRef;
    WindowHandle hwnd() const;
    QString name() const;     // "Drawing1.dwg" for a drawing never saved
    QString fullName() const; // the path; "" for a drawing never saved
    QVariant getVariable(const QString &name) const;
    double viewSize() const;               // "VIEWSIZE"
    QList<int> screenSize() const;         // "SCREENSIZE": width, height in pixels
    int layerCount() const;
    Layer layer(int index) const;
    int selectionSetCount() const;
    SelectionSet selectionSet(int index) const;
    SelectionSet addSelectionSet(const QString &name) const;
    Entity handleToObject(const QString &handle) const;
    void startUndoMark() const;
    void endUndoMark() const;
    void regen(int which = 0) const;
    int blockCount() const;
    Block block(int index) const;
};

class Application : public ObjectRef {
public:
    using ObjectRef::ObjectRef;
    WindowHandle hwnd() const;
    Document activeDocument() const;
    void zoomCenter(const Point &center, double height) const;
};

} // namespace cad
