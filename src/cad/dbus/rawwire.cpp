#include "cad/dbus/rawwire.h"

namespace cad::rawwire {

namespace {

constexpr int kMaxDepth = 32;

AutomationError typeMismatch(const QString &what)
{
    return AutomationError(QStringLiteral("Type mismatch: %1").arg(what));
}

// The D-Bus signature the value travels as (the content of its variant).
QByteArray signatureOf(const QVariant &value)
{
    if (!value.isValid())
        return QByteArrayLiteral("(y)");
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<Point>())
        return QByteArrayLiteral("(ddd)");
    if (type == QMetaType::fromType<QList<qint16>>())
        return QByteArrayLiteral("an");
    if (type == QMetaType::fromType<Object>())
        return QByteArrayLiteral("o");
    switch (type.id()) {
    case QMetaType::Bool: return QByteArrayLiteral("b");
    case QMetaType::Int:
    case QMetaType::Char:
    case QMetaType::SChar: return QByteArrayLiteral("i");
    case QMetaType::UInt: return QByteArrayLiteral("u");
    case QMetaType::LongLong:
    case QMetaType::Long: return QByteArrayLiteral("x");
    case QMetaType::ULongLong:
    case QMetaType::ULong: return QByteArrayLiteral("t");
    case QMetaType::Double:
    case QMetaType::Float: return QByteArrayLiteral("d");
    case QMetaType::QString:
        return wire::needsCodeUnits(value.toString()) ? QByteArray(wire::kCodeUnitsSignature) : QByteArrayLiteral("s");
    case QMetaType::Short: return QByteArrayLiteral("n");
    case QMetaType::UShort: return QByteArrayLiteral("q");
    case QMetaType::UChar: return QByteArrayLiteral("y");
    case QMetaType::QVariantList:
    case QMetaType::QStringList: return QByteArrayLiteral("av");
    default: break;
    }
    throw typeMismatch(QStringLiteral("a value of type %1 cannot travel").arg(QLatin1String(type.name())));
}

void appendBasic(DBusMessageIter *it, int type, const void *value)
{
    if (!dbus_message_iter_append_basic(it, type, value))
        throw AutomationError(QStringLiteral("Out of memory"));
}

void appendString(DBusMessageIter *it, int type, const QByteArray &utf8)
{
    const char *data = utf8.constData();
    appendBasic(it, type, &data);
}

void appendContent(DBusMessageIter *it, const QVariant &value, const QByteArray &signature,
                   const wire::ObjectToPath &objectPath, int depth);

void appendVariantAt(DBusMessageIter *it, const QVariant &value, const wire::ObjectToPath &objectPath, int depth)
{
    if (depth > kMaxDepth)
        throw typeMismatch(QStringLiteral("arrays nested too deeply"));
    const QByteArray signature = signatureOf(value);
    DBusMessageIter sub;
    dbus_message_iter_open_container(it, DBUS_TYPE_VARIANT, signature.constData(), &sub);
    try {
        appendContent(&sub, value, signature, objectPath, depth);
    } catch (...) {
        dbus_message_iter_abandon_container(it, &sub);
        throw;
    }
    dbus_message_iter_close_container(it, &sub);
}

void appendContent(DBusMessageIter *it, const QVariant &value, const QByteArray &signature,
                   const wire::ObjectToPath &objectPath, int depth)
{
    switch (signature.at(0)) {
    case '(': {
        DBusMessageIter sub;
        dbus_message_iter_open_container(it, DBUS_TYPE_STRUCT, nullptr, &sub);
        if (signature == "(y)") {
            const unsigned char zero = 0;
            appendBasic(&sub, DBUS_TYPE_BYTE, &zero);
        } else if (signature == wire::kCodeUnitsSignature) {
            const QString text = value.toString();
            DBusMessageIter units;
            dbus_message_iter_open_container(&sub, DBUS_TYPE_ARRAY, "q", &units);
            const auto *data = reinterpret_cast<const dbus_uint16_t *>(text.utf16());
            const int n = int(text.size());
            if (!dbus_message_iter_append_fixed_array(&units, DBUS_TYPE_UINT16, &data, n))
                throw AutomationError(QStringLiteral("Out of memory"));
            dbus_message_iter_close_container(&sub, &units);
        } else {
            const Point p = value.value<Point>();
            for (double d : {p.x, p.y, p.z})
                appendBasic(&sub, DBUS_TYPE_DOUBLE, &d);
        }
        dbus_message_iter_close_container(it, &sub);
        return;
    }
    case 'a': {
        DBusMessageIter sub;
        if (signature == "an") {
            dbus_message_iter_open_container(it, DBUS_TYPE_ARRAY, "n", &sub);
            for (qint16 v : value.value<QList<qint16>>()) {
                const dbus_int16_t x = v;
                appendBasic(&sub, DBUS_TYPE_INT16, &x);
            }
        } else {
            const QVariantList list = value.metaType().id() == QMetaType::QStringList
                ? QVariant(value.toStringList()).toList()
                : value.toList();
            dbus_message_iter_open_container(it, DBUS_TYPE_ARRAY, "v", &sub);
            try {
                for (const QVariant &e : list)
                    appendVariantAt(&sub, e, objectPath, depth + 1);
            } catch (...) {
                dbus_message_iter_abandon_container(it, &sub);
                throw;
            }
        }
        dbus_message_iter_close_container(it, &sub);
        return;
    }
    case 'o': {
        const Object o = value.value<Object>();
        if (o && !objectPath)
            throw typeMismatch(QStringLiteral("an object cannot be passed here"));
        appendString(it, DBUS_TYPE_OBJECT_PATH, o ? objectPath(o).toUtf8() : QByteArrayLiteral("/"));
        return;
    }
    case 'b': {
        const dbus_bool_t b = value.toBool();
        appendBasic(it, DBUS_TYPE_BOOLEAN, &b);
        return;
    }
    case 'i': {
        const dbus_int32_t v = value.toInt();
        appendBasic(it, DBUS_TYPE_INT32, &v);
        return;
    }
    case 'u': {
        const dbus_uint32_t v = value.toUInt();
        appendBasic(it, DBUS_TYPE_UINT32, &v);
        return;
    }
    case 'x': {
        const dbus_int64_t v = value.toLongLong();
        appendBasic(it, DBUS_TYPE_INT64, &v);
        return;
    }
    case 't': {
        const dbus_uint64_t v = value.toULongLong();
        appendBasic(it, DBUS_TYPE_UINT64, &v);
        return;
    }
    case 'd': {
        const double v = value.toDouble();
        appendBasic(it, DBUS_TYPE_DOUBLE, &v);
        return;
    }
    case 's':
        appendString(it, DBUS_TYPE_STRING, value.toString().toUtf8());
        return;
    case 'n': {
        const dbus_int16_t v = value.value<short>();
        appendBasic(it, DBUS_TYPE_INT16, &v);
        return;
    }
    case 'q': {
        const dbus_uint16_t v = value.value<ushort>();
        appendBasic(it, DBUS_TYPE_UINT16, &v);
        return;
    }
    case 'y': {
        const unsigned char v = value.value<uchar>();
        appendBasic(it, DBUS_TYPE_BYTE, &v);
        return;
    }
    default:
        break;
    }
    throw typeMismatch(QStringLiteral("a value cannot travel"));
}

QVariant readAt(DBusMessageIter *it, const wire::PathToObject &object, int depth);

// A basic value (not a container) at the iterator.
QVariant readBasic(DBusMessageIter *it, const wire::PathToObject &object)
{
    DBusBasicValue v;
    const int type = dbus_message_iter_get_arg_type(it);
    if (!dbus_type_is_basic(type) || type == DBUS_TYPE_UNIX_FD || type == DBUS_TYPE_SIGNATURE)
        throw typeMismatch(QStringLiteral("values of D-Bus type '%1' are not understood").arg(QChar(type)));
    dbus_message_iter_get_basic(it, &v);
    switch (type) {
    case DBUS_TYPE_BOOLEAN: return bool(v.bool_val);
    case DBUS_TYPE_BYTE: return QVariant::fromValue(uchar(v.byt));
    case DBUS_TYPE_INT16: return QVariant::fromValue(short(v.i16));
    case DBUS_TYPE_UINT16: return QVariant::fromValue(ushort(v.u16));
    case DBUS_TYPE_INT32: return int(v.i32);
    case DBUS_TYPE_UINT32: return uint(v.u32);
    case DBUS_TYPE_INT64: return qlonglong(v.i64);
    case DBUS_TYPE_UINT64: return qulonglong(v.u64);
    case DBUS_TYPE_DOUBLE: return v.dbl;
    case DBUS_TYPE_STRING: return QString::fromUtf8(v.str);
    case DBUS_TYPE_OBJECT_PATH: {
        const QString path = QString::fromUtf8(v.str);
        if (path == QLatin1String("/"))
            return QVariant::fromValue(Object());
        if (!object)
            throw typeMismatch(QStringLiteral("an object cannot be passed here"));
        return QVariant::fromValue(object(path));
    }
    default: break;
    }
    throw typeMismatch(QStringLiteral("values of D-Bus type '%1' are not understood").arg(QChar(type)));
}

QVariant readAt(DBusMessageIter *it, const wire::PathToObject &object, int depth)
{
    if (depth > kMaxDepth)
        throw typeMismatch(QStringLiteral("arrays nested too deeply"));
    const int type = dbus_message_iter_get_arg_type(it);
    DBusMessageIter sub;
    if (type == DBUS_TYPE_VARIANT) {
        dbus_message_iter_recurse(it, &sub);
        return readAt(&sub, object, depth + 1);
    }
    if (type == DBUS_TYPE_STRUCT) {
        char *raw = dbus_message_iter_get_signature(it);
        const QByteArray signature(raw);
        dbus_free(raw);
        dbus_message_iter_recurse(it, &sub);
        if (signature == wire::kEmptySignature) {
            unsigned char zero = 1;
            dbus_message_iter_get_basic(&sub, &zero);
            if (zero != 0)
                throw typeMismatch(QStringLiteral("the empty marker holds %1, not 0").arg(zero));
            return QVariant();
        }
        if (signature == wire::kCodeUnitsSignature) {
            DBusMessageIter units;
            dbus_message_iter_recurse(&sub, &units);
            const dbus_uint16_t *data = nullptr;
            int n = 0;
            dbus_message_iter_get_fixed_array(&units, &data, &n);
            return QString(reinterpret_cast<const QChar *>(data), n);
        }
        if (signature == "(ddd)") {
            double d[3] = {0, 0, 0};
            for (double &x : d) {
                dbus_message_iter_get_basic(&sub, &x);
                dbus_message_iter_next(&sub);
            }
            return QVariant::fromValue(Point{d[0], d[1], d[2]});
        }
        throw typeMismatch(QStringLiteral("values of D-Bus type \"%1\" are not understood").arg(QLatin1String(signature)));
    }
    if (type == DBUS_TYPE_ARRAY) {
        const int element = dbus_message_iter_get_element_type(it);
        dbus_message_iter_recurse(it, &sub);
        if (element == DBUS_TYPE_INT16) {
            QList<qint16> values;
            while (dbus_message_iter_get_arg_type(&sub) != DBUS_TYPE_INVALID) {
                dbus_int16_t v = 0;
                dbus_message_iter_get_basic(&sub, &v);
                values.append(v);
                dbus_message_iter_next(&sub);
            }
            return QVariant::fromValue(values);
        }
        // Bytes are not an automation array (and "ay" is no string either).
        if (element != DBUS_TYPE_VARIANT
            && (!dbus_type_is_basic(element) || element == DBUS_TYPE_UNIX_FD || element == DBUS_TYPE_BYTE))
            throw typeMismatch(QStringLiteral("arrays of D-Bus type '%1' are not understood").arg(QChar(element)));
        QVariantList out;
        while (dbus_message_iter_get_arg_type(&sub) != DBUS_TYPE_INVALID) {
            out.append(element == DBUS_TYPE_VARIANT ? readAt(&sub, object, depth + 1) : readBasic(&sub, object));
            dbus_message_iter_next(&sub);
        }
        return QVariant(out);
    }
    return readBasic(it, object);
}

} // namespace

void appendVariant(DBusMessageIter *it, const QVariant &value, const wire::ObjectToPath &objectPath)
{
    appendVariantAt(it, value, objectPath, 0);
}

QVariant readVariant(DBusMessageIter *it, const wire::PathToObject &object)
{
    if (dbus_message_iter_get_arg_type(it) != DBUS_TYPE_VARIANT)
        throw typeMismatch(QStringLiteral("a variant is expected"));
    return readAt(it, object, 0);
}

} // namespace cad::rawwire
