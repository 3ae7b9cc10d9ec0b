#pragma once

#include "discovery/discoveryservice.h"
#include "transfer/server.h"

#include <QMenu>
#include <QSystemTrayIcon>

class MainUI;
class QApplication;

// The application's root object: the tray icon with its menu. It owns the services that run
// for the whole process (the transfer server and discovery) and builds the main window at start
// and again whenever the user asks for it after closing it.
class OrvexTray : public QSystemTrayIcon
{
    Q_OBJECT

public:
    // Starts the transfer server (throws std::runtime_error when its port cannot be listened
    // on), discovery and the main window.
    explicit OrvexTray(QApplication *app, QObject *parent = nullptr);
    ~OrvexTray() override;

public slots:
    void showOnlineDeviceWindow();
    void showSettingWindow();
    void onWindowClose();
    // Tells the user that count files arrived through the web upload pages.
    void showWebFilesReceived(int count);
    // Files to send from outside: the device page comes up, and the send window opens for the
    // ticked devices, or when the user picks some.
    void openFiles(const QStringList &paths);
    // "发送剪贴板" (clipboard) and "发送文字…": the device page comes up, and the text goes to
    // the ticked devices; without any, the user is asked to tick some.
    void sendText(bool clipboard);
    // Says goodbye on the network and ends the event loop.
    void exitApplication();

private slots:
    void openDownloadFolder();
    // Whether the web share runs on without a window: said in the menu and the tooltip, with
    // the entry that ends it.
    void showWebShare(bool live);
    void trayActivated(QSystemTrayIcon::ActivationReason reason);

private:
    void createMainWindow();

    QMenu menu;
    QAction *webShareEntry = nullptr;
    QAction *stopWebShareEntry = nullptr;
    Server server;
    DiscoveryService discovery;
    MainUI *mainWindow = nullptr;
    bool mainWindowOpen = false;
};
