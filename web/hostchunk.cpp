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
    if (!partialFile->open()) {
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
    const qint64 before = partialFile->pos();
    if (!upload::copyData(data, *partialFile) || !partialFile->flush()) {
        partialFile->resize(before);
        partialFile->seek(before);
        return false;
    }
    chunks.append(new Chunk(index, fileName, partialFile->pos() - before));
    return true;
}

QString HostChunk::finish(const QString &folder, const QString &name)
{
    if (!partialFile || !partialFile->flush())
        return QString();
    // Asking for the name gives a nameless file its hidden name.
    const QString path = partialFile->fileName();
    partialFile->close();
    const QString written = upload::renameWithoutOverwrite(path, folder, name);
    if (!written.isEmpty())
        partialFile->setAutoRemove(false);
    return written;
}
