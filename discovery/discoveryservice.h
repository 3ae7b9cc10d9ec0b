#pragma once

#include "discovery/sourcefilter.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>

// The discovery protocol engine: one UDP socket on the discovery port that answers requests
// with this device's name and transfer port, reports what other devices announce, and sends
// requests and the leave message to every broadcast destination.
class DiscoveryService : public QObject
{
    Q_OBJECT

public:
    // How long the list of interfaces, local addresses and broadcast addresses is used before
    // it is read again: reading it costs system calls, far too many to make per datagram.
    static constexpr qint64 interfaceRefreshMs = 3000;
    // Handling datagrams may take at most this much of the thread's time in each window; what
    // arrives beyond it waits in the system's buffer (which drops what overflows) until the
    // window ends, so that a flood leaves the event loop idle most of the time.
    static constexpr qint64 datagramBudgetWindowMs = 50;
    static constexpr qint64 datagramTimeBudgetMs = 10;
    // A discovery message is a few hundred bytes; a larger datagram is not one.
    static constexpr int maxDatagramBytes = 16384;
    // Known addresses asked with each request: one datagram each, so a long list stays cheap.
    static constexpr int maxKnownAddresses = 32;
    // Paired devices' last addresses are asked at most once per this long: just under the device
    // list's request interval (2 s, which a coarse timer may shorten by 5 %), so that every
    // periodic request carries one round and requests asked more often carry none.
    static constexpr qint64 pairedProbeGapMs = 1800;
    // An announced fingerprint: 16 lowercase hexadecimal digits.
    static constexpr int fingerprintLength = 16;

    // Whether text is a fingerprint as announced; anything else reads as none.
    static bool isFingerprint(const QString &text);

    explicit DiscoveryService(QObject *parent = nullptr);

    // Binds the discovery port and announces this device once; port is the transfer server's
    // real listening port.
    void start(quint16 port);

    // The transfer port given to start, which visible host information carries.
    quint16 announcedPort() const { return serverPort; }
    // The discovery port this service listens on, or tried to when it could not bind it.
    quint16 listenPort() const { return discoveryPort; }
    // The fingerprint of this installation's identity key that host information carries (none
    // when empty or not a fingerprint).
    void setFingerprint(const QString &fingerprint) { ownFingerprint = fingerprint; }

    void sendHostInfo(const QHostAddress &addr, quint16 port);
    // Asks one device directly, for a network where broadcasts do not reach it: a request and
    // this device's information by unicast to address:port (0: the discovery port). Its answer
    // comes back as newHost like any other.
    void probe(const QHostAddress &address, quint16 port = 0);
    // Also hears what devices broadcast to the discovery port (announcements and leaves), for a
    // service that asks from a port of its own and is not started; it answers nobody from there.
    // false when the port is held by another program (or an Orvex that does not share it).
    bool listenForAnnouncements();
    QList<QHostAddress> broadcastAddresses() const;
    bool isLocalAddress(const QHostAddress &address) const;

    // Handles one received datagram as if it came from sender:senderPort. handleDatagrams feeds
    // every datagram through here; tests use it for senders that loopback cannot produce.
    void handleDatagram(
        const QByteArray &payload, const QHostAddress &sender, quint16 senderPort, bool answerRequests = true);

public slots:
    // Sends a request to every broadcast destination and probes the known addresses (the
    // setting "knownAddresses", the first maxKnownAddresses of it) and, once per
    // pairedProbeGapMs, each paired device's last address.
    void broadcastReq();
    void leave();

signals:
    // fingerprint: the one the device announced, empty when none or not valid (untrusted: a
    // hint, never a proof). discoveryPort: the port it sent from, where it is asked directly.
    void newHost(QString deviceName, QHostAddress addr, ushort port, QString fingerprint, ushort discoveryPort);
    // A problem the user should know of, for example a discovery port that cannot be bound.
    // Emitted from within start(): connect before starting.
    void error(const QString &message);

private slots:
    void handleDatagrams();

private:
    static QByteArray requestDatagram();
    QByteArray deviceDatagram(quint16 announcedPort) const;
    void broadcast(const QByteArray &datagram);
    void refreshInterfaces() const;
    void probePairedDevices();

    QUdpSocket socket;
    QUdpSocket announcements;
    QElapsedTimer clock;
    SourceFilter sources;
    QElapsedTimer budgetWindow;
    qint64 busyInWindowNs = 0;
    QTimer resumeReading;
    // The interface snapshot, read again once it is interfaceRefreshMs old.
    mutable QElapsedTimer interfacesAge;
    mutable QList<QHostAddress> localAddresses;
    mutable QList<QHostAddress> broadcastDestinations;
    mutable QVector<QPair<QHostAddress, int>> localNetworks;
    QElapsedTimer pairedProbeAge;
    QString ownFingerprint;
    quint16 serverPort = 0;
    quint16 discoveryPort = 0;
};
