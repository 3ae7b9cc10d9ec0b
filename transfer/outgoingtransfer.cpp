#include "outgoingtransfer.h"

#include "transfer/context.h"
#include "transfer/sendercontext.h"
#include "transfer/sendlist.h"

#include <QTcpSocket>

OutgoingTransfer::OutgoingTransfer(const SendList *sendFiles, QVector<Target> devices, QObject *parent)
    : QObject(parent)
    , files(sendFiles)
    , targets(std::move(devices))
{
    qRegisterMetaType<OutgoingTransfer::Target>();
    qRegisterMetaType<SenderContext *>();
    connectTimer.setSingleShot(true);
    connect(&connectTimer, &QTimer::timeout, this, [this] {
        failConnecting({ TransferFailure::Kind::TimedOut, QString() });
    });
}

OutgoingTransfer::OutgoingTransfer(const QString &sentText, QVector<Target> devices, QObject *parent)
    : OutgoingTransfer(nullptr, std::move(devices), parent)
{
    text = sentText;
    textSent = QDateTime::currentDateTime();
}

OutgoingTransfer::~OutgoingTransfer()
{
    abort();
}

void OutgoingTransfer::next()
{
    abort();
    if (targets.isEmpty()) {
        emit finished();
        return;
    }
    current = targets.takeFirst();
    if (current.port == 0)
        emit addressNeeded(current);
    else
        connectTo(current.host, current.port);
}

void OutgoingTransfer::connectTo(const QString &host, quint16 port)
{
    abort();
    current.host = host;
    current.port = port;
    emit connecting(host, port);
    socket = new QTcpSocket(this);
    connect(socket, &QTcpSocket::connected, this, &OutgoingTransfer::connected);
    connect(socket, &QTcpSocket::errorOccurred, this, [this] {
        failConnecting({ TransferFailure::Kind::Network, socket->errorString() });
    });
    connectTimer.start(Context::connectTimeLimitMsec);
    socket->connectToHost(host, port, QIODevice::ReadWrite);
}

void OutgoingTransfer::abort()
{
    connectTimer.stop();
    if (!socket)
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    socket = nullptr;
}

void OutgoingTransfer::failConnecting(const TransferFailure &failure)
{
    abort();
    emit connectFailed(failure);
}

void OutgoingTransfer::connected()
{
    connectTimer.stop();
    // From here on the session owns the socket and reports its errors.
    QTcpSocket *connection = socket;
    connection->disconnect(this);
    socket = nullptr;
    auto *session = files ? new SenderContext(connection, files->files(), files->namesAndSizes(), nullptr)
                          : new SenderContext(connection, text, textSent, nullptr);
    session->setPeerName(current.name);
    emit sessionStarted(session);
}
