#pragma once

#include "core/deviceinfo.h"
#include "core/knownaddress.h"
#include "core/localipv4addresses.h"
#include "core/portholder.h"
#include "discovery/firewallrules.h"

#include <QObject>
#include <QTimer>
#include <QVector>

class DiscoveryService;

// Why devices may not find each other, as values: this machine's addresses and the one links
// use, whether an Orvex holds the discovery, transfer and web ports, the firewall rules that
// would drop them (read only), and a live check: the devices that answer a broadcast or the
// addresses given, asked directly, and a connection to each one's transfer port. Each check
// gives one Finding, with its verdict; the front ends word them.
class NetworkDiagnosis : public QObject
{
    Q_OBJECT

public:
    static constexpr int connectTimeoutMs = 3000;
    static constexpr int firewallToolTimeoutMs = 5000;
    // How long the Orvex on this machine has to answer a request on loopback.
    static constexpr int localAnswerTimeoutMs = 1000;
    // Requests go out again at this interval while the live check waits.
    static constexpr int requestIntervalMs = 2000;
    static constexpr int defaultWaitMs = 3000;

    struct Options
    {
        quint16 discoveryPort = 0;
        quint16 webPort = 0;
        // The transfer port of a server in this process, when there is one: checked directly, as
        // the Orvex holding the discovery port never answers its own machine. 0: asked of it.
        quint16 transferPort = 0;
        // Addresses to ask directly, besides the broadcast.
        QVector<KnownAddress> addresses;
        int waitMs = defaultWaitMs;
    };

    enum class Section {
        Interfaces,
        Ports,
        Firewall,
        Live,
    };

    enum class Verdict {
        Ok,
        Note,
        Problem,
        Unknown,
    };

    enum class Kind {
        NoAddress,
        Interface, // address
        ChosenAddress, // address: the one links and codes use
        DiscoveryPortAnswered, // port, holder (pid 0 when not known)
        DiscoveryPortHeld, // port, holder: an Orvex holds it but does not answer this machine
        DiscoveryPortTaken, // port, holder: another program (pid 0: another user's)
        DiscoveryPortFree, // port
        TransferPortHidden, // the running Orvex is not discoverable
        TransferPortListening, // port
        TransferPortClosed, // port, detail: the connection's error
        TransferPortUnknown,
        WebPortHeld, // port, holder: by an Orvex
        WebPortTaken, // port, holder
        WebPortFree, // port
        FirewallUnreadable, // tool, detail: the tool's error
        FirewallClear, // tool
        FirewallDrops, // tool, rule
        DeviceAnswered, // device, asked
        DeviceConnects, // device
        DeviceUnreachable, // device, detail: the connection's error
        AddressSilent, // known
        NoDevice,
        WirelessIsolation, // address: the chosen one, on a wireless interface
        OnlyAskedAnswered,
    };

    struct Finding
    {
        Section section = Section::Interfaces;
        Kind kind = Kind::NoAddress;
        Verdict verdict = Verdict::Ok;
        LocalAddress address;
        quint16 port = 0;
        PortHolder holder;
        FirewallRules::Tool tool = FirewallRules::Tool::Nftables;
        FirewallRules::Finding rule;
        DeviceInfo device;
        bool asked = false;
        KnownAddress known;
        QString detail;
    };

    explicit NetworkDiagnosis(const Options &options, QObject *parent = nullptr);

    // Runs the local checks at once, then asks the network and ends with finished after the
    // wait. Only once per object.
    void start();

    // The findings so far, in the order they were made.
    const QVector<Finding> &findings() const { return results; }
    bool hasProblems() const;

signals:
    // Each section starts before its findings, also when it has none.
    void sectionStarted(NetworkDiagnosis::Section section);
    void found(const NetworkDiagnosis::Finding &finding);
    void finished();

private:
    Finding make(Kind kind, Verdict verdict) const;
    void begin(Section section);
    void add(Finding finding);
    void checkAddresses();
    void checkPorts();
    void checkFirewall();
    void checkFirewallTool(FirewallRules::Tool tool, const QString &program, const QStringList &arguments,
        QVector<FirewallRules::Finding> (*parse)(const QString &, const QVector<FirewallRules::Port> &));
    void startLiveCheck();
    void recordDevice(const QString &name, const QHostAddress &address, ushort port);
    void finishLiveCheck();

    Options options;
    Section current = Section::Interfaces;
    QVector<Finding> results;
    QVector<FirewallRules::Port> ports;
    DiscoveryService *discovery = nullptr;
    QVector<DeviceInfo> answered;
    QTimer requestTimer;
    QTimer waitTimer;
};
