#pragma once

#include <QJsonObject>
#include <QString>

// The terminal side of the commands: results and progress go to standard output, messages to
// standard error, each written at once. Every line passes through peerText (line feeds and tabs
// kept), so that no text a peer sent, whatever message quotes it, can move the cursor, recolour
// what the user reads or reach the clipboard. A peer's name or file name inside a line goes
// through peerText on its own first, so that it cannot begin a line of its own either.
//
// The mode chooses what standard output gets: everything (Normal), only the final summaries
// (Quiet, from --quiet), or one JSON object per event instead of any text (Json, from --json).
// Errors reach standard error in every mode.
class Console
{
public:
    enum class Mode { Normal, Quiet, Json };

    Console() = delete;

    static void setMode(Mode mode);
    static Mode mode();

    // A line for the user: progress steps, offers, notes. Normal mode only.
    static void out(const QString &line);
    // The result of a command that --quiet still shows. Not in Json mode.
    static void summary(const QString &line);
    // What the command exists to print (a device line, in Json mode its JSON): every mode.
    static void result(const QString &line);
    // In Json mode also an "error" event on standard output.
    static void err(const QString &line);
    // One event as a compact JSON line with "event": name; Json mode only.
    static void event(const QString &name, QJsonObject fields = QJsonObject());
    // Writes the program's own text to standard output as it is, without an ending line break
    // (progress bars with their escape sequences, prompts, help).
    static void outRaw(const QString &text);

    static bool outIsTerminal();
    static bool inIsTerminal();
    // The width of the terminal on standard output; COLUMNS or 80 when it does not say.
    static int columns();
    // The columns text takes on a terminal: East Asian wide characters take two.
    static int displayWidth(const QString &text);
    // text cut at the end (with "…") to at most width columns.
    static QString elide(const QString &text, int width);
};
