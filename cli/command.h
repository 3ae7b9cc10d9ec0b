#pragma once

#include "cli/runoptions.h"

#include <QObject>

class CommandOptions;
class QCommandLineParser;

// One headless subcommand. The runner adds the common options and the command's own, parses,
// applies the settings overrides and then starts the command in the event loop.
class Command : public QObject
{
    Q_OBJECT

public:
    // start's answer when the command goes on in the event loop until it emits finished.
    static constexpr int keepRunning = -1;

    using QObject::QObject;

    virtual void addOptions(CommandOptions &options) const = 0;
    // The settings this command reads, which it takes as options for one run (and --save).
    virtual RunOptions::Choices settings() const = 0;
    // Returns an exit status when the command is done already, or keepRunning.
    virtual int start(const QCommandLineParser &parser) = 0;
    // SIGINT or SIGTERM arrived: end cleanly and emit finished.
    virtual void interrupt(int signalNumber) = 0;

signals:
    void finished(int status);
};
