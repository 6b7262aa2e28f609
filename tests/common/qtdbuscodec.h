#pragma once
// The wire format (protocol/dbus/wire.h) as a foreign QtDBus client sends
// and reads it. Both ends write and read with libdbus; the tests speak this
// form to them to hold both to the same format.

#include "protocol/dbus/wire.h"

#include <QDBusVariant>
#include <QVariant>

namespace testing::qtdbus {

// An automation value as it travels. Throws AutomationError for a value that
// has no wire form (an object with no exporter, an unknown type).
QDBusVariant encode(const QVariant &value, const cad::wire::ObjectToPath &objectPath = {});

// A received value back into an automation value: the variant's content as
// QtDBus delivers it (basic values, QDBusObjectPath, QDBusVariant,
// QDBusArgument for structs and arrays). Arrays of basic values other than
// int16 become variant arrays, as they would from a client we did not write.
// Throws AutomationError (kind Failed) for an unsupported signature.
QVariant decode(const QVariant &received, const cad::wire::PathToObject &object = {});

} // namespace testing::qtdbus
