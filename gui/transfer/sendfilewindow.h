#pragma once

#include "core/deviceinfo.h"

#include <QDialog>
#include <QList>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <functional>

class OutgoingTransfer;
class SendFileManager;
class SenderContext;

namespace Ui {
class sendFileWindow;
}

// Collects the files to send (dropped files and folders, or a chosen folder) and sends them to
// the chosen devices one after another, each over its own connection and progress window.
class SendFileWindow : public QDialog
{
    Q_OBJECT

public:
    static constexpr int endNoticeMsec = 5000;

    explicit SendFileWindow(QVector<DeviceInfo> devices, QWidget *parent = nullptr);
    ~SendFileWindow() override;

    SendFileManager *fileManager() const { return manager; }
    // Adds files and folders as a drop of them would.
    void addPaths(const QStringList &paths);

    // The choosers behind "打开 ..."'s two entries; tests put their own in place of the
    // platform's dialogs.
    using FolderChooser = std::function<QString(QWidget *parent, const QString &caption)>;
    void setFolderChooser(FolderChooser chooser) { chooseFolder = std::move(chooser); }
    using FilesChooser = std::function<QStringList(QWidget *parent, const QString &caption)>;
    void setFilesChooser(FilesChooser chooser) { chooseFiles = std::move(chooser); }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    void socketConnected(SenderContext *context);
    void socketTimeout();
    void sendFile();
    void openManageWindow();
    void updateList(QList<int> deleteIndexs);

private:
    void refreshFiles();
    void showRefusals(const QStringList &refusals);
    void removeFile();
    void selectFolder();
    void selectFiles();
    bool offerFitsInOneFrame();

    Ui::sendFileWindow *ui;
    QVector<DeviceInfo> devices;
    SendFileManager *manager;
    // Connects to the devices in turn and starts each session.
    OutgoingTransfer *outgoing;
    QTimer connectTimer;
    QMessageBox endBox;
    FolderChooser chooseFolder;
    FilesChooser chooseFiles;
};
