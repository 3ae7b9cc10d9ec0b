#pragma once

#include <QObject>
#include <QStringList>

class QSocketNotifier;

// Reads the user's answers line by line from standard input without blocking the event loop.
// On a terminal a line typed while no question is open is dropped, so that an early keystroke
// never answers an offer the user has not seen; from a pipe or file the lines wait their turn.
class AnswerReader : public QObject
{
    Q_OBJECT

public:
    explicit AnswerReader(QObject *parent = nullptr);

    // The next line is wanted; answered emits with it, or closed when input has ended.
    void ask();
    void cancel();
    bool isClosed() const { return endOfInput; }

signals:
    void answered(const QString &line);
    void closed();

private:
    void readInput();
    void deliver();

    QSocketNotifier *notifier;
    QByteArray pending;
    QStringList lines;
    bool asking = false;
    bool terminal;
    bool endOfInput = false;
};
