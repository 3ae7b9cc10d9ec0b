#include "sendercontext.h"

#include "core/jsontext.h"
#include "core/logging.h"
#include "core/settings.h"
#include "core/transferfeatures.h"
#include "transfer/identityproof.h"
#include "transfer/prefixdigests.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QTcpSocket>
#include <QTimer>

#include <sodium.h>

#include <cerrno>
#include <cmath>
#include <exception>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int endDelayMsec = 1000;

QJsonObject fileEntry(const FileMetadata &file)
{
    return { { QStringLiteral("filename"), file.filename },
        { QStringLiteral("size"), static_cast<double>(file.size) } };
}

// The bytes of an entry in the offer's compact JSON plus those of its time in "mtimes": what the
// writer makes of a plain name, and more for a name with characters it escapes (each counted
// at its longest escape), so that frames filled by these sizes rarely need trimming. Counted
// rather than written out: a tree of many files is offered without a JSON document per file.
int entryBytes(const FileMetadata &file)
{
    const QByteArray name = file.filename.toUtf8();
    int bytes = name.size();
    for (const char c : name) {
        if (static_cast<uchar>(c) < 0x20 || c == '"' || c == '\\')
            bytes += 5;
    }
    return bytes + static_cast<int>(sizeof R"({"filename":"","size":})" - 1) + QByteArray::number(file.size).size()
        + QByteArray::number(file.mtime).size();
}

} // namespace

SenderContext::SenderContext(QTcpSocket *connection, QList<QSharedPointer<QFile>> files,
    const QList<QPair<QString, QString>> &names, QObject *parent)
    : Context(connection, parent)
{
    connect(socket, &QTcpSocket::bytesWritten, this, &SenderContext::writeByteToSocket);
    receiptTimer.setSingleShot(true);
    connect(&receiptTimer, &QTimer::timeout, this, [this] { fail(Failure::TimedOut, tr("未收到接收方的确认")); });
    connect(this, &Context::raiseErrorMsg, this, &SenderContext::tellReceiver);
    // One byte ahead of the data for the sealed stream's frame kind, so that a chunk is read
    // where it is encrypted from.
    readBuffer.resize(static_cast<int>(maxDataPerFrame) + 1);
    for (int i = 0; i < files.size(); ++i) {
        // Only the name is kept: each session opens one file at a time, from its beginning.
        paths.append(files.at(i)->fileName());
        // One stat per file and the time in milliseconds as the system gives it, without a local
        // date per file: the same value as the file's QFileInfo::lastModified().
        struct stat status { };
        const bool found = ::stat(QFile::encodeName(paths.last()).constData(), &status) == 0;
        regularFiles.append(found && S_ISREG(status.st_mode));
        const auto size = found ? static_cast<quint64>(status.st_size) : 0;
        const qint64 mtime
            = found ? qint64(status.st_mtim.tv_sec) * 1000 + qint64(status.st_mtim.tv_nsec) / 1000000 : 0;
        totalBytes += size;
        metadata.append({ i < names.size() ? names.at(i).first : QString(), size, mtime });
        entrySizes.append(entryBytes(metadata.last()));
    }
    offsets.fill(0, metadata.size());
}

SenderContext::SenderContext(QTcpSocket *connection, const QString &text, const QDateTime &sent, QObject *parent)
    : SenderContext(connection, QList<QSharedPointer<QFile>>(), {}, parent)
{
    textUtf8 = text.toUtf8();
    sendsText = true;
    paths.append(QString());
    regularFiles.append(true);
    totalBytes = static_cast<quint64>(textUtf8.size());
    metadata.append({ textFileName(sent), totalBytes, sent.toMSecsSinceEpoch() });
    entrySizes.append(entryBytes(metadata.last()));
    offsets.fill(0, 1);
}

QString SenderContext::textFileName(const QDateTime &sent)
{
    // The same name in every language: it is what the receiving device shows and keeps.
    return QStringLiteral("文字-%1.txt").arg(sent.toString(QStringLiteral("yyyy-MM-dd-HH.mm.ss")));
}

int SenderContext::textDescriptor() const
{
    const int descriptor = ::memfd_create("orvex-text", MFD_CLOEXEC);
    if (descriptor < 0)
        return -1;
    for (qint64 written = 0; written < textUtf8.size();) {
        const ssize_t count
            = ::write(descriptor, textUtf8.constData() + written, static_cast<size_t>(textUtf8.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            ::close(descriptor);
            return -1;
        }
        written += count;
    }
    ::lseek(descriptor, 0, SEEK_SET);
    return descriptor;
}

QByteArray SenderContext::offerFrame(int first, int count, bool head, int more) const
{
    // "mtimes" runs parallel to "files", so that the entries stay as a base receiver knows them.
    QJsonArray files;
    QJsonArray mtimes;
    for (int i = first; i < first + count; ++i) {
        files.append(fileEntry(metadata.at(i)));
        mtimes.append(static_cast<double>(metadata.at(i).mtime));
    }
    QJsonObject frame { { QStringLiteral("files"), files }, { QStringLiteral("mtimes"), mtimes } };
    if (head) {
        frame.insert(QStringLiteral("device_name"), Settings::deviceName());
        frame.insert(QStringLiteral("device_type"), QSysInfo::productType());
        frame.insert(QStringLiteral("features"), QJsonArray::fromStringList(TransferFeatures::supported()));
        // A base receiver ignores it; one that speaks "identity" checks it when the stream is sealed.
        if (!offerProof.isEmpty())
            frame.insert(QStringLiteral("identity"), offerProof);
        if (more > 0)
            frame.insert(QStringLiteral("more"), more);
        if (sendsText)
            frame.insert(QStringLiteral("text"), true);
    }
    return QJsonDocument(frame).toJson(QJsonDocument::Compact);
}

QByteArray SenderContext::fittingOfferFrame(int first, bool head, bool moreAfter, int *count) const
{
    const int rest = metadata.size() - first;
    // Counted with the widest "more" the frame could state; the compact arrays are their
    // entries joined by commas. Each frame is written once unless the count was too generous.
    qint64 size = offerFrame(first, 0, head, moreAfter ? rest : 0).size();
    int fitting = 0;
    while (fitting < rest) {
        size += entrySizes.at(first + fitting) + (fitting > 0 ? 2 : 0);
        if (size > maxPlaintextPerFrame)
            break;
        ++fitting;
    }
    for (; fitting > 0; --fitting) {
        QByteArray frame = offerFrame(first, fitting, head, moreAfter ? rest - fitting : 0);
        if (frame.size() <= maxPlaintextPerFrame) {
            *count = fitting;
            return frame;
        }
    }
    *count = 0;
    return QByteArray();
}

int SenderContext::batchCount() const
{
    int batches = 1;
    for (int first = batchEnd; first < metadata.size(); ++batches) {
        int count = 0;
        fittingOfferFrame(first, true, false, &count);
        first += qMax(1, count);
    }
    return batches;
}

void SenderContext::onHandshakeDone()
{
    // A file removed since it was chosen, or put in place of something else, would be announced
    // with size 0; better to tell the user before the receiver is asked anything. The look-up
    // made when the session was set up tells, without opening every file of a tree once more.
    for (int i = batchStart; i < metadata.size(); ++i) {
        if (!regularFiles.at(i)) {
            fail(Failure::ReadError, tr("无法打开文件 %1，传输已中止！").arg(metadata.at(i).filename),
                metadata.at(i).filename);
            return;
        }
    }
    offerProof = ownIdentityProof(true);
    const int rest = metadata.size() - batchStart;
    int fitting = 0;
    const QByteArray frame = fittingOfferFrame(batchStart, true, !batched, &fitting);
    if (fitting == 0 && rest > 0) {
        fail(Failure::Protocol, tr("文件列表过长，无法一次发送，请减少文件数量！"));
        return;
    }
    offeredEnd = batchStart + fitting;
    batchEnd = batched ? offeredEnd : metadata.size();
    sendMessage(rest > 0 ? frame : offerFrame(batchStart, 0, true, 0));
}

bool SenderContext::openForReading(int index)
{
    source.close();
    // Only a regular file: a pipe put in its place is opened without waiting for a writer, and
    // refused. One look-up of the path per file, which a tree of small files feels.
    // A text goes the way a file goes, from an anonymous file in memory.
    const int descriptor = sendsText
        ? textDescriptor()
        : ::open(QFile::encodeName(paths.at(index)).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status { };
    // Unbuffered: the bytes go from the system straight into the frame.
    if (descriptor < 0 || ::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)
        || !source.open(descriptor, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        if (descriptor >= 0)
            ::close(descriptor);
        fail(Failure::ReadError, tr("无法打开文件 %1，传输已中止！").arg(metadata.at(index).filename),
            metadata.at(index).filename);
        return false;
    }
    return true;
}

void SenderContext::handleMessage(QByteArray plaintext)
{
    if (state != Negotiating && state != Transferring)
        return;
    try {
        const QJsonObject message = parseJson(plaintext).object();
        if (state == Transferring) {
            if (uses(TransferFeatures::cancel) && message.contains(QStringLiteral("cancel"))) {
                fail(Failure::CancelledByPeer, tr("对方已取消传输"));
                socket->disconnectFromHost();
            } else if (uses(TransferFeatures::receipt)) {
                handleReceipt(message);
            }
        } else if (!restSent && offeredEnd < batchEnd && !message.contains(QStringLiteral("response"))
            && message.value(QStringLiteral("more")).toBool()) {
            sendRestOfList();
        } else {
            handleAnswer(message);
        }
    } catch (const std::exception &) {
        fail(Failure::Protocol, tr("文件meta响应解析错误！"));
    }
}

void SenderContext::sendRestOfList()
{
    restSent = true;
    for (int first = offeredEnd; first < metadata.size() && !hasFailed();) {
        int count = 0;
        const QByteArray frame = fittingOfferFrame(first, false, false, &count);
        if (count == 0) {
            fail(Failure::Protocol, tr("文件列表过长，无法一次发送，请减少文件数量！"));
            return;
        }
        sendMessage(frame);
        first += count;
    }
}

void SenderContext::handleAnswer(const QJsonObject &answer)
{
    if (answer.value(QStringLiteral("response")).toInt() == 0) {
        // A receiver that declines proves nothing.
        peer = IdentityProof::standing(QByteArray(), peerName);
        emit peerIdentified(peer);
        const bool unanswered = answer.value(QStringLiteral("reason")).toString() == QLatin1String("timeout");
        fail(unanswered ? Failure::Unanswered : Failure::Declined,
            unanswered ? tr("接收设备无人回答，已自动拒绝！") : tr("接收设备拒绝接收文件！"));
        return;
    }
    agreeFeatures(answer.value(QStringLiteral("features")));
    if (provesIdentity())
        checkPeerProof(answer.value(QStringLiteral("identity")), false, peerName);
    else
        peer = IdentityProof::standing(QByteArray(), peerName);
    emit peerIdentified(peer);
    // The user here chose to remember the receiver, or the receiver's user compared the code and
    // asks to be remembered. Only a receiver that proved its key in this session is stored, and
    // on request only when it does not use the name of another paired device: a reinstalled
    // device is paired again by the user's own choice.
    const bool requested = answer.value(QStringLiteral("pair")).toInt() == 1
        && peer.standing != PeerIdentity::Standing::NotThePairedDevice;
    if (pairOnAccept || requested)
        pairPeer(peerName);
    if (offeredEnd < batchEnd && !restSent) {
        // The receiver answered the part it saw: the rest follows in sessions of their own.
        batchEnd = offeredEnd;
        if (!batched) {
            emit printLogMsg(tr("对方版本较旧，文件将分 %1 批发送，每批需对方确认").arg(batchCount()));
            emit sentInBatches(batchCount());
        }
        batched = true;
    }
    state = Transferring;
    current = batchStart;
    remaining = 0;
    announceNext = true;
    if (uses(TransferFeatures::sealed) && !sealStream(true))
        return;
    const double claimed = answer.value(QStringLiteral("held")).toDouble();
    if (isSealed() && uses(TransferFeatures::checkedResume) && claimed >= 1) {
        // Nothing is sent before the receiver's held prefixes are checked against the files.
        claimsToCome = claimed <= metadata.size() ? static_cast<int>(claimed) : metadata.size() + 1;
        checkingClaims = true;
        return;
    }
    writeByteToSocket();
}

void SenderContext::takeHeld(const QJsonValue &value)
{
    const QJsonArray entries = value.toArray();
    if (!checkingClaims || claimsToCome == 0 || entries.isEmpty() || entries.size() > claimsToCome) {
        failTampered();
        return;
    }
    for (const QJsonValue &entry : entries) {
        const QJsonArray fields = entry.toArray();
        const double index = fields.at(0).toDouble(-1);
        const double bytes = fields.at(1).toDouble();
        const int previous = claims.isEmpty() ? -1 : claims.last().index;
        // Each file once, in the offer's order, within its size; anything else matches nothing.
        const bool usable = index > previous && index < metadata.size() && std::trunc(index) == index && bytes >= 1
            && bytes <= static_cast<double>(metadata.at(static_cast<int>(index)).size);
        claims.append({ usable ? static_cast<int>(index) : previous, usable ? static_cast<quint64>(bytes) : 0,
            QByteArray::fromHex(fields.at(2).toString().toLatin1()) });
    }
    claimsToCome -= entries.size();
    if (claimsToCome > 0)
        return;
    QVector<PrefixDigests::Prefix> prefixes;
    for (const HeldClaim &claim : qAsConst(claims))
        prefixes.append({ claim.bytes > 0 ? paths.at(claim.index) : QString(), claim.bytes });
    auto *own = new PrefixDigests(this);
    connect(own, &PrefixDigests::ready, this, [this, own](const QVector<QByteArray> &digests) {
        own->deleteLater();
        sendVerdicts(digests);
    });
    own->start(prefixes);
}

void SenderContext::sendVerdicts(const QVector<QByteArray> &ownDigests)
{
    if (hasFailed() || state != Transferring)
        return;
    // As many verdicts as fit a frame comfortably: "1," or "0," each.
    constexpr int verdictsPerFrame = 30000;
    QJsonArray verdicts;
    for (int k = 0; k < claims.size(); ++k) {
        const HeldClaim &claim = claims.at(k);
        const QByteArray &own = ownDigests.value(k);
        const bool matches = claim.bytes > 0 && own.size() == PrefixDigests::digestBytes
            && sodium_memcmp(own.constData(), claim.digest.constData(), PrefixDigests::digestBytes) == 0
            && claim.digest.size() == PrefixDigests::digestBytes;
        if (matches)
            offsets[claim.index] = claim.bytes;
        verdicts.append(matches ? 1 : 0);
        if (verdicts.size() == verdictsPerFrame || k + 1 == claims.size()) {
            sendMessage(QJsonDocument(QJsonObject { { QStringLiteral("verdicts"), verdicts } }).toJson(QJsonDocument::Compact));
            verdicts = QJsonArray();
        }
    }
    checkingClaims = false;
    writeByteToSocket();
}

void SenderContext::handleSealed(FrameKind kind, const QByteArray &payload)
{
    if (state != Transferring)
        return;
    const QJsonObject message = parseJson(payload).object();
    if (kind != FrameKind::Control) {
        failTampered();
    } else if (message.contains(QStringLiteral("held"))) {
        takeHeld(message.value(QStringLiteral("held")));
    } else if (message.contains(QStringLiteral("cancel"))) {
        receiverDone = true;
        fail(Failure::CancelledByPeer, tr("对方已取消传输"));
        socket->disconnectFromHost();
    } else if (message.contains(QStringLiteral("receipt"))) {
        handleReceipt(message);
    } else {
        failTampered();
    }
}

void SenderContext::handleReceipt(const QJsonObject &receipt)
{
    if (!receipt.contains(QStringLiteral("receipt")))
        return;
    receiptTimer.stop();
    if (receipt.value(QStringLiteral("receipt")).toInt() == 1) {
        // Before the end frame no receiver can have everything.
        if (isSealed() && !endSent) {
            failTampered();
            return;
        }
        // Taken as it comes: the last bytesWritten may be handled after the receipt.
        receiptReceived = true;
        if (awaitingReceipt) {
            awaitingReceipt = false;
            finish();
        }
        return;
    }
    awaitingReceipt = false;
    receiverDone = true;
    if (isSealed() && receipt.value(QStringLiteral("tampered")).toInt() == 1) {
        failTampered();
    } else {
        QString error = receipt.value(QStringLiteral("error")).toString();
        if (error.isEmpty())
            error = tr("未收到接收方的确认");
        fail(Failure::PeerFailed, error, receipt.value(QStringLiteral("error")).toString());
    }
    socket->disconnectFromHost();
}

void SenderContext::sendPartialFrame()
{
    if (partialBytes > 0)
        queueDataFrame(std::move(partialFrame), partialBytes);
    else
        dropDataFrame(std::move(partialFrame));
    partialFrame = FramePipeline::Frame();
    partialBytes = 0;
}

void SenderContext::tellReceiver(const QString &error)
{
    sendPartialFrame();
    if (!isSealed() || receiverDone || state != Transferring || socket->state() != QAbstractSocket::ConnectedState)
        return;
    receiverDone = true;
    QJsonObject stopped { { QStringLiteral("error"), error } };
    if (wasTampered())
        stopped.insert(QStringLiteral("tampered"), 1);
    sendMessage(QJsonDocument(stopped).toJson(QJsonDocument::Compact));
    socket->flush();
}

void SenderContext::handleSocketError()
{
    // The receipt may be among the last frames, still with the cipher.
    settleIncoming();
    if (awaitingReceipt && state == Transferring) {
        awaitingReceipt = false;
        receiptTimer.stop();
        fail(Failure::Network, tr("未收到接收方的确认"), socket->errorString());
        return;
    }
    Context::handleSocketError();
}

void SenderContext::response(bool accepted)
{
    qCDebug(lcTransfer).noquote().nospace() << "SenderContext::response: " << (accepted ? "true" : "false");
}

void SenderContext::cancel()
{
    if (hasFailed() || state == Finished)
        return;
    // After the frames already queued: what they finish is complete at the other end.
    if (state == Transferring && isSealed() && !receiverDone) {
        receiverDone = true;
        sendMessage(QJsonDocument(QJsonObject { { QStringLiteral("cancel"), 1 } }).toJson(QJsonDocument::Compact));
    } else if (state == Transferring && uses(TransferFeatures::cancel)) {
        sendMessage(QByteArray());
    }
    Context::cancel();
}

void SenderContext::writeByteToSocket()
{
    if (state != Transferring || hasFailed() || awaitingReceipt || checkingClaims)
        return;
    // A few frames in flight: the next chunk is read only while the socket holds less than
    // writeAheadBytes, which bounds memory whatever the file size, and a small file does not
    // wait for a round through the event loop before the next one starts.
    while (current < batchEnd) {
        if (isSealed()) {
            if (!sendSealedFrame())
                return;
            continue;
        }
        if (socket->bytesToWrite() >= writeAheadBytes)
            return;
        if (remaining > 0 || !source.isOpen()) {
            if (!sendNextChunk())
                return;
            if (remaining > 0)
                continue;
        }
        source.close();
        ++current;
        announceNext = true;
    }
    // The sealed stream states its own end, so that a cut after any frame is never taken for it.
    if (isSealed() && !endSent) {
        endSent = true;
        sendMessage(QJsonDocument(QJsonObject { { QStringLiteral("end"), static_cast<double>(sessionBytes) } })
                        .toJson(QJsonDocument::Compact));
    }
    // The end comes once everything is handed to the system.
    if (socket->bytesToWrite() > 0)
        return;
    if (batchEnd < metadata.size()) {
        startNextBatch();
    } else if (uses(TransferFeatures::receipt) && !receiptReceived) {
        awaitingReceipt = true;
        receiptTimer.start(receiptTimeLimitMsec);
    } else {
        finish();
    }
}

bool SenderContext::startFile()
{
    const FileMetadata &head = metadata.at(current);
    if (!openForReading(current))
        return false;
    // An announced empty file sends no frame, so this is the only place to see it change.
    if (head.size == 0 && source.size() != 0) {
        fail(Failure::ReadError, tr("文件 %1 在发送过程中发生了变化，传输已中止！").arg(head.filename), head.filename);
        return false;
    }
    remaining = head.size - offsets.at(current);
    transferred += offsets.at(current);
    if (offsets.at(current) > 0 && !source.seek(static_cast<qint64>(offsets.at(current)))) {
        fail(Failure::ReadError, tr("文件 %1 在发送过程中发生了变化，传输已中止！").arg(head.filename), head.filename);
        return false;
    }
    return true;
}

bool SenderContext::sendSealedFrame()
{
    const bool packed = uses(TransferFeatures::wideFrames);
    const int limit = packed ? qMin(wideDataPerFrame, sealedPayloadLimit()) : static_cast<int>(maxDataPerFrame);
    FramePipeline::Frame frame = takeDataFrame(limit, sealedAheadFrames * (limit + 64));
    // Enough is on its way: the next frame is filled when some has gone.
    if (frame.bytes.isEmpty())
        return false;
    char *data = frame.message() + 1;
    int filled = 0;
    while (current < batchEnd && filled < limit) {
        if (!source.isOpen()) {
            partialFrame = std::move(frame);
            partialBytes = filled;
            if (!startFile())
                return false;
            frame = std::move(partialFrame);
            partialFrame = FramePipeline::Frame();
            partialBytes = 0;
        }
        const FileMetadata &head = metadata.at(current);
        if (remaining > 0) {
            if (announceNext) {
                emit printLogMsg(tr("正在传送文件 %1 ……").arg(head.filename));
                emit fileStarted(current);
                announceNext = false;
            }
            // The receiver writes exactly the announced bytes, as below.
            const qint64 wanted = qMin<qint64>(limit - filled, static_cast<qint64>(remaining));
            const bool sizeKept = static_cast<quint64>(source.size()) == static_cast<quint64>(source.pos()) + remaining;
            if (!sizeKept || source.read(data + filled, wanted) != wanted) {
                partialFrame = std::move(frame);
                partialBytes = filled;
                fail(Failure::ReadError, tr("文件 %1 在发送过程中发生了变化，传输已中止！").arg(head.filename), head.filename);
                return false;
            }
            filled += static_cast<int>(wanted);
            remaining -= static_cast<quint64>(wanted);
            sessionBytes += static_cast<quint64>(wanted);
            transferred += static_cast<quint64>(wanted);
            // Each file's bytes are reported while it is the current one, as with a frame per file.
            emitProgress();
            if (remaining > 0)
                break;
        }
        source.close();
        ++current;
        announceNext = true;
        // Without "wide-frames" a frame holds the bytes of one file only.
        if (!packed && filled > 0)
            break;
    }
    if (filled == 0) {
        dropDataFrame(std::move(frame));
        return true;
    }
    queueDataFrame(std::move(frame), filled);
    return true;
}

bool SenderContext::sendNextChunk()
{
    const FileMetadata &head = metadata.at(current);
    if (!source.isOpen()) {
        if (!startFile())
            return false;
        if (remaining == 0)
            return true;
    }
    if (announceNext) {
        emit printLogMsg(tr("正在传送文件 %1 ……").arg(head.filename));
        emit fileStarted(current);
        announceNext = false;
    }
    // The receiver writes exactly the announced bytes: a file that has changed since it was
    // announced cannot be sent faithfully.
    const qint64 wanted = qMin<qint64>(maxDataPerFrame, static_cast<qint64>(remaining));
    const bool sizeKept = static_cast<quint64>(source.size()) == static_cast<quint64>(source.pos()) + remaining;
    if (!sizeKept || source.read(readBuffer.data() + 1, wanted) != wanted) {
        fail(Failure::ReadError, tr("文件 %1 在发送过程中发生了变化，传输已中止！").arg(head.filename), head.filename);
        return false;
    }
    if (isSealed()) {
        readBuffer[0] = static_cast<char>(FrameKind::Data);
        sendFrame(readBuffer.constData(), static_cast<int>(wanted) + 1);
    } else {
        sendFrame(readBuffer.constData() + 1, static_cast<int>(wanted));
    }
    sessionBytes += static_cast<quint64>(wanted);
    remaining -= static_cast<quint64>(wanted);
    transferred += static_cast<quint64>(wanted);
    emitProgress();
    return true;
}

void SenderContext::startNextBatch()
{
    const QHostAddress address = socket->peerAddress();
    const quint16 port = socket->peerPort();
    // The finished session's connection closes on its own; the next one starts afresh.
    state = Finished;
    socket->disconnectFromHost();
    batchStart = batchEnd;
    auto *next = new QTcpSocket(this);
    connect(next, &QTcpSocket::connected, this, [this, next] {
        next->disconnect(this);
        restartOn(next);
        connect(socket, &QTcpSocket::bytesWritten, this, &SenderContext::writeByteToSocket);
    });
    connect(next, &QTcpSocket::errorOccurred, this,
        [this, next] { fail(Failure::Network, next->errorString(), next->errorString()); });
    next->connectToHost(address, port);
}

void SenderContext::finish()
{
    state = Finished;
    emitFinished();
    emit printLogMsg(tr("传输完成！"));
    socket->disconnectFromHost();
    QTimer::singleShot(endDelayMsec, this, &Context::raiseEndSignal);
}
