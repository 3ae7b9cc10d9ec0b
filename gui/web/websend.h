#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>

class QCheckBox;
class QPlainTextEdit;
class QrcodeWidget;
class WebServer;

namespace Ui {
class WebSend;
}

// The window in which the user publishes chosen files, a text, or both to browsers: the share
// link is shown as a QR code and can be copied to the clipboard.
class WebSend : public QWidget
{
    Q_OBJECT

public:
    // Asks the user for files; returns their full paths, or nothing if the user cancelled.
    using FileChooser = std::function<QStringList(QWidget *parent)>;

    explicit WebSend(WebServer *webServer, QWidget *parent = nullptr);
    ~WebSend() override;

    // Replaces the desktop's file chooser (which cannot be driven without a display).
    void setFileChooser(FileChooser chooser);

private slots:
    void selectFileBtnClicked();
    void generateCodeBtnClicked();
    void copyBtnClicked();

private:
    void clearQrCode();
    void selectionChanged();
    QString shareSelection();
    QString currentLink() const;

    Ui::WebSend *ui;
    QStringList selectedFiles;
    // The key of the share this window made last.
    QString sharedKey;
    bool hasQrWidget = false;
    bool codeGenerated = false;
    QrcodeWidget *qrWidget = nullptr;
    QPointer<WebServer> webServer;
    QPlainTextEdit *textEdit;
    // Offered while the text is a single http(s) link and no file is chosen: the code then opens
    // the link itself rather than the share's page.
    QCheckBox *linkCodeBox;
    FileChooser chooseFiles;
};
