#pragma once

#include <QPointer>
#include <QWidget>

class QrcodeWidget;
class WebServer;

namespace Ui {
class WebReceive;
}

// The window that shows the link of the upload page as a QR code, so that a browser on the same
// network can put files into the download folder.
class WebReceive : public QWidget
{
    Q_OBJECT

public:
    explicit WebReceive(WebServer *webServer, QWidget *parent = nullptr);
    ~WebReceive() override;

private slots:
    void generateCodeBtnClick();
    void copyBtnClick();

private:
    void clearQrCode();

    Ui::WebReceive *ui;
    bool hasQrWidget = false;
    bool codeGenerated = false;
    QrcodeWidget *qrWidget = nullptr;
    // The upload pages are always served: the server is only kept, to close with it.
    QPointer<WebServer> webServer;
};
