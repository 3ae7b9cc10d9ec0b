#pragma once

#include <QPointer>
#include <QWidget>

class QListWidget;
class QrcodeWidget;
class ReceivedTextWindow;
class WebServer;

namespace Ui {
class WebReceive;
}

// The window that shows the link of the upload page as a QR code, so that a browser on the same
// network can put files into the download folder. The link carries the key of a receive session
// that begins with the window's first code and ends when the window closes: uploads are taken
// only meanwhile. Texts sent from the upload page of this session are listed, the latest
// first, each with "复制"; a new one is shown in the text window (in place of the previous one)
// with a desktop notice.
class WebReceive : public QWidget
{
    Q_OBJECT

public:
    // The texts the list keeps; older ones leave it.
    static constexpr int maxListedTexts = 20;

    explicit WebReceive(WebServer *webServer, QWidget *parent = nullptr);
    ~WebReceive() override;

    // The texts of this session in the list, the latest first.
    QStringList receivedTexts() const;

signals:
    // A text of this session arrived and its window is shown.
    void textShown(ReceivedTextWindow *window);

private slots:
    void generateCodeBtnClick();
    void copyBtnClick();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void clearQrCode();
    void endSession();
    QString currentLink() const;
    void addText(const QString &key, const QString &text);

    Ui::WebReceive *ui;
    bool hasQrWidget = false;
    bool codeGenerated = false;
    QrcodeWidget *qrWidget = nullptr;
    QPointer<WebServer> webServer;
    QListWidget *textList;
    // The window of the latest text: a new text takes its place, so a page that sends many
    // leaves one window, and the list keeps the others.
    QPointer<ReceivedTextWindow> textWindow;
    // The key of this window's receive session, from its first code until it closes.
    QString sessionKey;
};
