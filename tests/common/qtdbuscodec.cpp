#include "common/qtdbuscodec.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>

namespace testing::qtdbus::detail {
// VT_EMPTY on the wire: a struct holding the byte 0.
struct EmptyMarker {
    uchar zero = 0;
};
QDBusArgument &operator<<(QDBusArgument &arg, const EmptyMarker &m)
{
    arg.beginStructure();
    arg << m.zero;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, EmptyMarker &m)
{
    arg.beginStructure();
    arg >> m.zero;
    arg.endStructure();
    return arg;
}

// A string D-Bus cannot hold as "s": its UTF-16 code units in a struct.
struct CodeUnits {
    QString text;
};
QDBusArgument &operator<<(QDBusArgument &arg, const CodeUnits &c)
{
    arg.beginStructure();
    arg.beginArray(QMetaType::fromType<ushort>());
    for (QChar ch : c.text)
        arg << ushort(ch.unicode());
    arg.endArray();
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, CodeUnits &c)
{
    arg.beginStructure();
    arg.beginArray();
    c.text.clear();
    while (!arg.atEnd()) {
        ushort u = 0;
        arg >> u;
        c.text.append(QChar(u));
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

} // namespace testing::qtdbus::detail

Q_DECLARE_METATYPE(testing::qtdbus::detail::EmptyMarker)
Q_DECLARE_METATYPE(testing::qtdbus::detail::CodeUnits)

namespace cad {

// The point travels as a typed struct so that an array of three numbers stays
// an array.
QDBusArgument &operator<<(QDBusArgument &arg, const Point &p)
{
    arg.beginStructure();
    arg << p.x << p.y << p.z;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, Point &p)
{
    arg.beginStructure();
    arg >> p.x >> p.y >> p.z;
    arg.endStructure();
    return arg;
}

} // namespace cad

namespace testing::qtdbus {
namespace {

using cad::AutomationError;
using cad::Object;
using cad::Point;
using cad::wire::ObjectToPath;
using cad::wire::PathToObject;
using detail::CodeUnits;
using detail::EmptyMarker;

constexpr int kMaxDepth = 32;

AutomationError typeMismatch(const QString &what)
{
    return AutomationError(QStringLiteral("Type mismatch: %1").arg(what));
}

QVariant encodeRaw(const QVariant &value, const ObjectToPath &objectPath, int depth);

QVariantList encodeRawList(const QVariantList &values, const ObjectToPath &objectPath, int depth)
{
    QVariantList out;
    out.reserve(values.size());
    for (const QVariant &v : values)
        out.append(encodeRaw(v, objectPath, depth + 1));
    return out;
}

// The value in the form QtDBus marshals as the wanted signature; nested
// values are not wrapped in QDBusVariant (a QVariantList already travels as av).
QVariant encodeRaw(const QVariant &value, const ObjectToPath &objectPath, int depth)
{
    if (depth > kMaxDepth)
        throw typeMismatch(QStringLiteral("arrays nested too deeply"));
    if (!value.isValid())
        return QVariant::fromValue(EmptyMarker{});
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<Point>())
        return value;
    if (type == QMetaType::fromType<QList<qint16>>())
        return value;
    if (type == QMetaType::fromType<Object>()) {
        const Object o = value.value<Object>();
        if (!o)
            return QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")));
        if (!objectPath)
            throw typeMismatch(QStringLiteral("an object cannot be passed here"));
        return QVariant::fromValue(QDBusObjectPath(objectPath(o)));
    }
    if (type == QMetaType::fromType<QDBusObjectPath>())
        return value;
    switch (type.id()) {
    case QMetaType::QString:
        if (cad::wire::needsCodeUnits(value.toString()))
            return QVariant::fromValue(CodeUnits{value.toString()});
        return value;
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return value;
    case QMetaType::Float:
        return value.toDouble();
    case QMetaType::Long:
        return value.toLongLong();
    case QMetaType::ULong:
        return value.toULongLong();
    case QMetaType::Char:
    case QMetaType::SChar:
        return value.toInt();
    case QMetaType::QVariantList:
        return QVariant(encodeRawList(value.toList(), objectPath, depth));
    case QMetaType::QStringList: {
        QVariantList out;
        for (const QString &s : value.toStringList())
            out.append(encodeRaw(s, objectPath, depth + 1));
        return QVariant(out);
    }
    default:
        break;
    }
    throw typeMismatch(QStringLiteral("a value of type %1 cannot travel").arg(QLatin1String(type.name())));
}

QVariant decodeAt(const QVariant &received, const PathToObject &object, int depth);

QVariant decodeBasic(const QVariant &v, const PathToObject &object, int depth)
{
    return decodeAt(v, object, depth + 1);
}

QVariant decodeArgument(const QDBusArgument &arg, const PathToObject &object, int depth)
{
    const QString sig = arg.currentSignature();
    if (sig == QLatin1String(cad::wire::kEmptySignature)) {
        EmptyMarker m;
        arg >> m;
        if (m.zero != 0)
            throw typeMismatch(QStringLiteral("the empty marker holds %1, not 0").arg(m.zero));
        return QVariant();
    }
    if (sig == QLatin1String(cad::wire::kCodeUnitsSignature)) {
        CodeUnits c;
        arg >> c;
        return c.text;
    }
    if (sig == QLatin1String("(ddd)")) {
        Point p;
        arg >> p;
        return QVariant::fromValue(p);
    }
    if (sig == QLatin1String("an")) {
        QList<qint16> values;
        arg.beginArray();
        while (!arg.atEnd()) {
            qint16 v = 0;
            arg >> v;
            values.append(v);
        }
        arg.endArray();
        return QVariant::fromValue(values);
    }
    if (sig == QLatin1String("av")) {
        QVariantList out;
        arg.beginArray();
        while (!arg.atEnd()) {
            QDBusVariant v;
            arg >> v;
            out.append(decodeAt(v.variant(), object, depth + 1));
        }
        arg.endArray();
        return QVariant(out);
    }
    // Arrays of other basic values (ai, ad, as, ao, ...) from foreign clients.
    if (sig.size() == 2 && sig.at(0) == QLatin1Char('a') && QStringLiteral("ybnqiuxtdso").contains(sig.at(1))) {
        QVariantList out;
        arg.beginArray();
        while (!arg.atEnd())
            out.append(decodeBasic(arg.asVariant(), object, depth));
        arg.endArray();
        return QVariant(out);
    }
    throw typeMismatch(QStringLiteral("values of D-Bus type \"%1\" are not understood").arg(sig));
}

QVariant decodeAt(const QVariant &received, const PathToObject &object, int depth)
{
    if (depth > kMaxDepth)
        throw typeMismatch(QStringLiteral("arrays nested too deeply"));
    const QMetaType type = received.metaType();
    if (type == QMetaType::fromType<QDBusVariant>())
        return decodeAt(received.value<QDBusVariant>().variant(), object, depth + 1);
    if (type == QMetaType::fromType<QDBusArgument>())
        return decodeArgument(received.value<QDBusArgument>(), object, depth);
    if (type == QMetaType::fromType<QDBusObjectPath>()) {
        const QString path = received.value<QDBusObjectPath>().path();
        if (path == QLatin1String("/"))
            return QVariant::fromValue(Object());
        if (!object)
            throw typeMismatch(QStringLiteral("an object cannot be passed here"));
        return QVariant::fromValue(object(path));
    }
    // Values already in automation form (a client of this process may pass them).
    if (type == QMetaType::fromType<Point>() || type == QMetaType::fromType<QList<qint16>>()
        || type == QMetaType::fromType<Object>())
        return received;
    switch (type.id()) {
    case QMetaType::UnknownType:
        return QVariant();
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::QString:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return received;
    case QMetaType::QStringList: {
        QVariantList out;
        for (const QString &s : received.toStringList())
            out.append(s);
        return QVariant(out);
    }
    case QMetaType::QVariantList: {
        QVariantList out;
        for (const QVariant &v : received.toList())
            out.append(decodeAt(v, object, depth + 1));
        return QVariant(out);
    }
    default:
        break;
    }
    throw typeMismatch(QStringLiteral("values of type %1 are not understood").arg(QLatin1String(type.name())));
}

void registerTypes()
{
    static const bool done = [] {
        qDBusRegisterMetaType<Point>();
        qDBusRegisterMetaType<EmptyMarker>();
        qDBusRegisterMetaType<CodeUnits>();
        qDBusRegisterMetaType<QList<qint16>>();
        return true;
    }();
    (void)done;
}

} // namespace

QDBusVariant encode(const QVariant &value, const ObjectToPath &objectPath)
{
    registerTypes();
    return QDBusVariant(encodeRaw(value, objectPath, 0));
}

QVariant decode(const QVariant &received, const PathToObject &object)
{
    registerTypes();
    return decodeAt(received, object, 0);
}

} // namespace testing::qtdbus
