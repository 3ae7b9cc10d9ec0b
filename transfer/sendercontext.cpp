#include "sendercontext.h"

#include "core/logging.h"
#include "core/settings.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QTcpSocket>
#include <QTimer>

#include <exception>

namespace {

constexpr int endDelayMsec = 1000;

} // namespace

SenderContext::SenderContext(QTcpSocket *connection, QList<QSharedPointer<QFile>> files,
    const QList<QPair<QString, QString>> &names, QObject *parent)
    : Context(connection, parent)
    , fileQueue(std::move(files))
{
    connect(socket, &QTcpSocket::bytesWritten, this, &SenderContext::writeByteToSocket);
    readBuffer.resize(static_cast<int>(maxDataPerFrame));
    for (int i = 0; i < fileQueue.size(); ++i) {
        // A handle of this session's own, closed until its turn: only one chosen file is open at a
        // time however many are sent, and every session reads each file from its beginning.
        fileQueue[i] = QSharedPointer<QFile>::create(fileQueue.at(i)->fileName());
        const auto size = static_cast<quint64>(fileQueue.at(i)->size());
        totalBytes += size;
        metadata.append({ i < names.size() ? names.at(i).first : QString(), size });
    }
}

QByteArray SenderContext::offerMessage(const QVector<FileMetadata> &entries)
{
    QJsonArray files;
    for (const FileMetadata &entry : entries)
        files.append(QJsonObject { { QStringLiteral("filename"), entry.filename },
            { QStringLiteral("size"), static_cast<double>(entry.size) } });
    const QJsonObject offer { { QStringLiteral("device_name"), Settings::deviceName() },
        { QStringLiteral("device_type"), QSysInfo::productType() }, { QStringLiteral("files"), files } };
    return QJsonDocument(offer).toJson(QJsonDocument::Compact);
}

void SenderContext::onHandshakeDone()
{
    const QByteArray message = offerMessage(metadata);
    if (message.size() > maxPlaintextPerFrame) {
        fail(tr("文件列表过长，无法一次发送，请减少文件数量！"));
        return;
    }
    // A file removed since it was chosen would be announced with size 0; better to tell the user
    // before the receiver is asked anything.
    for (int i = 0; i < fileQueue.size(); ++i) {
        QFile *file = fileQueue.at(i).data();
        if (!openForReading(file, metadata.at(i).filename))
            return;
        file->close();
    }
    sendMessage(message);
}

bool SenderContext::openForReading(QFile *file, const QString &name)
{
    // Only a regular file: opening a pipe put in its place would block until someone writes.
    if (!QFileInfo(file->fileName()).isFile() || !file->open(QIODevice::ReadOnly)) {
        fail(tr("无法打开文件 %1，传输已中止！").arg(name));
        return false;
    }
    return true;
}

void SenderContext::handleMessage(QByteArray plaintext)
{
    if (state != Negotiating)
        return;
    try {
        const int answer = QJsonDocument::fromJson(plaintext).object().value(QStringLiteral("response")).toInt();
        if (answer == 0) {
            fail(tr("接收设备拒绝接收文件！"));
            return;
        }
        state = Transferring;
        writeByteToSocket();
    } catch (const std::exception &) {
        fail(tr("文件meta响应解析错误！"));
    }
}

void SenderContext::response(bool accepted)
{
    qCDebug(lcTransfer).noquote().nospace() << "SenderContext::response: " << (accepted ? "true" : "false");
}

void SenderContext::writeByteToSocket()
{
    if (state != Transferring || hasFailed())
        return;
    // One frame in flight: the next chunk is read only once the socket has handed everything
    // to the system, which bounds memory to one frame whatever the file size.
    if (socket->bytesToWrite() > 0)
        return;

    while (!metadata.isEmpty()) {
        FileMetadata &head = metadata.first();
        QFile *file = fileQueue.first().data();
        if (!file->isOpen()) {
            if (!openForReading(file, head.filename))
                return;
            // An announced empty file sends no frame, so this is the only place to see it change.
            if (head.size == 0 && file->size() != 0) {
                fail(tr("文件 %1 在发送过程中发生了变化，传输已中止！").arg(head.filename));
                return;
            }
        }
        if (head.size > 0) {
            if (announceNext) {
                emit printLogMsg(tr("正在传送文件 %1 ……").arg(head.filename));
                announceNext = false;
            }
            // The receiver writes exactly the announced bytes: a file that has changed since it
            // was announced cannot be sent faithfully.
            const qint64 wanted = qMin<qint64>(maxDataPerFrame, static_cast<qint64>(head.size));
            const bool sizeKept = static_cast<quint64>(file->size()) == static_cast<quint64>(file->pos()) + head.size;
            if (!sizeKept || file->read(readBuffer.data(), wanted) != wanted) {
                fail(tr("文件 %1 在发送过程中发生了变化，传输已中止！").arg(head.filename));
                return;
            }
            sendMessage(QByteArray::fromRawData(readBuffer.constData(), static_cast<int>(wanted)));
            head.size -= static_cast<quint64>(wanted);
            transferred += static_cast<quint64>(wanted);
            emitProgress();
            return;
        }
        file->close();
        metadata.removeFirst();
        fileQueue.removeFirst();
        announceNext = true;
    }

    state = Finished;
    emit printLogMsg(tr("传输完成！"));
    socket->disconnectFromHost();
    QTimer::singleShot(endDelayMsec, this, &Context::raiseEndSignal);
}
