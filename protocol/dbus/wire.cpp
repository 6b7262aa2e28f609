#include "protocol/dbus/wire.h"

#include <QStringList>

namespace cad::wire {
namespace {

bool isNameChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_' || u == '-';
}

} // namespace

bool needsCodeUnits(QStringView s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.isNull())
            return true;
        if (c.isHighSurrogate()) {
            if (i + 1 == s.size() || !s[i + 1].isLowSurrogate())
                return true;
            ++i;
        } else if (c.isLowSurrogate()) {
            return true;
        }
    }
    return false;
}

QString busNameForProgId(const QString &progId)
{
    if (progId.isEmpty())
        return {};
    QStringList elements = progId.split(QLatin1Char('.'));
    for (QString &e : elements) {
        for (QChar &c : e) {
            if (!isNameChar(c))
                c = QLatin1Char('_');
        }
        if (e.isEmpty() || (e.at(0) >= QLatin1Char('0') && e.at(0) <= QLatin1Char('9')))
            e.prepend(QLatin1Char('_'));
    }
    if (elements.size() == 1)
        elements.prepend(QStringLiteral("progid"));
    const QString name = elements.join(QLatin1Char('.'));
    return name.size() > 255 ? QString() : name;
}

QString errorName(AutomationError::Kind kind)
{
    switch (kind) {
    case AutomationError::Kind::Busy:
        return QLatin1String(kBusyError);
    case AutomationError::Kind::Rejected:
        return QLatin1String(kRejectedError);
    case AutomationError::Kind::Gone:
        return QLatin1String(kGoneError);
    case AutomationError::Kind::Failed:
        break;
    }
    return QLatin1String(kFailedError);
}

AutomationError::Kind errorKind(const QString &name)
{
    if (name == QLatin1String(kBusyError))
        return AutomationError::Kind::Busy;
    if (name == QLatin1String(kRejectedError))
        return AutomationError::Kind::Rejected;
    if (name == QLatin1String(kGoneError) || name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
        || name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject")
        || name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")
        || name == QLatin1String("org.freedesktop.DBus.Error.Disconnected"))
        return AutomationError::Kind::Gone;
    return AutomationError::Kind::Failed;
}

} // namespace cad::wire
