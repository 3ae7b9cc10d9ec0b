#include "receivercontext.h"

#include "core/jsontext.h"
#include "core/settings.h"
#include "core/transferfeatures.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTcpSocket>

#include <algorithm>
#include <cmath>

namespace {

// Announced sizes are JSON numbers; larger values cannot be exact and would overflow the totals.
constexpr double maxAnnouncedSize = 9007199254740992.0; // 2^53
// Two transfers that start in the same second get "-2", "-3"... up to this bound.
constexpr int maxFolderSuffix = 1000;
constexpr int endDelayMsec = 5000;
// How long a connection that carried an error receipt stays open for the sender to read it.
constexpr int lingerMsec = 10000;

} // namespace

ReceiverContext::ReceiverContext(QTcpSocket *connection, QObject *parent)
    : Context(connection, parent)
{
    metadataTimer.setSingleShot(true);
    connect(&metadataTimer, &QTimer::timeout, this, &ReceiverContext::metadataTimedOut);
    // Whatever ends the session early, the file being written must not stay behind.
    connect(this, &Context::raiseErrorMsg, this, &ReceiverContext::keepOrDiscard);
    connect(this, &Context::raiseErrorMsg, this, &ReceiverContext::sendErrorReceipt);
}

ReceiverContext::~ReceiverContext()
{
    keepOrDiscard();
    if (!lingerOnClose || socket->state() != QAbstractSocket::ConnectedState)
        return;
    // Deleting the socket would reset the connection, and the reset could overtake the receipt
    // on its way: the socket stays, reading and dropping what comes, until the sender closes.
    QTcpSocket *connection = socket;
    connection->disconnect();
    connection->setParent(nullptr);
    connect(connection, &QTcpSocket::readyRead, connection, [connection] { connection->readAll(); });
    connect(connection, &QTcpSocket::disconnected, connection, &QObject::deleteLater);
    QTimer::singleShot(lingerMsec, connection, &QObject::deleteLater);
}

void ReceiverContext::sendErrorReceipt(const QString &error)
{
    if (!acceptedOffer || state == Finished || !uses(TransferFeatures::receipt) || lingerOnClose
        || senderCancelled || socket->state() != QAbstractSocket::ConnectedState)
        return;
    const QJsonObject receipt { { QStringLiteral("error"), error }, { QStringLiteral("receipt"), 0 } };
    sendMessage(QJsonDocument(receipt).toJson(QJsonDocument::Compact));
    socket->flush();
    lingerOnClose = true;
}

void ReceiverContext::onHandshakeDone()
{
    // A peer that completes the key exchange but never makes an offer must not hold the session.
    metadataTimer.start(timeLimit());
}

void ReceiverContext::metadataTimedOut()
{
    if (!metadataReceived || entriesToCome > 0)
        fail(tr("等待文件信息超时！"));
}

void ReceiverContext::handleMessage(QByteArray plaintext)
{
    if (state == Negotiating && !metadataReceived) {
        handleMetadata(plaintext);
    } else if (state == Negotiating && entriesToCome > 0) {
        if (takeEntries(parseJson(plaintext).object()) && entriesToCome == 0)
            offerComplete();
    } else if (state == Transferring && plaintext.isEmpty() && uses(TransferFeatures::cancel)) {
        senderCancelled = true;
        fail(tr("对方已取消传输"));
    } else if (state == Transferring) {
        writeData(plaintext);
    }
}

void ReceiverContext::cancel()
{
    if (offerWaiting()) {
        response(false);
        return;
    }
    if (hasFailed() || state == Finished)
        return;
    if (state != Transferring || !(uses(TransferFeatures::cancel) || uses(TransferFeatures::receipt))
        || socket->state() != QAbstractSocket::ConnectedState) {
        Context::cancel();
        return;
    }
    // One frame for both kinds of sender: one that speaks "cancel" says so in its own words, one
    // that knows only receipts shows the error. The connection stays open until the sender
    // closes it, so that the frame is not overtaken by a reset.
    const QJsonObject cancelled { { QStringLiteral("cancel"), 1 }, { QStringLiteral("error"), tr("对方已取消传输") },
        { QStringLiteral("receipt"), 0 } };
    sendMessage(QJsonDocument(cancelled).toJson(QJsonDocument::Compact));
    socket->flush();
    lingerOnClose = true;
    fail(tr("已取消传输"));
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

    const QJsonObject object = parseJson(plaintext).object();
    deviceName = object.value(QStringLiteral("device_name")).toString();
    senderAnnounced = object.value(QStringLiteral("features")).isArray();
    agreeFeatures(object.value(QStringLiteral("features")));
    if (!takeEntries(object))
        return;
    const double more = object.value(QStringLiteral("more")).toDouble();
    if (uses(TransferFeatures::list) && more >= 1) {
        if (more > maxOfferedFiles - metadata.size()) {
            fail(tr("文件列表过长，无法一次发送，请减少文件数量！"));
            return;
        }
        entriesToCome = static_cast<int>(more);
        sendMessage(QJsonDocument(QJsonObject { { QStringLiteral("more"), true } }).toJson(QJsonDocument::Compact));
        metadataTimer.start(timeLimit());
        return;
    }
    offerComplete();
}

bool ReceiverContext::takeEntries(const QJsonObject &frame)
{
    const QJsonArray files = frame.value(QStringLiteral("files")).toArray();
    const QJsonArray mtimes = frame.value(QStringLiteral("mtimes")).toArray();
    if (metadataReceived && entriesToCome > 0) {
        // A further frame of a long offer: at least one entry, and no more than announced.
        if (files.isEmpty() || files.size() > entriesToCome) {
            fail(tr("文件列表过长，无法一次发送，请减少文件数量！"));
            return false;
        }
        entriesToCome -= files.size();
    }
    for (int i = 0; i < files.size(); ++i) {
        const QJsonObject file = files.at(i).toObject();
        const QString filename = file.value(QStringLiteral("filename")).toString();
        const double size = file.value(QStringLiteral("size")).toDouble();
        if (!isSafeName(filename)) {
            fail(tr("发送方给出的文件名不安全，已拒绝接收：\"%1\"").arg(filename));
            return false;
        }
        if (!(size >= 0 && size <= maxAnnouncedSize)) {
            fail(tr("发送方给出的文件大小无效，已拒绝接收：\"%1\"").arg(filename));
            return false;
        }
        const auto bytes = static_cast<quint64>(size);
        totalBytes += bytes;
        // A time that is no whole number of milliseconds within 2^53 counts as unknown.
        const double mtime = mtimes.at(i).toDouble();
        const bool usable = std::fabs(mtime) <= maxAnnouncedSize && std::trunc(mtime) == mtime;
        metadata.append({ filename, bytes, usable ? static_cast<qint64>(mtime) : 0 });
    }
    return true;
}

void ReceiverContext::offerComplete()
{
    metadataTimer.stop();
    if (offerAdmission && !offerAdmission(*this)) {
        response(false);
        return;
    }
    if (uses(TransferFeatures::resume))
        matchEarlierSession();
    emit metaDataReady(metadata, totalBytes, deviceName, crypto.verificationCode());
}

void ReceiverContext::matchEarlierSession()
{
    resumed = ResumeRecord::find(Settings::downloadPath(), deviceName, metadata);
    if (resumed.isNull())
        return;
    held = resumed.heldBytes(metadata);
    quint64 heldTotal = 0;
    for (quint64 bytes : qAsConst(held))
        heldTotal += bytes;
    const int percent = totalBytes > 0 ? static_cast<int>(heldTotal * 100 / totalBytes) : 0;
    resumeNote = tr("继续上次未完成的传输（已收到 %1%）").arg(percent);
    emit printLogMsg(resumeNote);
}

void ReceiverContext::setOfferAdmission(OfferAdmission admission)
{
    offerAdmission = std::move(admission);
}

bool ReceiverContext::offerWaiting() const
{
    return state == Negotiating && metadataReceived && entriesToCome == 0 && !answered && !hasFailed();
}

void ReceiverContext::response(bool accepted)
{
    // One decision per offer: a second one would put a second answer on the wire.
    if (state != Negotiating || !metadataReceived || entriesToCome > 0 || answered || hasFailed())
        return;
    answered = true;
    QJsonObject answer { { QStringLiteral("response"), accepted ? 1 : 0 } };
    // A sender that announced nothing gets the answer it knows, byte for byte.
    if (senderAnnounced)
        answer.insert(QStringLiteral("features"), QJsonArray::fromStringList(TransferFeatures::supported()));
    if (accepted && !resumed.isNull()) {
        QJsonArray offsets;
        for (quint64 bytes : qAsConst(held))
            offsets.append(static_cast<double>(bytes));
        answer.insert(QStringLiteral("offsets"), offsets);
    }
    sendMessage(QJsonDocument(answer).toJson(QJsonDocument::Compact));
    if (!accepted) {
        connect(socket, &QTcpSocket::bytesWritten, this, &Context::raiseEndSignal);
        return;
    }
    acceptedOffer = true;

    const QString downloadPath = Settings::downloadPath();
    if (!QDir().mkpath(downloadPath)) {
        fail(tr("没有权限创建以下目录：%1……").arg(downloadPath));
        return;
    }
    if (!QFileInfo(downloadPath).isWritable()) {
        fail(tr("没有权限写入下载目录！"));
        return;
    }
    if (!resumed.isNull()) {
        // Into the folder of the session it continues, which the user may have emptied since.
        transferFolder = resumed.folder;
        transferRoot = QDir::cleanPath(QDir(downloadPath).absoluteFilePath(transferFolder));
        QDir().mkpath(transferRoot);
        for (quint64 bytes : qAsConst(held))
            transferred += bytes;
    } else if (!metadata.isEmpty() && !createTransferFolder(downloadPath)) {
        return;
    }
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
    while (current < metadata.size()) {
        const FileMetadata &head = metadata.at(current);
        const QString path = transferRoot + QLatin1Char('/') + head.filename;
        // The names were checked when they arrived; this guards the rule where files are made.
        if (!QDir::cleanPath(path).startsWith(transferRoot + QLatin1Char('/'))) {
            fail(tr("发送方给出的文件名不安全，已拒绝接收：\"%1\"").arg(head.filename));
            return;
        }
        const QFileInfo target(path);
        QDir().mkpath(target.absolutePath());

        const quint64 kept = held.value(current);
        const QString earlier = resumed.isNull() ? QString() : resumed.partialPath(current);
        if (kept > 0 && kept == head.size) {
            ++current;
            continue;
        }
        if (kept == 0 && !earlier.isEmpty())
            QFile::remove(earlier);
        const QString temporary = kept > 0
            ? earlier
            : QStringLiteral("%1/.orvex-%2.part")
                  .arg(target.absolutePath())
                  .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
        currentFile = new QFile(temporary, this);
        if (kept > 0 ? !openPartialFile(temporary, kept)
                     : !currentFile->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            delete currentFile;
            currentFile = nullptr;
            ++current;
            fail(tr("无法打开%1，请检查目录权限！").arg(path));
            return;
        }
        currentTarget = path;
        remaining = head.size - kept;
        if (remaining != 0) {
            emit printLogMsg(tr("正在接收%1……").arg(path));
            return;
        }
        if (!completeCurrentFile())
            return;
        ++current;
    }

    state = Finished;
    if (!resumed.isNull())
        resumed.remove();
    // Handed to the system before anyone hears of the end: whoever owns the session may
    // delete it, with its socket, as soon as it does.
    if (uses(TransferFeatures::receipt)) {
        sendMessage(QJsonDocument(QJsonObject { { QStringLiteral("receipt"), 1 } }).toJson(QJsonDocument::Compact));
        socket->flush();
    }
    socket->disconnectFromHost();
    emit filesSaved(Settings::downloadPath());
    emit printLogMsg(tr("传输完成！"));
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
    while (offset < data.size() && currentFile && current < metadata.size()) {
        const qint64 count = static_cast<qint64>(qMin<quint64>(remaining, static_cast<quint64>(data.size() - offset)));
        if (currentFile->write(data.constData() + offset, count) != count) {
            fail(tr("写入%1失败！").arg(currentTarget));
            return;
        }
        remaining -= static_cast<quint64>(count);
        offset += count;
        if (remaining == 0) {
            if (!completeCurrentFile())
                return;
            ++current;
            openNextFile();
        }
    }
}

bool ReceiverContext::openPartialFile(const QString &path, quint64 kept)
{
    // Bytes beyond those recorded may be torn: they are written again.
    return currentFile->open(QIODevice::ReadWrite) && currentFile->resize(static_cast<qint64>(kept))
        && currentFile->seek(static_cast<qint64>(kept)) && QFileInfo(path).isFile();
}

void ReceiverContext::keepOrDiscard()
{
    if (recordKept)
        return;
    if (!acceptedOffer || state != Transferring || !uses(TransferFeatures::resume)) {
        discardPartialFile();
        removeEmptyFolders();
        return;
    }
    recordKept = true;
    ResumeRecord record(Settings::downloadPath(), transferFolder, deviceName, metadata);
    for (int i = 0; i < current && i < metadata.size(); ++i)
        record.written[i] = metadata.at(i).size;
    if (currentFile && current < metadata.size() && currentFile->flush() && metadata.at(current).size > remaining) {
        record.written[current] = metadata.at(current).size - remaining;
        record.partials[current] = QFileInfo(currentFile->fileName()).fileName();
        currentFile->close();
        delete currentFile;
        currentFile = nullptr;
    }
    discardPartialFile();
    const bool anyHeld
        = std::any_of(record.written.cbegin(), record.written.cend(), [](quint64 bytes) { return bytes > 0; });
    if (anyHeld && !record.save() && !record.partials.value(current).isEmpty())
        QFile::remove(record.partialPath(current));
    removeEmptyFolders();
}

void ReceiverContext::removeEmptyFolders()
{
    if (transferRoot.isEmpty())
        return;
    QStringList folders { transferRoot };
    QDirIterator below(transferRoot, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (below.hasNext())
        folders.append(below.next());
    // The deepest first, so that a folder whose subfolders were all empty goes too; rmdir leaves
    // any folder with something in it.
    std::sort(folders.begin(), folders.end(), [](const QString &a, const QString &b) { return a.size() > b.size(); });
    for (const QString &folder : qAsConst(folders))
        QDir().rmdir(folder);
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
