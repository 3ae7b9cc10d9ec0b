#include "console.h"

#include "core/plainoutput.h"

#include <QJsonDocument>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int defaultColumns = 80;

Console::Mode outputMode = Console::Mode::Normal;

bool isWide(uint code)
{
    // The East Asian wide and fullwidth ranges a terminal draws in two columns.
    return (code >= 0x1100 && code <= 0x115f) || (code >= 0x2e80 && code <= 0x303e)
        || (code >= 0x3041 && code <= 0x33ff) || (code >= 0x3400 && code <= 0x4dbf)
        || (code >= 0x4e00 && code <= 0x9fff) || (code >= 0xa000 && code <= 0xa4cf)
        || (code >= 0xac00 && code <= 0xd7a3) || (code >= 0xf900 && code <= 0xfaff)
        || (code >= 0xfe30 && code <= 0xfe4f) || (code >= 0xff00 && code <= 0xff60)
        || (code >= 0xffe0 && code <= 0xffe6) || (code >= 0x1f300 && code <= 0x1f64f)
        || (code >= 0x20000 && code <= 0x3fffd);
}

} // namespace

void Console::setMode(Mode mode)
{
    outputMode = mode;
}

Console::Mode Console::mode()
{
    return outputMode;
}

void Console::out(const QString &line)
{
    if (outputMode == Mode::Normal)
        writePlainLine(STDOUT_FILENO, line);
}

void Console::summary(const QString &line)
{
    if (outputMode != Mode::Json)
        writePlainLine(STDOUT_FILENO, line);
}

void Console::result(const QString &line)
{
    writePlainLine(STDOUT_FILENO, line);
}

void Console::err(const QString &line)
{
    writePlainLine(STDERR_FILENO, line);
    if (outputMode == Mode::Json)
        event(QStringLiteral("error"), { { QStringLiteral("message"), line } });
}

void Console::event(const QString &name, QJsonObject fields)
{
    if (outputMode != Mode::Json)
        return;
    fields.insert(QStringLiteral("event"), name);
    // JSON escapes the C0 controls; writePlainLine replaces what else could drive the terminal.
    writePlainLine(STDOUT_FILENO, QString::fromUtf8(QJsonDocument(fields).toJson(QJsonDocument::Compact)));
}

void Console::outRaw(const QString &text)
{
    writeAll(STDOUT_FILENO, text.toUtf8());
}

bool Console::outIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

bool Console::inIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

int Console::columns()
{
    winsize size {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    bool ok = false;
    const int fromEnvironment = qEnvironmentVariableIntValue("COLUMNS", &ok);
    return ok && fromEnvironment > 0 ? fromEnvironment : defaultColumns;
}

int Console::displayWidth(const QString &text)
{
    int width = 0;
    for (const uint code : text.toUcs4())
        width += isWide(code) ? 2 : 1;
    return width;
}

QString Console::elide(const QString &text, int width)
{
    if (displayWidth(text) <= width)
        return text;
    QString kept;
    int used = 0;
    for (const uint code : text.toUcs4()) {
        const int next = isWide(code) ? 2 : 1;
        // One column stays for the ellipsis.
        if (used + next > width - 1)
            break;
        kept += QString::fromUcs4(&code, 1);
        used += next;
    }
    return width > 0 ? kept + QChar(0x2026) : QString();
}
