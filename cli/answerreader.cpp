#include "answerreader.h"

#include "cli/console.h"

#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

namespace {

constexpr int readBlock = 4096;
// A line longer than this is no answer; the rest of it is dropped.
constexpr int maxLineBytes = 4096;

} // namespace

AnswerReader::AnswerReader(QObject *parent)
    : QObject(parent)
    , notifier(new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this))
    , terminal(Console::inIsTerminal())
{
    connect(notifier, &QSocketNotifier::activated, this, &AnswerReader::readInput);
}

void AnswerReader::ask()
{
    asking = true;
    deliver();
}

void AnswerReader::cancel()
{
    asking = false;
}

void AnswerReader::readInput()
{
    char block[readBlock];
    const ssize_t count = ::read(STDIN_FILENO, block, sizeof block);
    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (count <= 0) {
        endOfInput = true;
        notifier->setEnabled(false);
        deliver();
        return;
    }
    pending.append(block, static_cast<int>(count));
    int end = 0;
    while ((end = pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(pending.left(end)).trimmed();
        pending.remove(0, end + 1);
        if (asking || !terminal)
            lines.append(line);
    }
    if (pending.size() > maxLineBytes)
        pending.clear();
    deliver();
}

void AnswerReader::deliver()
{
    if (!asking)
        return;
    if (!lines.isEmpty()) {
        asking = false;
        emit answered(lines.takeFirst());
    } else if (endOfInput) {
        asking = false;
        emit closed();
    }
}
