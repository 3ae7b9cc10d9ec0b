#pragma once

#include "cli/command.h"

#include <QTimer>

class DeviceList;
class DiscoveryService;
struct DeviceInfo;

// "orvex devices": asks the network for devices like the device page, waits, then prints each
// one found (name, address, transfer port), or JSON lines. With --follow it keeps listening and
// prints every device that comes or goes.
class DevicesCommand : public Command
{
    Q_OBJECT

public:
    static constexpr int defaultWaitSeconds = 3;
    // A day: more is surely a typing error.
    static constexpr int maxWaitSeconds = 86400;

    using Command::Command;

    void addOptions(CommandOptions &parser) const override;
    RunOptions::Choices settings() const override { return RunOptions::DiscoveryPort; }
    int start(const QCommandLineParser &parser) override;
    void interrupt(int signalNumber) override;

    // One device as printed: "name<TAB>address<TAB>port", or a JSON object with event when given.
    static QString deviceLine(const DeviceInfo &device, bool json, const QString &event = QString());

private:
    void printList();

    DiscoveryService *discovery = nullptr;
    DeviceList *list = nullptr;
    QTimer waitTimer;
    bool json = false;
};
