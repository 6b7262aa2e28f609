// The COM host's class identifiers: name-based, so every start under a
// ProgID registers the same class, and the ProgIDs it refuses.

#include "minicad/com/classid.h"

#include <QtTest>

using namespace minicad::com;

class TestClassId : public QObject {
    Q_OBJECT

private slots:
    void derivedFromTheName()
    {
        // Expected values from Python's uuid.uuid5 with the host's namespace.
        QCOMPARE(classIdForProgId(QStringLiteral("BricscadApp.AcadApplication")),
                 QUuid(QStringLiteral("{fbe9ac2b-a0c1-5745-811f-276b56f8bfd9}")));
        QCOMPARE(classIdForProgId(QStringLiteral("LumoTest.ComHost")),
                 QUuid(QStringLiteral("{22b26ed0-aef7-5fb4-b9e9-4f3b687f1730}")));
        QCOMPARE(classIdForProgId(testingProgId(QStringLiteral("BricscadApp.AcadApplication"))),
                 QUuid(QStringLiteral("{337c6585-f4f4-59c2-8c9f-f2dbeaffc981}")));
        // The registry ignores letter case, so does the class.
        QCOMPARE(classIdForProgId(QStringLiteral("BRICSCADAPP.acadapplication")),
                 classIdForProgId(QStringLiteral("BricscadApp.AcadApplication")));
        QCOMPARE(classIdForProgId(QStringLiteral("A.B")).version(), QUuid::Sha1);
    }

    void unusableProgIds_data()
    {
        QTest::addColumn<QString>("progId");
        QTest::addColumn<bool>("usable");
        QTest::newRow("built-in") << QStringLiteral("BricscadApp.AcadApplication") << true;
        QTest::newRow("versioned") << QStringLiteral("AutoCAD.Application.24") << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("space") << QStringLiteral("My App") << false;
        QTest::newRow("backslash") << QStringLiteral("My\\App") << false;
        QTest::newRow("digit first") << QStringLiteral("1App") << false;
        QTest::newRow("non-ASCII") << QStringLiteral("図面.App") << false;
        // 32 characters: with ".Testing" the testing object's ProgID would pass 39.
        QTest::newRow("too long for the testing object") << QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ.12345") << false;
        QTest::newRow("just fits") << QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ.1234") << true;
    }
    void unusableProgIds()
    {
        QFETCH(QString, progId);
        QFETCH(bool, usable);
        const QString problem = progIdProblem(progId);
        QCOMPARE(problem.isEmpty(), usable);
    }
};

QTEST_GUILESS_MAIN(TestClassId)
#include "tst_classid.moc"
