#pragma once

#include <QFile>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QSharedPointer>
#include <QString>
#include <QVector>

#include <optional>

// One file chosen to be sent.
struct SendItem
{
    // As it was given or found in a chosen folder; the file is opened from here when its turn
    // comes.
    QString path;
    // What the offer announces: the bare file name, or the path below a chosen folder's parent
    // with "/" between parts.
    QString name;
    qint64 size = 0;
};

// Why a file, a folder or a link in a chosen folder was not listed.
struct SendRefusal
{
    Q_GADGET

public:
    enum class Kind {
        // The file cannot be opened for reading.
        Unreadable,
        // A device, a pipe or a socket: nothing with a size to send.
        NotARegularFile,
        UnreadableFolder,
        // A link in a chosen folder to a folder outside it: following it would send far more
        // than was chosen (a link to / or to the home folder).
        LinkOutsideFolder,
    };
    Q_ENUM(Kind)

    Kind kind = Kind::Unreadable;
    QString path;
};

// The files one send offers, in the order added, each listed once however its path is spelled.
// Both front ends fill it; the outgoing transfer reads it when a connection is made. A file is
// checked to be readable when added and kept closed: a folder of thousands of photos would
// otherwise run into the process's limit of open files.
class SendList
{
public:
    // root: the absolute path of the parent of a chosen folder, empty for a single file. A file
    // listed already is not listed again and is no refusal.
    std::optional<SendRefusal> addFile(const QString &path, const QString &root);
    // Adds the files below a folder, breadth-first: a folder's files before its subfolders'.
    // Links to files are sent as their contents; links to folders outside the chosen one are
    // skipped. The refusals of what was not listed, in the order met.
    QVector<SendRefusal> addFolder(const QString &path);
    // Takes the files at rows (positions before any of them is removed) off the list, in one pass
    // however many there are; rows outside the list are ignored.
    void removeRows(QList<int> rows);

    const QVector<SendItem> &items() const { return list; }
    int size() const { return int(list.size()); }
    bool isEmpty() const { return list.isEmpty(); }
    // More files than one offer may hold.
    bool isTooLong() const;

    // The list as a sending session takes it: per file, its announced name with its size text,
    // and the file (not yet opened).
    QList<QPair<QString, QString>> namesAndSizes() const;
    QList<QSharedPointer<QFile>> files() const;

private:
    // Both canonical paths.
    static bool isWithin(const QString &path, const QString &folder);

    QVector<SendItem> list;
    // The clean absolute paths of the listed files: whether a file is listed already is one
    // look-up, so adding n files takes time in proportion to n.
    QSet<QString> listedPaths;
};

Q_DECLARE_METATYPE(SendRefusal)
