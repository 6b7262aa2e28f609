#include "app/lumoxunit.h"
#include "app/platform.h"
#include "app/singleinstance.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // A second start ends at once, without a window and without touching the first.
    lumo::SingleInstance instance(lumo::kMainWindowClass);
    if (!instance.acquire())
        return 0;
    lumo::setUpApplication();

    lumo::PlatformBackends backends;
    lumo::TLumoMainForm form;
    // At once, so that a second start from now on finds this instance.
    lumo::createMainWindow(&form, lumo::kMainWindowClass);
    form.show();
    return app.exec();
}
