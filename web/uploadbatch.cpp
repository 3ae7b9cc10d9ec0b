#include "uploadbatch.h"

#include <QFileInfo>

UploadBatch::UploadBatch(QObject *parent)
    : QObject(parent)
{
    idle.setSingleShot(true);
    idle.setInterval(idleMs);
    openDelay.setSingleShot(true);
    connect(&idle, &QTimer::timeout, this, &UploadBatch::endBatch);
    connect(&openDelay, &QTimer::timeout, this, &UploadBatch::openFolder);
}

void UploadBatch::uploadActivity()
{
    if (pending > 0)
        idle.start();
}

void UploadBatch::fileSaved(const QString &path)
{
    ++pending;
    batchFolder = QFileInfo(path).absolutePath();
    idle.start();
}

void UploadBatch::batchFinished(const QString &folder)
{
    Q_UNUSED(folder)
    endBatch();
}

void UploadBatch::endBatch()
{
    idle.stop();
    // A finish without a file saved since the last batch shows nothing.
    if (pending == 0)
        return;
    const int count = pending;
    pending = 0;
    folderToOpen = batchFolder;
    emit filesReceived(count, batchFolder);
    if (openDelay.isActive())
        return;
    if (!sinceOpen.isValid() || sinceOpen.elapsed() >= minFolderOpenIntervalMs)
        openFolder();
    else
        openDelay.start(int(minFolderOpenIntervalMs - sinceOpen.elapsed()));
}

void UploadBatch::openFolder()
{
    sinceOpen.start();
    emit folderOpenRequested(folderToOpen);
}
