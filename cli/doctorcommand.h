#pragma once

#include "cli/command.h"
#include "core/knownaddress.h"
#include "discovery/firewallrules.h"

#include <QTimer>
#include <QVector>

class DeviceList;
class DiscoveryService;

// "orvex doctor": why devices may not find each other. Prints, each with a verdict, this
// machine's addresses and the one links use, whether a running Orvex holds the discovery,
// transfer and web ports, the firewall rules that would drop them (read only, with the command
// that opens the port), and a live check: the devices that answer a broadcast or the addresses
// given, asked directly, and a connection to each one's transfer port. Ends with 1 when a line
// names a problem.
class DoctorCommand : public Command
{
    Q_OBJECT

public:
    static constexpr int defaultWaitSeconds = 3;
    static constexpr int connectTimeoutMs = 3000;
    static constexpr int firewallToolTimeoutMs = 5000;
    // Addresses given on the command line, at most.
    static constexpr int maxAddresses = 16;

    using Command::Command;

    void addOptions(CommandOptions &parser) const override;
    // The ports it checks are those of the settings, or of this run's options.
    RunOptions::Choices settings() const override
    {
        return RunOptions::Port | RunOptions::DiscoveryPort | RunOptions::WebPort;
    }
    int start(const QCommandLineParser &parser) override;
    void interrupt(int signalNumber) override;

private:
    enum class Verdict {
        Ok,
        Note,
        Problem,
        Unknown,
    };

    void report(Verdict verdict, const QString &text, const QString &detail = QString());
    void checkAddresses();
    void checkPorts();
    void checkFirewall();
    void checkFirewallTool(const QString &name, const QString &program, const QStringList &arguments,
        QVector<FirewallRules::Finding> (*parse)(const QString &, const QVector<FirewallRules::Port> &));
    void finishLiveCheck();

    DiscoveryService *discovery = nullptr;
    DeviceList *list = nullptr;
    QVector<KnownAddress> given;
    QVector<FirewallRules::Port> ports;
    quint16 transferPort = 0;
    QTimer waitTimer;
    bool problems = false;
};
