// minicad: the CAD host. It shows its drawings in a window, one tab each
// (or runs without one with --headless), and serves them on the session bus.

#include "minicad/dxf/dxffile.h"
#include "minicad/host/session.h"
#include "minicad/server/server.h"
#include "minicad/view/mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char *argv[])
{
    // Without a window there is no display to need: the application object
    // is chosen before the options are parsed.
    bool headless = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--headless") == 0)
            headless = true;
    // Qt would abort without a display; say what to do instead.
    if (!headless && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "minicad: there is no display (DISPLAY is not set); run it with --headless to serve "
                             "the drawing without a window\n");
        return 2;
    }
    std::unique_ptr<QCoreApplication> application;
    if (headless)
        application = std::make_unique<QCoreApplication>(argc, argv);
    else
        application = std::make_unique<QApplication>(argc, argv);
    QCoreApplication &app = *application;
    QCoreApplication::setApplicationName(QStringLiteral("minicad"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A small CAD host that publishes its drawings over D-Bus."));
    parser.addHelpOption();
    const QCommandLineOption progIdOption(QStringLiteral("progid"),
                                          QStringLiteral("The ProgID to publish (default BricscadApp.AcadApplication)."),
                                          QStringLiteral("progid"), QStringLiteral("BricscadApp.AcadApplication"));
    const QCommandLineOption headlessOption(QStringLiteral("headless"), QStringLiteral("Run without a window."));
    parser.addOption(progIdOption);
    parser.addOption(headlessOption);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A drawing to open (DXF, or JSON)."), QStringLiteral("[file]"));
    parser.process(app);

    int exitCode = 0;
    const auto drawing = minicad::openStartDrawing(parser.positionalArguments(), "minicad", &exitCode);
    if (!drawing)
        return exitCode;

    const auto session = std::make_shared<minicad::Session>();
    session->add(drawing);

    minicad::quitOnTerminationSignals();
    minicad::MiniCadServer server(session);
    QString error;
    if (!server.start(parser.value(progIdOption), &error)) {
        std::fprintf(stderr, "minicad: %s\n", qPrintable(error));
        return 1;
    }
    std::unique_ptr<minicad::MainWindow> window;
    if (!parser.isSet(headlessOption)) {
        window = std::make_unique<minicad::MainWindow>(session);
        window->show();
    }
    std::fprintf(stderr, "minicad: serving %s as %s on the session bus\n", qPrintable(parser.value(progIdOption)),
                 qPrintable(server.busName()));
    return app.exec();
}
