#pragma once
// The values of the CAD seam (QVariant) and of the Qt-free core (Value),
// converted both ways. Object references are left to the caller, who knows
// what stands behind them: the client wraps remote objects, a server wraps
// its own.

#include "protocol/automation.h"
#include "protocol/win32/comvalue.h"

#include <functional>

namespace cad::win32 {

// An object of the seam as a COM reference; throws AutomationError when it
// cannot be passed.
using ObjectToCom = std::function<ObjectPtr(const Object &)>;
// A COM reference as an object of the seam.
using ObjectFromCom = std::function<Object(const ObjectPtr &)>;

// Throws AutomationError for a type COM cannot carry.
Value toComValue(const QVariant &v, const ObjectToCom &objectToCom);
QVariant fromComValue(const Value &v, const ObjectFromCom &objectFromCom);

// The HRESULT a server answers for a failed call of this kind, as the
// client's ComError::kindOf reads it back.
HRESULT errorCode(AutomationError::Kind kind);

} // namespace cad::win32
