#pragma once

#include <QString>

// The terminal side of the commands: results and progress go to standard output, messages to
// standard error, each written at once. Text from the network or from file names passes
// through plainText first, so a peer cannot move the cursor or recolour what the user reads.
class Console
{
public:
    Console() = delete;

    static void out(const QString &line);
    static void err(const QString &line);
    // Writes text to standard output without an ending line break (progress bars, prompts).
    static void outRaw(const QString &text);

    static bool outIsTerminal();
    static bool inIsTerminal();

    // Control characters (C0, DEL, C1, and the bidirectional overrides) replaced by U+FFFD.
    static QString plainText(const QString &untrusted);
};
