#pragma once

#include "transfer/sendlist.h"

#include <QFile>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

// The send-file window's view of its send list: the engine's list, the rows as the window and the
// list manager show them (per file the name it is announced under with its size text, and the
// file), and the row the user selected.
class SendFileManager : public QObject
{
    Q_OBJECT

public:
    explicit SendFileManager(QObject *parent);

    // root: the absolute path of the parent of a chosen folder, empty for a single file.
    // Returns why the file was refused, for the user, or an empty text when it was added (or
    // already listed, under this or another spelling of its path).
    QString addFile(const QString &path, const QString &root);
    // The refusals of files that could not be added and of skipped links, for the user, in the
    // order met.
    QStringList addFolder(const QString &path);
    void removeSelected();
    void removeRows(const QList<int> &rows);

    // Empty when the list is within what one send may offer; otherwise, for the user, how many
    // files there are and how many one send takes.
    QString offerTooLong() const;

    const SendList &list() const { return files; }
    static QString refusalText(const SendRefusal &refusal);

    // Rows of files, in step with the engine's list.
    QList<QPair<QString, QString>> sendList;
    QList<QSharedPointer<QFile>> sendFiles;
    int selectedRow = -1;

public slots:
    void changeIndex(int row, int col);

private:
    void listChanged();

    SendList files;
};
