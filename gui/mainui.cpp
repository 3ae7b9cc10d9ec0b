#include "mainui.h"

#include "ui_mainui.h"

#include "core/autostart.h"
#include "core/downloadfolder.h"
#include "core/localipv4addresses.h"
#include "core/logging.h"
#include "core/settings.h"
#include "discovery/discoveryservice.h"
#include "gui/diagnosis/diagnosispage.h"
#include "gui/discovery/devicemanager.h"
#include "gui/navigater.h"
#include "gui/navigaterlabel.h"
#include "gui/pairing/pairedpage.h"
#include "gui/web/webreceive.h"
#include "gui/web/websend.h"
#include "web/webserver.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QFrame>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int nicknameElisionThreshold = 100;
constexpr int appIconSize = 64;
constexpr int maxPortTextLength = 8;
constexpr uint maxPort = 65535;

// The language setting's values, in the order of the settings page's choices.
const QStringList languageSettings { QStringLiteral("system"), QStringLiteral("zh"), QStringLiteral("en") };

QString messageTitle()
{
    return MainUI::tr("提示信息");
}

QString listSeparator()
{
    return MainUI::tr("，");
}

// 1 to 8 ASCII digits with a value of at most 65535; leading zeros are fine ("00080" is 80).
bool isValidPortText(const QString &text)
{
    if (text.isEmpty() || text.size() > maxPortTextLength)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return text.toUInt() <= maxPort;
}

} // namespace

MainUI::MainUI(DiscoveryService *discoveryService, QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainUI)
    , discovery(discoveryService)
{
    ui->setupUi(this);
    // Through QIcon, so that a scaled screen gets a pixmap of its own resolution.
    ui->app_icon_label->setPixmap(QIcon(QStringLiteral(":/icons/app.png")).pixmap(appIconSize, appIconSize));
    showLocalInfo();

    const QList<NavigaterLabel *> labels { new NavigaterLabel(0, tr("在线设备"), ui->menu_widget),
        new NavigaterLabel(1, tr("WEB传输"), ui->menu_widget), new NavigaterLabel(2, tr("系统设置"), ui->menu_widget),
        new NavigaterLabel(3, tr("网络诊断"), ui->menu_widget),
        new NavigaterLabel(4, tr("已配对的设备"), ui->menu_widget) };
    auto *diagnosisPage = new DiagnosisPage(ui->stackedWidget);
    diagnosisPage->setObjectName(QStringLiteral("diagnosis_page"));
    ui->stackedWidget->addWidget(diagnosisPage);
    auto *pairedPage = new PairedPage(ui->stackedWidget);
    pairedPage->setObjectName(QStringLiteral("paired_page"));
    ui->stackedWidget->addWidget(pairedPage);
    menuNavigater = new Navigater(ui->stackedWidget, labels, this);
    auto *menuLayout = new QVBoxLayout;
    auto *line = new QFrame(ui->menu_widget);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(2);
    menuLayout->addWidget(line);
    for (NavigaterLabel *label : labels) {
        label->setObjectName(QStringLiteral("menu_label_%1").arg(labels.indexOf(label)));
        label->setCursor(Qt::PointingHandCursor);
        menuLayout->addWidget(label);
    }
    ui->menu_widget->setLayout(menuLayout);
    // The entries come last in the focus chain, so Tab goes from them to the page and back.
    labels.first()->setFocus(Qt::OtherFocusReason);

    connect(ui->web_send_btn, &QPushButton::clicked, this, &MainUI::openTransferWindow);
    connect(ui->web_receive_btn, &QPushButton::clicked, this, &MainUI::openReceiverWindow);
    // The banner is a picture; the two buttons under it are the page's actions.
    ui->banner_btn->setFocusPolicy(Qt::NoFocus);
    ui->banner_btn->setAccessibleName(tr("WEB传输"));
    ui->web_send_btn->setFocusPolicy(Qt::StrongFocus);
    ui->web_receive_btn->setFocusPolicy(Qt::StrongFocus);
    ui->web_send_btn->setAccessibleName(tr("网页发送"));
    ui->web_receive_btn->setAccessibleName(tr("网页接收"));
    // Its rows take the focus themselves; the area scrolls to the one that has it.
    ui->device_scrollArea->setFocusPolicy(Qt::NoFocus);

    deviceManager = new DeviceManager(ui->multi_transfer_btn, ui->select_all, ui->devices_list_widget);
    deviceManager->startDiscovery(discovery);
    deviceManager->refreshList();
    connect(discovery, &DiscoveryService::newHost, deviceManager, &DeviceManager::handleNewHost);

    initSettingPage();
    webServer = new WebServer(this);
    connect(webServer, &WebServer::folderOpenRequested, this,
        [](const QString &folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
    connect(webServer, &WebServer::filesReceived, this, [this](int count) { emit webFilesReceived(count); });
    connect(webServer, &WebServer::shareChanged, this, &MainUI::webShareChanged);
    diagnosisPage->useRunningServers(discovery, webServer);
}

MainUI::~MainUI()
{
    delete ui;
    delete menuNavigater;
    delete deviceManager;
    delete webServer;
}

bool MainUI::offerFiles(const QStringList &paths)
{
    return deviceManager->offerFiles(paths);
}

bool MainUI::sendText(bool clipboard)
{
    return deviceManager->sendTextToSelection(clipboard);
}

void MainUI::switchPage(int index)
{
    if (index < 0 || index >= ui->stackedWidget->count()) {
        qCWarning(lcGui, "页数超过范围！");
        return;
    }
    menuNavigater->selected(index);
}

void MainUI::closeEvent(QCloseEvent *event)
{
    emit closeWindow();
    event->accept();
}

void MainUI::showLocalInfo()
{
    showNickname(Settings::deviceName());

    QString addresses;
    const QStringList texts = localIPv4Addresses();
    for (const QString &text : texts)
        addresses += text + QLatin1Char('\n');
    ui->ip_label->setText(addresses);

    // The port the running server really uses, as the tray and the announcements show it: with
    // port 0 in the settings it is the system's choice, and a port saved since takes effect only
    // at the next start. The setting only while no server listens.
    quint16 port = discovery->announcedPort();
    if (port == 0)
        port = Settings::serverPort();
    ui->port_label->setText(QString::number(port));
}

void MainUI::showNickname(const QString &name)
{
    const QFontMetrics metrics(ui->nickname_label->font());
    if (metrics.horizontalAdvance(name) < nicknameElisionThreshold)
        ui->nickname_label->setText(name);
    else
        ui->nickname_label->setText(metrics.elidedText(name, Qt::ElideRight, ui->nickname_label->width()));
    ui->nickname_label->setToolTip(name);
}

void MainUI::initSettingPage()
{
    fillSettingFields();
    ui->set_devicename->setFocusPolicy(Qt::StrongFocus);
    connect(ui->set_save_btn, &QPushButton::clicked, this, &MainUI::settingSave);
    // Enter in a field saves, as in a form's dialog.
    for (QLineEdit *field :
        { ui->set_devicename, ui->set_transfer_port, ui->set_discovery_port, ui->set_web_port, ui->set_download_path })
        connect(field, &QLineEdit::returnPressed, ui->set_save_btn, &QPushButton::click);
    connect(ui->set_cancle_btn, &QPushButton::clicked, this, &MainUI::settingCancle);
    connect(ui->set_choosedir_btn, &QPushButton::clicked, this, &MainUI::chooseDownloadDir);
}

void MainUI::fillSettingFields()
{
    ui->set_devicename->setText(Settings::deviceName());
    ui->set_download_path->setText(Settings::downloadPath());
    ui->set_discovery_port->setText(QString::number(Settings::discoveryPort()));
    ui->set_transfer_port->setText(QString::number(Settings::serverPort()));
    ui->set_web_port->setText(QString::number(Settings::webPort()));
    ui->set_visable_checkbox->setChecked(Settings::discoverable());
    ui->set_autostart_checkbox->setChecked(Autostart::isEnabled());
    ui->set_language_combo->setCurrentIndex(qMax(0, languageSettings.indexOf(Settings::language())));
}

void MainUI::settingSave()
{
    const QString name = ui->set_devicename->text();
    const QString transferPort = ui->set_transfer_port->text();
    const QString discoveryPort = ui->set_discovery_port->text();
    const QString webPort = ui->set_web_port->text();
    const QString downloadPath = ui->set_download_path->text();

    QStringList invalid;
    if (name.isEmpty())
        invalid.append(tr("设备名称"));
    if (!isValidPortText(transferPort))
        invalid.append(tr("传输端口"));
    if (!isValidPortText(discoveryPort))
        invalid.append(tr("发现端口"));
    if (!isValidPortText(webPort))
        invalid.append(tr("web端口"));
    if (downloadPath.isEmpty())
        invalid.append(tr("下载路径"));
    if (!invalid.isEmpty()) {
        QMessageBox::critical(nullptr, messageTitle(),
            tr("%1的设置格式有误！\n（所有项目不能为空，端口号范围为0~65535）").arg(invalid.join(listSeparator())),
            QMessageBox::Ok);
        return;
    }

    QStringList needRestart;
    if (name != Settings::deviceName()) {
        Settings::setDeviceName(name);
        showNickname(name);
    }
    const auto transferPortValue = static_cast<quint16>(transferPort.toUInt());
    if (transferPortValue != Settings::serverPort()) {
        Settings::setServerPort(transferPortValue);
        needRestart.append(tr("传输端口"));
    }
    const auto discoveryPortValue = static_cast<quint16>(discoveryPort.toUInt());
    if (discoveryPortValue != Settings::discoveryPort()) {
        Settings::setDiscoveryPort(discoveryPortValue);
        needRestart.append(tr("发现端口"));
    }
    const auto webPortValue = static_cast<quint16>(webPort.toUInt());
    if (webPortValue != Settings::webPort()) {
        Settings::setWebPort(webPortValue);
        needRestart.append(tr("web端口"));
    }
    const QString language = languageSettings.value(ui->set_language_combo->currentIndex());
    if (language != Settings::language()) {
        Settings::setLanguage(language);
        needRestart.append(tr("语言"));
    }
    if (ui->set_visable_checkbox->isChecked() != Settings::discoverable())
        Settings::setDiscoverable(ui->set_visable_checkbox->isChecked());
    const bool autostart = ui->set_autostart_checkbox->isChecked();
    if (autostart != Autostart::isEnabled() && !Autostart::setEnabled(autostart)) {
        QMessageBox::critical(
            nullptr, messageTitle(), tr("无法写入开机自动启动项：%1").arg(Autostart::entryPath()), QMessageBox::Ok);
        ui->set_autostart_checkbox->setChecked(Autostart::isEnabled());
    }
    QString folderError;
    if (downloadPath != Settings::downloadPath()) {
        Settings::setDownloadPath(downloadPath);
        // One level only; the receiving side creates missing parents when it needs the folder.
        folderError = createDownloadFolder(Settings::downloadPath(), FolderDepth::OneLevel);
    }

    if (!folderError.isEmpty()) {
        // The settings stay stored, but the user must not be told that all went well.
        QString text = folderError + tr("\n设置已保存，请另选一个可用的下载路径。");
        if (!needRestart.isEmpty())
            text += tr("\n%1的设置将在下次重启生效！").arg(needRestart.join(listSeparator()));
        QMessageBox::critical(nullptr, messageTitle(), text, QMessageBox::Ok);
    } else if (needRestart.isEmpty()) {
        QMessageBox::information(nullptr, messageTitle(), tr("设置保存成功"), QMessageBox::Ok);
    } else {
        QMessageBox::information(nullptr, messageTitle(),
            tr("设置保存成功！\n%1的设置将在下次重启生效！").arg(needRestart.join(listSeparator())), QMessageBox::Ok);
    }
}

void MainUI::settingCancle()
{
    fillSettingFields();
    QMessageBox::information(nullptr, messageTitle(), tr("设置已还原！"), QMessageBox::Ok);
}

void MainUI::chooseDownloadDir()
{
    QString start = ui->set_download_path->text();
    if (start.isEmpty())
        start = QDir::homePath();
    const QString chosen
        = QFileDialog::getExistingDirectory(this, tr("选择下载目录"), start, QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty())
        ui->set_download_path->setText(chosen);
}

void MainUI::openTransferWindow()
{
    // Each click opens one more window; it deletes itself when closed.
    auto *window = new WebSend(webServer);
    window->show();
}

void MainUI::openReceiverWindow()
{
    auto *window = new WebReceive(webServer);
    window->show();
}

void MainUI::endWebShare()
{
    webServer->endShare();
}
