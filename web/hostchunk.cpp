#include "hostchunk.h"

#include "web/chunk.h"
#include "web/uploadsupport.h"

#include <QDir>
#include <QTemporaryFile>

HostChunk::HostChunk(QObject *parent)
    : QObject(parent)
{
}

HostChunk::~HostChunk()
{
    qDeleteAll(chunks);
    // Unless it was finished, the partial file goes with it.
    delete partialFile;
}

bool HostChunk::open(const QString &folder)
{
    QDir().mkpath(folder);
    // Hidden and unique by construction, so it never meets a user's file. Where the file
    // system allows, it even stays nameless until finished, so an upload abandoned in any way,
    // a crash included, leaves nothing behind.
    partialFile = new QTemporaryFile(folder + QStringLiteral("/.orvex-upload-XXXXXX.part"));
    // Unbuffered (QTemporaryFile takes the mode through QFile's open): no bytes wait in a buffer
    // that a failed write could leave behind, so cutting the file back always leaves it exact.
    if (!static_cast<QFile *>(partialFile)->open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        delete partialFile;
        partialFile = nullptr;
        return false;
    }
    return true;
}

bool HostChunk::append(quint32 index, const QString &fileName, QIODevice &data)
{
    if (!partialFile || index != nextIndex())
        return false;
    const qint64 before = size();
    if (!upload::copyData(data, *partialFile)) {
        cutBack(before);
        return false;
    }
    addChunk(index, fileName, size() - before);
    return true;
}

qint64 HostChunk::size() const
{
    return partialFile ? partialFile->pos() : 0;
}

bool HostChunk::write(const char *data, qint64 size)
{
    return partialFile && partialFile->write(data, size) == size;
}

void HostChunk::addChunk(quint32 index, const QString &fileName, qint64 size)
{
    chunks.append(new Chunk(index, fileName, size));
}

void HostChunk::cutBack(qint64 size)
{
    if (!partialFile)
        return;
    partialFile->resize(size);
    partialFile->seek(size);
}

QString HostChunk::finish(const QString &folder, const QString &name)
{
    if (!partialFile)
        return QString();
    // Asking for the name gives a nameless file its hidden name.
    const QString path = partialFile->fileName();
    partialFile->close();
    const QString written = upload::renameWithoutOverwrite(path, folder, name);
    if (!written.isEmpty())
        partialFile->setAutoRemove(false);
    return written;
}
