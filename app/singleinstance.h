#pragma once

#include <QLocalServer>
#include <QObject>
#include <QStringList>

// One Orvex per user session. The first launch listens on a local socket in the user's runtime
// folder; a later launch hands its files (or only the wish to see the window) to it and ends.
// The message is one line of compact JSON, {"files":[...]}, answered with "ok".
//
// The socket lives only in a folder that is the user's alone: $XDG_RUNTIME_DIR, or without it
// runtime-<user name> in the temporary folder, a real directory (not a link) owned by the user
// with mode 0700. Another user who made or opened that folder could otherwise stand in for the
// instance and be handed the files to send. Without such a folder there is no single instance.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // One launch's files, as absolute paths: the command line holds no more than a few MiB.
    static constexpr qint64 maxMessageBytes = 4 * 1024 * 1024;
    // The running instance is on the same machine and answers at once, and a launch writes its
    // message as soon as it is connected; a socket that takes longer is dropped.
    static constexpr int answerTimeoutMs = 3000;

    // name: the socket's file name in the runtime folder; tests give their own.
    explicit SingleInstance(const QString &name = QStringLiteral("orvex-instance"), QObject *parent = nullptr);

    // Gives files to a running instance. Returns false when none answers.
    bool handOver(const QStringList &files);
    // Becomes the running instance. A socket that nobody answers on (left by a crashed instance)
    // is replaced. Returns false when the socket cannot be made.
    bool listen();
    // Empty when there is no private runtime folder: handOver and listen then fail.
    QString socketPath() const { return path; }

    // The runtime folder when it is private to the user (the fallback is made when missing),
    // otherwise an empty text.
    static QString privateRuntimeFolder();

signals:
    // A later launch asked to show the main window with files (none: just the window).
    void filesHandedOver(const QStringList &files);

private:
    void readHandOver();

    QString path;
    QLocalServer server;
};
