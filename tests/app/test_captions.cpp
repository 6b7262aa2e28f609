// The title bars show exactly the windows' captions: Qt appends the
// application's display name to every native title when one is set.

#include "app/platform.h"
#include "app/targetcadform.h"
#include "common/formfixture.h"
#include "../minicadview/x11probe.h"
#include "x11title.h"

#include <QApplication>
#include <QTest>

class TestCaptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void titleBarsShowTheCaptionsAlone()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("no X server could be started");
        lumo::setUpApplication();
        testing::FormFixture form;
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.form.get()));
        QTRY_COMPARE(x11title::netWmName(form->winId()), QStringLiteral("LumoEdit"));
        form->setWindowTitle(QStringLiteral("LumoEdit [ LumoTest server ]"));
        QTRY_COMPARE(x11title::netWmName(form->winId()), QStringLiteral("LumoEdit [ LumoTest server ]"));
        form->TargetCADForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(form->TargetCADForm));
        QTRY_COMPARE(x11title::netWmName(form->TargetCADForm->winId()), QStringLiteral("ターゲット CAD"));
        form->TargetCADForm->hide();
    }
};

int main(int argc, char **argv)
{
    // On xcb against an X server of its own: offscreen windows have no title bar.
    x11probe::Xvfb xvfb;
    QString why;
    if (xvfb.start(&why)) {
        qputenv("DISPLAY", xvfb.display().toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    TestCaptions test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_captions.moc"
