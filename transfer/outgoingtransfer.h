#pragma once

#include "transfer/transferevents.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QVector>

class QTcpSocket;
class SendList;
class SenderContext;

// Sends one send list to a row of devices, one after the other: connects to each within the
// connection time limit and starts a sending session on the connection. Whoever shows the
// sessions takes each one and calls next() when it is done with it, or with a failed connection.
class OutgoingTransfer : public QObject
{
    Q_OBJECT

public:
    struct Target
    {
        // As the user chose it: a device name, or an address with or without a port.
        QString name;
        QString host;
        // 0 while unknown: addressNeeded asks for it.
        quint16 port = 0;
    };

    // files: read when a connection is made, so that what is added meanwhile goes too.
    OutgoingTransfer(const SendList *files, QVector<Target> targets, QObject *parent);
    // Sends a text instead of files: every device gets it under the name of the time it was
    // given here (SenderContext::textFileName). The front ends check its size first.
    OutgoingTransfer(const QString &text, QVector<Target> targets, QObject *parent);
    ~OutgoingTransfer() override;

    bool hasNext() const { return !targets.isEmpty(); }
    // Takes the next target: connects to it when its port is known, otherwise asks for its
    // address; without one left, finished follows.
    void next();
    // Connects to the current target at this address.
    void connectTo(const QString &host, quint16 port);
    Target currentTarget() const { return current; }
    // Stops a connection attempt under way; nothing more is reported of it.
    void abort();

signals:
    void addressNeeded(OutgoingTransfer::Target target);
    void connecting(QString host, quint16 port);
    // The session, not yet started and without parent: the receiver of the signal owns it.
    void sessionStarted(SenderContext *session);
    // TimedOut, or Network with the system's words: the target is skipped.
    void connectFailed(TransferFailure failure);
    void finished();

private:
    void connected();
    void failConnecting(const TransferFailure &failure);

    const SendList *files = nullptr;
    QString text;
    QDateTime textSent;
    QVector<Target> targets;
    Target current;
    QPointer<QTcpSocket> socket;
    QTimer connectTimer;
};

Q_DECLARE_METATYPE(OutgoingTransfer::Target)
