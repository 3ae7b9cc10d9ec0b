#include "plainoutput.h"

#include "core/peertext.h"

#include <cerrno>
#include <unistd.h>

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

void writePlainLine(int fd, const QString &line)
{
    writeAll(fd, (peerText(line, PeerTextLines::Kept) + QLatin1Char('\n')).toUtf8());
}
