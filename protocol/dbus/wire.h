#pragma once
// The wire format of the automation protocol between minicad's server and
// lumoedit's D-Bus backend: bus names, paths, interface and error names, and
// how each automation value travels inside a D-Bus variant. Both ends write
// it byte by byte (frame.h) and read it with libdbus (rawwire.h); the QtDBus
// form below is how a foreign QtDBus client sends and reads it, and the
// tests speak it to hold both ends to the same format.
//
//   bool b, int i, double d, string s, short n, other integers y q u x t,
//   point            (ddd)
//   int16 array      an
//   variant array    av (each element a variant, recursively)
//   object           o (an object path of the server)
//   empty (VT_EMPTY) (y) holding 0 (D-Bus has no empty variant nor empty struct)
//   string that D-Bus cannot carry as "s" (it holds a NUL or half of a
//   surrogate pair)  (aq), its UTF-16 code units; every other string is "s"

#include "protocol/automation.h"

#include <QDBusVariant>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <functional>

class QDBusMessage;

namespace cad::wire {

inline constexpr char kAutomationInterface[] = "org.lumoedit.Automation";
inline constexpr char kTestingInterface[] = "org.lumoedit.MiniCadTesting";
inline constexpr char kApplicationPath[] = "/Application";
inline constexpr char kTestingPath[] = "/Testing";
inline constexpr char kObjectPathPrefix[] = "/obj/";

inline constexpr char kBusyError[] = "org.lumoedit.Automation.Busy";
inline constexpr char kFailedError[] = "org.lumoedit.Automation.Failed";
inline constexpr char kRejectedError[] = "org.lumoedit.Automation.Rejected";
inline constexpr char kGoneError[] = "org.lumoedit.Automation.Gone";

// The signature of the empty marker.
inline constexpr char kEmptySignature[] = "(y)";
// The signature of a string sent as its UTF-16 code units.
inline constexpr char kCodeUnitsSignature[] = "(aq)";

// True when the string cannot travel as a D-Bus string intact: D-Bus strings
// are UTF-8 without NUL, so a NUL or a lone surrogate would be lost.
bool needsCodeUnits(QStringView s);

// The ProgID as a valid well-known bus name: split at '.', characters outside
// [A-Za-z0-9_-] become '_', an element starting with a digit gets a leading
// '_', an empty element becomes "_". A single-element ProgID gets the prefix
// "progid." since a bus name needs two elements. Empty when the ProgID is
// empty or the result would exceed the bus's 255-character limit.
QString busNameForProgId(const QString &progId);

// Registers the D-Bus marshalling of cad::Point and of the empty marker.
// Idempotent; every function below calls it.
void registerTypes();

// Turns an object into the path that travels, and a path back into an object.
using ObjectToPath = std::function<QString(const Object &)>;
using PathToObject = std::function<Object(const QString &)>; // throws AutomationError

// An automation value as it travels. Throws AutomationError for a value that
// has no wire form (an object with no exporter, an unknown type).
QDBusVariant encode(const QVariant &value, const ObjectToPath &objectPath = {});
QVariantList encodeList(const QVariantList &values, const ObjectToPath &objectPath = {});

// A received value back into an automation value: the variant's content as
// QtDBus delivers it (basic values, QDBusObjectPath, QDBusVariant,
// QDBusArgument for structs and arrays). Arrays of basic values other than
// int16 become variant arrays, so foreign clients may send "as" or "ad".
// Throws AutomationError (kind Failed) for an unsupported signature.
QVariant decode(const QVariant &received, const PathToObject &object = {});
// An "av" argument as QtDBus delivers it (a QDBusArgument or a QVariantList).
QVariantList decodeList(const QVariant &received, const PathToObject &object = {});

// The error name that carries an automation error of this kind, and back.
QString errorName(AutomationError::Kind kind);
AutomationError::Kind errorKind(const QString &errorName);

} // namespace cad::wire
