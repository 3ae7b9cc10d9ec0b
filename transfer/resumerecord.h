#pragma once

#include "transfer/filemetadata.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QVector>

// What a receiving session keeps from its acceptance on, so that a later offer of the same
// files from the same sender continues it after a broken link, a crash or a power cut.
//
// A record is a small JSON file in the hidden folder ".orvex-unfinished" of the download folder,
// named by a key computed from the offer (the sender's name and every file's name, size and
// modification time), so that an offer finds its record without reading any other. It names the
// transfer folder, how many files were complete when it was last written, the number from which
// the session's hidden partial names are counted (file i writes ".orvex-<base + i>.part" beside
// its target), and the files that were written beside an existing one under another name.
//
// What is on disk is the truth: a record only says where to look. Whatever a later session
// counts as held is confirmed against the sender's own files before it is used.
class ResumeRecord
{
public:
    // Records, and the partial files they name, are dropped at start-up after this long.
    static constexpr qint64 maxAgeDays = 7;
    // All records together: the oldest go first when a new one would pass either bound.
    static constexpr int maxRecords = 32;
    static constexpr qint64 maxAllRecordsBytes = 8 * 1024 * 1024;
    // A record is a few hundred bytes; a file far larger in its place is not read.
    static constexpr qint64 maxRecordBytes = 1024 * 1024;

    // What a folder holds of one offered file.
    struct Held
    {
        quint64 bytes = 0;
        // Under its final name (else in its partial file).
        bool complete = false;
    };

    ResumeRecord() = default;
    // The record of a session that accepted offered from sender into folder.
    ResumeRecord(QString downloadPath, QString folder, QString sender, QVector<FileMetadata> offered);

    static QString keyFor(const QString &sender, const QVector<FileMetadata> &offered);
    // The record of an earlier session with exactly this offer; null when there is none.
    static ResumeRecord find(const QString &downloadPath, const QString &sender, const QVector<FileMetadata> &offered);
    // Drops the records older than maxAgeDays, those whose folder is gone and those that are
    // not records of this kind, with every partial file they prove to be theirs.
    static void dropStale(const QString &downloadPath);

    bool isNull() const { return folder.isEmpty(); }
    // Writes the record atomically; a new record first makes room under the bounds.
    bool save();
    // Removes the record (not the files).
    void remove() const;

    // What the folder holds of each offered file, by looking at the files themselves.
    QVector<Held> held() const;
    // Where file i is when complete: its name in the transfer, or the name it got beside another.
    QString targetPath(int index) const;
    QString partialPath(int index) const;
    QString transferRoot() const;

    QString folder;
    QString sender;
    quint64 partialBase = 0;
    // Files [0, done) were complete when the record was last written.
    int done = 0;
    // Files written under another name than their own, by index: the name relative to folder.
    QMap<int, QString> beside;
    // When the record was last written; save() writes the current time when this is not set.
    QDateTime saved;

private:
    static QString recordsFolder(const QString &downloadPath);
    static QString partialName(quint64 number);
    static void removePartials(const QString &root, quint64 base, int count);
    void makeRoom() const;

    QString downloads;
    QString key;
    QVector<FileMetadata> files;
};
