#include "runcommand.h"

#include "cli/commandoptions.h"
#include "cli/console.h"
#include "cli/devicescommand.h"
#include "cli/doctorcommand.h"
#include "cli/exitcode.h"
#include "cli/inboxcommand.h"
#include "cli/pairedcommand.h"
#include "cli/receivecommand.h"
#include "cli/runoptions.h"
#include "cli/sendcommand.h"
#include "cli/sharecommand.h"
#include "core/language.h"
#include "core/openfilelimit.h"
#include "core/peertext.h"
#include "core/signalwatcher.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QNetworkProxy>

#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

struct CommandEntry
{
    const char *name;
    const char *summary;
    std::function<Command *()> make;
};

const std::vector<CommandEntry> &commands()
{
    static const std::vector<CommandEntry> entries {
        { "devices", QT_TRANSLATE_NOOP("RunCommand", "列出局域网中的设备"), [] { return new DevicesCommand; } },
        { "send", QT_TRANSLATE_NOOP("RunCommand", "向设备发送文件和文件夹"), [] { return new SendCommand; } },
        { "receive", QT_TRANSLATE_NOOP("RunCommand", "接收其他设备发送的文件"), [] { return new ReceiveCommand; } },
        { "share", QT_TRANSLATE_NOOP("RunCommand", "通过网页链接分享文件"), [] { return new ShareCommand; } },
        { "inbox", QT_TRANSLATE_NOOP("RunCommand", "通过网页链接接收上传的文件"), [] { return new InboxCommand; } },
        { "paired", QT_TRANSLATE_NOOP("RunCommand", "列出和管理已配对的设备"), [] { return new PairedCommand; } },
        { "doctor", QT_TRANSLATE_NOOP("RunCommand", "检查网络，找出设备互相找不到的原因"),
            [] { return new DoctorCommand; } },
    };
    return entries;
}

QString exitStatusText()
{
    return QCoreApplication::translate("RunCommand",
        "退出状态：\n"
        "  0    成功（send：对方已接收且文件已全部发出）\n"
        "  1    失败：连接、文件、端口出错，或传输中断\n"
        "  2    命令行错误\n"
        "  3    被拒绝：对方拒绝接收（send），或在本机拒绝了文件（receive --once）\n"
        "  4    找不到设备（send --to），或没有发现任何设备（devices）\n"
        "  5    无人回答：对方在限定时间内没有回答，已自动拒绝（send），或在本机无人回答（receive --once）\n"
        "  130  传输中被 Ctrl+C 中断（SIGTERM 为 143）；没有传输时中断 receive、share、inbox、devices 返回 0\n");
}

QString overviewText()
{
    QString text = QCoreApplication::translate("RunCommand",
        "用法：orvex [命令] [选项]\n"
        "不带参数时启动托盘程序。以下命令在终端中运行，不需要图形界面：\n");
    for (const CommandEntry &entry : commands())
        text += QStringLiteral("  %1%2\n")
                    .arg(QLatin1String(entry.name), -10)
                    .arg(QCoreApplication::translate("RunCommand", entry.summary));
    text += QCoreApplication::translate("RunCommand",
        "  -v, --version  显示版本\n"
        "“orvex 命令 --help” 显示该命令的选项。\n\n");
    return text + exitStatusText();
}

int runParsed(QCoreApplication &app, const CommandEntry &entry, const QStringList &arguments)
{
    std::unique_ptr<Command> command(entry.make());
    CommandOptions options;
    command->addOptions(options);
    RunOptions::add(options, command->settings());
    options.addOption(
        { QStringLiteral("quiet"), QCoreApplication::translate("RunCommand", "只输出错误和最后的结果。") });
    options.addOption({ QStringLiteral("json"),
        QCoreApplication::translate("RunCommand", "每个事件输出一行 JSON（见 docs/commands.md）。") });
    const QCommandLineOption help(
        { QStringLiteral("h"), QStringLiteral("help") }, QCoreApplication::translate("RunCommand", "显示此帮助。"));
    options.addOption(help);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    options.addTo(parser);
    const QString name = QLatin1String(entry.name);
    const auto wrong = [&name](const QString &text) {
        Console::err(text);
        Console::err(QCoreApplication::translate("RunCommand", "“orvex %1 --help” 显示可用的选项。").arg(name));
        return exitcode::usage;
    };
    if (!parser.parse(arguments))
        return wrong(peerText(parser.errorText()));
    if (parser.isSet(help)) {
        Console::outRaw(options.helpText(name, Console::columns()) + QLatin1Char('\n') + exitStatusText());
        return exitcode::success;
    }
    if (!options.takesArguments() && !parser.positionalArguments().isEmpty())
        return wrong(QCoreApplication::translate("RunCommand", "多余的参数：%1")
                         .arg(peerText(parser.positionalArguments().join(QLatin1Char(' ')))));
    if (parser.isSet(QStringLiteral("quiet")) && parser.isSet(QStringLiteral("json")))
        return wrong(QCoreApplication::translate("RunCommand", "--quiet 和 --json 不能同时使用。"));
    if (parser.isSet(QStringLiteral("quiet")))
        Console::setMode(Console::Mode::Quiet);
    if (parser.isSet(QStringLiteral("json")))
        Console::setMode(Console::Mode::Json);
    const QString wrongValue = RunOptions::apply(parser);
    if (!wrongValue.isEmpty()) {
        Console::err(wrongValue);
        return exitcode::usage;
    }
    for (const QString &line : RunOptions::saved())
        Console::summary(line);

    auto watcher = std::make_unique<SignalWatcher>();
    int status = command->start(parser);
    if (status != Command::keepRunning)
        return status;
    QObject::connect(watcher.get(), &SignalWatcher::signalled, command.get(), &Command::interrupt);
    // The first status counts: a second signal while ending may report again.
    bool ended = false;
    QObject::connect(
        command.get(), &Command::finished, &app,
        [&status, &ended](int result) {
            if (ended)
                return;
            ended = true;
            status = result;
            QCoreApplication::exit(result);
        },
        Qt::QueuedConnection);
    app.exec();
    // The status is decided: a signal while the process winds down has nothing left to stop,
    // and must not turn a finished transfer into one killed by it.
    watcher.reset();
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);
    return status;
}

} // namespace

bool isCommandLine(int argc, char *argv[])
{
    if (argc < 2)
        return false;
    const char *first = argv[1];
    // An existing file or folder is for the send-file window ("Open with Orvex"); any other
    // word is a command, or a mistyped one that the commands explain.
    if (first[0] != '-')
        return !QFileInfo::exists(QString::fromLocal8Bit(first));
    for (const char *option : { "-h", "--help", "-help", "-v", "--version" }) {
        if (std::strcmp(first, option) == 0)
            return true;
    }
    return false;
}

int runCommand(QCoreApplication &app)
{
    // Every socket talks to the local network directly, whatever proxy the environment defines.
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    // Many peers' connections and the web server's handlers stay well within the hard limit.
    raiseOpenFileLimit();
    // The HTTP server's start-up notes would fill the terminal; QT_LOGGING_RULES still wins.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    const Language language = chosenLanguage();
    installTranslation(language);
    // Qt's own texts ("The remote host closed the connection", the parser's errors) as well.
    installQtTranslation(language);

    QStringList arguments = QCoreApplication::arguments();
    const QString first = arguments.value(1);
    if (first == QLatin1String("-v") || first == QLatin1String("--version")) {
        Console::out(
            QStringLiteral("%1 %2").arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion()));
        return exitcode::success;
    }
    if (first.startsWith(QLatin1Char('-')) || first == QLatin1String("help")) {
        Console::outRaw(overviewText());
        return exitcode::success;
    }
    for (const CommandEntry &entry : commands()) {
        if (first == QLatin1String(entry.name)) {
            // The parser reads the command's own arguments after the program name.
            arguments.removeAt(1);
            return runParsed(app, entry, arguments);
        }
    }
    Console::err(QCoreApplication::translate("RunCommand", "未知的命令：%1").arg(peerText(first)));
    Console::err(QCoreApplication::translate("RunCommand", "“orvex --help” 列出可用的命令。"));
    return exitcode::usage;
}
