#include "receivesession.h"

#include "cli/console.h"
#include "cli/exitcode.h"
#include "cli/progressline.h"
#include "core/humansize.h"
#include "core/peertext.h"
#include "transfer/receivercontext.h"

#include <QJsonArray>

ReceiveSession::ReceiveSession(ReceiverContext *session, QObject *parent)
    : QObject(parent)
    , context(session)
{
    context->setParent(this);
    connect(context, &Context::printLogMsg, this, [this](const QString &message) {
        // Only an accepted session tells its steps: the key exchange of every connection
        // would otherwise fill the terminal.
        if (!accepted)
            return;
        // The file each step starts is in the progress line on a terminal.
        if (context->sessionState() == Context::Transferring && Console::outIsTerminal())
            return;
        if (progress)
            progress->finish();
        Console::out(peerText(message));
    });
    connect(context, &Context::updateProgressBar, this, [this] {
        if (progress)
            progress->update(context->doneBytes(), context->receivedThisSession(), context->fileIndex());
    });
    connect(context, &Context::metaDataReady, this, &ReceiveSession::showOffer);
    connect(context, &ReceiverContext::filesSaved, this, [this] {
        // The dated folder the files went into, not the download folder above it.
        const QString folder = context->savedFolder();
        QJsonObject fields { { QStringLiteral("status"), exitcode::success }, { QStringLiteral("folder"), folder } };
        if (progress) {
            progress->complete();
            const QJsonObject figures = progress->summaryFields();
            for (auto it = figures.begin(); it != figures.end(); ++it)
                fields.insert(it.key(), it.value());
        }
        Console::summary(tr("文件已保存到 %1").arg(peerText(folder)));
        Console::event(QStringLiteral("done"), fields);
        // Every file is complete under its name; the session only closes the connection now.
        end(exitcode::success);
    });
    connect(context, &Context::raiseErrorMsg, this, [this](const QString &message) {
        if (progress)
            progress->finish();
        // A connection that never completed the key exchange (a port scan) stays quiet; a peer
        // that did is named, whatever went wrong.
        if (context->sessionState() != Context::AwaitingKey)
            Console::err(peerText(message));
        end(exitcode::failure);
    });
    connect(context, &Context::raiseEndSignal, this, [this] {
        end(accepted ? exitcode::success : unanswered ? exitcode::unanswered : exitcode::refused);
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

void ReceiveSession::showOffer(
    const QVector<FileMetadata> &files, qulonglong totalSize, const QString &deviceName, const QString &code)
{
    sender = deviceName;
    offeredFiles = files;
    const QString size = humanSize(static_cast<qint64>(totalSize));
    const QString name = peerText(deviceName);
    // All parts are put in at once, so that a device or file name holding "%1" stays as it is.
    offer = files.size() == 1
        ? tr("%1 向您分享文件： \"%2\" 大小为： %3。").arg(name, peerText(files.first().filename), size)
        : tr("%1 向您分享 %2 个文件，总大小为 %3.").arg(name, QString::number(files.size()), size);
    offer += tr("\n确认在发送设备上显示了验证码： \"%1\" 。").arg(code);
    if (!context->offerNote().isEmpty())
        offer += QLatin1Char('\n') + context->offerNote();
    QJsonArray entries;
    for (const FileMetadata &file : files)
        entries.append(QJsonObject {
            { QStringLiteral("name"), file.filename }, { QStringLiteral("size"), static_cast<double>(file.size) } });
    Console::event(QStringLiteral("offer"),
        { { QStringLiteral("from"), deviceName }, { QStringLiteral("code"), code },
            { QStringLiteral("files"), entries }, { QStringLiteral("bytes"), static_cast<double>(totalSize) },
            { QStringLiteral("resumed"), !context->offerNote().isEmpty() } });
    emit offered(this);
}

void ReceiveSession::respond(bool accept)
{
    accepted = accept;
    if (accept)
        progress = std::make_unique<ProgressLine>(tr("接收"), offeredFiles);
    context->response(accept);
}

void ReceiveSession::refuseUnanswered()
{
    unanswered = true;
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
