#pragma once
// lumoedit's D-Bus backend: the running CAD application found by its ProgID
// on the session bus, and proxies for the objects it hands out.

#include "cad/batch.h"
#include "cad/runningobjects.h"

#include <QString>

#include <memory>

namespace cad {

class Answer;

// One client of the session bus (or of the bus at `busAddress`): its own
// connection, opened at first use and closed when this and every proxy it
// handed out are gone; the server then drops whatever they still held.
//
// The bus is how the application is found. When the application offers a
// private peer-to-peer address (PeerAddress), the calls go there instead,
// without the bus daemon in between; without one they stay on the bus.
class DBusRunningObjects : public RunningObjects {
public:
    explicit DBusRunningObjects(const QString &busAddress = {});
    ~DBusRunningObjects() override;
    // True when the ProgID's bus name has an owner.
    bool isRunning(const QString &progId) override;
    // A proxy for the owner's /Application. Throws AutomationError (Gone when
    // nobody owns the name or there is no bus).
    Object attach(const QString &progId) override;
    // The name the application of the last attach counts this client's
    // references under: the unique name on the bus, or the name of the
    // peer-to-peer connection. Empty before the first use.
    QString uniqueName() const;
    // Whether attach may move to a peer-to-peer connection (the default).
    void setPeerToPeer(bool allowed) { m_peerToPeer = allowed; }
    // True when the last attach went peer-to-peer.
    bool attachedPeerToPeer() const { return m_lastPeer != nullptr; }

    class Connection;

private:
    std::shared_ptr<Connection> connection(); // null when the bus cannot be reached
    // The application's peer-to-peer connection, null when it offers none.
    std::shared_ptr<Connection> peerConnection(const std::shared_ptr<Connection> &bus, const QByteArray &owner);

    QString m_address;
    std::shared_ptr<Connection> m_connection;
    bool m_peerToPeer = true;
    QByteArray m_peerOwner;                // whom m_peer belongs to
    std::shared_ptr<Connection> m_peer;    // null: none offered (or not asked yet)
    bool m_peerAsked = false;
    std::shared_ptr<Connection> m_lastPeer;
};

// One object of a server. Every call goes through Invoke; a call answered
// busy is retried every 1000 ms; SelectOnScreen waits without a timeout.
// The server's reference is released (Release()) when the proxy is destroyed.
class DBusDispatch : public Dispatch, public BatchCarrier {
public:
    struct Peer; // the connection and the server's unique bus name
    DBusDispatch(std::shared_ptr<const Peer> peer, const QString &path, bool owned);
    ~DBusDispatch() override;
    DBusDispatch(const DBusDispatch &) = delete;
    DBusDispatch &operator=(const DBusDispatch &) = delete;

    QVariant invoke(const QString &member, InvokeKind kind, QVariantList &args) override;
    // Pipelined: the calls on this connection go out without waiting for
    // each answer (dbusbatch.cpp).
    void invokeBatch(QList<BatchCall *> &calls) override;

    QString path() const { return m_path; }
    QString service() const;

    // The pieces of one call, for the pipelined batch: the Invoke message
    // (throws for an argument with no wire form), the connection it goes on
    // (null once closed), and the answer read back, an error answer thrown
    // as the plain call would throw it.
    QByteArray invokeMessage(quint32 serial, const QString &member, InvokeKind kind, const QVariantList &args) const;
    DBusRunningObjects::Connection *openConnection() const;
    bool sameConnection(const DBusDispatch &other) const;
    QVariant readAnswer(const Answer &answer, const QString &member, QVariantList &args) const;

private:
    QVariant invokeOnce(const QString &member, InvokeKind kind, QVariantList &args);
    const QByteArray &destination() const;

    std::shared_ptr<const Peer> m_peer;
    QString m_path;
    QByteArray m_pathUtf8;
    bool m_owned;
};

// The path of a D-Bus proxy, empty for any other object.
QString dbusObjectPath(const Object &object);

} // namespace cad
