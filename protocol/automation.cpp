#include "protocol/automation.h"

namespace cad {

AutomationError::AutomationError(const QString &message, Kind kind)
    : std::runtime_error(message.toStdString()), m_kind(kind), m_message(message)
{
}

QVariant Dispatch::get(const QString &member, QVariantList args)
{
    return invoke(member, InvokeKind::PropertyGet, args);
}

void Dispatch::put(const QString &member, const QVariant &value)
{
    QVariantList args{value};
    invoke(member, InvokeKind::PropertyPut, args);
}

QVariant Dispatch::call(const QString &member, QVariantList args)
{
    return invoke(member, InvokeKind::Method, args);
}

QVariant fromPoint(const Point &p)
{
    return QVariant::fromValue(p);
}

bool isPoint(const QVariant &v)
{
    if (v.metaType() == QMetaType::fromType<Point>())
        return true;
    if (v.metaType().id() != QMetaType::QVariantList)
        return false;
    const QVariantList list = v.toList();
    if (list.size() < 2 || list.size() > 3)
        return false;
    for (const QVariant &e : list) {
        bool ok = false;
        e.toDouble(&ok);
        if (!ok)
            return false;
    }
    return true;
}

Point toPoint(const QVariant &v)
{
    if (v.metaType() == QMetaType::fromType<Point>())
        return v.value<Point>();
    if (!isPoint(v))
        throw AutomationError(QStringLiteral("Type mismatch: a point of three numbers is expected"));
    const QVariantList list = v.toList();
    Point p;
    p.x = list.value(0).toDouble();
    p.y = list.value(1).toDouble();
    p.z = list.size() > 2 ? list.value(2).toDouble() : 0.0;
    return p;
}

QVariant fromObject(const Object &o)
{
    return QVariant::fromValue(o);
}

Object toObject(const QVariant &v)
{
    if (v.metaType() == QMetaType::fromType<Object>())
        return v.value<Object>();
    return {};
}

QVariant int16Array(const QList<qint16> &values)
{
    return QVariant::fromValue(values);
}

QList<qint16> toInt16Array(const QVariant &v)
{
    if (v.metaType() == QMetaType::fromType<QList<qint16>>())
        return v.value<QList<qint16>>();
    QList<qint16> out;
    for (const QVariant &e : v.toList())
        out.append(static_cast<qint16>(e.toInt()));
    return out;
}

QString describe(const QVariant &v)
{
    if (!v.isValid())
        return {};
    if (v.metaType() == QMetaType::fromType<Point>()) {
        const Point p = v.value<Point>();
        return QStringLiteral("(%1, %2, %3)").arg(p.x).arg(p.y).arg(p.z);
    }
    if (v.metaType() == QMetaType::fromType<Object>())
        return QStringLiteral("<object>");
    return v.toString();
}

} // namespace cad
