#include "receivesession.h"

#include "cli/console.h"
#include "cli/exitcode.h"
#include "cli/progressline.h"
#include "cli/transfertexts.h"
#include "core/humansize.h"
#include "core/paireddevices.h"
#include "core/peertext.h"
#include "transfer/receivercontext.h"

#include <QJsonArray>

ReceiveSession::ReceiveSession(ReceiverContext *session, QObject *parent)
    : QObject(parent)
    , context(session)
{
    context->setParent(this);
    connect(context, &Context::keysAgreed, this, [this] { keysAgreed = true; });
    connect(context, &Context::offered, this, &ReceiveSession::showOffer);
    connect(context, &Context::peerPaired, this, [this](const PeerIdentity &paired) {
        Console::summary(
            tr("已与 %1 配对（指纹 %2）。").arg(peerText(paired.pairedName), PairedDevices::fingerprintOf(paired.key)));
        Console::event(QStringLiteral("paired"), { { QStringLiteral("peer"), TransferTexts::peerFields(paired) } });
    });
    connect(context, &Context::fileStarted, this, [this](int index) {
        // The file in progress is in the progress line on a terminal.
        if (Console::outIsTerminal() || index >= offeredFiles.size())
            return;
        if (progress)
            progress->finish();
        Console::out(peerText(
            tr("正在接收%1……").arg(context->savedFolder() + QLatin1Char('/') + offeredFiles.at(index).filename)));
    });
    connect(context, &Context::progressed, this, [this](const TransferAmount &moved) {
        if (progress)
            progress->update(moved.doneBytes, moved.sessionBytes, moved.fileIndex);
    });
    connect(context, &Context::transferFinished, this, [this](const TransferResult &result) {
        if (!result.text.isEmpty()) {
            // Printed, never run or opened; Console neutralises what could drive the terminal.
            const auto bytes = static_cast<double>(result.text.toUtf8().size());
            if (progress)
                progress->finish();
            Console::out(tr("收到文字（%1）：").arg(humanSize(static_cast<qint64>(bytes))));
            Console::summary(result.text);
            Console::event(QStringLiteral("text"),
                { { QStringLiteral("text"), result.text }, { QStringLiteral("bytes"), bytes } });
            Console::event(QStringLiteral("done"), { { QStringLiteral("status"), exitcode::success } });
            end(exitcode::success);
            return;
        }
        // The dated folder the files went into, not the download folder above it.
        QJsonObject fields { { QStringLiteral("status"), exitcode::success },
            { QStringLiteral("folder"), result.folder } };
        if (progress) {
            progress->complete();
            const QJsonObject figures = progress->summaryFields();
            for (auto it = figures.begin(); it != figures.end(); ++it)
                fields.insert(it.key(), it.value());
        }
        Console::summary(tr("文件已保存到 %1").arg(peerText(result.folder)));
        Console::event(QStringLiteral("done"), fields);
        Console::out(tr("传输完成！"));
        // Every file is complete under its name; the session only closes the connection now.
        end(exitcode::success);
    });
    connect(context, &Context::transferFailed, this, [this](const TransferFailure &failure) {
        if (progress)
            progress->finish();
        // A connection that never completed the key exchange (a port scan) stays quiet; a peer
        // that did is named, whatever went wrong.
        const QString text = TransferTexts::failureText(failure, TransferTexts::Side::Receiving, keysAgreed);
        if (keysAgreed && !text.isEmpty())
            Console::err(peerText(text));
        end(TransferTexts::exitStatus(failure));
    });
    context->startHandshake();
}

ReceiveSession::~ReceiveSession()
{
    // The session goes first: its destructor removes a partly written file, and nothing it
    // emits meanwhile may reach this half-destroyed object.
    context->disconnect(this);
    // A transfer still running is cancelled, so that the sender learns why; a waiting offer is
    // refused.
    context->cancel();
    delete context;
}

void ReceiveSession::showOffer(const TransferOffer &made)
{
    const QVector<FileMetadata> &files = made.files;
    sender = made.deviceName;
    provenPeer = made.peer;
    textOffered = made.textBytes > 0;
    offeredFiles = files;
    const QString size = humanSize(static_cast<qint64>(made.totalBytes));
    const QString name = peerText(made.deviceName);
    const QString note = TransferTexts::resumeNote(made);
    // All parts are put in at once, so that a device or file name holding "%1" stays as it is.
    offer = made.textBytes > 0 ? tr("%1 向您发送一段文字，大小为 %2。").arg(name, size)
        : files.size() == 1
        ? tr("%1 向您分享文件： \"%2\" 大小为： %3。").arg(name, peerText(files.first().filename), size)
        : tr("%1 向您分享 %2 个文件，总大小为 %3.").arg(name, QString::number(files.size()), size);
    offer += tr("\n确认在发送设备上显示了验证码： \"%1\" 。").arg(made.verificationCode);
    const QString standing = TransferTexts::standingNote(made.peer);
    if (!standing.isEmpty())
        offer += QLatin1Char('\n') + standing;
    if (!note.isEmpty())
        offer += QLatin1Char('\n') + note;
    QJsonArray entries;
    for (const FileMetadata &file : files)
        entries.append(QJsonObject {
            { QStringLiteral("name"), file.filename }, { QStringLiteral("size"), static_cast<double>(file.size) } });
    Console::event(QStringLiteral("offer"),
        { { QStringLiteral("from"), made.deviceName }, { QStringLiteral("code"), made.verificationCode },
            { QStringLiteral("files"), entries }, { QStringLiteral("bytes"), static_cast<double>(made.totalBytes) },
            { QStringLiteral("resumed"), made.heldBytes > 0 }, { QStringLiteral("text"), made.textBytes > 0 },
            { QStringLiteral("peer"), TransferTexts::peerFields(made.peer) } });
    emit offered(this);
}

void ReceiveSession::respond(bool accept, bool pair)
{
    accepted = accept;
    context->setPairOnAccept(accept && pair);
    if (accept)
        progress = std::make_unique<ProgressLine>(tr("接收"), offeredFiles);
    context->response(accept);
}

void ReceiveSession::refuseUnanswered()
{
    context->refuseUnanswered();
}

void ReceiveSession::end(int status)
{
    if (done)
        return;
    done = true;
    if (progress)
        progress->finish();
    emit ended(this, status);
}
