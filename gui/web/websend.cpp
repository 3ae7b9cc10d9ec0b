#include "websend.h"

#include "ui_websend.h"

#include "core/localipv4addresses.h"
#include "core/sharedtext.h"
#include "gui/web/addresshint.h"
#include "gui/web/qrcodewidget.h"
#include "gui/web/webportmessage.h"
#include "web/webserver.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QShortcut>

namespace {

// The key is the last part of a share link ("http://ip:port/s/<key>").
QString keyOfLink(const QString &link)
{
    return link.isEmpty() ? QString() : link.mid(link.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

WebSend::WebSend(WebServer *server, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::WebSend)
    , webServer(server)
    , textEdit(new QPlainTextEdit)
    , linkCodeBox(new QCheckBox(tr("二维码直接打开这个链接")))
    , chooseFiles([](QWidget *dialogParent) {
        return QFileDialog::getOpenFileNames(dialogParent, tr("打开文件"), QDir::homePath());
    })
{
    ui->setupUi(this);
    setWindowModality(Qt::ApplicationModal);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowTitle(tr("发送文件"));
    // Every use of the main window's button opens a new window; a closed one is not needed again.
    setAttribute(Qt::WA_DeleteOnClose);
    // Closed on purpose with Ctrl+W, as other windows are; a stray Escape leaves it open.
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this, this, &QWidget::close);
    ui->lineEdit->setEnabled(false);
    // A text to share beside the files, or instead of them.
    setFixedSize(width(), height() + 115);
    textEdit->setObjectName(QStringLiteral("shareTextEdit"));
    textEdit->setPlaceholderText(tr("要分享的文字或链接（可选）"));
    textEdit->setAccessibleName(tr("要分享的文字"));
    textEdit->setTabChangesFocus(true);
    textEdit->setMaximumHeight(80);
    ui->verticalLayout_2->insertWidget(2, textEdit);
    linkCodeBox->setObjectName(QStringLiteral("linkCodeBox"));
    linkCodeBox->setEnabled(false);
    ui->verticalLayout_2->insertWidget(3, linkCodeBox);
    connect(textEdit, &QPlainTextEdit::textChanged, this, &WebSend::selectionChanged);
    connect(linkCodeBox, &QCheckBox::toggled, this, &WebSend::selectionChanged);
    ui->ip_combox->addItems(localIPv4Addresses());
    new AddressHint(ui->ip_combox);

    ui->selectFileBtn->setAccessibleName(tr("选择文件"));
    ui->selectFileBtn->setFocus(Qt::OtherFocusReason);

    connect(ui->selectFileBtn, &QPushButton::clicked, this, &WebSend::selectFileBtnClicked);
    connect(ui->generateCodeBtn, &QPushButton::clicked, this, &WebSend::generateCodeBtnClicked);
    connect(ui->copyButton, &QPushButton::clicked, this, &WebSend::copyBtnClicked);
    // The share lives in the main window's server: without it the link would lead nowhere.
    if (server)
        connect(server, &QObject::destroyed, this, &QWidget::close);
}

WebSend::~WebSend()
{
    delete ui;
}

void WebSend::setFileChooser(FileChooser chooser)
{
    chooseFiles = std::move(chooser);
}

void WebSend::clearQrCode()
{
    if (!hasQrWidget)
        return;
    QrcodeWidget::removeFrom(ui->qrcode_area, qrWidget);
    qrWidget = nullptr;
}

QString WebSend::shareSelection()
{
    const QString link = webServer->shareFiles(
        ui->ip_combox->currentText(), webServer->serverPort(), selectedFiles, textEdit->toPlainText());
    sharedKey = keyOfLink(link);
    return link;
}

QString WebSend::currentLink() const
{
    const QString link = webServer->shareLink(ui->ip_combox->currentText(), webServer->serverPort());
    // Only the latest share is served: after another window shared other files, this window's
    // share is gone.
    return keyOfLink(link) == sharedKey ? link : QString();
}

void WebSend::selectFileBtnClicked()
{
    const QStringList chosen = chooseFiles(this);
    if (!chosen.isEmpty()) {
        QString names;
        for (const QString &path : chosen)
            names += QFileInfo(path).fileName() + QLatin1Char(' ');
        ui->lineEdit->setText(names);
        selectedFiles = chosen;
    }
    // Also after a cancelled dialog: the code shown no longer belongs to a decision the user made.
    selectionChanged();
}

void WebSend::selectionChanged()
{
    linkCodeBox->setEnabled(selectedFiles.isEmpty() && sharedtext::singleLink(textEdit->toPlainText()).isValid());
    codeGenerated = false;
    clearQrCode();
    hasQrWidget = false;
}

void WebSend::generateCodeBtnClicked()
{
    const QString text = textEdit->toPlainText();
    if (selectedFiles.isEmpty() && text.isEmpty()) {
        QMessageBox::critical(this, tr("错误"), tr("请选择文件或输入文字"));
        return;
    }
    if (text.toUtf8().size() > sharedtext::maxTextBytes) {
        QMessageBox::critical(this, tr("错误"), tr("文字太长：最多 1 MiB。"));
        return;
    }
    if (!webServer)
        return;
    // Links carry the port the server listens on, which the setting may no longer name.
    if (webServer->serverPort() == 0) {
        QMessageBox::critical(this, tr("错误"), webPortTakenMessage(webServer->requestedPort()));
        return;
    }
    clearQrCode();
    hasQrWidget = true;
    codeGenerated = true;

    // The share is made either way: "复制地址" copies its page's link.
    const QString pageLink = shareSelection();
    const QUrl link = sharedtext::singleLink(text);
    const bool linkItself = linkCodeBox->isEnabled() && linkCodeBox->isChecked() && link.isValid();
    qrWidget = QrcodeWidget::showIn(ui->qrcode_area, linkItself ? QString::fromUtf8(link.toEncoded()) : pageLink);
    update();
}

void WebSend::copyBtnClicked()
{
    if (!codeGenerated) {
        QMessageBox::critical(this, tr("错误"), tr("请先生成二维码"));
        return;
    }
    if (!webServer)
        return;
    // The share of the code, with the address chosen now, which may differ from the one in the QR
    // code. Sharing anew would give a new key and leave the code on screen useless.
    const QString link = currentLink();
    if (link.isEmpty()) {
        QMessageBox::critical(this, tr("错误"), tr("请先生成二维码"));
        return;
    }
    QApplication::clipboard()->setText(link, QClipboard::Clipboard);
    QMessageBox::information(this, tr("提示"), tr("地址已复制到剪切板"));
}
