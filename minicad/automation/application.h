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

} // namespace minicad
