#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>

// The orvex executable (ORVEX_EXECUTABLE) run as a child, with no display in its environment:
// neither DISPLAY, WAYLAND_DISPLAY nor QT_QPA_PLATFORM. Settings and standard paths follow the
// test process's private HOME.
class OrvexProcess : public QProcess
{
    Q_OBJECT

public:
    explicit OrvexProcess(QObject *parent = nullptr);

    // Starts orvex, or program with orvex and arguments after the given prefix.
    void run(const QStringList &arguments, const QStringList &prefix = {});
    // Waits until a line of standard output (or error) matches; returns the match, which has
    // no match when the time ran out or the process ended first.
    QRegularExpressionMatch waitForOutput(const QString &pattern, int timeoutMsec = 20000);
    QRegularExpressionMatch waitForError(const QString &pattern, int timeoutMsec = 20000);
    // Waits for the end; -1 when the process did not end normally in time.
    int waitForExit(int timeoutMsec = 30000);
    void sendSignal(int signalNumber);

    QString output();
    QString errors();

    static QString executable();

private:
    QRegularExpressionMatch waitFor(bool fromOutput, const QString &pattern, int timeoutMsec);
    void collect();

    QString out;
    QString err;
};
