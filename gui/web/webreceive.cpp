#include "webreceive.h"

#include "ui_webreceive.h"

#include "core/localipv4addresses.h"
#include "core/peertext.h"
#include "core/sharedtext.h"
#include "gui/desktopnotifier.h"
#include "gui/text/receivedtextwindow.h"
#include "gui/web/addresshint.h"
#include "gui/web/qrcodewidget.h"
#include "gui/web/webportmessage.h"
#include "web/webserver.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>

namespace {

// A row of the list shows the start of its text on one line.
constexpr int rowCharacters = 60;
constexpr int noticeCharacters = 80;
constexpr int textRole = Qt::UserRole;

} // namespace

WebReceive::WebReceive(WebServer *server, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::WebReceive)
    , webServer(server)
    , textList(new QListWidget(this))
{
    ui->setupUi(this);
    // Room for the list of texts under the code.
    setFixedSize(width(), height() + 150);
    auto *textsTitle = new QLabel(tr("收到的文字"), this);
    textList->setObjectName(QStringLiteral("receivedTextList"));
    textList->setSelectionMode(QAbstractItemView::NoSelection);
    ui->verticalLayout->addWidget(textsTitle);
    ui->verticalLayout->addWidget(textList, 1);
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
    if (server) {
        connect(server, &QObject::destroyed, this, &QWidget::close);
        connect(server, &WebServer::textReceived, this, &WebReceive::addText);
    }
}

QStringList WebReceive::receivedTexts() const
{
    QStringList texts;
    for (int row = 0; row < textList->count(); ++row)
        texts << textList->item(row)->data(textRole).toString();
    return texts;
}

void WebReceive::addText(const QString &key, const QString &text)
{
    if (sessionKey.isEmpty() || key != sessionKey)
        return;
    auto *item = new QListWidgetItem;
    item->setData(textRole, text);
    auto *row = new QWidget;
    auto *label = new QLabel(sharedtext::oneLine(text, rowCharacters), row);
    label->setTextFormat(Qt::PlainText);
    auto *copy = new QPushButton(tr("复制"), row);
    copy->setObjectName(QStringLiteral("copyTextButton"));
    auto *rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(4, 2, 4, 2);
    rowLayout->addWidget(label, 1);
    rowLayout->addWidget(copy);
    connect(
        copy, &QPushButton::clicked, this, [text] { QApplication::clipboard()->setText(text, QClipboard::Clipboard); });
    item->setSizeHint(row->sizeHint());
    textList->insertItem(0, item);
    textList->setItemWidget(item, row);
    while (textList->count() > maxListedTexts)
        delete textList->takeItem(textList->count() - 1);

    DesktopNotifier::shared().notify(tr("收到文字"), sharedtext::oneLine(text, noticeCharacters));
    // A child window, so the modal receive window does not block it.
    if (textWindow)
        textWindow->close();
    textWindow = new ReceivedTextWindow(text, tr("网页"), this);
    textWindow->show();
    emit textShown(textWindow);
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
