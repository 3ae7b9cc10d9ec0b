#pragma once

#include <QMainWindow>

class DeviceManager;
class DiscoveryService;
class Navigater;
class WebServer;

namespace Ui {
class MainUI;
}

// The application's main window: this device's identity, the left menu and the five pages
// (online devices, web transfer, settings, network diagnosis, paired devices). Closing it destroys it; the tray builds
// a new one on demand.
class MainUI : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainUI(DiscoveryService *discovery, QWidget *parent = nullptr);
    ~MainUI() override;

    // Shows page index (0 devices, 1 web transfer, 2 settings, 3 network diagnosis, 4 paired
    // devices); other values change nothing.
    void switchPage(int index);
    // See DeviceManager::offerFiles.
    bool offerFiles(const QStringList &paths);
    // See DeviceManager::sendTextToSelection.
    bool sendText(bool clipboard);

signals:
    void closeWindow();
    // A batch of count files came in through the web upload pages.
    void webFilesReceived(int count);
    // Files are published to browsers from now on (live), or no longer.
    void webShareChanged(bool live);

public slots:
    void settingSave();
    void settingCancle();
    void chooseDownloadDir();
    void openTransferWindow();
    void openReceiverWindow();
    // The web share's link stops working; downloads already running go on.
    void endWebShare();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showLocalInfo();
    void showNickname(const QString &name);
    void initSettingPage();
    void fillSettingFields();

    Navigater *menuNavigater = nullptr;
    Ui::MainUI *ui;
    DeviceManager *deviceManager = nullptr;
    DiscoveryService *discovery;
    WebServer *webServer = nullptr;
};
