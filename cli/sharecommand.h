#pragma once

#include "cli/command.h"

class WebServer;

// "orvex share": web send. Publishes files through the web server, prints the link of their
// list page with its QR code, and serves until interrupted, one line per finished download.
class ShareCommand : public Command
{
    Q_OBJECT

public:
    using Command::Command;

    void addOptions(CommandOptions &parser) const override;
    RunOptions::Choices settings() const override { return RunOptions::Name | RunOptions::WebPort; }
    int start(const QCommandLineParser &parser) override;
    void interrupt(int signalNumber) override;

private:
    WebServer *web = nullptr;
};
