#include "receivercontext.h"

#include "core/jsontext.h"
#include "core/logging.h"
#include "core/settings.h"
#include "core/sharedtext.h"
#include "core/transferfeatures.h"
#include "transfer/identityproof.h"
#include "transfer/offerbudget.h"
#include "transfer/prefixdigests.h"
#include "transfer/safename.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTcpSocket>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Announced sizes are JSON numbers; larger values cannot be exact and would overflow the totals.
constexpr double maxAnnouncedSize = 9007199254740992.0; // 2^53
// Two transfers that start in the same second get "-2", "-3"... up to this bound.
constexpr int maxFolderSuffix = 1000;
constexpr int endDelayMsec = 5000;
// How long a connection that carried an error receipt stays open for the sender to read it.
constexpr int lingerMsec = 10000;
// How often the record follows the data: a crash loses at most this much of what it says, and
// what is on disk is found all the same.
constexpr qint64 recordIntervalMsec = 1000;
// The entries of a frame of held prefixes stop short of this, leaving room for the frame.
constexpr int heldFrameBytes = 60000;
// Gives up looking for a free "name (n)" after this many tries.
constexpr int maxNumberedNames = 10000;

// "name (n).ext" for "name.ext"; a leading dot does not start an extension.
QString numberedName(const QString &path, int number)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString numbered = dot > 0 ? QStringLiteral("%1 (%2)%3").arg(name.left(dot)).arg(number).arg(name.mid(dot))
                                     : QStringLiteral("%1 (%2)").arg(name).arg(number);
    return info.path() + QLatin1Char('/') + numbered;
}

// Renames from to target or, when target exists, to the first free "target (n)": never over an
// existing file. Returns the path written, or an empty text.
QString renameBeside(const QString &from, const QString &target)
{
    for (int number = 0; number < maxNumberedNames; ++number) {
        const QString candidate = number == 0 ? target : numberedName(target, number);
        const QByteArray source = QFile::encodeName(from);
        const QByteArray destination = QFile::encodeName(candidate);
        if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, destination.constData(), RENAME_NOREPLACE) == 0)
            return candidate;
        if (errno == EEXIST)
            continue;
        // A file system without the flag: the check and the rename are then two steps.
        if (errno == EINVAL && !QFileInfo::exists(candidate) && QFile::rename(from, candidate))
            return candidate;
        return QString();
    }
    return QString();
}

} // namespace

ReceiverContext::ReceiverContext(QTcpSocket *connection, QObject *parent)
    : Context(connection, parent)
{
    metadataTimer.setSingleShot(true);
    connect(&metadataTimer, &QTimer::timeout, this, &ReceiverContext::metadataTimedOut);
    // Whatever ends the session early, the file being written must not stay behind.
    connect(this, &Context::raiseErrorMsg, this, &ReceiverContext::keepOrDiscard);
    connect(this, &Context::raiseErrorMsg, this, &ReceiverContext::sendErrorReceipt);
    connect(this, &Context::raiseErrorMsg, this, &ReceiverContext::releaseBudget);
}

ReceiverContext::~ReceiverContext()
{
    keepOrDiscard();
    releaseBudget();
    forgetMadeFolder();
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

bool ReceiverContext::keepsRecord() const
{
    return isSealed() && uses(TransferFeatures::checkedResume) && !textOffer;
}

void ReceiverContext::setOfferBudget(std::shared_ptr<OfferBudget> budget)
{
    offerBudget = std::move(budget);
}

void ReceiverContext::releaseBudget()
{
    if (offerBudget && budgetTaken > 0)
        offerBudget->giveBack(budgetTaken);
    budgetTaken = 0;
}

void ReceiverContext::sendErrorReceipt(const QString &error)
{
    if (!acceptedOffer || state == Finished || !uses(TransferFeatures::receipt) || lingerOnClose || senderEnded
        || socket->state() != QAbstractSocket::ConnectedState)
        return;
    QJsonObject receipt { { QStringLiteral("error"), peerError.isEmpty() ? error : peerError },
        { QStringLiteral("receipt"), 0 } };
    if (wasTampered())
        receipt.insert(QStringLiteral("tampered"), 1);
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
        fail(Failure::TimedOut, tr("等待文件信息超时！"));
}

void ReceiverContext::handleMessage(QByteArray plaintext)
{
    if (state == Negotiating && !metadataReceived) {
        handleMetadata(plaintext);
    } else if (state == Negotiating && entriesToCome > 0) {
        if (takeEntries(parseJson(plaintext).object()) && entriesToCome == 0)
            offerComplete();
    } else if (state == Transferring && plaintext.isEmpty() && uses(TransferFeatures::cancel)) {
        senderEnded = true;
        fail(Failure::CancelledByPeer, tr("对方已取消传输"));
    } else if (state == Transferring) {
        writeData(plaintext);
    }
}

void ReceiverContext::handleSealed(FrameKind kind, const QByteArray &payload)
{
    if (state == Finished)
        return;
    if (state != Transferring) {
        failTampered();
        return;
    }
    if (kind == FrameKind::Control) {
        handleControl(parseJson(payload).object());
        return;
    }
    // Data comes only after the verdicts and before the end, and never empty.
    if (payload.isEmpty() || verdictsToCome > 0 || digests || awaitingEnd || current >= metadata.size()) {
        failTampered();
        return;
    }
    if (textOffer)
        takeText(payload);
    else
        writeData(payload);
}

void ReceiverContext::handleControl(const QJsonObject &control)
{
    if (control.contains(QStringLiteral("verdicts"))) {
        takeVerdicts(control.value(QStringLiteral("verdicts")));
    } else if (control.contains(QStringLiteral("end"))) {
        // The stream ends where the sender says, after exactly the bytes it says.
        if (!awaitingEnd || control.value(QStringLiteral("end")).toDouble() != static_cast<double>(sessionBytes)) {
            failTampered();
            return;
        }
        awaitingEnd = false;
        endReceived = true;
        if (textOffer) {
            finishText();
            return;
        }
        // The last file gets its name only now: a stream cut before its end leaves none.
        if (currentFile && remaining == 0) {
            if (!completeCurrentFile())
                return;
            ++current;
        }
        openNextFile();
    } else if (control.contains(QStringLiteral("cancel"))) {
        senderEnded = true;
        completeWrittenFile();
        fail(Failure::CancelledByPeer, tr("对方已取消传输"));
    } else if (control.contains(QStringLiteral("error"))) {
        senderEnded = true;
        completeWrittenFile();
        if (control.value(QStringLiteral("tampered")).toInt() == 1)
            failTampered();
        else
            fail(Failure::PeerFailed, control.value(QStringLiteral("error")).toString(),
                control.value(QStringLiteral("error")).toString());
    } else {
        failTampered();
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
    fail(Failure::CancelledHere, tr("已取消传输"));
}

void ReceiverContext::refuseUnshown(const char *why)
{
    qCWarning(lcTransfer).noquote() << "Refused an offer from" << socket->peerAddress().toString() << "unseen:" << why;
    releaseBudget();
    metadataTimer.stop();
    answered = true;
    state = Finished;
    socket->abort();
    QTimer::singleShot(0, this, [this, why] {
        reportFailure({ Failure::Declined, QString::fromLatin1(why) });
        emit raiseEndSignal();
    });
}

void ReceiverContext::handleMetadata(const QByteArray &plaintext)
{
    metadataReceived = true;
    metadataTimer.stop();
    downloadRoot = Settings::downloadPath();
    transferFolder = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-hh.mm.ss"));

    const QJsonDocument document = parseJson(plaintext);
    const QJsonObject object = document.object();
    if (!document.isObject() || !object.value(QStringLiteral("files")).isArray()) {
        refuseUnshown("not an object with a list of files");
        return;
    }
    deviceName = object.value(QStringLiteral("device_name")).toString();
    senderAnnounced = object.value(QStringLiteral("features")).isArray();
    agreeFeatures(object.value(QStringLiteral("features")));
    senderProof = object.value(QStringLiteral("identity"));
    if (!takeEntries(object) || !admitText(object))
        return;
    const double more = object.value(QStringLiteral("more")).toDouble();
    if (uses(TransferFeatures::list) && more >= 1) {
        if (more > maxOfferedFiles - metadata.size()) {
            fail(Failure::Protocol, tr("文件列表过长，无法一次发送，请减少文件数量！"));
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
            fail(Failure::Protocol, tr("文件列表过长，无法一次发送，请减少文件数量！"));
            return false;
        }
        entriesToCome -= files.size();
    }
    for (int i = 0; i < files.size(); ++i) {
        const QJsonObject file = files.at(i).toObject();
        const QString filename = file.value(QStringLiteral("filename")).toString();
        const double size = file.value(QStringLiteral("size")).toDouble();
        if (!isSafeName(filename)) {
            fail(Failure::UnsafeName, tr("发送方给出的文件名不安全，已拒绝接收：\"%1\"").arg(filename), filename);
            return false;
        }
        if (!(size >= 0 && size <= maxAnnouncedSize)) {
            fail(Failure::Protocol, tr("发送方给出的文件大小无效，已拒绝接收：\"%1\"").arg(filename), filename);
            return false;
        }
        // Names the file system would refuse, and offers too large to keep waiting, are refused
        // before they cost more memory.
        const QByteArray utf8 = filename.toUtf8();
        const QList<QByteArray> parts = utf8.split('/');
        if (utf8.size() > maxNameBytes
            || std::any_of(parts.cbegin(), parts.cend(),
                [](const QByteArray &part) { return part.size() > maxNameComponentBytes; })) {
            refuseUnshown("a file name is too long");
            return false;
        }
        nameBytes += utf8.size();
        if (nameBytes > maxOfferNameBytes) {
            refuseUnshown("the names of the offer are too long");
            return false;
        }
        if (offerBudget) {
            if (!offerBudget->take(utf8.size())) {
                refuseUnshown("the names of all waiting offers are too long");
                return false;
            }
            budgetTaken += utf8.size();
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
    if (metadata.isEmpty()) {
        refuseUnshown("no files");
        return;
    }
    if (offerAdmission && !offerAdmission(*this)) {
        response(false);
        return;
    }
    if (uses(TransferFeatures::sealed) && uses(TransferFeatures::checkedResume) && !textOffer)
        matchEarlierSession();
    if (provesIdentity())
        checkPeerProof(senderProof, true, deviceName);
    else
        peer = IdentityProof::standing(QByteArray(), deviceName);
    emit peerIdentified(peer);
    emit metaDataReady(metadata, totalBytes, deviceName, crypto.verificationCode());
    TransferOffer offer { metadata, totalBytes, deviceName, crypto.verificationCode(), heldBytes, peer };
    offer.textBytes = offeredTextBytes();
    emit offered(offer);
}

void ReceiverContext::matchEarlierSession()
{
    record = ResumeRecord::find(downloadRoot, deviceName, metadata);
    if (record.isNull())
        return;
    held = record.held();
    quint64 heldTotal = 0;
    for (int i = 0; i < held.size(); ++i) {
        heldTotal += held.at(i).bytes;
        if (held.at(i).bytes > 0)
            heldIndices.append(i);
    }
    if (heldTotal == 0) {
        record = ResumeRecord();
        held.clear();
        heldIndices.clear();
        return;
    }
    continuesEarlier = true;
    heldBytes = heldTotal;
    const int percent = totalBytes > 0 ? static_cast<int>(heldTotal * 100 / totalBytes) : 0;
    resumeNote = tr("继续上次未完成的传输（已收到 %1%）").arg(percent);
    emit printLogMsg(resumeNote);
}

bool ReceiverContext::admitText(const QJsonObject &offer)
{
    // Without both extensions the entry is an ordinary file, as a base receiver takes it.
    if (!offer.value(QStringLiteral("text")).toBool() || !uses(TransferFeatures::text)
        || !uses(TransferFeatures::sealed))
        return true;
    textOffer = true;
    if (metadata.size() == 1 && !offer.contains(QStringLiteral("more")) && totalBytes > 0
        && totalBytes <= static_cast<quint64>(sharedtext::maxTextBytes))
        return true;
    // Refused before anyone is asked; the sender sees the connection close.
    releaseBudget();
    metadataTimer.stop();
    answered = true;
    fail(Failure::TextRefused, tr("对方发送的文字超过 1 MiB 或格式不对，已拒绝接收"));
    // Once the frame in hand is done with.
    QTimer::singleShot(0, socket, &QTcpSocket::abort);
    return false;
}

void ReceiverContext::takeText(const QByteArray &data)
{
    if (sessionBytes + static_cast<quint64>(data.size()) > expectedBytes) {
        failTampered();
        return;
    }
    receivedText += data;
    sessionBytes += static_cast<quint64>(data.size());
    transferred += static_cast<quint64>(data.size());
    emitProgress();
    awaitingEnd = sessionBytes == expectedBytes;
}

void ReceiverContext::finishText()
{
    if (!sharedtext::acceptable(receivedText)) {
        // The sender reads the reason in its failure receipt.
        fail(Failure::TextRefused, tr("收到的文字不是有效的 UTF-8 文本，已丢弃"));
        return;
    }
    state = Finished;
    recordClosed = true;
    if (uses(TransferFeatures::receipt)) {
        sendMessage(QJsonDocument(QJsonObject { { QStringLiteral("receipt"), 1 } }).toJson(QJsonDocument::Compact));
        socket->flush();
    }
    socket->disconnectFromHost();
    emitFinished(QString(), QString::fromUtf8(receivedText));
    emit printLogMsg(tr("已收到文字"));
    QTimer::singleShot(endDelayMsec, this, &Context::raiseEndSignal);
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
    answer(accepted, false);
}

void ReceiverContext::refuseUnanswered()
{
    answer(false, true);
}

void ReceiverContext::answer(bool accepted, bool unanswered)
{
    // One decision per offer: a second one would put a second answer on the wire.
    if (state != Negotiating || !metadataReceived || entriesToCome > 0 || answered || hasFailed())
        return;
    answered = true;
    releaseBudget();
    QJsonObject reply { { QStringLiteral("response"), accepted ? 1 : 0 } };
    // A sender that announced nothing gets the answer it knows, byte for byte.
    if (senderAnnounced)
        reply.insert(QStringLiteral("features"), QJsonArray::fromStringList(TransferFeatures::supported()));
    if (senderAnnounced && unanswered)
        reply.insert(QStringLiteral("reason"), QStringLiteral("timeout"));
    if (accepted && continuesEarlier)
        reply.insert(QStringLiteral("held"), heldIndices.size());
    // Only an accepted offer learns who this side is; the pair request needs both proofs.
    const QJsonObject proof = accepted && provesIdentity() ? ownIdentityProof(false) : QJsonObject();
    if (!proof.isEmpty()) {
        reply.insert(QStringLiteral("identity"), proof);
        if (pairOnAccept && !peer.key.isEmpty())
            reply.insert(QStringLiteral("pair"), 1);
    }
    if (accepted && pairOnAccept)
        pairPeer(deviceName);
    sendMessage(QJsonDocument(reply).toJson(QJsonDocument::Compact));
    if (!accepted) {
        // Once the answer is on its way: whoever owns the session may delete it, with its socket.
        connect(socket, &QTcpSocket::bytesWritten, this, [this, unanswered] {
            reportFailure({ unanswered ? Failure::Unanswered : Failure::Declined, QString() });
            emit raiseEndSignal();
        });
        return;
    }
    acceptedOffer = true;
    if (uses(TransferFeatures::sealed) && !sealStream(false))
        return;
    if (textOffer) {
        // Kept in memory: nothing is written below the download folder.
        receivedText.reserve(static_cast<int>(totalBytes));
        expectedBytes = totalBytes;
        state = Transferring;
        emit fileStarted(0);
        return;
    }

    if (!QDir().mkpath(downloadRoot)) {
        failWriting(Failure::WriteError, downloadRoot, tr("没有权限创建以下目录：%1……").arg(downloadRoot),
            tr("没有权限写入下载目录！"));
        return;
    }
    if (!QFileInfo(downloadRoot).isWritable()) {
        fail(Failure::WriteError, tr("没有权限写入下载目录！"), downloadRoot);
        return;
    }
    if (continuesEarlier) {
        // Into the folder of the session it continues, which the user may have emptied since.
        transferFolder = record.folder;
        transferRoot = QDir::cleanPath(record.transferRoot());
        QDir().mkpath(transferRoot);
    } else if (!createTransferFolder()) {
        return;
    }
    if (keepsRecord()) {
        if (!continuesEarlier)
            record = ResumeRecord(downloadRoot, transferFolder, deviceName, metadata);
        partialBase = record.partialBase;
        record.saved = QDateTime();
        recordSaved = record.save();
        recordClock.start();
    } else {
        record = ResumeRecord();
        partialBase = QRandomGenerator::global()->generate64();
    }
    kept.fill(0, metadata.size());
    expectedBytes = totalBytes;
    state = Transferring;
    if (continuesEarlier) {
        // The sender first compares what is held with its own files.
        QVector<PrefixDigests::Prefix> prefixes;
        for (int index : qAsConst(heldIndices)) {
            const bool complete = held.at(index).complete;
            prefixes.append({ complete ? record.targetPath(index) : record.partialPath(index), held.at(index).bytes });
        }
        digests = new PrefixDigests(this);
        connect(digests, &PrefixDigests::ready, this, &ReceiverContext::sendHeldPrefixes);
        digests->start(prefixes);
        return;
    }
    openNextFile();
}

void ReceiverContext::sendHeldPrefixes(const QVector<QByteArray> &prefixDigests)
{
    digests->deleteLater();
    digests = nullptr;
    if (hasFailed() || state != Transferring)
        return;
    QJsonArray entries;
    int entryBytes = 0;
    for (int k = 0; k < heldIndices.size(); ++k) {
        const int index = heldIndices.at(k);
        const QJsonArray entry { index, static_cast<double>(held.at(index).bytes),
            QString::fromLatin1(prefixDigests.value(k).toHex()) };
        entries.append(entry);
        entryBytes += QJsonDocument(entry).toJson(QJsonDocument::Compact).size() + 1;
        if (entryBytes > heldFrameBytes || k + 1 == heldIndices.size()) {
            sendMessage(QJsonDocument(QJsonObject { { QStringLiteral("held"), entries } }).toJson(QJsonDocument::Compact));
            entries = QJsonArray();
            entryBytes = 0;
        }
    }
    verdictsToCome = heldIndices.size();
}

void ReceiverContext::takeVerdicts(const QJsonValue &value)
{
    const QJsonArray verdicts = value.toArray();
    if (digests || verdicts.isEmpty() || verdicts.size() > verdictsToCome) {
        failTampered();
        return;
    }
    const int first = heldIndices.size() - verdictsToCome;
    for (int k = 0; k < verdicts.size(); ++k) {
        const int index = heldIndices.at(first + k);
        // A prefix the sender does not confirm counts as nothing held: the file comes whole.
        kept[index] = verdicts.at(k).toInt() == 1 ? held.at(index).bytes : 0;
        transferred += kept.at(index);
        expectedBytes -= kept.at(index);
    }
    verdictsToCome -= verdicts.size();
    if (verdictsToCome == 0)
        openNextFile();
}

bool ReceiverContext::createTransferFolder()
{
    // mkdir fails on an existing folder, so the first name it creates belongs to this transfer
    // alone, even when another session picked the same second.
    const QDir downloads(downloadRoot);
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
    failWriting(Failure::WriteError, downloads.absoluteFilePath(transferFolder),
        tr("没有权限创建以下目录：%1……").arg(downloads.absoluteFilePath(transferFolder)), tr("没有权限写入下载目录！"));
    return false;
}

ReceiverContext::Failure ReceiverContext::writeFailureKind(int error)
{
    return error == ENOSPC || error == EDQUOT ? Failure::DiskFull : Failure::WriteError;
}

QString ReceiverContext::writeFailure(int error, const QString &name) const
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return tr("磁盘空间不足");
    case ENAMETOOLONG:
        return tr("文件名过长：%1").arg(name);
    default:
        return QString();
    }
}

void ReceiverContext::failWriting(Failure kind, const QString &path, const QString &localText, const QString &peerText)
{
    peerError = peerText;
    fail(kind, localText, kind == Failure::DiskFull ? QString() : path);
}

void ReceiverContext::openNextFile()
{
    while (current < metadata.size()) {
        const FileMetadata &head = metadata.at(current);
        const QString path = transferRoot + QLatin1Char('/') + head.filename;
        // The names were checked when they arrived; this guards the rule where files are made.
        if (!QDir::cleanPath(path).startsWith(transferRoot + QLatin1Char('/'))) {
            fail(Failure::UnsafeName, tr("发送方给出的文件名不安全，已拒绝接收：\"%1\"").arg(head.filename),
                head.filename);
            return;
        }
        const QFileInfo target(path);
        // Files of one folder usually follow each other: the folder is made once for them.
        if (target.absolutePath() != madeFolder) {
            QDir().mkpath(target.absolutePath());
            forgetMadeFolder();
            madeFolder = target.absolutePath();
            madeFolderDescriptor
                = ::open(QFile::encodeName(madeFolder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        }

        const quint64 keptBytes = kept.value(current);
        const bool heldWhole = keptBytes == head.size && held.value(current).complete;
        if (heldWhole) {
            ++current;
            continue;
        }
        const QString partial = QStringLiteral(".orvex-%1.part")
                                    .arg(partialBase + static_cast<quint64>(current), 16, 16, QLatin1Char('0'));
        const QString temporary = madeFolder + QLatin1Char('/') + partial;
        // A partial of this session's numbering that is not continued is this session's to replace;
        // a new session's numbering is new.
        if (keptBytes == 0 && continuesEarlier)
            QFile::remove(temporary);
        currentTemporary = temporary;
        currentTarget = path;
        temporaryName = QFile::encodeName(partial);
        targetName = QFile::encodeName(target.fileName());
        currentFile = new QFile(temporary, this);
        errno = 0;
        if (keptBytes > 0 ? !openPartialFile(keptBytes) : !openNewPartialFile()) {
            const int error = errno;
            delete currentFile;
            currentFile = nullptr;
            ++current;
            const QString known = writeFailure(error, head.filename);
            failWriting(writeFailureKind(error), path,
                known.isEmpty() ? tr("无法打开%1，请检查目录权限！").arg(path) : known,
                known.isEmpty() ? tr("无法打开%1，请检查目录权限！").arg(head.filename) : known);
            return;
        }
        remaining = head.size - keptBytes;
        if (remaining != 0) {
            emit printLogMsg(tr("正在接收%1……").arg(path));
            emit fileStarted(current);
            return;
        }
        if (!completeCurrentFile())
            return;
        ++current;
    }
    // In the sealed stream the sender's end frame, not the count of bytes, closes the session.
    if (isSealed() && !endReceived) {
        awaitingEnd = true;
        return;
    }
    finishReceiving();
}

void ReceiverContext::forgetMadeFolder()
{
    if (madeFolderDescriptor >= 0)
        ::close(madeFolderDescriptor);
    madeFolderDescriptor = -1;
    madeFolder.clear();
}

void ReceiverContext::finishReceiving()
{
    state = Finished;
    // Held no longer than the files need it: a folder on a removable drive stays free to go.
    forgetMadeFolder();
    recordClosed = true;
    if (!record.isNull())
        record.remove();
    // Handed to the system before anyone hears of the end: whoever owns the session may
    // delete it, with its socket, as soon as it does.
    if (uses(TransferFeatures::receipt)) {
        sendMessage(QJsonDocument(QJsonObject { { QStringLiteral("receipt"), 1 } }).toJson(QJsonDocument::Compact));
        socket->flush();
    }
    socket->disconnectFromHost();
    emit filesSaved(downloadRoot);
    emitFinished(transferRoot);
    emit printLogMsg(tr("传输完成！"));
    QTimer::singleShot(endDelayMsec, this, &Context::raiseEndSignal);
}

void ReceiverContext::completeWrittenFile()
{
    // The sender's own word that it stops vouches for every frame before it: a file all of whose
    // bytes came stays like any file completed before.
    if (currentFile && remaining == 0 && !hasFailed() && completeCurrentFile())
        ++current;
}

bool ReceiverContext::completeCurrentFile()
{
    const QString temporary = currentTemporary;
    errno = 0;
    currentFile->close();
    const int error = errno;
    const bool written = currentFile->error() == QFileDevice::NoError;
    delete currentFile;
    currentFile = nullptr;
    const QString name = metadata.at(current).filename;
    QString placed;
    if (written && continuesEarlier) {
        // A file of an earlier session is never replaced: whatever stands under the name (the
        // user may have changed it since) stays, and this copy goes beside it.
        placed = renameBeside(temporary, currentTarget);
        if (!placed.isEmpty() && placed != currentTarget) {
            record.beside.insert(current, QDir(transferRoot).relativeFilePath(placed));
            saveRecord();
        }
    } else if (written) {
        // A later file of the same name in the same offer replaces the earlier one, in one step;
        // a folder of that name stays and the file is not saved.
        const bool renamed = madeFolderDescriptor >= 0
            ? ::renameat(madeFolderDescriptor, temporaryName.constData(), madeFolderDescriptor, targetName.constData()) == 0
            : ::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(currentTarget).constData()) == 0;
        if (renamed)
            placed = currentTarget;
    }
    if (placed.isEmpty()) {
        QFile::remove(temporary);
        const QString known = writeFailure(error, name);
        failWriting(writeFailureKind(error), currentTarget,
            known.isEmpty() ? tr("无法保存%1，请检查目录权限！").arg(currentTarget) : known,
            known.isEmpty() ? tr("无法保存%1，请检查目录权限！").arg(name) : known);
        return false;
    }
    return true;
}

void ReceiverContext::writeData(const QByteArray &data)
{
    // More bytes than the offer announced: the stream is not the one offered.
    if (isSealed() && sessionBytes + static_cast<quint64>(data.size()) > expectedBytes) {
        failTampered();
        return;
    }
    transferred += static_cast<quint64>(data.size());
    sessionBytes += static_cast<quint64>(data.size());
    emitProgress();
    qint64 offset = 0;
    while (offset < data.size() && currentFile && current < metadata.size()) {
        const qint64 count = static_cast<qint64>(qMin<quint64>(remaining, static_cast<quint64>(data.size() - offset)));
        errno = 0;
        if (currentFile->write(data.constData() + offset, count) != count) {
            const int error = errno;
            const QString name = metadata.at(current).filename;
            const bool full = currentFile->error() == QFileDevice::ResourceError || error == ENOSPC;
            const QString known = full ? tr("磁盘空间不足") : writeFailure(error, name);
            failWriting(full ? Failure::DiskFull : writeFailureKind(error), currentTarget,
                known.isEmpty() ? tr("写入%1失败！").arg(currentTarget) : known,
                known.isEmpty() ? tr("写入%1失败！").arg(name) : known);
            return;
        }
        remaining -= static_cast<quint64>(count);
        offset += count;
        // The session's last byte: the file is named when the end frame vouches for the stream.
        // A frame may hold the ends of several files, so only the frame's last byte can be it.
        if (remaining == 0 && isSealed() && sessionBytes == expectedBytes && offset == data.size()) {
            awaitingEnd = true;
            break;
        }
        if (remaining == 0) {
            if (!completeCurrentFile())
                return;
            ++current;
            openNextFile();
        }
    }
    if (recordSaved && recordClock.elapsed() >= recordIntervalMsec)
        saveRecord();
}

void ReceiverContext::saveRecord()
{
    if (record.isNull() || recordClosed)
        return;
    record.done = current;
    record.saved = QDateTime();
    if (currentFile)
        currentFile->flush();
    recordSaved = record.save() || recordSaved;
    recordClock.restart();
}

bool ReceiverContext::openNewPartialFile()
{
    // Relative to the folder the system would make paths no other program could open: the
    // file's whole path must be one the system takes.
    if (QFile::encodeName(currentTarget).size() >= PATH_MAX || QFile::encodeName(currentTemporary).size() >= PATH_MAX) {
        errno = ENAMETOOLONG;
        return false;
    }
    const int descriptor = madeFolderDescriptor >= 0
        ? ::openat(madeFolderDescriptor, temporaryName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666)
        : ::open(QFile::encodeName(currentTemporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0)
        return false;
    if (currentFile->open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        return true;
    ::close(descriptor);
    return false;
}

bool ReceiverContext::openPartialFile(quint64 keptBytes)
{
    // Bytes beyond those confirmed are written again.
    return currentFile->open(QIODevice::ReadWrite) && QFileInfo(currentFile->fileName()).isFile()
        && currentFile->resize(static_cast<qint64>(keptBytes)) && currentFile->seek(static_cast<qint64>(keptBytes));
}

void ReceiverContext::keepOrDiscard()
{
    if (recordClosed)
        return;
    recordClosed = true;
    forgetMadeFolder();
    if (!acceptedOffer || state != Transferring || record.isNull() || !recordSaved) {
        discardPartialFile();
        removeEmptyFolders();
        return;
    }
    // Everything written stays, named by the record: the partial under its session's number.
    record.done = current;
    record.saved = QDateTime();
    if (currentFile) {
        currentFile->flush();
        const bool empty = currentFile->size() == 0;
        currentFile->close();
        if (empty)
            QFile::remove(currentTemporary);
        delete currentFile;
        currentFile = nullptr;
    }
    // An earlier save already names the session's partials; a failure now only leaves it behind.
    record.save();
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
    // A record of a session that left nothing has nothing to point at.
    if (!record.isNull() && !QFileInfo(transferRoot).isDir())
        record.remove();
}

void ReceiverContext::discardPartialFile()
{
    if (!currentFile)
        return;
    const QString temporary = currentTemporary;
    currentFile->close();
    delete currentFile;
    currentFile = nullptr;
    QFile::remove(temporary);
}
