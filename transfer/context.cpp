#include "context.h"

#include "core/transferfeatures.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QTcpSocket>

#include <exception>

Context::Context(QTcpSocket *connection, QObject *parent)
    : QObject(parent)
    , state(AwaitingKey)
    , socket(connection)
    , totalBytes(0)
    , transferred(0)
{
    qRegisterMetaType<FileMetadata>();
    qRegisterMetaType<QVector<FileMetadata>>();
    qRegisterMetaType<TransferOffer>();
    qRegisterMetaType<TransferAmount>();
    qRegisterMetaType<TransferFailure>();
    qRegisterMetaType<TransferResult>();
    handshakeTimer.setSingleShot(true);
    connect(&handshakeTimer, &QTimer::timeout, this, &Context::handshakeTimedOut);
    attach(connection);
}

void Context::attach(QTcpSocket *connection)
{
    socket = connection;
    socket->setParent(this);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket, &QTcpSocket::readyRead, this, &Context::receiveSocketData);
    connect(socket, &QTcpSocket::errorOccurred, this, &Context::handleSocketError);
    // Until the peer has shown its key, the session takes no more than the key from the
    // connection: whatever else it sends waits in the system's buffers.
    socket->setReadBufferSize(preKeyReadBufferBytes);
    handshakeTimer.start(timeLimitMsec);
}

void Context::restartOn(QTcpSocket *connection)
{
    socket->disconnect(this);
    socket->disconnectFromHost();
    socket->deleteLater();
    crypto.renewKeys();
    sealed.reset();
    peerPublicKey.clear();
    receiveBuffer.clear();
    agreedFeatures.clear();
    state = AwaitingKey;
    attach(connection);
    startHandshake();
}

void Context::agreeFeatures(const QJsonValue &announced)
{
    agreedFeatures.clear();
    const QJsonArray names = announced.toArray();
    const QStringList own = TransferFeatures::supported();
    for (const QJsonValue &name : names) {
        if (own.contains(name.toString()) && !agreedFeatures.contains(name.toString()))
            agreedFeatures.append(name.toString());
    }
}

bool Context::sealStream(bool asSender)
{
    if (!sealed.open(crypto, peerPublicKey, asSender)) {
        fail(Failure::Protocol, tr("握手失败！"));
        return false;
    }
    return true;
}

void Context::handleSealed(FrameKind, const QByteArray &)
{
    failTampered();
}

void Context::failTampered()
{
    tampered = true;
    fail(Failure::Tampered, tr("传输数据被篡改或损坏"));
}

void Context::setTimeLimit(int msec)
{
    timeLimitMsec = msec;
    if (handshakeTimer.isActive())
        handshakeTimer.start(msec);
}

void Context::startHandshake()
{
    emit printLogMsg(tr("设备握手中……"));
    socket->write(crypto.publicKey);
}

void Context::sendMessage(const QByteArray &plaintext)
{
    if (!sealed.isOpen()) {
        if (state == Negotiating)
            sealed.recordOutgoing(plaintext);
        sendFrame(plaintext.constData(), plaintext.size());
        return;
    }
    QByteArray control(1, static_cast<char>(FrameKind::Control));
    control += plaintext;
    sendFrame(control.constData(), control.size());
}

void Context::sendFrame(const char *plaintext, int size)
{
    const int overhead = sealed.isOpen() ? SealedStream::tagBytes : Crypto::messageOverhead;
    // A longer message would not fit the 16-bit length and would desynchronise the stream.
    if (size > maxMessagePerFrame - overhead) {
        fail(Failure::Protocol, tr("消息过长，无法发送！"));
        return;
    }
    const int length = size + overhead;
    frameBuffer.resize(2 + length);
    frameBuffer[0] = static_cast<char>((length >> 8) & 0xFF);
    frameBuffer[1] = static_cast<char>(length & 0xFF);
    if (sealed.isOpen())
        sealed.sealInto(plaintext, size, frameBuffer.data() + 2);
    else
        crypto.encryptInto(QByteArray::fromRawData(plaintext, size), frameBuffer.data() + 2);
    socket->write(frameBuffer);
}

void Context::receiveSocketData()
{
    // Taken in slices, so that the buffer stays near one frame however much the socket holds.
    while (!failed && socket->bytesAvailable() > 0) {
        const int kept = receiveBuffer.size();
        const int slice = state == AwaitingKey ? Crypto::keyBytes - kept : readSlice;
        const auto wanted = static_cast<int>(qMin<qint64>(socket->bytesAvailable(), slice));
        receiveBuffer.resize(kept + wanted);
        const qint64 got = socket->read(receiveBuffer.data() + kept, wanted);
        receiveBuffer.resize(kept + static_cast<int>(qMax<qint64>(got, 0)));
        if (got <= 0)
            break;
        processReceived();
    }
    if (failed)
        socket->readAll();
}

void Context::processReceived()
{
    if (state == AwaitingKey) {
        // TCP may deliver the key in pieces; the time limit covers a peer that never completes it.
        if (receiveBuffer.size() < Crypto::keyBytes)
            return;
        try {
            peerPublicKey = receiveBuffer.left(Crypto::keyBytes);
            crypto.computeSessionKey(peerPublicKey);
        } catch (const std::exception &error) {
            fail(Failure::Protocol, QString::fromUtf8(error.what()));
            return;
        }
        receiveBuffer.clear();
        handshakeTimer.stop();
        // Only a peer that has done its part of the handshake gets the buffers of a running
        // session; reserved capacity also survives the buffers being emptied.
        receiveBuffer.reserve(2 * (maxMessagePerFrame + 2));
        frameBuffer.reserve(maxMessagePerFrame + 2);
        plaintextBuffer.reserve(maxPlaintextPerFrame);
        socket->setReadBufferSize(0);
        emit printLogMsg(tr("建立连接中，验证码: %1").arg(crypto.verificationCode()));
        emit keysAgreed(crypto.verificationCode());
        state = Negotiating;
        onHandshakeDone();
    }

    // Frames are consumed from an offset and the buffer is compacted once, so a read holding
    // many frames costs one move, not one per frame.
    int consumed = 0;
    while (!failed && receiveBuffer.size() - consumed >= 2) {
        const auto *head = reinterpret_cast<const uchar *>(receiveBuffer.constData() + consumed);
        const int length = (head[0] << 8) | head[1];
        if (receiveBuffer.size() - consumed - 2 < length)
            break;
        const char *message = receiveBuffer.constData() + consumed + 2;
        consumed += 2 + length;
        if (sealed.isOpen()) {
            if (!sealed.openInto(message, length, plaintextBuffer) || plaintextBuffer.isEmpty()
                || static_cast<uchar>(plaintextBuffer.at(0)) > static_cast<uchar>(FrameKind::Control)) {
                failTampered();
                return;
            }
            handleSealed(static_cast<FrameKind>(plaintextBuffer.at(0)),
                QByteArray::fromRawData(plaintextBuffer.constData() + 1, plaintextBuffer.size() - 1));
            continue;
        }
        try {
            crypto.decryptInto(QByteArray::fromRawData(message, length), plaintextBuffer);
        } catch (const std::exception &error) {
            fail(Failure::Tampered, QString::fromUtf8(error.what()));
            return;
        }
        // What both ends exchange before the switch is bound into the sealed stream's keys.
        if (state == Negotiating)
            sealed.recordIncoming(plaintextBuffer);
        handleMessage(plaintextBuffer);
    }
    if (failed)
        receiveBuffer.clear();
    else
        receiveBuffer.remove(0, consumed);
}

void Context::handleSocketError()
{
    // Both peers close the connection when they are done, so errors after the end are expected.
    if (state == Finished)
        return;
    if (state == AwaitingKey)
        fail(Failure::Network, tr("握手失败！"), socket->errorString());
    else
        fail(Failure::Network, socket->errorString(), socket->errorString());
}

void Context::handshakeTimedOut()
{
    if (state == AwaitingKey)
        fail(Failure::TimedOut, tr("握手失败！"));
}

void Context::fail(Failure kind, const QString &msg, const QString &detail)
{
    if (failed)
        return;
    failed = true;
    handshakeTimer.stop();
    receiveBuffer.clear();
    // Frames already queued still go out: the files they finish are complete at the other end,
    // even if the window that owns the session is closed at once.
    if (socket && socket->state() == QAbstractSocket::ConnectedState)
        socket->flush();
    emit raiseErrorMsg(msg);
    reportFailure({ kind, detail });
}

void Context::reportFailure(const TransferFailure &failure)
{
    if (endReported)
        return;
    endReported = true;
    emit transferFailed(failure);
}

void Context::cancel()
{
    if (failed || state == Finished)
        return;
    fail(Failure::CancelledHere, tr("已取消传输"));
    socket->disconnectFromHost();
}

void Context::emitProgress()
{
    if (totalBytes == 0)
        return;
    emit updateProgressBar(static_cast<double>(transferred) / static_cast<double>(totalBytes));
    emit progressed({ transferred, totalBytes, current, movedThisSession() });
}

void Context::emitFinished(const QString &folder)
{
    if (endReported)
        return;
    endReported = true;
    emit transferFinished({ static_cast<int>(metadata.size()), totalBytes, folder });
}
