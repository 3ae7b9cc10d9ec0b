#include "receivesession.h"

#include "cli/console.h"
#include "cli/exitcode.h"
#include "cli/progressline.h"
#include "core/peertext.h"
#include "transfer/receivercontext.h"

#include <QLocale>

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
        if (progress)
            progress->finish();
        Console::out(peerText(message));
    });
    connect(context, &Context::updateProgressBar, this, [this](double fraction) {
        if (progress)
            progress->update(fraction);
    });
    connect(context, &Context::metaDataReady, this, &ReceiveSession::showOffer);
    connect(context, &ReceiverContext::filesSaved, this, [this](const QString &folder) {
        if (progress)
            progress->finish();
        Console::out(tr("文件已保存到 %1").arg(peerText(folder)));
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
    connect(context, &Context::raiseEndSignal, this, [this] { end(accepted ? exitcode::success : exitcode::refused); });
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
    total = totalSize;
    const QString size
        = QLocale().formattedDataSize(static_cast<qint64>(totalSize), 2, QLocale::DataSizeTraditionalFormat);
    const QString name = peerText(deviceName);
    // All parts are put in at once, so that a device or file name holding "%1" stays as it is.
    offer = files.size() == 1
        ? tr("%1 向您分享文件： \"%2\" 大小为： %3。").arg(name, peerText(files.first().filename), size)
        : tr("%1 向您分享 %2 个文件，总大小为 %3.").arg(name, QString::number(files.size()), size);
    offer += tr("\n确认在发送设备上显示了验证码： \"%1\" 。").arg(code);
    if (!context->offerNote().isEmpty())
        offer += QLatin1Char('\n') + context->offerNote();
    emit offered(this);
}

void ReceiveSession::respond(bool accept)
{
    accepted = accept;
    if (accept)
        progress = std::make_unique<ProgressLine>(tr("接收"), total);
    context->response(accept);
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
