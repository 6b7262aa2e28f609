#include "app/lumoxunit.h"
#include "app/platform.h"
#include "app/singleinstance.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // A second start ends at once, without a window and without touching the first.
    lumo::SingleInstance instance;
    if (!instance.acquire())
        return 0;
    QApplication::setApplicationName(QStringLiteral("LumoEdit"));
    QApplication::setApplicationDisplayName(lumo::kApplicationTitle);

    lumo::PlatformBackends backends;
    lumo::TLumoMainForm form;
    form.show();
    return app.exec();
}
