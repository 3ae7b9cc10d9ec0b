#pragma once

#include "transfer/filemetadata.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

// What an interrupted receiving session keeps, so that a later offer of the same files from
// the same sender continues it: the sender's name, the offered files, how many bytes of each
// are written and, for the file that was in progress, its hidden partial name. Records are
// small JSON files in the hidden folder ".orvex-unfinished" of the download folder, one per
// transfer folder.
class ResumeRecord
{
public:
    // Records, and the partial files they name, are dropped at start-up after this long.
    static constexpr qint64 maxAgeDays = 7;

    ResumeRecord() = default;
    ResumeRecord(QString downloadPath, QString folder, QString sender, QVector<FileMetadata> files);

    // The record of an earlier session from sender with the same file names in the same order;
    // a record without any usable byte counts as none.
    static ResumeRecord find(const QString &downloadPath, const QString &sender, const QVector<FileMetadata> &offered);
    // Drops the records older than maxAgeDays with their partial files, and those whose folder
    // is gone.
    static void dropStale(const QString &downloadPath);

    bool isNull() const { return folder.isEmpty(); }
    bool save() const;
    void remove() const;

    // The bytes of each offered file that the folder still holds: a file whose size or
    // modification time changed, or whose bytes are gone, starts again from nothing.
    QVector<quint64> heldBytes(const QVector<FileMetadata> &offered) const;
    // The absolute path of a file's partial copy, or an empty text when there is none.
    QString partialPath(int index) const;

    QString folder;
    QString sender;
    QVector<FileMetadata> files;
    QVector<quint64> written;
    QStringList partials;
    // When the session ended; save() writes the current time when this is not set.
    QDateTime saved;

private:
    static QString recordsFolder(const QString &downloadPath);
    static ResumeRecord load(const QString &downloadPath, const QString &recordPath);
    QString targetPath(int index) const;

    QString downloads;
};
