#pragma once

#include <QString>

// Text that comes from another device or from a file name (device names, file names, paths),
// made fit for a plain-text widget: every control character, line or paragraph separator,
// lone surrogate and invisible mark that reorders text (bidirectional embeddings, overrides,
// isolates and marks) becomes U+FFFD, and a run of combining marks is cut short, so that the
// text stays on one line, in its own order and within its own height.
QString peerText(const QString &text);

// text with its middle replaced by U+2026 when it holds more than maxCharacters characters
// (surrogate pairs are never split).
QString elideMiddle(const QString &text, int maxCharacters);
