#pragma once

#include <QFile>
#include <QList>
#include <QObject>
#include <QPair>
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
    // already listed).
    QString addFile(const QString &path, const QString &root);
    // Adds the files below a folder, breadth-first: a folder's files before its subfolders'.
    // Links to files are sent as their contents; links to folders outside the chosen one are
    // skipped. Returns the refusals of files that could not be added and of skipped links, in
    // the order met.
    QStringList addFolder(const QString &path);
    void removeSelected();

    // Empty when the list is within what one send may offer; otherwise, for the user, how many
    // files there are and how many one send takes.
    QString offerTooLong() const;

    QList<QPair<QString, QString>> sendList;
    QList<QSharedPointer<QFile>> sendFiles;
    int selectedRow = -1;

public slots:
    void changeIndex(int row, int col);

private:
    // Both canonical paths.
    static bool isWithin(const QString &path, const QString &folder);
};
