#pragma once

#include <QPointer>
#include <QWidget>

class QrcodeWidget;
class WebServer;

namespace Ui {
class WebReceive;
}

// The window that shows the link of the upload page as a QR code, so that a browser on the same
// network can put files into the download folder. The link carries the key of a receive session
// that begins with the window's first code and ends when the window closes: uploads are taken
// only meanwhile.
class WebReceive : public QWidget
{
    Q_OBJECT

public:
    explicit WebReceive(WebServer *webServer, QWidget *parent = nullptr);
    ~WebReceive() override;

private slots:
    void generateCodeBtnClick();
    void copyBtnClick();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void clearQrCode();
    void endSession();
    QString currentLink() const;

    Ui::WebReceive *ui;
    bool hasQrWidget = false;
    bool codeGenerated = false;
    QrcodeWidget *qrWidget = nullptr;
    QPointer<WebServer> webServer;
    // The key of this window's receive session, from its first code until it closes.
    QString sessionKey;
};
