#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

#include <functional>

// A ZIP archive of files stored as they are (method 0), planned in advance so that its exact
// size is known before its first byte, then written straight from the files block by block: no
// copy on disk, and memory in proportion to the number of files, not their size. Names are
// UTF-8 (general purpose bit 11). Files of 4 GiB and more, offsets past 4 GiB and more than
// 65534 files take the ZIP64 extensions. The CRC-32 of a file is known only once it has been
// read, so it follows the file's bytes in a data descriptor; the sizes are in the local header.
class ZipArchive
{
public:
    struct Member
    {
        // The name inside the archive, a relative path with "/" between folders.
        QString name;
        QString path;
    };

    // Sizes and times are read now; a file that cannot be read is left out.
    explicit ZipArchive(const QList<Member> &files);

    qint64 size() const { return totalSize; }
    int count() const { return entries.size(); }

    // Hands the archive to sink piece by piece. Returns false, having stopped at once, when sink
    // returns false or a file no longer reads as planned (removed, shrunk or grown): what was
    // handed over then is no valid archive, and whoever receives it must be told so.
    bool write(const std::function<bool(const QByteArray &)> &sink) const;

private:
    struct Entry
    {
        QByteArray name;
        QString path;
        qint64 size = 0;
        qint64 offset = 0;
        quint16 dosTime = 0;
        quint16 dosDate = 0;
    };

    bool writeFile(const Entry &entry, const std::function<bool(const QByteArray &)> &sink, quint32 *crc) const;
    QByteArray centralHeader(const Entry &entry, quint32 crc) const;
    QByteArray endRecords() const;
    bool needsZip64End() const;

    QList<Entry> entries;
    qint64 centralOffset = 0;
    qint64 centralSize = 0;
    qint64 totalSize = 0;
};
