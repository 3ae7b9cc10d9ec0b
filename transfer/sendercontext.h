#pragma once

#include "transfer/context.h"

#include <QFile>
#include <QList>
#include <QPair>
#include <QSharedPointer>
#include <QString>

// The sending end of a transfer session: announces the files, waits for the receiver's decision
// and then streams the contents, one encrypted frame at a time, reading the next chunk only
// when the socket has handed the previous frame to the system.
class SenderContext : public Context
{
    Q_OBJECT

public:
    // Plaintext of one data frame.
    static constexpr qint64 maxDataPerFrame = 64000;

    // names: the send list, parallel to files; the first of each pair is the announced name.
    // Only the files' names are used: the session opens each file itself when it reaches it.
    SenderContext(QTcpSocket *connection, QList<QSharedPointer<QFile>> files,
        const QList<QPair<QString, QString>> &names, QObject *parent);

    // The metadata message announcing these files, as it goes on the wire.
    static QByteArray offerMessage(const QVector<FileMetadata> &files);

    void handleMessage(QByteArray plaintext) override;
    void onHandshakeDone() override;
    void response(bool accepted) override;

signals:
    // The receiver declined the offer; raiseErrorMsg follows.
    void refused();

private slots:
    void writeByteToSocket();

private:
    // Opens a file of the queue at its turn; fails the session when it cannot be read any more.
    bool openForReading(QFile *file, const QString &name);

    QList<QSharedPointer<QFile>> fileQueue;
    bool announceNext = true;
    QByteArray readBuffer;
};
