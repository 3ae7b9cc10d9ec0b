#include "receivercontext.h"

#include "core/settings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTcpSocket>

#include <cmath>

namespace {

// Announced sizes are JSON numbers; larger values cannot be exact and would overflow the totals.
constexpr double maxAnnouncedSize = 9007199254740992.0; // 2^53
// Two transfers that start in the same second get "-2", "-3"... up to this bound.
constexpr int maxFolderSuffix = 1000;
constexpr int endDelayMsec = 5000;

} // namespace

ReceiverContext::ReceiverContext(QTcpSocket *connection, QObject *parent)
    : Context(connection, parent)
{
    metadataTimer.setSingleShot(true);
    connect(&metadataTimer, &QTimer::timeout, this, &ReceiverContext::metadataTimedOut);
    // Whatever ends the session early, the file being written must not stay behind.
    connect(this, &Context::raiseErrorMsg, this, &ReceiverContext::discardPartialFile);
}

ReceiverContext::~ReceiverContext()
{
    discardPartialFile();
}

void ReceiverContext::onHandshakeDone()
{
    // A peer that completes the key exchange but never makes an offer must not hold the session.
    metadataTimer.start(timeLimit());
}

void ReceiverContext::metadataTimedOut()
{
    if (!metadataReceived)
        fail(tr("等待文件信息超时！"));
}

void ReceiverContext::handleMessage(QByteArray plaintext)
{
    if (state == Negotiating && !metadataReceived)
        handleMetadata(plaintext);
    else if (state == Transferring)
        writeData(plaintext);
}

bool ReceiverContext::isSafeName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QChar(0)))
        return false;
    const QStringList parts = name.split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    }
    return true;
}

void ReceiverContext::handleMetadata(const QByteArray &plaintext)
{
    metadataReceived = true;
    metadataTimer.stop();
    transferFolder = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-hh.mm.ss"));

    const QJsonObject object = QJsonDocument::fromJson(plaintext).object();
    const QString deviceName = object.value(QStringLiteral("device_name")).toString();
    const QJsonArray files = object.value(QStringLiteral("files")).toArray();
    for (const QJsonValue &value : files) {
        const QJsonObject file = value.toObject();
        const QString filename = file.value(QStringLiteral("filename")).toString();
        const double size = file.value(QStringLiteral("size")).toDouble();
        if (!isSafeName(filename)) {
            fail(tr("发送方给出的文件名不安全，已拒绝接收：\"%1\"").arg(filename));
            return;
        }
        if (!(size >= 0 && size <= maxAnnouncedSize)) {
            fail(tr("发送方给出的文件大小无效，已拒绝接收：\"%1\"").arg(filename));
            return;
        }
        const auto bytes = static_cast<quint64>(size);
        totalBytes += bytes;
        metadata.append({ filename, bytes });
    }
    if (offerAdmission && !offerAdmission(*this)) {
        response(false);
        return;
    }
    emit metaDataReady(metadata, totalBytes, deviceName, crypto.verificationCode());
}

void ReceiverContext::setOfferAdmission(OfferAdmission admission)
{
    offerAdmission = std::move(admission);
}

bool ReceiverContext::offerWaiting() const
{
    return state == Negotiating && metadataReceived && !answered && !hasFailed();
}

void ReceiverContext::response(bool accepted)
{
    // One decision per offer: a second one would put a second answer on the wire.
    if (state != Negotiating || !metadataReceived || answered || hasFailed())
        return;
    answered = true;
    const QJsonObject answer { { QStringLiteral("response"), accepted ? 1 : 0 } };
    sendMessage(QJsonDocument(answer).toJson(QJsonDocument::Compact));
    if (!accepted) {
        connect(socket, &QTcpSocket::bytesWritten, this, &Context::raiseEndSignal);
        return;
    }

    const QString downloadPath = Settings::downloadPath();
    if (!QDir().mkpath(downloadPath)) {
        fail(tr("没有权限创建以下目录：%1……").arg(downloadPath));
        return;
    }
    if (!QFileInfo(downloadPath).isWritable()) {
        fail(tr("没有权限写入下载目录！"));
        return;
    }
    if (!metadata.isEmpty() && !createTransferFolder(downloadPath))
        return;
    state = Transferring;
    openNextFile();
}

bool ReceiverContext::createTransferFolder(const QString &downloadPath)
{
    // mkdir fails on an existing folder, so the first name it creates belongs to this transfer
    // alone, even when another session picked the same second.
    const QDir downloads(downloadPath);
    for (int suffix = 1; suffix <= maxFolderSuffix; ++suffix) {
        const QString name = suffix == 1 ? transferFolder : QStringLiteral("%1-%2").arg(transferFolder).arg(suffix);
        if (downloads.mkdir(name)) {
            transferFolder = name;
            transferRoot = QDir::cleanPath(downloads.absoluteFilePath(name));
            return true;
        }
        if (!downloads.exists(name))
            break;
    }
    fail(tr("没有权限创建以下目录：%1……").arg(downloads.absoluteFilePath(transferFolder)));
    return false;
}

void ReceiverContext::openNextFile()
{
    while (!metadata.isEmpty()) {
        const FileMetadata &head = metadata.first();
        const QString path = transferRoot + QLatin1Char('/') + head.filename;
        // The names were checked when they arrived; this guards the rule where files are made.
        if (!QDir::cleanPath(path).startsWith(transferRoot + QLatin1Char('/'))) {
            fail(tr("发送方给出的文件名不安全，已拒绝接收：\"%1\"").arg(head.filename));
            return;
        }
        const QFileInfo target(path);
        QDir().mkpath(target.absolutePath());

        const QString temporary = QStringLiteral("%1/.orvex-%2.part")
                                      .arg(target.absolutePath())
                                      .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
        currentFile = new QFile(temporary, this);
        if (!currentFile->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            delete currentFile;
            currentFile = nullptr;
            metadata.removeFirst();
            fail(tr("无法打开%1，请检查目录权限！").arg(path));
            return;
        }
        currentTarget = path;
        if (head.size != 0) {
            emit printLogMsg(tr("正在接收%1……").arg(path));
            return;
        }
        if (!completeCurrentFile())
            return;
        metadata.removeFirst();
    }

    state = Finished;
    emit filesSaved(Settings::downloadPath());
    emit printLogMsg(tr("传输完成！"));
    socket->disconnectFromHost();
    QTimer::singleShot(endDelayMsec, this, &Context::raiseEndSignal);
}

bool ReceiverContext::completeCurrentFile()
{
    const QString temporary = currentFile->fileName();
    currentFile->close();
    const bool written = currentFile->error() == QFileDevice::NoError;
    delete currentFile;
    currentFile = nullptr;
    // A later file of the same name in the same offer replaces the earlier one.
    if (written && QFileInfo(currentTarget).isFile())
        QFile::remove(currentTarget);
    if (!written || !QFile::rename(temporary, currentTarget)) {
        QFile::remove(temporary);
        fail(tr("无法保存%1，请检查目录权限！").arg(currentTarget));
        return false;
    }
    return true;
}

void ReceiverContext::writeData(const QByteArray &data)
{
    transferred += static_cast<quint64>(data.size());
    emitProgress();
    qint64 offset = 0;
    while (offset < data.size() && currentFile && !metadata.isEmpty()) {
        FileMetadata &head = metadata.first();
        const qint64 count = static_cast<qint64>(qMin<quint64>(head.size, static_cast<quint64>(data.size() - offset)));
        if (currentFile->write(data.constData() + offset, count) != count) {
            fail(tr("写入%1失败！").arg(currentTarget));
            return;
        }
        head.size -= static_cast<quint64>(count);
        offset += count;
        if (head.size == 0) {
            if (!completeCurrentFile())
                return;
            metadata.removeFirst();
            openNextFile();
        }
    }
}

void ReceiverContext::discardPartialFile()
{
    if (!currentFile)
        return;
    const QString temporary = currentFile->fileName();
    currentFile->close();
    delete currentFile;
    currentFile = nullptr;
    QFile::remove(temporary);
}
