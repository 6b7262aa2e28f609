#include "app/settings.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace lumo {

namespace {
const QString kMain = QStringLiteral("LumoEdit");
const QString kTarget = QStringLiteral("Target");
} // namespace

QString settingsPath()
{
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    return exe.absolutePath() + QLatin1Char('/') + exe.completeBaseName() + QStringLiteral(".ini");
}

Settings readSettings(const IniFile &ini)
{
    Settings s;
    s.left = ini.readOptionalInteger(kMain, QStringLiteral("Left"));
    s.top = ini.readOptionalInteger(kMain, QStringLiteral("Top"));
    s.progId = ini.readString(kTarget, QStringLiteral("ProgID"), s.progId);
    s.sort = ini.readBool(kMain, QStringLiteral("Sort"), s.sort);
    s.attTag = ini.readString(kMain, QStringLiteral("AttTag"), s.attTag);
    s.attTagIndex2 = ini.readInteger(kMain, QStringLiteral("AttTagIndex2"), s.attTagIndex2);
    s.cursor = ini.readBool(kMain, QStringLiteral("Cursor"), s.cursor);
    s.attTagIndex1 = ini.readInteger(kMain, QStringLiteral("AttTagIndex1"), s.attTagIndex1);
    s.sentou = ini.readBool(kMain, QStringLiteral("Sentou"), s.sentou);
    s.upperCase = ini.readBool(kMain, QStringLiteral("UpperCase"), s.upperCase);
    s.enter = ini.readBool(kMain, QStringLiteral("Enter"), s.enter);
    s.zoomCenter = ini.readBool(kMain, QStringLiteral("ZoomCenter"), s.zoomCenter);
    s.attEnter = ini.readBool(kMain, QStringLiteral("AttEnter"), s.attEnter);
    s.attEnterDown = ini.readBool(kMain, QStringLiteral("AttEnterDown"), s.attEnterDown);
    s.zoomCenter2 = ini.readBool(kMain, QStringLiteral("ZoomCenter2"), s.zoomCenter2);
    return s;
}

void writeSettings(IniFile &ini, const Settings &s)
{
    ini.writeInteger(kMain, QStringLiteral("Left"), s.left.value_or(0));
    ini.writeInteger(kMain, QStringLiteral("Top"), s.top.value_or(0));
    ini.setValue(kTarget, QStringLiteral("ProgID"), s.progId);
    ini.writeBool(kMain, QStringLiteral("Sort"), s.sort);
    ini.setValue(kMain, QStringLiteral("AttTag"), s.attTag);
    ini.writeInteger(kMain, QStringLiteral("AttTagIndex2"), s.attTagIndex2);
    ini.writeBool(kMain, QStringLiteral("Cursor"), s.cursor);
    ini.writeInteger(kMain, QStringLiteral("AttTagIndex1"), s.attTagIndex1);
    ini.writeBool(kMain, QStringLiteral("Sentou"), s.sentou);
    ini.writeBool(kMain, QStringLiteral("UpperCase"), s.upperCase);
    ini.writeBool(kMain, QStringLiteral("Enter"), s.enter);
    ini.writeBool(kMain, QStringLiteral("ZoomCenter"), s.zoomCenter);
    ini.writeBool(kMain, QStringLiteral("AttEnter"), s.attEnter);
    ini.writeBool(kMain, QStringLiteral("AttEnterDown"), s.attEnterDown);
    ini.writeBool(kMain, QStringLiteral("ZoomCenter2"), s.zoomCenter2);
}

} // namespace lumo
