#pragma once
// The values that cross IDispatch, in a small neutral form with no Qt in it,
// and their conversion to and from VARIANT. Builds with MSVC and MinGW-w64.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <oaidl.h>

#include <memory>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

namespace cad::win32 {

class DispatchRef;
// One automation reference, released when the last copy goes.
using ObjectPtr = std::shared_ptr<DispatchRef>;

// A point as the object model passes it: a SAFEARRAY of three VT_R8.
struct Point3 {
    double x = 0;
    double y = 0;
    double z = 0;
    friend bool operator==(const Point3 &, const Point3 &) = default;
};

struct Value;
using ValueArray = std::vector<Value>;

// Empty (VT_EMPTY), bool, integer, double, string, point, int16 array,
// variant array or object reference.
struct Value {
    std::variant<std::monostate, bool, long long, double, std::wstring, Point3, std::vector<short>, ValueArray, ObjectPtr>
        data;

    Value() = default;
    template <typename T>
        requires(!std::is_same_v<std::remove_cvref_t<T>, Value>)
    Value(T v) : data(std::move(v)) {}
    Value(int v) : data(static_cast<long long>(v)) {}
    Value(const wchar_t *s) : data(std::wstring(s)) {}

    bool isEmpty() const { return std::holds_alternative<std::monostate>(data); }
    template <typename T>
    bool is() const { return std::holds_alternative<T>(data); }
    template <typename T>
    const T &as() const { return std::get<T>(data); }
};

// Fills `out` (which must be VT_EMPTY) with a new VARIANT owning its contents:
// strings are new BSTRs, arrays new SAFEARRAYs, objects one added reference.
// Throws ComError when memory runs out.
void toVariant(const Value &value, VARIANT *out);
// Reads a VARIANT (by-reference ones included) without taking anything from
// it: the caller still clears it. An object gets a reference of its own.
// Throws ComError for types the object model never uses.
Value fromVariant(const VARIANT &v);

} // namespace cad::win32
