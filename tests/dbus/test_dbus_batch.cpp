// Pipelined batches against minicad as a child process: the search of the
// real main window over D-Bus when one entity cannot be read or "中止" is
// pressed while a batch is out, a host that dies mid-batch, and a client
// that leaves mid-batch.

#include "common/formfixture.h"
#include "cad/batch.h"
#include "cad/connection.h"
#include "cad/dbus/dbusobjects.h"
#include "protocol/dbus/wire.h"
#include "cad/messagefilter.h"
#include "minicad/model/drawing.h"
#include "searchtab/lumo2.h"
#include "widgets/stringgrid.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <dbus/dbus.h>

#include <csignal>

#include <thread>

using cad::AutomationError;

namespace {

const QString kProgId = QStringLiteral("LumoBatch.Application.1");
const QString kBusName = QStringLiteral("LumoBatch.Application._1");
constexpr int kTexts = 20000;

QString textName(int i)
{
    return QStringLiteral("T%1").arg(i, 5, 10, QLatin1Char('0'));
}

} // namespace

class TestDBusBatch : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QProcess m_minicad;
    QStringList m_handles;

    QDBusMessage testing(const QString &method, const QVariantList &args = {})
    {
        QDBusMessage m = QDBusMessage::createMethodCall(kBusName, QLatin1String(cad::wire::kTestingPath),
                                                        QLatin1String(cad::wire::kTestingInterface), method);
        m.setArguments(args);
        return QDBusConnection::sessionBus().call(m);
    }
    int referenceCount(const QString &client)
    {
        return testing(QStringLiteral("ReferenceCount"), {client}).arguments().value(0).toInt();
    }
    int objectCount() { return testing(QStringLiteral("ObjectCount")).arguments().value(0).toInt(); }

    // The search of the main window over D-Bus; `during` runs at each turn
    // of the event loop while it runs.
    struct Search {
        cad::DBusRunningObjects objects;
        cad::RecordingWindowOps windows;
        testing::FormFixture form;
        Search()
        {
            cad::setPlatform(&objects, &windows);
            cad::targetProgID() = kProgId;
            lumo::searchArray.clear();
            form->show();
            form->PageControl1->setCurrentIndex(2);
        }
        ~Search() { cad::setPlatform(nullptr, nullptr); }
        void run(const std::function<void()> &during)
        {
            QTimer probe;
            probe.setInterval(0);
            QObject::connect(&probe, &QTimer::timeout, during);
            probe.start();
            form->Edit3->setText(QString());
            form->SpeedButton14->click();
        }
        QString label() { return form->Label5->text(); }
    };

private slots:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
        minicad::Drawing drawing;
        for (int i = 0; i < kTexts; ++i)
            m_handles << drawing.addText(QStringLiteral("0"), textName(i), {double(i), 0, 0});
        const QString file = m_dir.filePath(QStringLiteral("texts.json"));
        drawing.saveFile(file);
        m_minicad.setProcessChannelMode(QProcess::ForwardedChannels);
        m_minicad.start(QStringLiteral(MINICAD_PATH), {QStringLiteral("--progid"), kProgId, QStringLiteral("--headless"), file});
        QVERIFY(m_minicad.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(cad::DBusRunningObjects().isRunning(kProgId), 20000);
    }
    void cleanupTestCase()
    {
        m_minicad.terminate();
        m_minicad.waitForFinished();
    }

    // "中止" while reading: the reading ends at the next batch at the latest,
    // long before the rest of the drawing would have been read.
    void stopWhileBatchesAreOut()
    {
        Search s;
        QElapsedTimer clock;
        clock.start();
        qint64 readingBegan = -1;
        qint64 stoppedAt = -1;
        const QString tenth = QStringLiteral("%1 / %2").arg(kTexts / 10 + 1).arg(kTexts);
        s.run([&] {
            if (readingBegan < 0 && s.label().endsWith(QStringLiteral(" / %1").arg(kTexts)))
                readingBegan = clock.elapsed();
            if (stoppedAt < 0 && s.label() == tenth) {
                QCOMPARE(s.form->SpeedButton14->text(), QStringLiteral("中止"));
                stoppedAt = clock.elapsed();
                s.form->SpeedButton14->click();
            }
        });
        const qint64 afterStop = clock.elapsed() - stoppedAt;
        QVERIFY(stoppedAt >= 0);
        QVERIFY(lumo::searchArray.isEmpty());
        QCOMPARE(s.form->StringGrid2->rowCount(), 1);
        QCOMPARE(s.form->SpeedButton14->text(), QStringLiteral("検索"));
        QVERIFY(!s.form->runFlag);
        // A tenth took stoppedAt - readingBegan; the other nine tenths were not read.
        QVERIFY2(afterStop < std::max<qint64>(stoppedAt - readingBegan, 50),
                 qPrintable(QStringLiteral("%1 ms after the stop, %2 ms for a tenth")
                                .arg(afterStop)
                                .arg(stoppedAt - readingBegan)));
        QTRY_COMPARE(referenceCount(s.objects.uniqueName()), 0);
    }

    // A TEXT erased by another client once the reading has begun: its reads
    // fail inside a batch, it alone is left out, and nothing is reported.
    void searchLeavesOutOnlyTheEntityThatCannotBeRead()
    {
        const QString victim = m_handles[kTexts / 2];
        cad::DBusRunningObjects other;
        const cad::Document otherDoc = cad::Application(other.attach(kProgId)).activeDocument();
        bool erased = false;
        {
            Search s;
            // While reading, the window answers between batches: its longest
            // silence is a small part of the reading, not the reading itself.
            QElapsedTimer clock;
            qint64 last = 0;
            qint64 longest = 0;
            qint64 readingEnded = -1;
            s.run([&] {
                const bool reading = s.label().endsWith(QStringLiteral(" / %1").arg(kTexts));
                if (!erased && s.label() == QStringLiteral("1 / %1").arg(kTexts)) {
                    otherDoc.handleToObject(victim).erase();
                    erased = true;
                    clock.start();
                } else if (erased && reading) {
                    longest = std::max(longest, clock.elapsed() - last);
                } else if (erased && readingEnded < 0) {
                    readingEnded = clock.elapsed();
                }
                last = clock.isValid() ? clock.elapsed() : 0;
            });
            QVERIFY(erased);
            QVERIFY2(longest * 5 < readingEnded,
                     qPrintable(QStringLiteral("%1 ms without events in %2 ms of reading").arg(longest).arg(readingEnded)));
            QCOMPARE(s.form.messages.texts(), QStringList());
            QCOMPARE(lumo::searchArray.size(), kTexts - 1);
            for (int i = 0, h = 0; i < kTexts - 1; ++i, ++h) {
                if (m_handles[h] == victim)
                    ++h;
                QCOMPARE(lumo::searchArray[i].sHnd, m_handles[h]);
                QCOMPARE(lumo::searchArray[i].text, textName(h));
                QCOMPARE(lumo::searchArray[i].insPt.x, double(h));
            }
            // Everything the batches handed out was given back.
            QTRY_COMPARE(referenceCount(s.objects.uniqueName()), 0);
        }
    }

    // A host busy with another client's pick answers the whole batch busy:
    // it goes again every second until the pick is answered, and then every
    // call has its own answer.
    void busyBatchIsRetriedEverySecond()
    {
        std::thread pickThread([&] {
            const cad::Document doc(cad::Application(cad::DBusRunningObjects().attach(kProgId)).activeDocument());
            const cad::SelectionSet set = doc.addSelectionSet(QStringLiteral("WAITING"));
            set.selectOnScreen({0}, {QStringLiteral("TEXT")});
            set.erase();
        });
        QTRY_VERIFY(testing(QStringLiteral("PickWaiting")).arguments().value(0).toBool());
        QList<int> sleeps;
        cad::setRetrySleeper([&](int ms) {
            sleeps << ms;
            if (sleeps.size() == 2)
                testing(QStringLiteral("QueuePick"), {QStringList{m_handles[0]}});
        });
        cad::DBusRunningObjects objects;
        const cad::Document doc = cad::Application(objects.attach(kProgId)).activeDocument();
        cad::ReadBatch batch;
        QList<cad::Pending<cad::Entity>> entities;
        for (int i = 0; i < 300; ++i)
            entities << batch.handleToObject(doc, m_handles[i]);
        batch.run();
        cad::setRetrySleeper({});
        pickThread.join();
        QCOMPARE(sleeps, (QList<int>{1000, 1000}));
        for (int i = 0; i < 300; ++i)
            QCOMPARE(batch.value(entities[i]).handle(), m_handles[i]);
    }

    // The host dies while a batch is out: the calls answered before keep
    // their answers, every later one fails as gone, with the message a
    // single call to the dead host gives, and the batch does not hang.
    void hostDyingMidBatch()
    {
        const QString progId = QStringLiteral("LumoBatch.Doomed");
        QProcess doomed;
        doomed.start(QStringLiteral(MINICAD_PATH), {QStringLiteral("--progid"), progId, QStringLiteral("--headless")});
        QVERIFY(doomed.waitForStarted());
        cad::DBusRunningObjects objects;
        QTRY_VERIFY_WITH_TIMEOUT(objects.isRunning(progId), 20000);
        const cad::Object app = objects.attach(progId);
        QCOMPARE(app->get(QStringLiteral("Name")).toString(), QStringLiteral("minicad"));

        cad::Batch batch;
        const int calls = 100000;
        for (int i = 0; i < calls; ++i)
            batch.add(app, QStringLiteral("Name"), cad::InvokeKind::PropertyGet);
        const qint64 pid = doomed.processId();
        std::thread killer([pid] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ::kill(pid_t(pid), SIGKILL);
        });
        QElapsedTimer clock;
        clock.start();
        batch.run();
        killer.join();
        doomed.waitForFinished();
        QVERIFY2(clock.elapsed() < 10000, "the batch waited for answers that never come");

        int firstFailure = -1;
        for (int i = 0; i < calls && firstFailure < 0; ++i)
            if (batch.failed(i))
                firstFailure = i;
        QVERIFY2(firstFailure > 0, "the host died before or after the whole batch");
        for (int i = 0; i < firstFailure; ++i)
            QCOMPARE(batch.value(i).toString(), QStringLiteral("minicad"));
        for (int i = firstFailure; i < calls; ++i) {
            QVERIFY(batch.failed(i));
            QCOMPARE(batch.call(i).error->kind(), AutomationError::Kind::Gone);
        }
        try {
            app->get(QStringLiteral("Name"));
            QFAIL("a call to a dead host succeeded");
        } catch (const AutomationError &e) {
            QCOMPARE(e.kind(), AutomationError::Kind::Gone);
            QCOMPARE(batch.call(calls - 1).error->message(), e.message());
        }
    }

    // A client that sends a batch and leaves before the answers come: the
    // host drops every reference the calls handed it.
    void clientLeavingMidBatchLeaksNothing()
    {
        const int before = objectCount();
        DBusError error;
        dbus_error_init(&error);
        DBusConnection *c = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
        QVERIFY(c);
        dbus_connection_set_exit_on_disconnect(c, false);
        const QString leaver = QString::fromUtf8(dbus_bus_get_unique_name(c));
        const QByteArray service = kBusName.toUtf8();
        for (int i = 0; i < 2000; ++i) {
            DBusMessage *m = dbus_message_new_method_call(service.constData(), cad::wire::kApplicationPath,
                                                          cad::wire::kAutomationInterface, "Invoke");
            DBusMessageIter it;
            DBusMessageIter args;
            const char *member = "ActiveDocument";
            const dbus_int32_t kind = int(cad::InvokeKind::PropertyGet);
            dbus_message_iter_init_append(m, &it);
            dbus_message_iter_append_basic(&it, DBUS_TYPE_STRING, &member);
            dbus_message_iter_append_basic(&it, DBUS_TYPE_INT32, &kind);
            dbus_message_iter_open_container(&it, DBUS_TYPE_ARRAY, "v", &args);
            dbus_message_iter_close_container(&it, &args);
            dbus_connection_send(c, m, nullptr);
            dbus_message_unref(m);
        }
        dbus_connection_flush(c);
        // Some answers are on their way back: the host has handed references out.
        QTRY_VERIFY(referenceCount(leaver) > 0);
        dbus_connection_close(c);
        dbus_connection_unref(c);
        QTRY_COMPARE(referenceCount(leaver), 0);
        QTRY_COMPARE(objectCount(), before);
    }
};

QTEST_MAIN(TestDBusBatch)
#include "test_dbus_batch.moc"
