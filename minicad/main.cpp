// minicad: the CAD host. For now it serves its drawing on the session bus
// without a window.

#include "minicad/model/drawing.h"
#include "minicad/server/server.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("minicad"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A small CAD host that publishes its drawing over D-Bus."));
    parser.addHelpOption();
    const QCommandLineOption progIdOption(QStringLiteral("progid"),
                                          QStringLiteral("The ProgID to publish (default BricscadApp.AcadApplication)."),
                                          QStringLiteral("progid"), QStringLiteral("BricscadApp.AcadApplication"));
    const QCommandLineOption headlessOption(QStringLiteral("headless"), QStringLiteral("Run without a window."));
    parser.addOption(progIdOption);
    parser.addOption(headlessOption);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A drawing to open (JSON)."), QStringLiteral("[file]"));
    parser.process(app);

    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        std::fprintf(stderr, "minicad: only one drawing can be opened\n");
        return 2;
    }

    auto drawing = std::make_shared<minicad::Drawing>();
    if (!files.isEmpty()) {
        try {
            drawing->loadFile(files.first());
        } catch (const std::exception &e) {
            std::fprintf(stderr, "minicad: cannot open %s: %s\n", qPrintable(files.first()), e.what());
            return 1;
        }
    }

    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "minicad: no session bus: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    minicad::MiniCadServer server(drawing);
    QString error;
    if (!server.start(bus, parser.value(progIdOption), &error)) {
        std::fprintf(stderr, "minicad: %s\n", qPrintable(error));
        return 1;
    }
    if (!parser.isSet(headlessOption))
        std::fprintf(stderr, "minicad: this build has no drawing window; serving without one\n");
    std::fprintf(stderr, "minicad: serving %s as %s on the session bus\n", qPrintable(parser.value(progIdOption)),
                 qPrintable(server.busName()));
    return app.exec();
}
