#include "sendercontext.h"

#include "core/jsontext.h"
#include "core/logging.h"
#include "core/settings.h"
#include "core/transferfeatures.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QTcpSocket>
#include <QTimer>

#include <exception>

namespace {

constexpr int endDelayMsec = 1000;

QJsonObject fileEntry(const FileMetadata &file)
{
    return { { QStringLiteral("filename"), file.filename },
        { QStringLiteral("size"), static_cast<double>(file.size) } };
}

} // namespace

SenderContext::SenderContext(QTcpSocket *connection, QList<QSharedPointer<QFile>> files,
    const QList<QPair<QString, QString>> &names, QObject *parent)
    : Context(connection, parent)
{
    connect(socket, &QTcpSocket::bytesWritten, this, &SenderContext::writeByteToSocket);
    receiptTimer.setSingleShot(true);
    connect(&receiptTimer, &QTimer::timeout, this, [this] { fail(tr("未收到接收方的确认")); });
    readBuffer.resize(static_cast<int>(maxDataPerFrame));
    for (int i = 0; i < files.size(); ++i) {
        // Only the name is kept: each session opens one file at a time, from its beginning.
        paths.append(files.at(i)->fileName());
        const QFileInfo info(paths.last());
        const auto size = static_cast<quint64>(info.size());
        totalBytes += size;
        metadata.append(
            { i < names.size() ? names.at(i).first : QString(), size, info.lastModified().toMSecsSinceEpoch() });
        entrySizes.append(QJsonDocument(fileEntry(metadata.last())).toJson(QJsonDocument::Compact).size()
            + QByteArray::number(metadata.last().mtime).size());
    }
    offsets.fill(0, metadata.size());
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
        if (more > 0)
            frame.insert(QStringLiteral("more"), more);
    }
    return QJsonDocument(frame).toJson(QJsonDocument::Compact);
}

int SenderContext::entriesFitting(int first, bool head, int more) const
{
    // The compact arrays are their entries joined by commas; the check below catches any gap.
    qint64 size = offerFrame(first, 0, head, more).size();
    int count = 0;
    while (first + count < metadata.size()) {
        size += entrySizes.at(first + count) + (count > 0 ? 2 : 0);
        if (size > maxPlaintextPerFrame)
            break;
        ++count;
    }
    while (count > 0 && offerFrame(first, count, head, more).size() > maxPlaintextPerFrame)
        --count;
    return count;
}

int SenderContext::batchCount() const
{
    int batches = 1;
    for (int first = batchEnd; first < metadata.size(); ++batches)
        first += qMax(1, entriesFitting(first, true, 0));
    return batches;
}

void SenderContext::onHandshakeDone()
{
    // A file removed since it was chosen would be announced with size 0; better to tell the user
    // before the receiver is asked anything.
    for (int i = batchStart; i < metadata.size(); ++i) {
        if (!openForReading(i))
            return;
        source.close();
    }
    // Reserving the widest count keeps the first frame within its limit whatever follows.
    const int rest = metadata.size() - batchStart;
    const int fitting = entriesFitting(batchStart, true, batched ? 0 : rest);
    if (fitting == 0 && rest > 0) {
        fail(tr("文件列表过长，无法一次发送，请减少文件数量！"));
        return;
    }
    offeredEnd = batchStart + fitting;
    batchEnd = batched ? offeredEnd : metadata.size();
    sendMessage(offerFrame(batchStart, fitting, true, batched ? 0 : rest - fitting));
}

bool SenderContext::openForReading(int index)
{
    source.close();
    source.setFileName(paths.at(index));
    // Only a regular file: opening a pipe put in its place would block until someone writes.
    if (!QFileInfo(source.fileName()).isFile() || !source.open(QIODevice::ReadOnly)) {
        fail(tr("无法打开文件 %1，传输已中止！").arg(metadata.at(index).filename));
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
                fail(tr("对方已取消传输"));
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
        fail(tr("文件meta响应解析错误！"));
    }
}

void SenderContext::sendRestOfList()
{
    restSent = true;
    for (int first = offeredEnd; first < metadata.size() && !hasFailed();) {
        const int count = entriesFitting(first, false, 0);
        if (count == 0) {
            fail(tr("文件列表过长，无法一次发送，请减少文件数量！"));
            return;
        }
        sendMessage(offerFrame(first, count, false, 0));
        first += count;
    }
}

void SenderContext::handleAnswer(const QJsonObject &answer)
{
    if (answer.value(QStringLiteral("response")).toInt() == 0) {
        emit refused();
        fail(tr("接收设备拒绝接收文件！"));
        return;
    }
    agreeFeatures(answer.value(QStringLiteral("features")));
    if (offeredEnd < batchEnd && !restSent) {
        // The receiver answered the part it saw: the rest follows in sessions of their own.
        batchEnd = offeredEnd;
        if (!batched)
            emit printLogMsg(tr("对方版本较旧，文件将分 %1 批发送，每批需对方确认").arg(batchCount()));
        batched = true;
    }
    if (uses(TransferFeatures::resume))
        applyOffsets(answer.value(QStringLiteral("offsets")));
    state = Transferring;
    current = batchStart;
    remaining = 0;
    announceNext = true;
    writeByteToSocket();
}

void SenderContext::applyOffsets(const QJsonValue &value)
{
    const QJsonArray held = value.toArray();
    if (held.size() != metadata.size())
        return;
    for (int i = 0; i < held.size(); ++i) {
        const double bytes = held.at(i).toDouble();
        // What the receiver claims beyond the file is ignored: the file is then sent whole.
        offsets[i] = bytes > 0 && bytes <= static_cast<double>(metadata.at(i).size) ? static_cast<quint64>(bytes) : 0;
    }
}

void SenderContext::handleReceipt(const QJsonObject &receipt)
{
    if (!receipt.contains(QStringLiteral("receipt")))
        return;
    receiptTimer.stop();
    if (receipt.value(QStringLiteral("receipt")).toInt() == 1) {
        // Taken as it comes: the last bytesWritten may be handled after the receipt.
        receiptReceived = true;
        if (awaitingReceipt) {
            awaitingReceipt = false;
            finish();
        }
        return;
    }
    awaitingReceipt = false;
    QString error = receipt.value(QStringLiteral("error")).toString();
    if (error.isEmpty())
        error = tr("未收到接收方的确认");
    fail(error);
    socket->disconnectFromHost();
}

void SenderContext::handleSocketError()
{
    if (awaitingReceipt && state == Transferring) {
        awaitingReceipt = false;
        receiptTimer.stop();
        fail(tr("未收到接收方的确认"));
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
    if (state == Transferring && uses(TransferFeatures::cancel))
        sendMessage(QByteArray());
    Context::cancel();
}

void SenderContext::writeByteToSocket()
{
    if (state != Transferring || hasFailed() || awaitingReceipt)
        return;
    // A few frames in flight: the next chunk is read only while the socket holds less than
    // writeAheadBytes, which bounds memory whatever the file size, and a small file does not
    // wait for a round through the event loop before the next one starts.
    while (current < batchEnd) {
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

bool SenderContext::sendNextChunk()
{
    const FileMetadata &head = metadata.at(current);
    if (!source.isOpen()) {
        if (!openForReading(current))
            return false;
        // An announced empty file sends no frame, so this is the only place to see it change.
        if (head.size == 0 && source.size() != 0) {
            fail(tr("文件 %1 在发送过程中发生了变化，传输已中止！").arg(head.filename));
            return false;
        }
        remaining = head.size - offsets.at(current);
        transferred += offsets.at(current);
        if (offsets.at(current) > 0 && !source.seek(static_cast<qint64>(offsets.at(current)))) {
            fail(tr("文件 %1 在发送过程中发生了变化，传输已中止！").arg(head.filename));
            return false;
        }
        if (remaining == 0)
            return true;
    }
    if (announceNext) {
        emit printLogMsg(tr("正在传送文件 %1 ……").arg(head.filename));
        announceNext = false;
    }
    // The receiver writes exactly the announced bytes: a file that has changed since it was
    // announced cannot be sent faithfully.
    const qint64 wanted = qMin<qint64>(maxDataPerFrame, static_cast<qint64>(remaining));
    const bool sizeKept = static_cast<quint64>(source.size()) == static_cast<quint64>(source.pos()) + remaining;
    if (!sizeKept || source.read(readBuffer.data(), wanted) != wanted) {
        fail(tr("文件 %1 在发送过程中发生了变化，传输已中止！").arg(head.filename));
        return false;
    }
    sendMessage(QByteArray::fromRawData(readBuffer.constData(), static_cast<int>(wanted)));
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
    connect(next, &QTcpSocket::errorOccurred, this, [this, next] { fail(next->errorString()); });
    next->connectToHost(address, port);
}

void SenderContext::finish()
{
    state = Finished;
    emit printLogMsg(tr("传输完成！"));
    socket->disconnectFromHost();
    QTimer::singleShot(endDelayMsec, this, &Context::raiseEndSignal);
}
