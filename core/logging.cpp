#include "logging.h"

#include "core/plainoutput.h"

#include <unistd.h>

Q_LOGGING_CATEGORY(lcCore, "orvex.core", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDiscovery, "orvex.discovery", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTransfer, "orvex.transfer", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWeb, "orvex.web", QtInfoMsg)
Q_LOGGING_CATEGORY(lcGui, "orvex.gui", QtInfoMsg)

namespace {

void writeToStandardError(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // Qt says this when a connection that was reset or aborted is read once more: nothing the
    // user can act on, and it would stand between a command's own lines.
    if (type == QtWarningMsg && message == QLatin1String("QSocketNotifier: Invalid socket specified"))
        return;
    const QString line = qFormatLogMessage(type, context, message);
    // As Qt's own handler: a pattern may leave nothing to write.
    if (!line.isNull())
        writePlainLine(STDERR_FILENO, line);
}

} // namespace

void installPlainMessageHandler()
{
    qInstallMessageHandler(&writeToStandardError);
}
