#pragma once
// The main window on scratch files, with message boxes recorded.

#include "app/lumoxunit.h"
#include "widgets/messagebox.h"

#include <QCheckBox>
#include <QTemporaryDir>
#include <QTimer>

namespace testing {

struct FormFixture {
    QTemporaryDir dir;
    widgets::MessageRecorder messages;
    std::unique_ptr<lumo::TLumoMainForm> form;

    FormFixture()
    {
        lumo::FilePaths p;
        p.settings = dir.filePath(QStringLiteral("LumoEdit.ini"));
        p.targetCadList = dir.filePath(QStringLiteral("TargetCAD_APIVersion.txt"));
        p.textTagList = dir.filePath(QStringLiteral("LumoEditTagList.txt"));
        p.tagSetList = dir.filePath(QStringLiteral("LumoEdit2ATagList.txt"));
        form = std::make_unique<lumo::TLumoMainForm>(p);
        form->Timer1->stop(); // ticks are run by hand where a test needs them
    }
    lumo::TLumoMainForm &operator*() { return *form; }
    lumo::TLumoMainForm *operator->() { return form.get(); }
};

} // namespace testing
