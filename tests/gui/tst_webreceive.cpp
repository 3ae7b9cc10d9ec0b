#include "core/settings.h"
#include "gui/web/qrcodewidget.h"
#include "gui/web/webreceive.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/testmain.h"
#include "tests/web/httpexchange.h"
#include "tests/web/qrdecode.h"
#include "web/webserver.h"

#include <QClipboard>
#include <QComboBox>
#include <QPushButton>

class TestWebReceive : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void copyBeforeGenerateIsRefused();
    void showsUploadLinkAsQrCode();
    void generateReplacesTheCode();
    void copyUsesAddressAndPortAtCopyTime();

private:
    void click(const char *button);
    QString decodedQr() const { return testsupport::decodeShownQrCode(window); }

    WebServer *server = nullptr;
    WebReceive *window = nullptr;
    testsupport::ModalAnswerer *answerer = nullptr;
};

void TestWebReceive::init()
{
    Settings::setWebPort(0);
    server = new WebServer;
    Settings::setWebPort(3000);
    window = new WebReceive(server);
    auto *box = window->findChild<QComboBox *>(QStringLiteral("ips_combox"));
    // The tests run without a network: offer two addresses as a machine on a LAN would.
    box->clear();
    box->addItems({ QStringLiteral("192.168.7.20"), QStringLiteral("10.1.2.3") });
    answerer = new testsupport::ModalAnswerer;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestWebReceive::cleanup()
{
    delete answerer;
    delete window;
    delete server;
    QGuiApplication::clipboard()->clear();
}

void TestWebReceive::click(const char *button)
{
    auto *b = window->findChild<QPushButton *>(QLatin1String(button));
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton);
}

void TestWebReceive::copyBeforeGenerateIsRefused()
{
    click("copyButton");
    QTRY_COMPARE(answerer->count(), 1);
    QCOMPARE(answerer->titles().first(), QStringLiteral("错误"));
    QCOMPARE(answerer->texts().first(), QStringLiteral("请先生成二维码"));
    QVERIFY(QGuiApplication::clipboard()->text().isEmpty());
}

void TestWebReceive::showsUploadLinkAsQrCode()
{
    Settings::setWebPort(40000);
    click("generateCodeBtn");
    QCOMPARE(decodedQr(), QStringLiteral("http://192.168.7.20:40000/file"));
    // The server answers that path with the upload page.
    const auto page = testsupport::exchange(server->serverPort(), testsupport::getRequest("/file"));
    QCOMPARE(page->status, 200);
    QVERIFY2(QString::fromUtf8(page->body).contains(QStringLiteral("上传文件")), page->body.left(300).constData());
    click("copyButton");
    QTRY_COMPARE(answerer->count(), 1);
    QCOMPARE(answerer->titles().first(), QStringLiteral("提示"));
    QCOMPARE(answerer->texts().first(), QStringLiteral("地址已复制到剪切板"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("http://192.168.7.20:40000/file"));
}

void TestWebReceive::generateReplacesTheCode()
{
    click("generateCodeBtn");
    window->findChild<QComboBox *>(QStringLiteral("ips_combox"))->setCurrentIndex(1);
    click("generateCodeBtn");
    QCOMPARE(decodedQr(), QStringLiteral("http://10.1.2.3:3000/file"));
}

void TestWebReceive::copyUsesAddressAndPortAtCopyTime()
{
    click("generateCodeBtn");
    window->findChild<QComboBox *>(QStringLiteral("ips_combox"))->setCurrentIndex(1);
    Settings::setWebPort(8080);
    click("copyButton");
    QTRY_COMPARE(answerer->count(), 1);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("http://10.1.2.3:8080/file"));
    QCOMPARE(decodedQr(), QStringLiteral("http://192.168.7.20:3000/file"));
}

ORVEX_TEST_MAIN(TestWebReceive)
#include "tst_webreceive.moc"
