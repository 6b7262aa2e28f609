#pragma once
// The wire format of the automation protocol between minicad's server and
// lumoedit's D-Bus backend: bus names, paths, interface and error names, and
// how each automation value travels inside a D-Bus variant. Both ends write
// it byte by byte (frame.h) and read it with libdbus (rawwire.h).
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

#include <QString>
#include <QStringView>

#include <functional>

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

// Turns an object into the path that travels, and a path back into an object.
using ObjectToPath = std::function<QString(const Object &)>;
using PathToObject = std::function<Object(const QString &)>; // throws AutomationError

// The error name that carries an automation error of this kind, and back.
QString errorName(AutomationError::Kind kind);
AutomationError::Kind errorKind(const QString &errorName);

} // namespace cad::wire
