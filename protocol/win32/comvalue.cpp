#include "protocol/win32/comvalue.h"

#include "protocol/win32/comdispatch.h"

#include <oleauto.h>

#include <limits>

namespace cad::win32 {

namespace {

void check(HRESULT hr, const wchar_t *what)
{
    if (FAILED(hr))
        throw ComError(hr, what);
}

// A one-dimensional SAFEARRAY indexed from 0, destroyed unless handed on.
class ArrayGuard {
public:
    ArrayGuard(VARTYPE type, ULONG count)
    {
        SAFEARRAYBOUND bound{count, 0};
        m_array = SafeArrayCreate(type, 1, &bound);
        if (!m_array)
            throw ComError(E_OUTOFMEMORY, L"SafeArrayCreate");
    }
    ~ArrayGuard()
    {
        if (m_array)
            SafeArrayDestroy(m_array);
    }
    ArrayGuard(const ArrayGuard &) = delete;
    ArrayGuard &operator=(const ArrayGuard &) = delete;
    SAFEARRAY *get() const { return m_array; }
    SAFEARRAY *release()
    {
        SAFEARRAY *a = m_array;
        m_array = nullptr;
        return a;
    }

private:
    SAFEARRAY *m_array = nullptr;
};

// Clears a VARIANT on every way out.
struct VariantGuard {
    VARIANT v;
    VariantGuard() { VariantInit(&v); }
    ~VariantGuard() { VariantClear(&v); }
    VariantGuard(const VariantGuard &) = delete;
    VariantGuard &operator=(const VariantGuard &) = delete;
};

template <typename T>
SAFEARRAY *plainArray(VARTYPE type, const T *values, size_t count)
{
    ArrayGuard array(type, ULONG(count));
    for (LONG i = 0; i < LONG(count); ++i) {
        T v = values[i];
        check(SafeArrayPutElement(array.get(), &i, &v), L"SafeArrayPutElement");
    }
    return array.release();
}

Value fromArray(SAFEARRAY *array, VARTYPE elementType)
{
    if (!array)
        return Value{ValueArray{}};
    if (SafeArrayGetDim(array) != 1)
        throw ComError(DISP_E_TYPEMISMATCH, L"Type mismatch: only one-dimensional arrays are understood",
                       ComError::Kind::Failed);
    LONG lower = 0, upper = -1;
    check(SafeArrayGetLBound(array, 1, &lower), L"SafeArrayGetLBound");
    check(SafeArrayGetUBound(array, 1, &upper), L"SafeArrayGetUBound");
    if (elementType == VT_DECIMAL || elementType == VT_RECORD)
        throw ComError(DISP_E_TYPEMISMATCH, L"Type mismatch: array of an unsupported type", ComError::Kind::Failed);

    ValueArray items;
    std::vector<short> shorts;
    for (LONG i = lower; i <= upper; ++i) {
        VariantGuard element;
        // SafeArrayGetElement copies into the VARIANT's data (a VARIANT element
        // fills the whole VARIANT): strings are duplicated, objects AddRef'ed.
        void *target = elementType == VT_VARIANT ? static_cast<void *>(&element.v) : static_cast<void *>(&element.v.llVal);
        check(SafeArrayGetElement(array, &i, target), L"SafeArrayGetElement");
        if (elementType != VT_VARIANT)
            element.v.vt = elementType;
        if (elementType == VT_I2)
            shorts.push_back(element.v.iVal);
        else
            items.push_back(fromVariant(element.v));
    }
    if (elementType == VT_I2)
        return Value{std::move(shorts)};
    // Points are arrays of three doubles; other double arrays (SCREENSIZE) stay lists.
    if (elementType == VT_R8 && items.size() == 3)
        return Value{Point3{items[0].as<double>(), items[1].as<double>(), items[2].as<double>()}};
    return Value{std::move(items)};
}

} // namespace

void toVariant(const Value &value, VARIANT *out)
{
    VariantInit(out);
    std::visit(
        [out](const auto &v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                out->vt = VT_EMPTY;
            } else if constexpr (std::is_same_v<T, bool>) {
                out->vt = VT_BOOL;
                out->boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
            } else if constexpr (std::is_same_v<T, long long>) {
                if (v >= std::numeric_limits<LONG>::min() && v <= std::numeric_limits<LONG>::max()) {
                    out->vt = VT_I4;
                    out->lVal = LONG(v);
                } else {
                    out->vt = VT_I8;
                    out->llVal = v;
                }
            } else if constexpr (std::is_same_v<T, double>) {
                out->vt = VT_R8;
                out->dblVal = v;
            } else if constexpr (std::is_same_v<T, std::wstring>) {
                BSTR s = SysAllocStringLen(v.data(), UINT(v.size()));
                if (!s)
                    throw ComError(E_OUTOFMEMORY, L"SysAllocStringLen");
                out->vt = VT_BSTR;
                out->bstrVal = s;
            } else if constexpr (std::is_same_v<T, Point3>) {
                const double xyz[3] = {v.x, v.y, v.z};
                out->parray = plainArray(VT_R8, xyz, 3);
                out->vt = VT_ARRAY | VT_R8;
            } else if constexpr (std::is_same_v<T, std::vector<short>>) {
                out->parray = plainArray(VT_I2, v.data(), v.size());
                out->vt = VT_ARRAY | VT_I2;
            } else if constexpr (std::is_same_v<T, ValueArray>) {
                ArrayGuard array(VT_VARIANT, ULONG(v.size()));
                for (LONG i = 0; i < LONG(v.size()); ++i) {
                    VariantGuard element;
                    toVariant(v[size_t(i)], &element.v);
                    // The array takes a copy of its own.
                    check(SafeArrayPutElement(array.get(), &i, &element.v), L"SafeArrayPutElement");
                }
                out->parray = array.release();
                out->vt = VT_ARRAY | VT_VARIANT;
            } else if constexpr (std::is_same_v<T, ObjectPtr>) {
                IDispatch *d = v ? v->get() : nullptr;
                if (d)
                    d->AddRef();
                out->vt = VT_DISPATCH;
                out->pdispVal = d;
            }
        },
        value.data);
}

Value fromVariant(const VARIANT &v)
{
    if (v.vt == (VT_BYREF | VT_VARIANT))
        return v.pvarVal ? fromVariant(*v.pvarVal) : Value{};
    if (v.vt & VT_BYREF) {
        VariantGuard copy;
        check(VariantCopyInd(&copy.v, const_cast<VARIANT *>(&v)), L"VariantCopyInd");
        return fromVariant(copy.v);
    }
    if (v.vt & VT_ARRAY)
        return fromArray(v.parray, VARTYPE(v.vt & VT_TYPEMASK));

    switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return {};
    case VT_ERROR: // a missing optional argument
        return {};
    case VT_BOOL:
        return Value{v.boolVal != VARIANT_FALSE};
    case VT_I1:
        return Value{static_cast<long long>(v.cVal)};
    case VT_UI1:
        return Value{static_cast<long long>(v.bVal)};
    case VT_I2:
        return Value{static_cast<long long>(v.iVal)};
    case VT_UI2:
        return Value{static_cast<long long>(v.uiVal)};
    case VT_I4:
        return Value{static_cast<long long>(v.lVal)};
    case VT_UI4:
        return Value{static_cast<long long>(v.ulVal)};
    case VT_INT:
        return Value{static_cast<long long>(v.intVal)};
    case VT_UINT:
        return Value{static_cast<long long>(v.uintVal)};
    case VT_I8:
        return Value{static_cast<long long>(v.llVal)};
    case VT_UI8:
        return Value{static_cast<long long>(v.ullVal)};
    case VT_R4:
        return Value{static_cast<double>(v.fltVal)};
    case VT_R8:
    case VT_DATE:
        return Value{v.vt == VT_R8 ? v.dblVal : v.date};
    case VT_CY: {
        double d = 0;
        check(VarR8FromCy(v.cyVal, &d), L"VarR8FromCy");
        return Value{d};
    }
    case VT_BSTR:
        return Value{v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : std::wstring()};
    case VT_DISPATCH:
        return v.pdispVal ? Value{DispatchRef::share(v.pdispVal)} : Value{};
    case VT_UNKNOWN: {
        if (!v.punkVal)
            return {};
        IDispatch *d = nullptr;
        const HRESULT hr = v.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&d));
        if (FAILED(hr) || !d)
            throw ComError(DISP_E_TYPEMISMATCH, L"Type mismatch: an object without IDispatch", ComError::Kind::Failed);
        return Value{DispatchRef::adopt(d)};
    }
    default:
        throw ComError(DISP_E_TYPEMISMATCH, L"Type mismatch: VARIANT type " + std::to_wstring(v.vt) + L" is not understood",
                       ComError::Kind::Failed);
    }
}

} // namespace cad::win32
