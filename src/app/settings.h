#pragma once
// The program's settings: read once at start, written once at close.

#include "app/inifile.h"

#include <optional>

namespace lumo {

struct Settings {
    std::optional<int> left; // nullopt: centre the window
    std::optional<int> top;
    QString progId = QStringLiteral("BricscadApp.AcadApplication");
    bool sort = true;
    QString attTag;
    int attTagIndex2 = 0;
    bool cursor = true;
    int attTagIndex1 = 0;
    bool sentou = false;
    bool upperCase = true;
    bool enter = true;
    bool zoomCenter = false;
    bool attEnter = true;
    bool attEnterDown = true;
    bool zoomCenter2 = false;
};

// The settings file: the executable's path with its extension replaced by ".ini".
QString settingsPath();

Settings readSettings(const IniFile &ini);
// Keys are written in the same fixed order they are read in.
void writeSettings(IniFile &ini, const Settings &s);

} // namespace lumo
