// One LumoEdit per display session, also after the first one crashed or was killed.

#include "app/singleinstance.h"

#include <QDir>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace lumo;

class TestSingleInstance : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void secondGuardFails()
    {
        QTemporaryDir dir;
        SingleInstance first(QStringLiteral("TLumoMainForm"), dir.path());
        QVERIFY(first.acquire());
        SingleInstance second(QStringLiteral("TLumoMainForm"), dir.path());
        QVERIFY(!second.acquire());
        SingleInstance otherKey(QStringLiteral("SomethingElse"), dir.path());
        QVERIFY(otherKey.acquire());
    }

    void staleGuardOfACrashedInstanceIsTakenOver()
    {
        QTemporaryDir dir;
        SingleInstance probe(QStringLiteral("TLumoMainForm"), dir.path());
        // A lock file whose process is long gone, as a crash leaves it.
        QFile f(probe.lockPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("999999\nlumoedit\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        f.close();
        SingleInstance next(QStringLiteral("TLumoMainForm"), dir.path());
        QVERIFY(next.acquire());
    }

    void aLockFileNamingThisVeryProcessDoesNotBlock()
    {
        // What a killed instance leaves when the new process gets its
        // process id again (a new PID namespace, a restarted Wine): the file
        // names a live process of the same name, this one. Only a lock that
        // is really held may block.
        QTemporaryDir dir;
        SingleInstance probe(QStringLiteral("TLumoMainForm"), dir.path());
        QFile f(probe.lockPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n'
                + QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8() + '\n'
                + QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() + '\n');
        f.close();
        SingleInstance next(QStringLiteral("TLumoMainForm"), dir.path());
        QVERIFY(next.acquire());
        SingleInstance another(QStringLiteral("TLumoMainForm"), dir.path());
        QVERIFY(!another.acquire());
    }

    void oneInstancePerDisplaySession()
    {
        const QByteArray wayland = qgetenv("WAYLAND_DISPLAY"), x = qgetenv("DISPLAY");
        auto guard = [](const char *waylandDisplay, const char *xDisplay, const QString &dir) {
            qputenv("WAYLAND_DISPLAY", waylandDisplay);
            qputenv("DISPLAY", xDisplay);
            return std::make_unique<SingleInstance>(QStringLiteral("TLumoMainForm"), dir);
        };
        QTemporaryDir dir;
        auto onX5 = guard("", ":5", dir.path());
        QVERIFY(onX5->acquire());
        QVERIFY(!guard("", ":5.0", dir.path())->acquire()); // the same display, screen 0
        auto onX6 = guard("", ":6", dir.path());
        QVERIFY(onX6->acquire());
        auto remote = guard("", "localhost:5.0", dir.path());
        QVERIFY(remote->acquire());
        // Under Wayland the session's Xwayland display does not make it another session.
        auto onWayland = guard("wayland-1", ":5", dir.path());
        QVERIFY(onWayland->acquire());
        QVERIFY(!guard("wayland-1", ":7", dir.path())->acquire());
        qputenv("WAYLAND_DISPLAY", wayland);
        qputenv("DISPLAY", x);
    }

    void secondStartEndsAtOnceWithoutTouchingTheFirst()
    {
        QTemporaryDir runtime;
        QTemporaryDir exeDir;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // Both run from a scratch copy so no settings file is written beside the build.
        const QString exe = exeDir.filePath(QStringLiteral("lumoedit"));
        QVERIFY(QFile::copy(QStringLiteral(LUMOEDIT_BINARY), exe));
        QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QProcess first;
        first.setProcessEnvironment(env);
        first.start(exe, {});
        QVERIFY(first.waitForStarted());
        // Give the first instance time to take the guard.
        QTRY_VERIFY_WITH_TIMEOUT(QDir(runtime.path()).entryList({"TLumoMainForm-*.lock"}, QDir::Files).size() == 1,
                                 10000);

        QProcess second;
        second.setProcessEnvironment(env);
        QElapsedTimer timer;
        timer.start();
        second.start(exe, {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(timer.elapsed() < 10000);
        QCOMPARE(first.state(), QProcess::Running);

        // Killed, the first leaves its file behind; the next start runs.
        first.kill();
        QVERIFY(first.waitForFinished(5000));
        QProcess third;
        third.setProcessEnvironment(env);
        third.start(exe, {});
        QVERIFY(third.waitForStarted());
        QVERIFY(!third.waitForFinished(3000));
        third.kill();
        third.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_singleinstance.moc"
