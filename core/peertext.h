#pragma once

#include <QString>

// How peerText treats line breaks and tabs.
enum class PeerTextLines {
    // One line: every control character, the line feed and the tab included, is replaced.
    Single,
    // The line feed and the tab stay; for whole messages written to a terminal.
    Kept,
};

// Text that comes from another device or from a file name (device names, file names, paths,
// error texts), made fit for a plain-text widget or a terminal: every control character (C0,
// DEL, C1, so also the ESC that starts a terminal's escape sequence), line or paragraph
// separator, lone surrogate and invisible mark that reorders text (bidirectional embeddings,
// overrides, isolates and marks) becomes U+FFFD, and a run of combining marks is cut short, so
// that the text stays on its lines, in its own order and within its own height, and cannot
// drive the terminal it is written to.
QString peerText(const QString &text, PeerTextLines lines = PeerTextLines::Single);

// text with its middle replaced by U+2026 when it holds more than maxCharacters characters
// (surrogate pairs are never split).
QString elideMiddle(const QString &text, int maxCharacters);
