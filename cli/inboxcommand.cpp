#include "inboxcommand.h"

#include "cli/commandoptions.h"
#include "cli/console.h"
#include "cli/exitcode.h"
#include "cli/qrtext.h"
#include "cli/weblinks.h"
#include "core/downloadfolder.h"
#include "core/humansize.h"
#include "core/peertext.h"
#include "core/settings.h"
#include "web/webserver.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonObject>

void InboxCommand::addOptions(CommandOptions &parser) const
{
    parser.setApplicationDescription(
        tr("orvex inbox：通过网页接收文件和文字。显示上传页面的链接和二维码，浏览器上传的文件保存到"
           "下载目录，发送的文字打印到标准输出；按 Ctrl+C 停止。"));
    parser.addOption(
        { QStringLiteral("address"), tr("链接中使用的本机地址（默认：默认路由所在网卡的地址）。"), tr("地址") });
    parser.addOption(qrSchemeOption());
}

int InboxCommand::start(const QCommandLineParser &parser)
{
    QrScheme scheme = QrScheme::Dark;
    if (!takeQrScheme(parser, &scheme))
        return exitcode::usage;
    const QString folder = Settings::downloadPath();
    QString folderError = createDownloadFolder(folder, FolderDepth::WithParents);
    if (folderError.isEmpty())
        folderError = unwritableFolder(folder);
    if (!folderError.isEmpty()) {
        Console::err(folderError);
        return exitcode::failure;
    }
    const QString address = WebLinks::address(parser.value(QStringLiteral("address")));
    if (address.isEmpty())
        return exitcode::usage;
    web = WebLinks::startServer(this);
    if (!web)
        return exitcode::failure;
    connect(web, &WebServer::fileUploaded, this, [](const QString &path) {
        const qint64 bytes = QFileInfo(path).size();
        Console::summary(tr("已接收：%1（%2）").arg(peerText(path), humanSize(bytes)));
        Console::event(QStringLiteral("uploaded"),
            { { QStringLiteral("path"), path }, { QStringLiteral("bytes"), static_cast<double>(bytes) } });
    });
    // A text is printed, never run or opened; Console neutralises what could drive the terminal.
    connect(web, &WebServer::textReceived, this, [](const QString &, const QString &text) {
        Console::out(tr("收到文字（%1）：").arg(humanSize(text.toUtf8().size())));
        Console::summary(text);
        Console::event(QStringLiteral("text"),
            { { QStringLiteral("text"), text },
                { QStringLiteral("bytes"), static_cast<double>(text.toUtf8().size()) } });
    });
    const QString link = WebLinks::uploadPage(*web, address);
    Console::event(QStringLiteral("link"), { { QStringLiteral("url"), link }, { QStringLiteral("folder"), folder } });
    printLinkWithQrCode(link, scheme);
    Console::out(tr("上传的文件保存到 %1，按 Ctrl+C 停止。").arg(peerText(folder)));
    return keepRunning;
}

void InboxCommand::interrupt(int signalNumber)
{
    Q_UNUSED(signalNumber)
    Console::err(tr("已停止接收。"));
    emit finished(exitcode::success);
}
