#pragma once
// A small Dispatch tree served by minicad's ObjectServer on its own bus
// connection and thread, so the client proxies can call it with blocking
// calls from the test thread. It may offer a peer-to-peer address too.

#include "protocol/automation.h"
#include "minicad/server/objectserver.h"

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

namespace fake {

inline std::atomic<int> liveChildren{0};

class Child : public cad::Dispatch {
public:
    explicit Child(cad::Object *app) : m_app(app) { ++liveChildren; }
    ~Child() override { --liveChildren; }
    QVariant invoke(const QString &member, cad::InvokeKind kind, QVariantList &args) override
    {
        if (cad::sameMember(member, "Value") && kind == cad::InvokeKind::PropertyGet)
            return m_value;
        if (cad::sameMember(member, "Value") && kind == cad::InvokeKind::PropertyPut) {
            if (args.size() != 1 || args.at(0).metaType().id() != QMetaType::Int)
                throw cad::AutomationError(QStringLiteral("Type mismatch"));
            m_value = args.at(0).toInt();
            return {};
        }
        if (cad::sameMember(member, "Application"))
            return cad::fromObject(*m_app);
        throw cad::AutomationError(QStringLiteral("Unknown name: %1").arg(member));
    }

private:
    cad::Object *m_app;
    int m_value = 0;
};

// Members: Name (get), Caption (get/put), Echo (returns its first argument
// and writes "changed" into its second), Child (the same child each time),
// NewChild (a new one each call), Children (a variant array of three new
// ones), Fail (automation error), Throw (std::exception), SelectOnScreen
// (answered from `pickAnswers`: true = picked, false = cancelled).
class App : public cad::Dispatch {
public:
    QVariant invoke(const QString &member, cad::InvokeKind kind, QVariantList &args) override
    {
        ++calls;
        if (cad::sameMember(member, "Name"))
            return QStringLiteral("FakeCAD");
        if (cad::sameMember(member, "Caption")) {
            if (kind == cad::InvokeKind::PropertyPut) {
                caption = args.value(0).toString();
                return {};
            }
            return caption;
        }
        if (cad::sameMember(member, "Echo")) {
            if (args.size() > 1)
                args[1] = QStringLiteral("changed");
            return args.value(0);
        }
        if (cad::sameMember(member, "Child")) {
            if (!child)
                child = std::make_shared<Child>(&self);
            return cad::fromObject(child);
        }
        if (cad::sameMember(member, "NewChild"))
            return cad::fromObject(std::make_shared<Child>(&self));
        if (cad::sameMember(member, "Children")) {
            QVariantList out;
            for (int i = 0; i < 3; ++i)
                out.append(cad::fromObject(std::make_shared<Child>(&self)));
            return out;
        }
        if (cad::sameMember(member, "Fail"))
            throw cad::AutomationError(QStringLiteral("It failed"));
        if (cad::sameMember(member, "Throw"))
            throw std::runtime_error("plain exception");
        if (cad::sameMember(member, "WaitNested")) {
            // Waits for the user the way the drawing does: in a nested event loop.
            QEventLoop loop;
            nestedLoop = &loop;
            QTimer::singleShot(10000, &loop, &QEventLoop::quit);
            loop.exec();
            nestedLoop = nullptr;
            return QStringLiteral("answered");
        }
        if (cad::sameMember(member, "SelectOnScreen")) {
            if (pickAnswers.isEmpty())
                throw cad::AutomationError(QStringLiteral("Nobody answered the pick"));
            if (!pickAnswers.takeFirst())
                throw cad::AutomationError(QStringLiteral("The pick was cancelled"));
            ++picks;
            return {};
        }
        throw cad::AutomationError(QStringLiteral("Unknown name: %1").arg(member));
    }

    cad::Object self; // set by the harness; children hand it back
    cad::Object child;
    QString caption = QStringLiteral("untitled");
    QList<bool> pickAnswers;
    int picks = 0;
    int calls = 0;
    QEventLoop *nestedLoop = nullptr;
};

// The server side, living on its own thread with its own connection.
class ServerThread {
public:
    explicit ServerThread(const QString &busName, bool peerToPeer = false) : m_busName(busName)
    {
        m_thread.start();
        m_context = new QObject;
        m_context->moveToThread(&m_thread);
        run([this, peerToPeer] {
            m_app = std::make_shared<App>();
            m_app->self = m_app;
            m_server = new minicad::ObjectServer(m_app);
            m_server->setPickReady([this] { return !m_app->pickAnswers.isEmpty(); });
            QString error;
            m_bus = minicad::BusLink::openBus({}, &error);
            m_ok = m_bus && m_server->exportOn(m_bus, &error)
                && dbus_bus_request_name(m_bus->get(), m_busName.toUtf8().constData(), DBUS_NAME_FLAG_DO_NOT_QUEUE,
                                         nullptr)
                       == DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER
                && (!peerToPeer || m_server->offerPeerToPeer(&error));
            if (m_bus)
                m_uniqueName = m_bus->uniqueName();
        });
    }
    ~ServerThread()
    {
        run([this] {
            delete m_server;
            delete m_bus;
            m_app->self.reset();
            m_app->child.reset();
            m_app.reset();
        });
        m_context->deleteLater();
        m_thread.quit();
        m_thread.wait();
    }

    bool ok() const { return m_ok; }
    QString uniqueName() const { return m_uniqueName; }

    // Runs `f` on the server thread and waits for it.
    void run(const std::function<void()> &f)
    {
        QMetaObject::invokeMethod(m_context, f, Qt::BlockingQueuedConnection);
    }
    // Runs `f` on the server thread without waiting.
    void post(const std::function<void()> &f) { QMetaObject::invokeMethod(m_context, f, Qt::QueuedConnection); }

    // Server state, read on its thread.
    template <typename T>
    T read(const std::function<T()> &f)
    {
        T value{};
        run([&] { value = f(); });
        return value;
    }
    minicad::ObjectServer *server() { return m_server; }
    std::shared_ptr<App> app() { return m_app; }

private:
    QString m_busName;
    QThread m_thread;
    QObject *m_context = nullptr;
    std::shared_ptr<App> m_app;
    minicad::ObjectServer *m_server = nullptr;
    minicad::BusLink *m_bus = nullptr;
    bool m_ok = false;
    QString m_uniqueName;
};

} // namespace fake
