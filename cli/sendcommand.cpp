#include "sendcommand.h"

#include "cli/commandoptions.h"
#include "cli/console.h"
#include "cli/exitcode.h"
#include "cli/progressline.h"
#include "cli/runoptions.h"
#include "core/peertext.h"
#include "discovery/devicelist.h"
#include "discovery/discoveryservice.h"
#include "transfer/sendercontext.h"
#include "transfer/sendfilemanager.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpSocket>

SendCommand::SendCommand(QObject *parent)
    : Command(parent)
{
}

SendCommand::~SendCommand()
{
    // The session goes before the objects its signals reach.
    delete context;
}

void SendCommand::addOptions(CommandOptions &parser) const
{
    parser.setApplicationDescription(
        tr("orvex send：向设备发送文件和文件夹。接收方确认与本机显示的验证码一致后接收。"));
    parser.addOption({ QStringLiteral("to"),
        tr("接收设备：设备名称（通过设备发现查找），或 地址:端口。可多次给出，依次发送。"), tr("设备") });
    parser.addOption({ QStringLiteral("wait"),
        tr("按名称查找设备时最多等待的秒数（默认 %1）。").arg(defaultWaitSeconds), tr("秒") });
    parser.addPositionalArgument(QStringLiteral("paths"), tr("要发送的文件或文件夹。"), tr("路径..."));
}

int SendCommand::start(const QCommandLineParser &parser)
{
    targets = parser.values(QStringLiteral("to"));
    if (targets.isEmpty()) {
        Console::err(tr("请用 --to 指定接收设备。"));
        return exitcode::usage;
    }
    if (parser.positionalArguments().isEmpty()) {
        Console::err(tr("请先选择要发送的文件！"));
        return exitcode::usage;
    }
    if (parser.isSet(QStringLiteral("wait"))) {
        bool ok = false;
        waitSeconds = parser.value(QStringLiteral("wait")).toInt(&ok);
        if (!ok || waitSeconds < 0 || waitSeconds > maxWaitSeconds) {
            Console::err(tr("--wait 的值无效：%1").arg(parser.value(QStringLiteral("wait"))));
            return exitcode::usage;
        }
    }

    manager = new SendFileManager(this);
    const int added = addPaths(parser.positionalArguments());
    if (added != exitcode::success)
        return added;
    if (manager->sendFiles.isEmpty()) {
        Console::err(tr("所选文件夹中没有文件：%1").arg(peerText(parser.positionalArguments().join(QLatin1Char(' ')))));
        return exitcode::failure;
    }
    if (!offerFitsInOneFrame())
        return exitcode::failure;
    for (int i = 0; i < manager->sendFiles.size(); ++i)
        files.append({ manager->sendList.at(i).first, static_cast<quint64>(manager->sendFiles.at(i)->size()), 0 });

    connectTimer.setSingleShot(true);
    connect(&connectTimer, &QTimer::timeout, this, [this] { connectFailed(tr("连接超时！")); });
    lookUpTimer.setSingleShot(true);
    connect(&lookUpTimer, &QTimer::timeout, this, &SendCommand::notFound);
    QTimer::singleShot(0, this, &SendCommand::nextTarget);
    return keepRunning;
}

int SendCommand::addPaths(const QStringList &paths)
{
    // As files dropped on the send-file window: a file under its own name, a folder with its
    // name in front of every path below it.
    for (QString path : paths) {
        if (path.size() > 1 && path.endsWith(QLatin1Char('/')))
            path.chop(1);
        const QFileInfo info(path);
        if (!info.exists()) {
            Console::err(tr("找不到文件或文件夹：%1").arg(peerText(path)));
            return exitcode::usage;
        }
        // A folder's refusals name the file or folder inside it they are about.
        const QStringList refusals
            = info.isFile() ? QStringList { manager->addFile(path, QString()) } : manager->addFolder(path);
        bool anyRefused = false;
        for (const QString &refusal : refusals) {
            if (refusal.isEmpty())
                continue;
            Console::err(info.isFile() ? tr("%1：%2").arg(peerText(path), refusal) : peerText(refusal));
            anyRefused = true;
        }
        if (anyRefused)
            return exitcode::failure;
    }
    return exitcode::success;
}

bool SendCommand::offerFitsInOneFrame()
{
    const QString tooLong = manager->offerTooLong();
    if (tooLong.isEmpty())
        return true;
    Console::err(tooLong);
    return false;
}

void SendCommand::splitTarget(const QString &target, QString *host, quint16 *port)
{
    static const QRegularExpression withPort(QStringLiteral("^\\[?([^\\[\\]]*?)\\]?:(\\d+)$"));
    const QRegularExpressionMatch match = withPort.match(target);
    quint16 number = 0;
    // A bare IPv6 address holds colons of its own and needs the brackets to carry a port.
    const bool bracketed = target.startsWith(QLatin1Char('['));
    if (match.hasMatch() && (bracketed || !match.captured(1).contains(QLatin1Char(':')))
        && RunOptions::parsePort(match.captured(2), &number) && number != 0) {
        *host = match.captured(1);
        *port = number;
        return;
    }
    *host = target;
    *port = 0;
}

void SendCommand::nextTarget()
{
    if (targets.isEmpty()) {
        emit finished(status);
        return;
    }
    currentTarget = targets.takeFirst();
    refusalStatus = exitcode::failure;
    offerShown = false;
    QString host;
    quint16 port = 0;
    splitTarget(currentTarget, &host, &port);
    if (port != 0) {
        connectTo(host, port);
        return;
    }
    // A name, or an address without a port: discovery tells the port.
    lookUpHost = host;
    if (!discovery) {
        // Asked from a port of the service's own, as "orvex devices" does.
        discovery = new DiscoveryService(this);
        devices = new DeviceList(discovery, this);
        connect(devices, &DeviceList::deviceAdded, this, &SendCommand::lookUp);
        devices->start();
    }
    lookUpTimer.start(waitSeconds * 1000);
    lookUp();
}

void SendCommand::lookUp()
{
    if (!lookUpTimer.isActive())
        return;
    const QHostAddress address(lookUpHost);
    const DeviceInfo *match = nullptr;
    if (address.isNull()) {
        match = DeviceList::byName(devices->devices(), lookUpHost);
    } else {
        for (const DeviceInfo &device : devices->devices()) {
            if (device.addr.isEqual(address, QHostAddress::TolerantConversion))
                match = &device;
        }
    }
    if (match) {
        lookUpTimer.stop();
        connectTo(match->ip, match->port);
    }
}

void SendCommand::notFound()
{
    Console::err(tr("找不到设备：%1").arg(peerText(currentTarget)));
    QStringList names;
    if (devices) {
        for (const QString &name : DeviceList::similarNames(devices->devices(), lookUpHost))
            names.append(peerText(name));
    }
    if (!names.isEmpty())
        Console::err(tr("是否要找：%1").arg(names.join(QStringLiteral(", "))));
    endTarget(exitcode::notFound);
}

void SendCommand::connectTo(const QString &host, quint16 port)
{
    Console::out(tr("正在连接 %1:%2 ……").arg(peerText(host)).arg(port));
    socket = new QTcpSocket(this);
    connect(socket, &QTcpSocket::connected, this, &SendCommand::socketConnected);
    connect(socket, &QTcpSocket::errorOccurred, this, [this] { connectFailed(socket->errorString()); });
    connectTimer.start(connectTimeoutMsec);
    socket->connectToHost(host, port, QIODevice::ReadWrite);
}

void SendCommand::connectFailed(const QString &reason)
{
    connectTimer.stop();
    if (socket) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
        socket = nullptr;
    }
    Console::err(tr("无法连接 %1：%2").arg(peerText(currentTarget), reason));
    endTarget(exitcode::failure);
}

void SendCommand::socketConnected()
{
    connectTimer.stop();
    // From here on the session owns the socket and reports its errors.
    socket->disconnect(this);
    context = new SenderContext(socket, manager->sendFiles, manager->sendList, this);
    socket = nullptr;
    progress = std::make_unique<ProgressLine>(tr("发送"), files);
    connect(context, &Context::printLogMsg, this, [this](const QString &message) {
        // The line that tells the code comes once the keys are exchanged, as the offer goes out.
        if (!offerShown && context->sessionState() != Context::Transferring
            && message.contains(context->verificationCode())) {
            offerShown = true;
            Console::event(QStringLiteral("offer"),
                { { QStringLiteral("to"), currentTarget }, { QStringLiteral("code"), context->verificationCode() },
                    { QStringLiteral("files"), files.size() },
                    { QStringLiteral("bytes"), static_cast<double>(context->totalSize()) } });
        }
        // The file each step starts is in the progress line on a terminal.
        if (context->sessionState() == Context::Transferring && Console::outIsTerminal())
            return;
        if (context->sessionState() == Context::Finished && !context->hasFailed())
            progress->complete();
        progress->finish();
        Console::out(peerText(message));
    });
    connect(context, &Context::updateProgressBar, this,
        [this] { progress->update(context->doneBytes(), context->sentThisSession(), context->fileIndex()); });
    connect(context, &SenderContext::refused, this,
        [this](bool unanswered) { refusalStatus = unanswered ? exitcode::unanswered : exitcode::refused; });
    connect(context, &Context::raiseErrorMsg, this, [this](const QString &message) {
        progress->finish();
        // A failure receipt carries the receiver's own words.
        Console::err(peerText(message));
        endTarget(refusalStatus);
    });
    connect(context, &Context::raiseEndSignal, this, [this] {
        progress->complete();
        QJsonObject fields = progress->summaryFields();
        fields.insert(QStringLiteral("status"), exitcode::success);
        fields.insert(QStringLiteral("to"), currentTarget);
        Console::event(QStringLiteral("done"), fields);
        endTarget(exitcode::success);
    });
    context->startHandshake();
}

void SendCommand::endTarget(int targetStatus)
{
    if (context) {
        // Called from the session's own signal: it goes once that has returned.
        context->disconnect(this);
        context->deleteLater();
        context = nullptr;
    }
    progress.reset();
    // With several devices, the status of the first one that did not succeed.
    if (status == exitcode::success)
        status = targetStatus;
    nextTarget();
}

void SendCommand::interrupt(int signalNumber)
{
    lookUpTimer.stop();
    connectTimer.stop();
    // "传输完成！" is shown a moment before the session ends: what was delivered stays delivered.
    if (context && context->sessionState() == Context::Finished && !context->hasFailed()
        && context->fileIndex() >= context->fileCount() && targets.isEmpty()) {
        endTarget(exitcode::success);
        return;
    }
    if (progress)
        progress->finish();
    // The receiver is told (in so many words when it understands that), and keeps or removes
    // what it wrote as for any break.
    if (context) {
        context->disconnect(this);
        context->cancel();
    }
    delete context;
    delete socket;
    targets.clear();
    Console::err(tr("发送已中断。"));
    emit finished(exitcode::signalBase + signalNumber);
}
