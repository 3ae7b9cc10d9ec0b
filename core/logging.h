#pragma once

#include <QLoggingCategory>

// One category per library above the HTTP server (which has its own, "orvex.http"). Debug lines
// are off by default; QT_LOGGING_RULES="orvex.*.debug=true" turns them on.
Q_DECLARE_LOGGING_CATEGORY(lcCore)
Q_DECLARE_LOGGING_CATEGORY(lcDiscovery)
Q_DECLARE_LOGGING_CATEGORY(lcTransfer)
Q_DECLARE_LOGGING_CATEGORY(lcWeb)
Q_DECLARE_LOGGING_CATEGORY(lcGui)

// Sends every message of the Qt message logger (Qt's own warnings included, which may quote a
// peer's file name) to standard error through peerText, line feeds kept: a message cannot
// drive the terminal. QT_MESSAGE_PATTERN still shapes the line.
void installPlainMessageHandler();
