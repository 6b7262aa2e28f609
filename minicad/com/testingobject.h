#pragma once
// The COM host's testing object, registered beside the application under
// "<ProgID>.Testing": the hooks the D-Bus host offers at /Testing, as
// late-bound members. QueuePick(handles), QueueCancel(), Load(path),
// Replace(path), Save(path), Dump() -> JSON, Undo() / Redo() -> done (all
// on the active drawing), Open(json, fullName) -> index, Activate(index),
// Close(index), DrawingCount, ActiveDrawing, Reset(), PickWaiting,
// ObjectCount, ReferenceCount. Served while a pick waits.

#include "protocol/automation.h"
#include "minicad/com/comobject.h"
#include "minicad/host/session.h"

#include <memory>

namespace minicad::com {

class TestingObject : public cad::Dispatch, public MemberLookup {
public:
    TestingObject(std::shared_ptr<Session> session, ObjectTable &objects);

    QVariant invoke(const QString &member, cad::InvokeKind kind, QVariantList &args) override;
    bool hasMember(const QString &member) const override;

private:
    Drawing &active() const;

    std::shared_ptr<Session> m_session;
    ObjectTable &m_objects;
};

} // namespace minicad::com
