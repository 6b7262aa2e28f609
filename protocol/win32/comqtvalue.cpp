#include "protocol/win32/comqtvalue.h"

#include <limits>
#include <type_traits>

namespace cad::win32 {

Value toComValue(const QVariant &v, const ObjectToCom &objectToCom)
{
    if (!v.isValid())
        return {};
    const QMetaType type = v.metaType();
    if (type == QMetaType::fromType<Point>()) {
        const Point p = v.value<Point>();
        return Value{Point3{p.x, p.y, p.z}};
    }
    if (type == QMetaType::fromType<Object>()) {
        const Object o = v.value<Object>();
        if (!o)
            return Value{ObjectPtr{}};
        return Value{objectToCom(o)};
    }
    if (type == QMetaType::fromType<QList<qint16>>()) {
        const QList<qint16> list = v.value<QList<qint16>>();
        return Value{std::vector<short>(list.begin(), list.end())};
    }
    switch (type.id()) {
    case QMetaType::Bool:
        return Value{v.toBool()};
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return Value{static_cast<long long>(v.toLongLong())};
    case QMetaType::Float:
    case QMetaType::Double:
        return Value{v.toDouble()};
    case QMetaType::QString:
        return Value{v.toString().toStdWString()};
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        ValueArray items;
        for (const QVariant &e : v.toList())
            items.push_back(toComValue(e, objectToCom));
        return Value{std::move(items)};
    }
    default:
        throw AutomationError(
            QStringLiteral("Type mismatch: a %1 cannot be passed to COM").arg(QLatin1String(type.name())));
    }
}

QVariant fromComValue(const Value &v, const ObjectFromCom &objectFromCom)
{
    return std::visit(
        [&objectFromCom](const auto &x) -> QVariant {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return {};
            } else if constexpr (std::is_same_v<T, bool>) {
                return QVariant(x);
            } else if constexpr (std::is_same_v<T, long long>) {
                if (x >= std::numeric_limits<int>::min() && x <= std::numeric_limits<int>::max())
                    return QVariant(int(x));
                return QVariant(qlonglong(x));
            } else if constexpr (std::is_same_v<T, double>) {
                return QVariant(x);
            } else if constexpr (std::is_same_v<T, std::wstring>) {
                return QVariant(QString::fromStdWString(x));
            } else if constexpr (std::is_same_v<T, Point3>) {
                return fromPoint(Point{x.x, x.y, x.z});
            } else if constexpr (std::is_same_v<T, std::vector<short>>) {
                return int16Array(QList<qint16>(x.begin(), x.end()));
            } else if constexpr (std::is_same_v<T, ValueArray>) {
                QVariantList list;
                list.reserve(qsizetype(x.size()));
                for (const Value &e : x)
                    list.append(fromComValue(e, objectFromCom));
                return list;
            } else {
                static_assert(std::is_same_v<T, ObjectPtr>);
                if (!x)
                    return {};
                return fromObject(objectFromCom(x));
            }
        },
        v.data);
}

HRESULT errorCode(AutomationError::Kind kind)
{
    switch (kind) {
    case AutomationError::Kind::Busy:
        return RPC_E_SERVERCALL_RETRYLATER;
    case AutomationError::Kind::Rejected:
        return RPC_E_CALL_REJECTED;
    case AutomationError::Kind::Gone:
        return RPC_E_DISCONNECTED;
    case AutomationError::Kind::Failed:
        break;
    }
    return E_FAIL;
}

} // namespace cad::win32
