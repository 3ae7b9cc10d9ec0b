#pragma once

#include <QString>

// The terminal side of the commands: results and progress go to standard output, messages to
// standard error, each written at once. Every line passes through peerText (line feeds and tabs
// kept), so that no text a peer sent, whatever message quotes it, can move the cursor, recolour
// what the user reads or reach the clipboard. A peer's name or file name inside a line goes
// through peerText on its own first, so that it cannot begin a line of its own either.
class Console
{
public:
    Console() = delete;

    static void out(const QString &line);
    static void err(const QString &line);
    // Writes the program's own text to standard output as it is, without an ending line break
    // (progress bars with their escape sequences, prompts).
    static void outRaw(const QString &text);

    static bool outIsTerminal();
    static bool inIsTerminal();
};
