#include "webreceive.h"

#include "ui_webreceive.h"

#include "core/localipv4addresses.h"
#include "gui/web/addresshint.h"
#include "gui/web/qrcodewidget.h"
#include "gui/web/webportmessage.h"
#include "web/webserver.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QMessageBox>
#include <QShortcut>

WebReceive::WebReceive(WebServer *server, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::WebReceive)
    , webServer(server)
{
    ui->setupUi(this);
    setWindowModality(Qt::ApplicationModal);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowTitle(tr("接收文件"));
    // Every use of the main window's button opens a new window; a closed one is not needed again.
    setAttribute(Qt::WA_DeleteOnClose);
    // Closed on purpose with Ctrl+W, as other windows are; a stray Escape leaves it open.
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this, this, &QWidget::close);
    ui->ips_combox->addItems(localIPv4Addresses());
    new AddressHint(ui->ips_combox);

    ui->generateCodeBtn->setFocus(Qt::OtherFocusReason);

    connect(ui->generateCodeBtn, &QPushButton::clicked, this, &WebReceive::generateCodeBtnClick);
    connect(ui->copyButton, &QPushButton::clicked, this, &WebReceive::copyBtnClick);
    // The upload page is served by the main window's server: without it the link leads nowhere.
    if (server)
        connect(server, &QObject::destroyed, this, &QWidget::close);
}

WebReceive::~WebReceive()
{
    endSession();
    delete ui;
}

void WebReceive::closeEvent(QCloseEvent *event)
{
    // Uploads stop with the window at once, not only when it is deleted later.
    endSession();
    QWidget::closeEvent(event);
}

void WebReceive::endSession()
{
    if (!sessionKey.isEmpty() && webServer)
        webServer->endReceiving(sessionKey);
    sessionKey.clear();
}

QString WebReceive::currentLink() const
{
    // The port the server listens on, which the setting may no longer name.
    return uploadPageLink(ui->ips_combox->currentText(), webServer ? webServer->serverPort() : 0, sessionKey);
}

void WebReceive::clearQrCode()
{
    if (!hasQrWidget)
        return;
    QrcodeWidget::removeFrom(ui->qrcode_area, qrWidget);
    qrWidget = nullptr;
}

void WebReceive::generateCodeBtnClick()
{
    if (!webServer)
        return;
    if (webServer->serverPort() == 0) {
        QMessageBox::critical(this, tr("错误"), webPortTakenMessage(webServer->requestedPort()));
        return;
    }
    // One session for the window's whole life: a new code for another address keeps the key, so
    // an upload already running goes on.
    if (sessionKey.isEmpty())
        sessionKey = webServer->startReceiving();
    clearQrCode();
    hasQrWidget = true;
    codeGenerated = true;

    qrWidget = QrcodeWidget::showIn(ui->qrcode_area, currentLink());
    update();
}

void WebReceive::copyBtnClick()
{
    if (!codeGenerated) {
        QMessageBox::critical(this, tr("错误"), tr("请先生成二维码"));
        return;
    }
    // The address and port chosen now, which may differ from those in the QR code.
    QApplication::clipboard()->setText(currentLink(), QClipboard::Clipboard);
    QMessageBox::information(this, tr("提示"), tr("地址已复制到剪切板"));
}
