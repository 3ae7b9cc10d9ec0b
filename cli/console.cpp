#include "console.h"

#include <cerrno>
#include <unistd.h>

namespace {

void writeAll(int fd, const QByteArray &bytes)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return;
        written += count;
    }
}

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c < 0xa0) || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

void Console::out(const QString &line)
{
    writeAll(STDOUT_FILENO, (line + QLatin1Char('\n')).toUtf8());
}

void Console::err(const QString &line)
{
    writeAll(STDERR_FILENO, (line + QLatin1Char('\n')).toUtf8());
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

QString Console::plainText(const QString &untrusted)
{
    // Every character replaced lies in the basic plane, so surrogate pairs pass unchanged.
    QString plain = untrusted;
    for (QChar &c : plain) {
        if (isControl(c.unicode()))
            c = QChar(0xfffd);
    }
    return plain;
}
