// One LumoEdit per user, also after the first one crashed.

#include "app/singleinstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

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
        first.terminate();
        if (!first.waitForFinished(5000)) {
            first.kill();
            first.waitForFinished();
        }
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_singleinstance.moc"
