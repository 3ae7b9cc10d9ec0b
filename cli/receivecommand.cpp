#include "receivecommand.h"

#include "cli/answerreader.h"
#include "cli/commandoptions.h"
#include "cli/console.h"
#include "cli/exitcode.h"
#include "cli/receivesession.h"
#include "core/downloadfolder.h"
#include "core/peertext.h"
#include "core/settings.h"
#include "discovery/discoveryservice.h"
#include "transfer/identity.h"
#include "transfer/receivercontext.h"
#include "transfer/server.h"

#include <QCommandLineParser>

#include <stdexcept>

ReceiveCommand::~ReceiveCommand()
{
    // Sessions first: each removes the file it was writing and closes its connection.
    for (const QPointer<ReceiveSession> &session : qAsConst(sessions))
        delete session;
    // However the command ends, the other devices learn that this one is gone.
    if (discovery)
        discovery->leave();
}

void ReceiveCommand::addOptions(CommandOptions &parser) const
{
    parser.setApplicationDescription(
        tr("orvex receive：接收其他设备发送的文件。运行传输服务并让其他设备发现本机，每次收到文件时显示发送方、"
           "文件和验证码，并询问是否接收（y/N）；%1 秒内没有回答则拒绝，发送方会看到“无人回答”。")
            .arg(Context::answerTimeLimitSeconds));
    parser.addOption({ QStringLiteral("accept"), tr("不询问，直接接收。") });
    parser.addOption({ QStringLiteral("from"),
        tr("与 --accept 一起：只直接接收这台设备（按名称，名称未经验证）发来的文件。"), tr("名称") });
    parser.addOption({ QStringLiteral("accept-paired"),
        tr("不询问，直接接收已配对设备（已验证其密钥）发来的文件；其他设备仍会询问。") });
    parser.addOption({ QStringLiteral("pair"), tr("接收时记住发送设备（配对），以后可以识别它。请先核对验证码。") });
    parser.addOption({ QStringLiteral("once"), tr("处理完第一份文件后退出。") });
}

int ReceiveCommand::start(const QCommandLineParser &parser)
{
    acceptAll = parser.isSet(QStringLiteral("accept"));
    acceptFrom = parser.value(QStringLiteral("from"));
    once = parser.isSet(QStringLiteral("once"));
    acceptPaired = parser.isSet(QStringLiteral("accept-paired"));
    pairAccepted = parser.isSet(QStringLiteral("pair"));
    // Pairing means the user compared the code: never for offers nobody looked at.
    if (pairAccepted && acceptAll) {
        Console::err(tr("--pair 不能与 --accept 一起使用：配对前需要核对验证码。"));
        return exitcode::usage;
    }
    if (!acceptFrom.isEmpty() && !acceptAll) {
        Console::err(tr("--from 只能与 --accept 一起使用。"));
        return exitcode::usage;
    }

    const QString folder = Settings::downloadPath();
    QString folderError = createDownloadFolder(folder, FolderDepth::WithParents);
    if (folderError.isEmpty())
        folderError = unwritableFolder(folder);
    if (!folderError.isEmpty()) {
        Console::err(folderError);
        return exitcode::failure;
    }

    server = new Server(this);
    connect(server, &Server::incomingSession, this, &ReceiveCommand::takeSession);
    try {
        server->start();
    } catch (const std::runtime_error &error) {
        Console::err(tr("%1：%2").arg(QString::fromUtf8(error.what()), server->listenError()));
        return exitcode::failure;
    }
    discovery = new DiscoveryService(this);
    discovery->setFingerprint(Identity::own().fingerprint());
    connect(discovery, &DiscoveryService::error, this, [](const QString &message) { Console::err(message); });
    discovery->start(server->serverPort());

    reader = new AnswerReader(this);
    connect(reader, &AnswerReader::answered, this, [this](const QString &line) { answer(isYes(line)); });
    connect(reader, &AnswerReader::closed, this, [this] {
        Console::out(tr("（没有输入，拒绝接收）"));
        answer(false);
    });
    answerTimer.setSingleShot(true);
    connect(&answerTimer, &QTimer::timeout, this, [this] {
        Console::out(tr("（%1 秒内没有回答，已拒绝）").arg(Context::answerTimeLimitSeconds));
        answer(false, true);
    });

    Console::out(tr("正在等待接收文件：设备 %1，端口 %2，下载目录 %3")
                     .arg(peerText(Settings::deviceName()), QString::number(server->serverPort()), peerText(folder)));
    return keepRunning;
}

bool ReceiveCommand::isYes(const QString &answer)
{
    const QString word = answer.trimmed().toLower();
    return word == QLatin1String("y") || word == QLatin1String("yes") || word == QStringLiteral("是");
}

void ReceiveCommand::takeSession(ReceiverContext *context)
{
    auto *session = new ReceiveSession(context, this);
    sessions.append(session);
    connect(session, &ReceiveSession::offered, this, &ReceiveCommand::offerReady);
    connect(session, &ReceiveSession::ended, this, &ReceiveCommand::sessionEnded);
}

void ReceiveCommand::offerReady(ReceiveSession *session)
{
    waiting.append(session);
    if (!asking)
        askNext();
}

void ReceiveCommand::askNext()
{
    while (!waiting.isEmpty()) {
        ReceiveSession *session = waiting.takeFirst();
        if (!session)
            continue;
        Console::out(session->offerText());
        const bool trusted = acceptFrom.isEmpty() || session->deviceName() == acceptFrom;
        if (acceptAll && trusted) {
            Console::out(tr("已自动接收。"));
            session->respond(true);
            continue;
        }
        // Only a proven key counts, whatever name or fingerprint text the device announces.
        if (acceptPaired && session->peer().standing == PeerIdentity::Standing::Paired) {
            Console::summary(tr("已自动接收来自已配对设备 %1 的文件。").arg(peerText(session->peer().pairedName)));
            session->respond(true);
            continue;
        }
        asking = session;
        if (Console::mode() == Console::Mode::Normal) {
            QString question;
            if (session->offersText())
                question = pairAccepted ? tr("是否接收文字并记住此设备？%1 秒内回答，否则拒绝 [y/N] ")
                                        : tr("是否接收文字？%1 秒内回答，否则拒绝 [y/N] ");
            else
                question = pairAccepted ? tr("是否接收文件并记住此设备？%1 秒内回答，否则拒绝 [y/N] ")
                                        : tr("是否接收文件？%1 秒内回答，否则拒绝 [y/N] ");
            Console::outRaw(question.arg(Context::answerTimeLimitSeconds));
        }
        answerTimer.start(Context::answerTimeLimitSeconds * 1000);
        reader->ask();
        return;
    }
}

void ReceiveCommand::answer(bool accept, bool unanswered)
{
    answerTimer.stop();
    reader->cancel();
    // A terminal shows the answer and its line break; otherwise the prompt's line ends here.
    if (!Console::inIsTerminal() && !unanswered)
        Console::out(QString());
    ReceiveSession *session = asking;
    asking = nullptr;
    if (session && unanswered)
        session->refuseUnanswered();
    else if (session)
        session->respond(accept, pairAccepted);
    askNext();
}

void ReceiveCommand::sessionEnded(ReceiveSession *session, int status)
{
    sessions.removeAll(session);
    waiting.removeAll(session);
    const bool wasOffered = session->wasOffered();
    if (asking == session) {
        // The offer can no longer be answered.
        answerTimer.stop();
        reader->cancel();
        asking = nullptr;
        Console::out(QString());
        askNext();
    }
    session->deleteLater();
    if (once && wasOffered)
        emit finished(status);
}

void ReceiveCommand::interrupt(int signalNumber)
{
    // The open question's line ends before the farewell.
    if (asking)
        Console::out(QString());
    bool transferring = false;
    for (const QPointer<ReceiveSession> &session : qAsConst(sessions))
        transferring = transferring || (session && session->isTransferring());
    for (const QPointer<ReceiveSession> &session : qAsConst(sessions))
        delete session;
    sessions.clear();
    Console::err(tr("已停止接收。"));
    emit finished(transferring ? exitcode::signalBase + signalNumber : exitcode::success);
}
