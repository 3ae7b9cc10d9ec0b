#pragma once

#include <QCoreApplication>
#include <QString>

class CommandOptions;
class QCommandLineParser;

// The settings a command reads, as options that override them for this run only, and --save to
// keep them in the user's settings.
class RunOptions
{
    Q_DECLARE_TR_FUNCTIONS(RunOptions)

public:
    RunOptions() = delete;

    enum Setting {
        Name = 0x1,
        Dir = 0x2,
        Port = 0x4,
        DiscoveryPort = 0x8,
        WebPort = 0x10,
        Hidden = 0x20,
    };
    Q_DECLARE_FLAGS(Choices, Setting)

    // The options of settings, and --save when there is any.
    static void add(CommandOptions &options, Choices settings);
    // Applies the overrides that were given (and stores them with --save), then keeps the
    // user's settings file out of reach for the rest of the run: the six settings are read once
    // and held as overrides, and the settings store moves to a temporary folder, so that nothing
    // an engine writes there (the web server writes its own groups) reaches the user's file.
    // Returns why a value is wrong, for the user, or an empty text.
    static QString apply(const QCommandLineParser &parser);
    // What --save stored, one line per setting for the user; empty without --save.
    static QStringList saved();
    // A port number from an option's text; false when it is none.
    static bool parsePort(const QString &text, quint16 *port);
};

Q_DECLARE_OPERATORS_FOR_FLAGS(RunOptions::Choices)
