#pragma once

#include <QByteArray>
#include <QString>

// Writes bytes to a file descriptor (a terminal, a pipe) at once and whole, going on after a
// signal interrupted the call; gives up silently when the descriptor fails.
void writeAll(int fd, const QByteArray &bytes);

// Writes line and a line feed, as UTF-8, after peerText with line feeds and tabs kept: whatever
// the line quotes cannot drive the terminal.
void writePlainLine(int fd, const QString &line);
