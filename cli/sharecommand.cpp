#include "sharecommand.h"

#include "cli/commandoptions.h"
#include "cli/console.h"
#include "cli/exitcode.h"
#include "cli/qrtext.h"
#include "cli/textargument.h"
#include "cli/weblinks.h"
#include "core/humansize.h"
#include "core/peertext.h"
#include "web/webserver.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

void ShareCommand::addOptions(CommandOptions &parser) const
{
    parser.setApplicationDescription(
        tr("orvex share：通过网页分享文件或文字。显示链接和二维码，同一网络中的浏览器可下载这些文件、"
           "复制这段文字；按 Ctrl+C 停止。"));
    parser.addOption(
        { QStringLiteral("address"), tr("链接中使用的本机地址（默认：默认路由所在网卡的地址）。"), tr("地址") });
    parser.addOption(qrSchemeOption());
    parser.addOption({ QStringLiteral("text"), tr("同时分享这段文字（最多 1 MiB）；“-”从标准输入读取。"), tr("文字") });
    parser.addPositionalArgument(QStringLiteral("files"), tr("要分享的文件。"), tr("文件..."));
}

int ShareCommand::start(const QCommandLineParser &parser)
{
    QrScheme scheme = QrScheme::Dark;
    if (!takeQrScheme(parser, &scheme))
        return exitcode::usage;
    QStringList files;
    for (const QString &path : parser.positionalArguments()) {
        const QFileInfo info(path);
        if (!info.isFile() || !info.isReadable()) {
            Console::err(tr("无法分享 %1：不是可读取的文件。").arg(peerText(path)));
            return exitcode::usage;
        }
        files.append(info.absoluteFilePath());
    }
    QString text;
    if (parser.isSet(QStringLiteral("text"))) {
        if (!checkedTextArgument(
                parser.value(QStringLiteral("text")), tr("没有可分享的文字，或文字不是有效的 UTF-8。"), &text))
            return exitcode::usage;
    }
    if (files.isEmpty() && text.isEmpty()) {
        Console::err(tr("请选择文件"));
        return exitcode::usage;
    }

    const QString address = WebLinks::address(parser.value(QStringLiteral("address")));
    if (address.isEmpty())
        return exitcode::usage;
    web = WebLinks::startServer(this);
    if (!web)
        return exitcode::failure;
    connect(web, &WebServer::fileDownloaded, this, [](const QString &name, qint64 bytes) {
        Console::summary(tr("已下载：%1（%2）").arg(peerText(name), humanSize(bytes)));
        Console::event(QStringLiteral("downloaded"),
            { { QStringLiteral("name"), name }, { QStringLiteral("bytes"), static_cast<double>(bytes) } });
    });
    const QString link = WebLinks::share(*web, address, files, text);
    QJsonObject linkEvent { { QStringLiteral("url"), link }, { QStringLiteral("files"), files.size() } };
    if (!text.isEmpty())
        linkEvent.insert(QStringLiteral("textBytes"), static_cast<double>(text.toUtf8().size()));
    Console::event(QStringLiteral("link"), linkEvent);
    printLinkWithQrCode(link, scheme);
    if (files.isEmpty())
        Console::out(tr("正在分享一段文字，按 Ctrl+C 停止。"));
    else
        Console::out(tr("正在分享 %1 个文件，按 Ctrl+C 停止。").arg(files.size()));
    return keepRunning;
}

void ShareCommand::interrupt(int signalNumber)
{
    Q_UNUSED(signalNumber)
    Console::err(tr("已停止分享。"));
    emit finished(exitcode::success);
}
