#pragma once
// The COM host's testing object, registered beside the application under
// "<ProgID>.Testing": the hooks the D-Bus host offers at /Testing, as
// late-bound members. QueuePick(handles), QueueCancel(), Load(path),
// Save(path), Dump() -> JSON, Undo() / Redo() -> done, PickWaiting,
// ObjectCount, ReferenceCount. Served while a pick waits.

#include "cad/automation.h"
#include "minicad/com/comobject.h"
#include "minicad/model/drawing.h"

#include <memory>

namespace minicad::com {

class TestingObject : public cad::Dispatch, public MemberLookup {
public:
    TestingObject(std::shared_ptr<Drawing> drawing, ObjectTable &objects);

    QVariant invoke(const QString &member, cad::InvokeKind kind, QVariantList &args) override;
    bool hasMember(const QString &member) const override;

private:
    std::shared_ptr<Drawing> m_drawing;
    ObjectTable &m_objects;
};

} // namespace minicad::com
