// minicad-com: minicad's drawings served over COM, without a window.
//   minicad-com [--progid P] [drawing.dxf | drawing.json]
// Serves until it is closed (Ctrl+C, or the end of the session).

#include "protocol/win32/comdispatch.h"
#include "minicad/com/comhost.h"
#include "minicad/dxf/dxffile.h"
#include "minicad/host/session.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QMetaObject>

#include <cstdio>
#include <memory>

namespace {

BOOL WINAPI consoleClosing(DWORD)
{
    // Another thread: the event loop is asked to end, the host then revokes its objects.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    return TRUE;
}

} // namespace

int main(int argc, char *argv[])
{
    // Calls arrive through the apartment's window messages, which Qt's event loop dispatches.
    cad::win32::ComApartment apartment;
    if (!apartment.ok()) {
        std::fprintf(stderr, "minicad-com: cannot enter a COM apartment\n");
        return 1;
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("minicad-com"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("minicad's drawing served as a COM automation server."));
    parser.addHelpOption();
    const QCommandLineOption progIdOption(QStringLiteral("progid"),
                                          QStringLiteral("The ProgID to serve (default BricscadApp.AcadApplication)."),
                                          QStringLiteral("progid"), QStringLiteral("BricscadApp.AcadApplication"));
    parser.addOption(progIdOption);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A drawing to open (DXF, or JSON)."),
                                 QStringLiteral("[file]"));
    parser.process(app);

    int exitCode = 0;
    const auto drawing = minicad::openStartDrawing(parser.positionalArguments(), "minicad-com", &exitCode);
    if (!drawing)
        return exitCode;
    const auto session = std::make_shared<minicad::Session>();
    session->add(drawing);

    minicad::com::ComHost host(session);
    QString error;
    const QString progId = parser.value(progIdOption);
    if (!host.start(progId, &error)) {
        std::fprintf(stderr, "minicad-com: %s\n", qPrintable(error));
        return 1;
    }
    SetConsoleCtrlHandler(consoleClosing, TRUE);
    std::fprintf(stderr, "minicad-com: serving %s as %s\n", qPrintable(progId), qPrintable(host.classIdText()));
    const int rc = app.exec();
    host.stop();
    return rc;
}
