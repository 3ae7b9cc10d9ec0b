#include "core/settings.h"
#include "gui/text/receivedtextwindow.h"
#include "gui/web/qrcodewidget.h"
#include "gui/web/webreceive.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/testmain.h"
#include "tests/web/httpexchange.h"
#include "tests/web/qrdecode.h"
#include "web/webserver.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

class TestWebReceive : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void copyBeforeGenerateIsRefused();
    void showsUploadLinkAsQrCode();
    void refusesOtherAndClosedLinks();
    void generateReplacesTheCode();
    void copyUsesAddressAtCopyTimeAndPortListenedOn();
    void keepsTheLatestTextsOfItsSession();

private:
    void click(const char *button);
    QString decodedQr() const { return testsupport::decodeShownQrCode(window); }
    QString downloads() const { return dir.filePath(QStringLiteral("downloads")); }
    std::unique_ptr<testsupport::HttpExchange> open(const QString &link) const;
    std::unique_ptr<testsupport::HttpExchange> upload(const QString &link) const;

    QTemporaryDir dir;

    WebServer *server = nullptr;
    QPointer<WebReceive> window;
    testsupport::ModalAnswerer *answerer = nullptr;
};

void TestWebReceive::init()
{
    QVERIFY(dir.isValid());
    QDir(downloads()).removeRecursively();
    QVERIFY(QDir().mkpath(downloads()));
    Settings::setDownloadPath(downloads());
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
    // A window closed by its case has deleted itself.
    delete window.data();
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
    const QString link = decodedQr();
    // The setting changed since the server started: the link names the port listened on.
    const QRegularExpression form(
        QStringLiteral("^http://192\\.168\\.7\\.20:%1/r/[A-Za-z0-9_-]{22}$").arg(server->serverPort()));
    QVERIFY2(form.match(link).hasMatch(), qPrintable(link));
    // The server answers that link with the upload page, and a file sent with its key is saved.
    const auto page = open(link);
    QCOMPARE(page->status, 200);
    QVERIFY2(QString::fromUtf8(page->body).contains(QStringLiteral("上传文件")), page->body.left(300).constData());
    QCOMPARE(upload(link)->status, 200);
    QTRY_VERIFY(QFile::exists(downloads() + QStringLiteral("/phone.txt")));

    click("copyButton");
    QTRY_COMPARE(answerer->count(), 1);
    QCOMPARE(answerer->titles().first(), QStringLiteral("提示"));
    QCOMPARE(answerer->texts().first(), QStringLiteral("地址已复制到剪切板"));
    QCOMPARE(QGuiApplication::clipboard()->text(), link);
    if (qEnvironmentVariableIsSet("ORVEX_SCREENSHOT_DIR"))
        window->grab().save(qEnvironmentVariable("ORVEX_SCREENSHOT_DIR") + QStringLiteral("/webreceive.png"));
}

// Only the window's own link, while the window is open, takes uploads.
void TestWebReceive::refusesOtherAndClosedLinks()
{
    click("generateCodeBtn");
    const QString link = decodedQr();
    const QString key = testsupport::keyOf(link);
    for (const QString &other : { link.chopped(key.size()), link.chopped(1) + (key.endsWith('A') ? 'B' : 'A') }) {
        QCOMPARE(open(other)->status, 403);
        QCOMPARE(upload(other)->status, 403);
    }
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
    QTRY_VERIFY(!window);
    QCOMPARE(open(link)->status, 403);
    QCOMPARE(upload(link)->status, 403);
    QVERIFY(QDir(downloads()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
}

void TestWebReceive::generateReplacesTheCode()
{
    click("generateCodeBtn");
    const QString first = decodedQr();
    window->findChild<QComboBox *>(QStringLiteral("ips_combox"))->setCurrentIndex(1);
    click("generateCodeBtn");
    // The window's session, and its key, stay.
    QCOMPARE(decodedQr(), QString(first).replace(QStringLiteral("192.168.7.20"), QStringLiteral("10.1.2.3")));
}

void TestWebReceive::copyUsesAddressAtCopyTimeAndPortListenedOn()
{
    click("generateCodeBtn");
    const QString shown = decodedQr();
    QCOMPARE(QUrl(shown).port(), int(server->serverPort()));
    window->findChild<QComboBox *>(QStringLiteral("ips_combox"))->setCurrentIndex(1);
    Settings::setWebPort(0);
    click("copyButton");
    QTRY_COMPARE(answerer->count(), 1);
    QCOMPARE(QGuiApplication::clipboard()->text(),
        QString(shown).replace(QStringLiteral("192.168.7.20"), QStringLiteral("10.1.2.3")));
    QCOMPARE(decodedQr(), shown);
}

std::unique_ptr<testsupport::HttpExchange> TestWebReceive::open(const QString &link) const
{
    testsupport::useKeyOf(QString());
    const QByteArray target = QUrl(link).toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
    // Through the port the link names.
    return testsupport::exchange(quint16(QUrl(link).port()), testsupport::getRequest(target));
}

std::unique_ptr<testsupport::HttpExchange> TestWebReceive::upload(const QString &link) const
{
    // As the page does once the link set its cookie.
    testsupport::useKeyOf(link);
    auto reply = testsupport::exchange(quint16(QUrl(link).port()),
        testsupport::multipartRequest("/file",
            { { "action", "show", {} }, { "filename", "phone.txt", {} }, { "data", "from the phone", "phone.txt" } }));
    testsupport::useKeyOf(QString());
    return reply;
}

ORVEX_TEST_MAIN(TestWebReceive)
#include "tst_webreceive.moc"

void TestWebReceive::keepsTheLatestTextsOfItsSession()
{
    qRegisterMetaType<ReceivedTextWindow *>();
    QSignalSpy shown(window.data(), &WebReceive::textShown);
    click("generateCodeBtn");
    const QString key = testsupport::keyOf(decodedQr());
    // Another session's text is not this window's.
    emit server->textReceived(server->startReceiving(), QStringLiteral("stranger"));
    QStringList sent;
    for (int i = 0; i <= WebReceive::maxListedTexts; ++i) {
        sent.prepend(QStringLiteral("text %1\nline").arg(i));
        emit server->textReceived(key, sent.first());
    }
    QCOMPARE(shown.count(), WebReceive::maxListedTexts + 1);
    QCOMPARE(window->receivedTexts(), sent.mid(0, WebReceive::maxListedTexts));
    QCOMPARE(shown.last().at(0).value<ReceivedTextWindow *>()->text(), sent.first());
    // One text window, the latest text's.
    QTRY_COMPARE(window->findChildren<ReceivedTextWindow *>().size(), 1);
    // Each row copies its own text.
    const QList<QPushButton *> copies = window->findChildren<QPushButton *>(QStringLiteral("copyTextButton"));
    auto *listed = window->findChild<QWidget *>(QStringLiteral("receivedTextList"));
    QPushButton *lastRowCopy = nullptr;
    for (QPushButton *copy : copies) {
        if (listed->isAncestorOf(copy))
            lastRowCopy = copy;
    }
    QVERIFY(lastRowCopy);
    QTest::mouseClick(lastRowCopy, Qt::LeftButton);
    QVERIFY(sent.mid(0, WebReceive::maxListedTexts).contains(QGuiApplication::clipboard()->text()));
    if (qEnvironmentVariableIsSet("ORVEX_SCREENSHOT_DIR"))
        window->grab().save(qEnvironmentVariable("ORVEX_SCREENSHOT_DIR") + QStringLiteral("/webreceive-texts.png"));
}
