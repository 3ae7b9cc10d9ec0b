#pragma once

#include "cli/command.h"

class WebServer;

// "orvex inbox": web receive. Prints the link of the upload page with its QR code and serves
// until interrupted; uploads land in the download folder, one line per file received.
class InboxCommand : public Command
{
    Q_OBJECT

public:
    using Command::Command;

    void addOptions(CommandOptions &parser) const override;
    RunOptions::Choices settings() const override { return RunOptions::Name | RunOptions::Dir | RunOptions::WebPort; }
    int start(const QCommandLineParser &parser) override;
    void interrupt(int signalNumber) override;

private:
    WebServer *web = nullptr;
};
