#pragma once
// Publishes a tree of automation objects on D-Bus: the application object at
// /Application, every other object handed out at /obj/<n>, one interface
// (org.lumoedit.Automation: Invoke, Release). References are counted per
// client and dropped when the client leaves the bus. While a SelectOnScreen
// waits for its answer every other Invoke is answered with the busy error.
//
// It knows nothing of the drawing: whether an on-screen pick can be answered
// now is asked through the pick-ready predicate, so tests can drive it with
// any Dispatch tree.

#include "cad/automation.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QHash>
#include <QSet>

#include <functional>
#include <optional>

namespace minicad {

class ObjectServer : public QDBusVirtualObject {
    Q_OBJECT
public:
    explicit ObjectServer(cad::Object application, QObject *parent = nullptr);
    ~ObjectServer() override;

    // Registers the object tree (every path) on the connection and starts
    // watching clients leave. False with a reason when the tree cannot be
    // registered.
    bool exportOn(const QDBusConnection &connection, QString *error = nullptr);
    void unexport();

    // True when SelectOnScreen can be answered now; without one, always true.
    void setPickReady(std::function<bool()> ready);
    // Answers a waiting SelectOnScreen when the predicate now holds.
    void resumePick();
    bool pickWaiting() const { return m_parked.has_value(); }

    // Another path handled by the same tree (the testing interface).
    using PathHandler = std::function<void(const QDBusMessage &, const QDBusConnection &)>;
    void addPath(const QString &path, const QString &introspectionXml, PathHandler handler);

    // Bookkeeping, for tests and the testing interface.
    int objectCount() const { return int(m_objects.size()); }
    int referenceCount(const QString &client) const;
    int clientCount() const { return int(m_byClient.size()); }

    // Drops every reference the client holds and its waiting pick.
    void dropClient(const QString &client);
    // Lets go of every object handed out so far (another drawing replaced
    // the one they belong to): their paths answer "failed" from now on.
    void retireAll();

    // The child nodes of a path among the paths served now, for
    // introspection ("Application", "Testing", "obj" under "/").
    QStringList childNodes(const QString &path) const;

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

signals:
    void pickWaitingChanged(bool waiting);

private slots:
    void nameOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);

private:
    struct Exported {
        cad::Object object;
        QHash<QString, int> holders; // client -> references
    };
    struct Parked {
        QDBusMessage message;
        QDBusConnection connection;
        cad::Object target;
        QString member;
        cad::InvokeKind kind;
        QVariantList args;
    };

    void handleInvoke(const QDBusMessage &message, const QDBusConnection &connection);
    void handleRelease(const QDBusMessage &message, const QDBusConnection &connection);
    void perform(const QDBusMessage &message, const QDBusConnection &connection, const cad::Object &target,
                 const QString &member, cad::InvokeKind kind, QVariantList &args);
    cad::Object objectAt(const QString &path) const; // throws AutomationError (Gone)
    QString hand(const cad::Object &object, const QString &client, QList<quint64> &handed);
    void releaseOne(quint64 id, const QString &client);

    cad::Object m_application;
    std::function<bool()> m_pickReady;
    std::optional<Parked> m_parked;
    int m_performing = 0; // > 0 inside an automation call
    QHash<QString, std::pair<QString, PathHandler>> m_paths;

    QHash<quint64, Exported> m_objects;
    QHash<const cad::Dispatch *, quint64> m_byPointer;
    QHash<QString, QSet<quint64>> m_byClient;
    quint64 m_nextId = 1;
    quint64 m_retiredBelow = 1; // ids below this one were handed out before retireAll()

    std::optional<QDBusConnection> m_connection;
};

} // namespace minicad
