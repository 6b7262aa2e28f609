#pragma once
// The client's side of the wire format (see wire.h) over libdbus directly.
// lumoedit's calls are blocking calls from the GUI thread; libdbus makes them
// in the calling thread, where QtDBus hands each call to its own thread and
// back, which costs about a third of the round trip on a busy machine.

#include "cad/dbus/wire.h"

#include <dbus/dbus.h>

namespace cad::rawwire {

// Appends the value as one variant ("v") at the iterator.
void appendVariant(DBusMessageIter *it, const QVariant &value, const wire::ObjectToPath &objectPath);
// Reads the variant at the iterator (which must hold a "v"). Throws
// AutomationError for what the wire format does not know.
QVariant readVariant(DBusMessageIter *it, const wire::PathToObject &object);

} // namespace cad::rawwire
