#include "sendcommand.h"

#include "cli/commandoptions.h"
#include "cli/console.h"
#include "cli/exitcode.h"
#include "cli/progressline.h"
#include "cli/runoptions.h"
#include "cli/textargument.h"
#include "cli/transfertexts.h"
#include "core/paireddevices.h"
#include "core/peertext.h"
#include "discovery/devicelist.h"
#include "discovery/discoveryservice.h"
#include "transfer/context.h"
#include "transfer/sendercontext.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonObject>
#include <QRegularExpression>

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
        tr("orvex send：向设备发送文件和文件夹，或用 --text 发送一段文字。接收方确认与本机显示的验证码一致后接收。"));
    parser.addOption({ QStringLiteral("to"),
        tr("接收设备：设备名称（通过设备发现查找），或 地址:端口。可多次给出，依次发送。"), tr("设备") });
    parser.addOption({ QStringLiteral("wait"),
        tr("按名称查找设备时最多等待的秒数（默认 %1）。").arg(defaultWaitSeconds), tr("秒") });
    parser.addOption({ QStringLiteral("pair"), tr("接收设备接收后记住它（配对），以后可以识别它。请先核对验证码。") });
    parser.addOption({ QStringLiteral("text"),
        tr("发送这段文字而不是文件（最多 1 MiB）；为 - 时从标准输入读取。对方显示文字，较旧的设备把它存为文本文件。"),
        tr("文字") });
    parser.addPositionalArgument(QStringLiteral("paths"), tr("要发送的文件或文件夹。"), tr("路径..."));
}

int SendCommand::start(const QCommandLineParser &parser)
{
    targets = parser.values(QStringLiteral("to"));
    pairReceivers = parser.isSet(QStringLiteral("pair"));
    if (targets.isEmpty()) {
        Console::err(tr("请用 --to 指定接收设备。"));
        return exitcode::usage;
    }
    const bool sendsText = parser.isSet(QStringLiteral("text"));
    if (sendsText && !parser.positionalArguments().isEmpty()) {
        Console::err(tr("--text 不能与文件一起发送。"));
        return exitcode::usage;
    }
    if (!sendsText && parser.positionalArguments().isEmpty()) {
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

    QString text;
    if (sendsText) {
        if (!checkedTextArgument(
                parser.value(QStringLiteral("text")), tr("没有可发送的文字，或文字不是有效的 UTF-8。"), &text))
            return exitcode::usage;
        // The name is the one the session offers, give or take the second it starts in.
        files.append({ SenderContext::textFileName(QDateTime::currentDateTime()),
            static_cast<quint64>(text.toUtf8().size()), 0 });
    } else {
        const int added = addPaths(parser.positionalArguments());
        if (added != exitcode::success)
            return added;
        if (sendList.isEmpty()) {
            Console::err(
                tr("所选文件夹中没有文件：%1").arg(peerText(parser.positionalArguments().join(QLatin1Char(' ')))));
            return exitcode::failure;
        }
        if (!offerFitsInOneFrame())
            return exitcode::failure;
        for (const SendItem &item : sendList.items())
            files.append({ item.name, static_cast<quint64>(item.size), 0 });
    }

    QVector<OutgoingTransfer::Target> devicesChosen;
    for (const QString &target : qAsConst(targets)) {
        OutgoingTransfer::Target device { target, QString(), 0 };
        splitTarget(target, &device.host, &device.port);
        devicesChosen.append(device);
    }
    outgoing = sendsText ? new OutgoingTransfer(text, devicesChosen, this)
                         : new OutgoingTransfer(&sendList, devicesChosen, this);
    connect(outgoing, &OutgoingTransfer::addressNeeded, this, &SendCommand::findAddress);
    connect(outgoing, &OutgoingTransfer::connecting, this,
        [](const QString &host, quint16 port) { Console::out(tr("正在连接 %1:%2 ……").arg(peerText(host)).arg(port)); });
    connect(outgoing, &OutgoingTransfer::connectFailed, this, &SendCommand::connectFailed);
    connect(outgoing, &OutgoingTransfer::sessionStarted, this, &SendCommand::sessionStarted);
    connect(outgoing, &OutgoingTransfer::finished, this, [this] { emit finished(status); });
    lookUpTimer.setSingleShot(true);
    connect(&lookUpTimer, &QTimer::timeout, this, &SendCommand::notFound);
    QTimer::singleShot(0, outgoing, &OutgoingTransfer::next);
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
        QVector<SendRefusal> refusals;
        if (!info.isFile())
            refusals = sendList.addFolder(path);
        else if (const auto refusal = sendList.addFile(path, QString()))
            refusals.append(*refusal);
        for (const SendRefusal &refusal : qAsConst(refusals))
            Console::err(TransferTexts::refusalText(refusal));
        if (!refusals.isEmpty())
            return exitcode::failure;
    }
    return exitcode::success;
}

bool SendCommand::offerFitsInOneFrame()
{
    if (!sendList.isTooLong())
        return true;
    Console::err(tr("所选文件过多（%1 个），文件清单超出了一次传输的上限。\n请减少到约 %2 "
                    "个以内（文件名越长，可发送的数量越少）后再发送。")
                     .arg(sendList.size())
                     .arg(Context::maxOfferedFiles));
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

void SendCommand::findAddress(const OutgoingTransfer::Target &target)
{
    // A name, or an address without a port: discovery tells the port.
    lookUpHost = target.host;
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
        outgoing->connectTo(match->ip, match->port);
    }
}

void SendCommand::notFound()
{
    Console::err(tr("找不到设备：%1").arg(peerText(outgoing->currentTarget().name)));
    QStringList names;
    if (devices) {
        for (const QString &name : DeviceList::similarNames(devices->devices(), lookUpHost))
            names.append(peerText(name));
    }
    if (!names.isEmpty())
        Console::err(tr("是否要找：%1").arg(names.join(QStringLiteral(", "))));
    endTarget(exitcode::notFound);
}

void SendCommand::connectFailed(const TransferFailure &failure)
{
    const QString reason = failure.kind == TransferFailure::Kind::TimedOut ? tr("连接超时！") : failure.detail;
    Console::err(tr("无法连接 %1：%2").arg(peerText(outgoing->currentTarget().name), reason));
    endTarget(exitcode::failure);
}

void SendCommand::sessionStarted(SenderContext *session)
{
    context = session;
    context->setParent(this);
    keysAgreed = false;
    pairedThisTarget = false;
    receiverPeer = PeerIdentity();
    context->setPairOnAccept(pairReceivers);
    progress = std::make_unique<ProgressLine>(tr("发送"), files);
    connect(context, &Context::peerIdentified, this, [this](const PeerIdentity &peer) {
        receiverPeer = peer;
        const QString note = TransferTexts::standingNote(peer);
        if (!note.isEmpty()) {
            progress->finish();
            Console::out(note);
        }
    });
    connect(context, &Context::peerPaired, this, [this](const PeerIdentity &paired) {
        pairedThisTarget = true;
        receiverPeer = paired;
        progress->finish();
        Console::summary(
            tr("已与 %1 配对（指纹 %2）。").arg(peerText(paired.pairedName), PairedDevices::fingerprintOf(paired.key)));
        Console::event(QStringLiteral("paired"), { { QStringLiteral("peer"), TransferTexts::peerFields(paired) } });
    });
    connect(context, &Context::keysAgreed, this, [this](const QString &code) {
        // The code comes once the keys are exchanged, as the offer goes out.
        if (!keysAgreed) {
            Console::event(QStringLiteral("offer"),
                { { QStringLiteral("to"), outgoing->currentTarget().name }, { QStringLiteral("code"), code },
                    { QStringLiteral("files"), files.size() },
                    { QStringLiteral("bytes"), static_cast<double>(context->totalSize()) } });
        }
        keysAgreed = true;
        progress->finish();
        Console::out(tr("建立连接中，验证码: %1").arg(code));
    });
    connect(context, &SenderContext::sentInBatches, this, [this](int sessions) {
        progress->finish();
        Console::out(tr("对方版本较旧，文件将分 %1 批发送，每批需对方确认").arg(sessions));
    });
    connect(context, &Context::fileStarted, this, [this](int index) {
        // The file in progress is in the progress line on a terminal.
        if (Console::outIsTerminal() || index >= files.size())
            return;
        progress->finish();
        Console::out(peerText(tr("正在传送文件 %1 ……").arg(files.at(index).filename)));
    });
    connect(context, &Context::progressed, this, [this](const TransferAmount &moved) {
        progress->update(moved.doneBytes, moved.sessionBytes, moved.fileIndex);
    });
    connect(context, &Context::transferFailed, this, [this](const TransferFailure &failure) {
        progress->finish();
        // A failure receipt carries the receiver's own words.
        Console::err(peerText(TransferTexts::failureText(failure, TransferTexts::Side::Sending, keysAgreed)));
        endTarget(TransferTexts::exitStatus(failure));
    });
    connect(context, &Context::transferFinished, this, [this] {
        progress->complete();
        progress->finish();
        Console::out(tr("传输完成！"));
        QJsonObject fields = progress->summaryFields();
        fields.insert(QStringLiteral("status"), exitcode::success);
        fields.insert(QStringLiteral("to"), outgoing->currentTarget().name);
        fields.insert(QStringLiteral("peer"), TransferTexts::peerFields(receiverPeer));
        Console::event(QStringLiteral("done"), fields);
        if (pairReceivers && !pairedThisTarget)
            Console::err(tr("%1 没有证明自己的密钥（旧版本或其他程序），未配对。")
                             .arg(peerText(outgoing->currentTarget().name)));
        endTarget(exitcode::success);
    });
    Console::out(tr("设备握手中……"));
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
    outgoing->next();
}

void SendCommand::interrupt(int signalNumber)
{
    lookUpTimer.stop();
    if (outgoing)
        outgoing->abort();
    if (progress)
        progress->finish();
    // The receiver is told (in so many words when it understands that), and keeps or removes
    // what it wrote as for any break.
    if (context) {
        context->disconnect(this);
        context->cancel();
    }
    delete context;
    delete outgoing;
    Console::err(tr("发送已中断。"));
    emit finished(exitcode::signalBase + signalNumber);
}
