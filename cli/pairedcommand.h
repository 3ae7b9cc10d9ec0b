#pragma once

#include "cli/command.h"

struct PairedDevice;

// "orvex paired": the devices paired with this one (name, fingerprint, automatic accept, last
// address), and what the settings page changes: "rename FINGERPRINT NAME", "unpair FINGERPRINT",
// "auto FINGERPRINT on|off".
class PairedCommand : public Command
{
    Q_OBJECT

public:
    using Command::Command;

    void addOptions(CommandOptions &parser) const override;
    RunOptions::Choices settings() const override { return {}; }
    int start(const QCommandLineParser &parser) override;
    void interrupt(int signalNumber) override;

    // One device as listed: "name<TAB>fingerprint<TAB>auto-accept<TAB>last address", or a JSON
    // object.
    static QString deviceLine(const PairedDevice &device, bool json);

private:
    int change(const QStringList &arguments);
};
