#pragma once

#include "cli/command.h"
#include "discovery/networkdiagnosis.h"

// "orvex doctor": why devices may not find each other. Prints the findings of a
// NetworkDiagnosis, each with its verdict: this machine's addresses and the one links use,
// whether a running Orvex holds the discovery, transfer and web ports, the firewall rules that
// would drop them (read only, with the command that opens the port), and a live check. Ends with
// 1 when a line names a problem.
class DoctorCommand : public Command
{
    Q_OBJECT

public:
    static constexpr int defaultWaitSeconds = 3;
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
    void print(const NetworkDiagnosis::Finding &finding);

    NetworkDiagnosis *diagnosis = nullptr;
    int waitSeconds = defaultWaitSeconds;
};
