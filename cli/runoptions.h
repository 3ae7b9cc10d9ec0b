#pragma once

#include <QCoreApplication>
#include <QString>

class QCommandLineParser;

// The options every command takes: the six settings as overrides for this run only, and --save
// to keep them in the user's settings.
class RunOptions
{
    Q_DECLARE_TR_FUNCTIONS(RunOptions)

public:
    RunOptions() = delete;

    static void add(QCommandLineParser &parser);
    // Applies the overrides that were given (and stores them with --save), then keeps the
    // user's settings file out of reach for the rest of the run: the six settings are read once
    // and held as overrides, and the settings store moves to a temporary folder, so that nothing
    // an engine writes there (the web server writes its own groups) reaches the user's file.
    // Returns why a value is wrong, for the user, or an empty text.
    static QString apply(const QCommandLineParser &parser);
    // A port number from an option's text; false when it is none.
    static bool parsePort(const QString &text, quint16 *port);
};
