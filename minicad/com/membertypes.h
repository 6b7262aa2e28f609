#pragma once
// What a CAD's type library says of the members the host serves, where it
// matters to a late-bound client: the parameters the CAD checks strictly (a
// point is three doubles, filter types an array of shorts) and the VARIANT
// types of the answers (points and SCREENSIZE as arrays of doubles,
// GetAttributes as an array of objects, HWND pointer-sized, Lock a
// VARIANT_BOOL). Everything else crosses as the seam's values do.

#include "protocol/automation.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <oaidl.h>

#include <functional>

namespace minicad::com {

// How the CAD takes one argument.
enum class ParameterType {
    Any,         // as it comes
    Point,       // three doubles
    OptionalPoint, // three doubles, or nothing (VT_EMPTY, a missing argument)
    FilterTypes, // VT_ARRAY|VT_I2, or nothing
    FilterData,  // VT_ARRAY|VT_VARIANT, or nothing
};

// How the CAD answers.
enum class ResultType {
    Any,
    Point,         // VT_ARRAY|VT_R8, three
    DoubleArray,   // VT_ARRAY|VT_R8
    DispatchArray, // VT_ARRAY|VT_DISPATCH, empty as lbound 0, ubound -1
    LongPtr,       // LONG_PTR: VT_I8 on 64-bit Windows
    Bool,          // VT_BOOL
    Short,         // VT_I2 (integer system variables)
};

// `index` counts from the first argument; for a put, 0 is the value.
ParameterType parameterType(const QString &member, cad::InvokeKind kind, int index);
// `args` are the call's arguments as decoded (GetVariable answers by name).
ResultType resultType(const QString &member, cad::InvokeKind kind, const QVariantList &args);

// The error every refused argument gets, as the CAD words it.
const QString &invalidArgumentText();

// Decodes an argument the CAD checks strictly; throws cad::AutomationError
// ("Invalid argument") for anything else. Not for ParameterType::Any.
QVariant strictArgument(ParameterType type, const VARIANT &v,
                        const std::function<QVariant(const VARIANT &)> &anyValue);

// Fills `out` (VT_EMPTY) with the answer in the CAD's type; `anyValue`
// encodes ResultType::Any and the objects inside a DispatchArray.
void typedResult(ResultType type, const QVariant &value, VARIANT *out,
                 const std::function<void(const QVariant &, VARIANT *)> &anyValue);

} // namespace minicad::com
