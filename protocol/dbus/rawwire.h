#pragma once
// Values of the wire format (see wire.h) read out of a libdbus message; they
// are written by frame.h. Both ends read with libdbus directly: QtDBus hands
// each call to its own thread and back, which costs about a third of the
// round trip on a busy machine.

#include "protocol/dbus/wire.h"

#include <dbus/dbus.h>

namespace cad::rawwire {

// Reads the variant at the iterator (which must hold a "v"). Throws
// AutomationError for what the wire format does not know.
QVariant readVariant(DBusMessageIter *it, const wire::PathToObject &object);

} // namespace cad::rawwire
