#pragma once

#include <QLocalServer>
#include <QObject>
#include <QStringList>

// One Orvex per user session. The first launch listens on a local socket in the user's runtime
// folder; a later launch hands its files (or only the wish to see the window) to it and ends.
// The message is one line of compact JSON, {"files":[...]}, answered with "ok".
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // name: the socket's file name in the runtime folder; tests give their own.
    explicit SingleInstance(const QString &name = QStringLiteral("orvex-instance"), QObject *parent = nullptr);

    // Gives files to a running instance. Returns false when none answers.
    bool handOver(const QStringList &files);
    // Becomes the running instance. A socket that nobody answers on (left by a crashed instance)
    // is replaced. Returns false when the socket cannot be made.
    bool listen();
    QString socketPath() const { return path; }

signals:
    // A later launch asked to show the main window with files (none: just the window).
    void filesHandedOver(const QStringList &files);

private:
    void readHandOver();

    QString path;
    QLocalServer server;
};
