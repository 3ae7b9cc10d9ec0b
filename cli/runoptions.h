#pragma once

#include <QString>

class QCommandLineParser;

// The options every command takes: the six settings as overrides for this run only, and --save
// to keep them in the user's settings.
class RunOptions
{
public:
    RunOptions() = delete;

    static void add(QCommandLineParser &parser);
    // Applies the overrides that were given. Returns why a value is wrong, for the user, or an
    // empty text.
    static QString apply(const QCommandLineParser &parser);
    // A port number from an option's text; false when it is none.
    static bool parsePort(const QString &text, quint16 *port);
};
