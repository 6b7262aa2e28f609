#pragma once
// The automation objects over a drawing: application, document, layers,
// selection sets, blocks and entities, with the members of the CAD's object
// model. Member names are case-insensitive; errors are thrown as
// cad::AutomationError with the messages a COM server gives.

#include "cad/automation.h"
#include "minicad/model/drawing.h"

#include <memory>

namespace minicad {

// The application object; its ActiveDocument is the drawing's document.
cad::Object makeApplication(std::shared_ptr<Drawing> drawing);

// Whether the object answers to the member, letter case ignored (for an
// entity: whether its kind has it), as COM's GetIDsOfNames must tell before
// any call. Objects made elsewhere answer for themselves when invoked: true.
bool hasMember(const cad::Object &object, const QString &member);

} // namespace minicad
