#pragma once

#include <QFile>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

// The files chosen in the send-file window: per file the name it is announced under with its
// size text, and the file itself. A file is checked to be readable when it is added but kept
// closed; the sending session opens it when its turn comes.
class SendFileManager : public QObject
{
    Q_OBJECT

public:
    explicit SendFileManager(QObject *parent);

    // root: the absolute path of the parent of a chosen folder, empty for a single file.
    // Returns why the file was refused, for the user, or an empty text when it was added (or
    // already listed, under this or another spelling of its path).
    QString addFile(const QString &path, const QString &root);
    // Adds the files below a folder, breadth-first: a folder's files before its subfolders'.
    // Links to files are sent as their contents; links to folders outside the chosen one are
    // skipped. Returns the refusals of files that could not be added and of skipped links, in
    // the order met.
    QStringList addFolder(const QString &path);
    void removeSelected();
    // Takes the files at rows (positions in the list before any of them is removed) off the
    // list, in one pass however many there are.
    void removeRows(QList<int> rows);

    // Empty when the list is within what one send may offer; otherwise, for the user, how many
    // files there are and how many one send takes.
    QString offerTooLong() const;

    // Files leave these lists only through removeSelected and removeRows, which keep the set of
    // listed paths in step.
    QList<QPair<QString, QString>> sendList;
    QList<QSharedPointer<QFile>> sendFiles;
    int selectedRow = -1;

public slots:
    void changeIndex(int row, int col);

private:
    // Both canonical paths.
    static bool isWithin(const QString &path, const QString &folder);

    // The clean absolute paths of the listed files: whether a file is listed already is one
    // look-up, so adding n files takes time in proportion to n.
    QSet<QString> listedPaths;
};
