#include "context.h"

#include "core/logging.h"
#include "core/paireddevices.h"
#include "core/transferfeatures.h"
#include "transfer/identity.h"
#include "transfer/identityproof.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QTcpSocket>

#include <cerrno>
#include <cstring>
#include <exception>
#include <sys/socket.h>

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
    qRegisterMetaType<PeerIdentity>();
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
    stopPipelines();
    sealed.reset();
    peerPublicKey.clear();
    receiveBuffer.clear();
    agreedFeatures.clear();
    peer = PeerIdentity();
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
    startPipelines();
    return true;
}

void Context::startPipelines()
{
    lengthBytes = uses(TransferFeatures::wideFrames) ? wideLengthBytes : narrowLengthBytes;
    sealing = std::make_unique<FramePipeline>(sealed, FramePipeline::Direction::Seal, pipelineDepth, nullptr);
    opening = std::make_unique<FramePipeline>(sealed, FramePipeline::Direction::Open, pipelineDepth, nullptr);
    connect(sealing.get(), &FramePipeline::ready, this, [this] {
        sendSealed();
        sealedFramesSent();
    });
    connect(opening.get(), &FramePipeline::ready, this, [this] {
        if (deliverOpened() && opening && !failed)
            readSealedFrames();
    });
}

void Context::stopPipelines()
{
    sealing.reset();
    opening.reset();
    incoming = FramePipeline::Frame();
    incomingHeadBytes = 0;
    incomingBytes = 0;
    readingMessage = false;
    lengthBytes = narrowLengthBytes;
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

void Context::setIdentity(const Identity *own)
{
    identity = own;
}

bool Context::provesIdentity() const
{
    return uses(TransferFeatures::identity) && uses(TransferFeatures::sealed);
}

QJsonObject Context::ownIdentityProof(bool asSender) const
{
    const Identity &own = identity ? *identity : Identity::own();
    return asSender ? IdentityProof::make(own, IdentityProof::Role::Sender, crypto.publicKey, peerPublicKey)
                    : IdentityProof::make(own, IdentityProof::Role::Receiver, peerPublicKey, crypto.publicKey);
}

void Context::checkPeerProof(const QJsonValue &proof, bool peerIsSender, const QString &name)
{
    const IdentityProof::Checked checked = peerIsSender
        ? IdentityProof::check(proof, IdentityProof::Role::Sender, peerPublicKey, crypto.publicKey)
        : IdentityProof::check(proof, IdentityProof::Role::Receiver, crypto.publicKey, peerPublicKey);
    if (checked.failed)
        qCWarning(lcTransfer).noquote() << "The identity proof of" << peerAddressSeen.toString()
                                        << "does not verify: it proves nothing";
    peer = IdentityProof::standing(checked.key, name);
}

bool Context::pairPeer(const QString &name)
{
    // A device paired already keeps the name the user knows it by.
    const bool known = PairedDevices::find(peer.key).has_value();
    const QString stored = known ? QString() : name.isEmpty() ? peerAddressSeen.toString() : name;
    if (peer.key.isEmpty() || !PairedDevices::pair(peer.key, stored))
        return false;
    peer = IdentityProof::standing(peer.key, name);
    emit peerPaired(peer);
    return true;
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
    if (sealing) {
        if (size > sealedPayloadLimit() + 1) {
            fail(Failure::Protocol, tr("消息过长，无法发送！"));
            return;
        }
        // A control frame goes out behind the data frames before it, before this returns.
        sealing->drain();
        sendSealed();
        FramePipeline::Frame frame = sealing->take(lengthBytes + size + SealedStream::tagBytes, true);
        frame.headerBytes = lengthBytes;
        memcpy(frame.message(), plaintext, static_cast<size_t>(size));
        frame.size = size;
        sealing->submit(std::move(frame));
        sealing->drain();
        sendSealed();
        return;
    }
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

FramePipeline::Frame Context::takeDataFrame(int payload, qint64 maxAheadBytes)
{
    if (!sealing || socket->bytesToWrite() + sealing->pendingBytes() >= maxAheadBytes)
        return {};
    FramePipeline::Frame frame = sealing->take(lengthBytes + 1 + payload + SealedStream::tagBytes);
    frame.headerBytes = lengthBytes;
    if (!frame.bytes.isEmpty())
        frame.message()[0] = static_cast<char>(FrameKind::Data);
    return frame;
}

void Context::queueDataFrame(FramePipeline::Frame frame, int payload)
{
    frame.size = 1 + payload;
    sealing->submit(std::move(frame));
}

void Context::dropDataFrame(FramePipeline::Frame frame)
{
    if (sealing && !frame.bytes.isEmpty())
        sealing->recycle(std::move(frame));
}

bool Context::sendSealed()
{
    if (!sealing)
        return false;
    QVector<FramePipeline::Frame> frames = sealing->finished();
    for (FramePipeline::Frame &frame : frames) {
        const int length = frame.size + SealedStream::tagBytes;
        auto *head = reinterpret_cast<unsigned char *>(frame.bytes.data());
        for (int i = 0; i < lengthBytes; ++i)
            head[i] = static_cast<unsigned char>(static_cast<quint32>(length) >> (8 * (lengthBytes - 1 - i)));
        // In slices: the socket buffers each write in a block of its size, and blocks this small
        // come back from the allocator's free lists, where large ones are mapped, faulted in
        // page by page and unmapped again for every frame.
        const int total = lengthBytes + length;
        for (auto offset = static_cast<int>(sendDirect(frame.bytes.constData(), total)); offset < total;
             offset += socketWriteSlice)
            socket->write(frame.bytes.constData() + offset, qMin(socketWriteSlice, total - offset));
        sealing->recycle(std::move(frame));
    }
    return !frames.isEmpty();
}

void Context::settle()
{
    settleIncoming();
    while (sealing && !failed) {
        sealing->drain();
        if (!sendSealed())
            return;
        sealedFramesSent();
    }
}

qint64 Context::pull(char *to, qint64 most)
{
    // What was read before the switch comes first.
    if (!receiveBuffer.isEmpty()) {
        const int count = static_cast<int>(qMin<qint64>(most, receiveBuffer.size()));
        memcpy(to, receiveBuffer.constData(), static_cast<size_t>(count));
        receiveBuffer.remove(0, count);
        return count;
    }
    return socket->read(to, most);
}

qint64 Context::sendDirect(const char *data, qint64 size)
{
    if (socket->bytesToWrite() > 0 || socket->state() != QAbstractSocket::ConnectedState || socket->socketDescriptor() < 0)
        return 0;
    const auto descriptor = static_cast<int>(socket->socketDescriptor());
    qint64 sent = 0;
    while (sent < size) {
        const ssize_t count = ::send(descriptor, data + sent, static_cast<size_t>(size - sent), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (count > 0)
            sent += count;
        else if (count < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return sent;
}

void Context::readSealedFrames()
{
    // Each message is read straight into the buffer it is opened in. While the pipeline is full
    // this thread waits for the cipher rather than read on: what the socket buffers stays
    // within what the system held, and the system's buffers hold the peer back.
    while (!failed && opening) {
        if (!readingMessage) {
            if (!opening->hasRoom()) {
                opening->waitForOne();
                // Frames out with a caller further up come back when it is done with them.
                if (!deliverOpened())
                    return;
                continue;
            }
            const qint64 got = pull(reinterpret_cast<char *>(incomingHead) + incomingHeadBytes,
                lengthBytes - incomingHeadBytes);
            if (got <= 0)
                return;
            incomingHeadBytes += static_cast<int>(got);
            if (incomingHeadBytes < lengthBytes)
                continue;
            quint32 length = 0;
            for (int i = 0; i < lengthBytes; ++i)
                length = (length << 8) | incomingHead[i];
            const int most = lengthBytes == wideLengthBytes ? maxWideMessage : maxMessagePerFrame;
            // A frame has at least its kind and tag; a longer one than agreed is not this stream.
            if (length < static_cast<quint32>(SealedStream::tagBytes + 1) || length > static_cast<quint32>(most)) {
                failTampered();
                return;
            }
            incoming = opening->take(static_cast<int>(length));
            incoming.size = static_cast<int>(length);
            incomingBytes = 0;
            incomingHeadBytes = 0;
            readingMessage = true;
        }
        const qint64 got = pull(incoming.message() + incomingBytes, incoming.size - incomingBytes);
        if (got <= 0)
            return;
        incomingBytes += static_cast<int>(got);
        if (incomingBytes == incoming.size) {
            readingMessage = false;
            opening->submit(std::move(incoming));
            incoming = FramePipeline::Frame();
        }
    }
}

bool Context::deliverOpened()
{
    if (!opening)
        return false;
    QVector<FramePipeline::Frame> frames = opening->finished();
    for (FramePipeline::Frame &frame : frames) {
        if (!failed) {
            const int plaintext = frame.size - SealedStream::tagBytes;
            const char *message = frame.message();
            if (!frame.opened || static_cast<uchar>(message[0]) > static_cast<uchar>(FrameKind::Control))
                failTampered();
            else
                handleSealed(static_cast<FrameKind>(message[0]), QByteArray::fromRawData(message + 1, plaintext - 1));
        }
        if (opening)
            opening->recycle(std::move(frame));
    }
    if (failed)
        socket->readAll();
    return !frames.isEmpty();
}

void Context::settleIncoming()
{
    while (opening && !failed) {
        readSealedFrames();
        if (!opening)
            return;
        opening->drain();
        if (!deliverOpened())
            return;
    }
}

void Context::receiveSocketData()
{
    if (opening) {
        readSealedFrames();
        if (failed)
            socket->readAll();
        return;
    }
    // Taken in slices, so that the buffer stays near one frame however much the socket holds.
    while (!failed && !opening && socket->bytesAvailable() > 0) {
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
    // Frames after the switch, already read or still in the socket.
    if (opening && !failed)
        readSealedFrames();
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
        // An IPv4 peer of a server on every address shows as an IPv4-mapped IPv6 address.
        bool isIPv4 = false;
        const quint32 v4 = socket->peerAddress().toIPv4Address(&isIPv4);
        peerAddressSeen = isIPv4 ? QHostAddress(v4) : socket->peerAddress();
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
    while (!failed && !opening && receiveBuffer.size() - consumed >= 2) {
        const auto *head = reinterpret_cast<const uchar *>(receiveBuffer.constData() + consumed);
        const int length = (head[0] << 8) | head[1];
        if (receiveBuffer.size() - consumed - 2 < length)
            break;
        const char *message = receiveBuffer.constData() + consumed + 2;
        consumed += 2 + length;
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
    settleIncoming();
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
    if (sealing) {
        sealing->drain();
        sendSealed();
    }
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

void Context::emitFinished(const QString &folder, const QString &text)
{
    if (endReported)
        return;
    endReported = true;
    // A paired device is looked for where it was last (on its default discovery port).
    // The store is written only when the device moved, not after every session.
    if (!peer.key.isEmpty() && !peerAddressSeen.isNull()) {
        const KnownAddress seen { peerAddressSeen, 0 };
        const std::optional<PairedDevice> paired = PairedDevices::find(peer.key);
        if (paired && paired->lastAddress.text() != seen.text())
            PairedDevices::setLastAddress(paired->fingerprint(), seen);
    }
    emit transferFinished({ static_cast<int>(metadata.size()), totalBytes, folder, text });
}
