#include "minicad/com/membertypes.h"

#include <oleauto.h>

namespace minicad::com {

namespace {

bool named(const QString &member, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        if (cad::sameMember(member, name))
            return true;
    }
    return false;
}

[[noreturn]] void invalidArgument()
{
    throw cad::AutomationError(invalidArgumentText());
}

// A VARIANT passed by reference as VB passes it: the value it points at.
const VARIANT &dereferenced(const VARIANT &v)
{
    if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal)
        return dereferenced(*v.pvarVal);
    return v;
}

bool missing(const VARIANT &v)
{
    return v.vt == VT_EMPTY || (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND);
}

// The array of a VARIANT of VT_ARRAY|element, by value or by reference; null otherwise.
SAFEARRAY *arrayOf(const VARIANT &v, VARTYPE element)
{
    if (v.vt == (VT_ARRAY | element))
        return v.parray;
    if (v.vt == (VT_BYREF | VT_ARRAY | element))
        return v.pparray ? *v.pparray : nullptr;
    return nullptr;
}

bool isNumber(VARTYPE t)
{
    switch (t) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4:
    case VT_I8: case VT_UI8: case VT_INT: case VT_UINT: case VT_R4: case VT_R8:
        return true;
    default:
        return false;
    }
}

// Three doubles, or three numbers in variants; one dimension from 0.
cad::Point pointArgument(const VARIANT &v)
{
    SAFEARRAY *array = arrayOf(v, VT_R8);
    const bool doubles = array != nullptr;
    if (!array)
        array = arrayOf(v, VT_VARIANT);
    if (!array || SafeArrayGetDim(array) != 1)
        invalidArgument();
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper)) || lower != 0
        || upper != 2)
        invalidArgument();
    double xyz[3] = {};
    for (LONG i = 0; i < 3; ++i) {
        if (doubles) {
            if (FAILED(SafeArrayGetElement(array, &i, &xyz[i])))
                invalidArgument();
            continue;
        }
        VARIANT element;
        VariantInit(&element);
        const bool read = SUCCEEDED(SafeArrayGetElement(array, &i, &element));
        VARIANT number;
        VariantInit(&number);
        const bool ok = read && isNumber(element.vt) && SUCCEEDED(VariantChangeType(&number, &element, 0, VT_R8));
        VariantClear(&element);
        if (!ok)
            invalidArgument();
        xyz[i] = number.dblVal;
    }
    return cad::Point{xyz[0], xyz[1], xyz[2]};
}

SAFEARRAY *newArray(VARTYPE element, qsizetype count)
{
    SAFEARRAYBOUND bound{ULONG(count), 0};
    SAFEARRAY *array = SafeArrayCreate(element, 1, &bound);
    if (!array)
        throw cad::AutomationError(QStringLiteral("Out of memory"));
    return array;
}

void doubleArray(const QList<double> &values, VARIANT *out)
{
    SAFEARRAY *array = newArray(VT_R8, values.size());
    for (LONG i = 0; i < LONG(values.size()); ++i) {
        double d = values[i];
        SafeArrayPutElement(array, &i, &d);
    }
    out->vt = VT_ARRAY | VT_R8;
    out->parray = array;
}

// Wine (8 at least) marshals a SAFEARRAY of interfaces between processes
// but never lets go of the objects in it, so the host's count of what its
// clients hold (which the tests check) would never come back to zero. There
// the objects go in variants, as the client takes either form.
bool interfaceArraysBroken()
{
    static const bool wine = [] {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version");
    }();
    return wine;
}

} // namespace

const QString &invalidArgumentText()
{
    static const QString text = QStringLiteral("Invalid argument");
    return text;
}

ParameterType parameterType(const QString &member, cad::InvokeKind kind, int index)
{
    using K = cad::InvokeKind;
    if (kind == K::PropertyPut)
        return index == 0 && named(member, {"InsertionPoint", "TextAlignmentPoint"}) ? ParameterType::Point
                                                                                    : ParameterType::Any;
    if (named(member, {"ZoomCenter"}))
        return index == 0 ? ParameterType::Point : ParameterType::Any;
    if (named(member, {"SelectOnScreen"}))
        return index == 0 ? ParameterType::FilterTypes : index == 1 ? ParameterType::FilterData : ParameterType::Any;
    if (named(member, {"Select"})) {
        switch (index) {
        case 1:
        case 2:
            return ParameterType::OptionalPoint;
        case 3:
            return ParameterType::FilterTypes;
        case 4:
            return ParameterType::FilterData;
        default:
            return ParameterType::Any;
        }
    }
    return ParameterType::Any;
}

ResultType resultType(const QString &member, cad::InvokeKind kind, const QVariantList &args)
{
    if (kind == cad::InvokeKind::PropertyPut)
        return ResultType::Any;
    if (named(member, {"InsertionPoint", "TextAlignmentPoint"}))
        return ResultType::Point;
    if (named(member, {"GetAttributes"}))
        return ResultType::DispatchArray;
    if (named(member, {"HWND"}))
        return ResultType::LongPtr;
    if (named(member, {"Lock"}))
        return ResultType::Bool;
    if (named(member, {"GetVariable"}) && !args.isEmpty()) {
        // A CAD answers a system variable in the type of the variable.
        const QString name = args[0].toString().trimmed();
        if (cad::sameMember(name, "SCREENSIZE"))
            return ResultType::DoubleArray;
        if (cad::sameMember(name, "VIEWCTR"))
            return ResultType::Point;
        if (cad::sameMember(name, "UNDOCTL"))
            return ResultType::Short;
    }
    return ResultType::Any;
}

QVariant strictArgument(ParameterType type, const VARIANT &passed,
                        const std::function<QVariant(const VARIANT &)> &anyValue)
{
    const VARIANT &v = dereferenced(passed);
    switch (type) {
    case ParameterType::Any:
        break;
    case ParameterType::OptionalPoint:
        if (missing(v))
            return {};
        [[fallthrough]];
    case ParameterType::Point:
        return cad::fromPoint(pointArgument(v));
    case ParameterType::FilterTypes:
        if (missing(v))
            return {};
        if (!arrayOf(v, VT_I2))
            invalidArgument();
        return anyValue(v);
    case ParameterType::FilterData:
        if (missing(v))
            return {};
        if (!arrayOf(v, VT_VARIANT))
            invalidArgument();
        return anyValue(v);
    }
    return anyValue(v);
}

void typedResult(ResultType type, const QVariant &value, VARIANT *out,
                 const std::function<void(const QVariant &, VARIANT *)> &anyValue)
{
    VariantInit(out);
    if (!value.isValid()) {
        anyValue(value, out);
        return;
    }
    switch (type) {
    case ResultType::Any:
        break;
    case ResultType::Point:
        if (!cad::isPoint(value))
            break;
        {
            const cad::Point p = cad::toPoint(value);
            doubleArray({p.x, p.y, p.z}, out);
        }
        return;
    case ResultType::DoubleArray: {
        QList<double> values;
        for (const QVariant &e : value.toList())
            values.append(e.toDouble());
        doubleArray(values, out);
        return;
    }
    case ResultType::DispatchArray: {
        const QVariantList items = value.toList();
        if (!items.isEmpty() && interfaceArraysBroken())
            break;
        SAFEARRAY *array = newArray(VT_DISPATCH, items.size());
        for (LONG i = 0; i < LONG(items.size()); ++i) {
            VARIANT item;
            VariantInit(&item);
            try {
                anyValue(items[i], &item);
            } catch (...) {
                SafeArrayDestroy(array);
                throw;
            }
            // The array takes a reference of its own.
            if (item.vt == VT_DISPATCH)
                SafeArrayPutElement(array, &i, item.pdispVal);
            VariantClear(&item);
        }
        out->vt = VT_ARRAY | VT_DISPATCH;
        out->parray = array;
        return;
    }
    case ResultType::LongPtr:
        if constexpr (sizeof(LONG_PTR) == 8) {
            out->vt = VT_I8;
            out->llVal = value.toLongLong();
        } else {
            out->vt = VT_I4;
            out->lVal = LONG(value.toLongLong());
        }
        return;
    case ResultType::Bool:
        out->vt = VT_BOOL;
        out->boolVal = value.toBool() ? VARIANT_TRUE : VARIANT_FALSE;
        return;
    case ResultType::Short: {
        const qlonglong n = value.toLongLong();
        if (n < -32768 || n > 32767)
            break;
        out->vt = VT_I2;
        out->iVal = SHORT(n);
        return;
    }
    }
    anyValue(value, out);
}

} // namespace minicad::com
