#pragma once
// The automation objects over the host's drawings: application, documents,
// layers, selection sets, blocks and entities, with the members of the CAD's
// object model. Every object but the application and its collection of
// documents belongs to one drawing, and fails once that drawing is closed. Member names are case-insensitive; errors are thrown as
// cad::AutomationError with the messages a COM server gives.

#include "protocol/automation.h"
#include "minicad/host/session.h"

#include <memory>

namespace minicad {

// The application object; its ActiveDocument is the session's active drawing.
cad::Object makeApplication(std::shared_ptr<Session> session);

// The drawing an object of ours belongs to; null for the application, the
// collection of documents and objects made elsewhere.
const Drawing *drawingOf(const cad::Object &object);

// Whether the object answers to the member, letter case ignored (for an
// entity: whether its kind has it), as COM's GetIDsOfNames must tell before
// any call. Objects made elsewhere answer for themselves when invoked: true.
bool hasMember(const cad::Object &object, const QString &member);

} // namespace minicad
