#pragma once
// Publishes a tree of automation objects on D-Bus: the application object at
// /Application, every other object handed out at /obj/<n>, one interface
// (org.lumoedit.Automation: Invoke, Release, PeerAddress). References are
// counted per client and dropped when the client leaves (the bus says so, or
// its peer connection closes). While a SelectOnScreen waits for its answer
// every other Invoke is answered with the busy error.
//
// Calls are served on the thread that owns the objects (see buslink.h).
// It knows nothing of the drawing: whether an on-screen pick can be answered
// now is asked through the pick-ready predicate, so tests can drive it with
// any Dispatch tree.

#include "protocol/automation.h"
#include "minicad/server/buslink.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>

#include <functional>
#include <optional>

namespace minicad {

class ObjectServer : public QObject {
    Q_OBJECT
public:
    explicit ObjectServer(cad::Object application, QObject *parent = nullptr);
    ~ObjectServer() override;

    // Serves the object tree on the bus link and starts watching clients
    // leave. False with a reason when the link is not connected.
    bool exportOn(BusLink *bus, QString *error = nullptr);
    void unexport();
    // Also accepts private peer-to-peer connections; a client asks for the
    // address with PeerAddress. False with a reason (the bus keeps serving).
    bool offerPeerToPeer(QString *error = nullptr);
    QString peerAddress() const;

    // True when SelectOnScreen can be answered now; without one, always true.
    void setPickReady(std::function<bool()> ready);
    // Answers a waiting SelectOnScreen when the predicate now holds.
    void resumePick();
    bool pickWaiting() const { return m_parked.has_value(); }

    // Another path handled by the same tree (the testing interface).
    using PathHandler = std::function<void(BusLink *, DBusMessage *)>;
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
    // The same for the objects `which` picks (those of one drawing).
    void retireWhere(const std::function<bool(const cad::Object &)> &which);

    // The child nodes of a path among the paths served now, for
    // introspection ("Application", "Testing", "obj" under "/").
    QStringList childNodes(const QString &path) const;
    // The introspection document of a path; empty when nothing is there.
    QString introspect(const QString &path) const;

    void handleMessage(BusLink *link, DBusMessage *message);

signals:
    void pickWaitingChanged(bool waiting);

private:
    struct Exported {
        cad::Object object;
        QHash<QString, int> holders; // client -> references
    };
    struct Parked {
        DBusMessage *message; // one reference
        BusLink *link;
        QString client;
        cad::Object target;
        QString member;
        cad::InvokeKind kind;
        QVariantList args;
    };

    void serve(BusLink *link);
    void handleSignal(DBusMessage *message);
    void handleInvoke(BusLink *link, DBusMessage *message);
    void handleRelease(BusLink *link, DBusMessage *message);
    void handleStandard(BusLink *link, DBusMessage *message);
    void perform(BusLink *link, DBusMessage *message, const QString &client, const cad::Object &target,
                 const QString &member, cad::InvokeKind kind, QVariantList &args);
    void unpark(); // forgets the parked call
    bool isNode(const QString &path) const;
    cad::Object objectAt(const QString &path) const; // throws AutomationError (Gone; Failed when retired)
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
    QSet<quint64> m_retired;    // and these since, by retireWhere()

    BusLink *m_bus = nullptr;
    PeerServer *m_peers = nullptr;
};

} // namespace minicad
