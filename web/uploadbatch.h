#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

// Turns the uploads' notices into what the desktop shows: the files saved are counted into a
// batch, which ends when the page says so or when no upload request has come for idleMs; each
// batch with files gives one filesReceived and asks once to show the folder, never more often
// than once every minFolderOpenIntervalMs (a batch ending sooner has its folder shown when that
// time is up, together with any other batch ending meanwhile). Both upload pages end their
// batches; the quiet time covers other clients (and a single file of a page that takes longer
// than idleMs to arrive after another was saved may start a second batch). Lives in the GUI
// thread.
class UploadBatch : public QObject
{
    Q_OBJECT

public:
    // Quiet time after which a batch the page never ended counts as finished.
    static constexpr int idleMs = 2000;
    // A file manager window at most this often, whatever the clients do.
    static constexpr int minFolderOpenIntervalMs = 5000;

    explicit UploadBatch(QObject *parent = nullptr);

    void uploadActivity();
    void fileSaved(const QString &path);
    void batchFinished(const QString &folder);

signals:
    void filesReceived(int count, const QString &folder);
    void folderOpenRequested(const QString &folder);

private:
    void endBatch();
    void openFolder();

    int pending = 0;
    QString batchFolder;
    QString folderToOpen;
    QTimer idle;
    QTimer openDelay;
    QElapsedTimer sinceOpen;
};
