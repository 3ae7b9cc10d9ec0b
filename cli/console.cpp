#include "console.h"

#include "core/plainoutput.h"

#include <unistd.h>

void Console::out(const QString &line)
{
    writePlainLine(STDOUT_FILENO, line);
}

void Console::err(const QString &line)
{
    writePlainLine(STDERR_FILENO, line);
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
