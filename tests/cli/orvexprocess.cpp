#include "orvexprocess.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>

#include <csignal>

OrvexProcess::OrvexProcess(QObject *parent)
    : QProcess(parent)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        environment.remove(QLatin1String(name));
    setProcessEnvironment(environment);
}

QString OrvexProcess::executable()
{
    return qEnvironmentVariable("ORVEX_EXECUTABLE");
}

void OrvexProcess::run(const QStringList &arguments, const QStringList &prefix)
{
    if (prefix.isEmpty()) {
        start(executable(), arguments);
    } else {
        start(prefix.first(), prefix.mid(1) + QStringList { executable() } + arguments);
    }
    waitForStarted();
}

void OrvexProcess::collect()
{
    out += QString::fromUtf8(readAllStandardOutput());
    err += QString::fromUtf8(readAllStandardError());
}

QString OrvexProcess::output()
{
    collect();
    return out;
}

QString OrvexProcess::errors()
{
    collect();
    return err;
}

QRegularExpressionMatch OrvexProcess::waitForOutput(const QString &pattern, int timeoutMsec)
{
    return waitFor(true, pattern, timeoutMsec);
}

QRegularExpressionMatch OrvexProcess::waitForError(const QString &pattern, int timeoutMsec)
{
    return waitFor(false, pattern, timeoutMsec);
}

QRegularExpressionMatch OrvexProcess::waitFor(bool fromOutput, const QString &pattern, int timeoutMsec)
{
    const QRegularExpression expression(pattern, QRegularExpression::MultilineOption);
    const QDeadlineTimer deadline(timeoutMsec);
    // waitForReadyRead wakes up for the current read channel only.
    setReadChannel(fromOutput ? QProcess::StandardOutput : QProcess::StandardError);
    for (;;) {
        collect();
        const QRegularExpressionMatch match = expression.match(fromOutput ? out : err);
        if (match.hasMatch() || deadline.hasExpired() || state() == QProcess::NotRunning)
            return match;
        waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    }
}

int OrvexProcess::waitForExit(int timeoutMsec)
{
    if (state() != QProcess::NotRunning && !waitForFinished(timeoutMsec))
        return -1;
    collect();
    return exitStatus() == QProcess::NormalExit ? exitCode() : -1;
}

void OrvexProcess::sendSignal(int signalNumber)
{
    if (processId() > 0)
        ::kill(static_cast<pid_t>(processId()), signalNumber);
}
