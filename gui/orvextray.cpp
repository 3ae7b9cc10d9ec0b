#include "orvextray.h"

#include "core/downloadfolder.h"
#include "core/settings.h"
#include "gui/desktopnotifier.h"
#include "gui/mainui.h"
#include "gui/scalableiconstyle.h"
#include "gui/transfer/incomingsessions.h"
#include "gui/transfer/progressbarui.h"
#include "transfer/identity.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QIcon>
#include <QMessageBox>
#include <QNetworkProxy>
#include <QPointer>
#include <QSysInfo>
#include <QTimer>
#include <QUrl>

namespace {

constexpr int balloonMs = 10000;

} // namespace

OrvexTray::OrvexTray(QApplication *app, QObject *parent)
    : QSystemTrayIcon(parent)
{
    // Its own icons stay sharp on a screen at scale 2 (the base style's come from small pictures).
    if (!qobject_cast<ScalableIconStyle *>(app->style()))
        app->setStyle(new ScalableIconStyle(app->style()));
    // Every socket of the process talks to the local network directly, whatever proxy the
    // desktop defines.
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));

    const QIcon appIcon(QStringLiteral(":/icons/app.png"));
    QIcon maskIcon(QStringLiteral(":/icons/app_mask.png"));
    maskIcon.setIsMask(true);
    const QIcon sendIcon(QStringLiteral(":/icons/send.png"));
    const QIcon folderIcon(QStringLiteral(":/icons/open_download_folder.png"));
    const QIcon settingsIcon(QStringLiteral(":/icons/settings.png"));
    const QIcon exitIcon(QStringLiteral(":/icons/exit.png"));

    const QString productType = QSysInfo::productType();
    const bool macos = productType == QLatin1String("osx") || productType == QLatin1String("macos");
    setIcon(macos ? maskIcon : appIcon);

    // Information only: shows the port once the server listens.
    QAction *portEntry = menu.addAction(QString());
    portEntry->setEnabled(false);
    webShareEntry = menu.addAction(tr("正在通过网页共享文件"));
    webShareEntry->setEnabled(false);
    stopWebShareEntry = menu.addAction(tr("停止共享"), this, [this] {
        if (mainWindow)
            mainWindow->endWebShare();
    });
    showWebShare(false);
    menu.addSeparator();
    menu.addAction(sendIcon, tr("传文件"), this, &OrvexTray::showOnlineDeviceWindow);
    menu.addAction(tr("发送剪贴板"), this, [this] { sendText(true); });
    menu.addAction(tr("发送文字…"), this, [this] { sendText(false); });
    menu.addAction(folderIcon, tr("下载目录"), this, &OrvexTray::openDownloadFolder);
    menu.addAction(settingsIcon, tr("设置"), this, &OrvexTray::showSettingWindow);
    menu.addSeparator();
    menu.addAction(exitIcon, tr("退出"), this, &OrvexTray::exitApplication);

    setContextMenu(&menu);
    connect(this, &QSystemTrayIcon::activated, this, &OrvexTray::trayActivated);

    showIncomingSessions(&server, [this] { return mainWindow && mainWindow->isVisible(); });
    connect(&DesktopNotifier::shared(), &DesktopNotifier::folderRequested, this,
        [](const QString &folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
    server.start();
    portEntry->setText(tr("端口: %1").arg(server.serverPort()));

    connect(&discovery, &DiscoveryService::error, this, [](const QString &message) {
        QMessageBox::warning(nullptr, QCoreApplication::applicationName(), message, QMessageBox::Ok);
    });
    discovery.setFingerprint(Identity::own().fingerprint());
    discovery.start(server.serverPort());
    createMainWindow();

    QTimer::singleShot(0, this, [this] {
        showMessage(QCoreApplication::applicationName(), tr("%1 在这里运行！").arg(QCoreApplication::applicationName()),
            QSystemTrayIcon::Information, balloonMs);
    });

    // One level only: a download folder below a missing parent is made by "下载目录" or by the
    // first transfer, so that case is no reason to bother the user at start.
    const QString folderError = createDownloadFolder(Settings::downloadPath(), FolderDepth::OneLevel);
    if (!folderError.isEmpty())
        QMessageBox::critical(nullptr, tr("提示信息"), folderError, QMessageBox::Ok);
}

OrvexTray::~OrvexTray()
{
    // The window's device list and web server must not outlive the services and the
    // application object.
    if (mainWindowOpen)
        delete mainWindow;
    // Transfer windows own their sessions: ended here, a receiving one removes its partial file.
    QList<QPointer<ProgressBarUI>> transfers;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows)
        if (auto *transfer = qobject_cast<ProgressBarUI *>(window))
            transfers.append(transfer);
    qDeleteAll(transfers);
}

void OrvexTray::showOnlineDeviceWindow()
{
    if (mainWindowOpen) {
        mainWindow->setWindowState(mainWindow->windowState() & ~Qt::WindowMinimized);
        mainWindow->show();
        mainWindow->raise();
        mainWindow->activateWindow();
        return;
    }
    createMainWindow();
}

void OrvexTray::createMainWindow()
{
    mainWindow = new MainUI(&discovery);
    mainWindow->show();
    connect(mainWindow, &MainUI::closeWindow, this, &OrvexTray::onWindowClose);
    connect(mainWindow, &MainUI::webFilesReceived, this, &OrvexTray::showWebFilesReceived);
    connect(mainWindow, &MainUI::webShareChanged, this, &OrvexTray::showWebShare);
    mainWindowOpen = true;
}

void OrvexTray::showWebShare(bool live)
{
    webShareEntry->setVisible(live);
    stopWebShareEntry->setVisible(live);
    const QString name = QCoreApplication::applicationName();
    setToolTip(live ? name + QLatin1Char('\n') + webShareEntry->text() : name);
}

void OrvexTray::openFiles(const QStringList &paths)
{
    showOnlineDeviceWindow();
    if (!mainWindow->offerFiles(paths))
        showMessage(QCoreApplication::applicationName(), tr("请选择要接收这些文件的设备"), QSystemTrayIcon::Information,
            balloonMs);
}

void OrvexTray::sendText(bool clipboard)
{
    showOnlineDeviceWindow();
    if (clipboard && QApplication::clipboard()->text(QClipboard::Clipboard).isEmpty()) {
        showMessage(
            QCoreApplication::applicationName(), tr("剪贴板中没有文字。"), QSystemTrayIcon::Information, balloonMs);
        return;
    }
    if (!mainWindow->sendText(clipboard))
        showMessage(QCoreApplication::applicationName(), tr("请先勾选要接收文字的设备"), QSystemTrayIcon::Information,
            balloonMs);
}

void OrvexTray::showWebFilesReceived(int count)
{
    showMessage(QCoreApplication::applicationName(), tr("通过网页收到 %n 个文件", nullptr, count),
        QSystemTrayIcon::Information, balloonMs);
}

void OrvexTray::showSettingWindow()
{
    showOnlineDeviceWindow();
    mainWindow->switchPage(2);
}

void OrvexTray::onWindowClose()
{
    // Runs inside the window's own close handling: dispose of it from the event loop. Its web
    // server, and with it the share, goes too.
    showWebShare(false);
    mainWindowOpen = false;
    mainWindow->deleteLater();
    mainWindow = nullptr;
}

void OrvexTray::openDownloadFolder()
{
    const QString downloadPath = Settings::downloadPath();
    const QString folderError = createDownloadFolder(downloadPath, FolderDepth::WithParents);
    if (!folderError.isEmpty()) {
        QMessageBox::critical(nullptr, tr("提示信息"), folderError, QMessageBox::Ok);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(downloadPath));
}

void OrvexTray::exitApplication()
{
    discovery.leave();
    QCoreApplication::exit(0);
}

void OrvexTray::trayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick)
        showOnlineDeviceWindow();
}
