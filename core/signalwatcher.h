#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal delivered by the event loop: the handler only writes
// the signal's number into a pipe, and everything else runs in the main thread. The previous
// handlers come back when the watcher is destroyed. One watcher per process.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

signals:
    void signalled(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *notifier = nullptr;
    struct sigaction previousInt
    {
    };
    struct sigaction previousTerm
    {
    };
};
