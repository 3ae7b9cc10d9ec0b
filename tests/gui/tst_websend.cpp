#include "core/settings.h"
#include "gui/web/qrcodewidget.h"
#include "gui/web/websend.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/testmain.h"
#include "tests/web/httpexchange.h"
#include "tests/web/qrdecode.h"
#include "web/webserver.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUrl>

namespace {

// Files chosen by the stand-in for the file dialog, one answer per opening; an empty answer is
// a cancelled dialog.
struct ScriptedChooser
{
    QList<QStringList> answers;
    int asked = 0;

    WebSend::FileChooser chooser()
    {
        return [this](QWidget *) { return asked < answers.size() ? answers.at(asked++) : QStringList(); };
    }
};

QString makeFile(const QString &dir, const QString &relative, const QByteArray &content)
{
    const QString path = dir + QLatin1Char('/') + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(content);
    return path;
}

} // namespace

class TestWebSend : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void generateWithoutFilesAsksForFiles();
    void copyRefusedWithoutCurrentCode_data();
    void copyRefusedWithoutCurrentCode();
    void showsShareLinkAsQrCode();
    void copyUsesAddressChosenAtCopyTime();
    void linkCarriesThePortListenedOn_data();
    void linkCarriesThePortListenedOn();
    void cancelledDialogRemovesCodeKeepsSelection();
    void thousandFileShareGivesAReadableCode();
    void closesWithTheServer();
    void sharesATextWithoutFiles();
    void codeOfASingleLinkOpensTheLink_data();
    void codeOfASingleLinkOpensTheLink();

private:
    void openWindow();
    void click(const char *button);
    QList<QrcodeWidget *> qrWidgets() const { return window->findChildren<QrcodeWidget *>(); }
    QString decodedQr() const { return testsupport::decodeShownQrCode(window); }
    // What the server answers a browser that opens link, with nothing but the link.
    std::unique_ptr<testsupport::HttpExchange> open(const QString &link) const;

    QTemporaryDir dir;
    WebServer *server = nullptr;
    WebSend *window = nullptr;
    ScriptedChooser files;
    testsupport::ModalAnswerer *answerer = nullptr;
};

void TestWebSend::init()
{
    // The server listens on a port the system chooses; the setting then names another one, as
    // after a change in the settings page that takes effect at the next start.
    Settings::setWebPort(0);
    openWindow();
    Settings::setWebPort(3000);
    answerer = new testsupport::ModalAnswerer;
}

void TestWebSend::openWindow()
{
    server = new WebServer;
    window = new WebSend(server);
    files = ScriptedChooser();
    window->setFileChooser(files.chooser());
    auto *box = window->findChild<QComboBox *>(QStringLiteral("ip_combox"));
    // The tests run without a network: offer two addresses as a machine on a LAN would.
    box->clear();
    box->addItems({ QStringLiteral("192.168.7.20"), QStringLiteral("10.1.2.3") });
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestWebSend::cleanup()
{
    delete answerer;
    delete window;
    delete server;
    QGuiApplication::clipboard()->clear();
}

std::unique_ptr<testsupport::HttpExchange> TestWebSend::open(const QString &link) const
{
    testsupport::useKeyOf(QString());
    const QByteArray target = QUrl(link).toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
    // Through the port the link names.
    return testsupport::exchange(quint16(QUrl(link).port()), testsupport::getRequest(target));
}

void TestWebSend::click(const char *button)
{
    auto *b = window->findChild<QPushButton *>(QLatin1String(button));
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton);
}

void TestWebSend::generateWithoutFilesAsksForFiles()
{
    click("generateCodeBtn");
    QTRY_COMPARE(answerer->count(), 1);
    QCOMPARE(answerer->titles(), QStringList { QStringLiteral("错误") });
    QCOMPARE(answerer->texts(), QStringList { QStringLiteral("请选择文件或输入文字") });
    QVERIFY(qrWidgets().isEmpty());
}

void TestWebSend::copyRefusedWithoutCurrentCode_data()
{
    QTest::addColumn<bool>("generate");
    QTest::addColumn<QStringList>("secondChoice");

    const QStringList other { makeFile(dir.path(), QStringLiteral("b/other.txt"), "b") };
    QTest::addRow("before any generate") << false << QStringList();
    QTest::addRow("after choosing new files") << true << other;
    QTest::addRow("after a cancelled dialog") << true << QStringList();
}

void TestWebSend::copyRefusedWithoutCurrentCode()
{
    QFETCH(bool, generate);
    QFETCH(QStringList, secondChoice);

    files.answers = { { makeFile(dir.path(), QStringLiteral("a/report.txt"), "a") }, secondChoice };
    click("selectFileBtn");
    if (generate) {
        click("generateCodeBtn");
        QCOMPARE(qrWidgets().size(), 1);
        click("selectFileBtn");
    }
    click("copyButton");
    QTRY_COMPARE(answerer->count(), 1);
    QCOMPARE(answerer->titles().first(), QStringLiteral("错误"));
    QCOMPARE(answerer->texts().first(), QStringLiteral("请先生成二维码"));
    QVERIFY(QGuiApplication::clipboard()->text().isEmpty());
}

void TestWebSend::showsShareLinkAsQrCode()
{
    // Same name in two folders, and Chinese names: all of them reach the line edit and the link.
    const QStringList chosen {
        makeFile(dir.path(), QStringLiteral("一/报告.txt"), "first"),
        makeFile(dir.path(), QStringLiteral("二/报告.txt"), "second"),
        makeFile(dir.path(), QStringLiteral("一/照片 01.jpg"), "photo"),
    };
    files.answers = { chosen };
    click("selectFileBtn");
    QCOMPARE(window->findChild<QLineEdit *>(QStringLiteral("lineEdit"))->text(),
        QStringLiteral("报告.txt 报告.txt 照片 01.jpg "));
    click("generateCodeBtn");
    const QString link = decodedQr();
    const QRegularExpression form(
        QStringLiteral("^http://192\\.168\\.7\\.20:%1/s/[A-Za-z0-9_-]{22}$").arg(server->serverPort()));
    QVERIFY2(form.match(link).hasMatch(), qPrintable(link));

    // A browser that scanned the code gets the list of the shared files from the server; the
    // server may publish the second one under a distinguishing name.
    const auto page = open(link);
    QCOMPARE(page->status, 200);
    const QString body = QString::fromUtf8(page->body);
    QVERIFY2(body.contains(QStringLiteral("共享的文件")), qPrintable(body.left(300)));
    QVERIFY2(body.contains(QStringLiteral("照片 01.jpg")), qPrintable(body));
    QCOMPARE(body.count(QStringLiteral("报告")) >= 2, true);
    // The same link without its key, or with another one, opens nothing.
    const QString key = testsupport::keyOf(link);
    for (const QString &other : { link.chopped(key.size()), link.chopped(1) + (key.endsWith('A') ? 'B' : 'A') }) {
        const auto refused = open(other);
        QCOMPARE(refused->status, 403);
        QVERIFY(!refused->body.contains("照片"));
    }

    // The QR code carries exactly the link the server hands out.
    click("copyButton");
    QTRY_COMPARE(answerer->count(), 1);
    QCOMPARE(answerer->titles().first(), QStringLiteral("提示"));
    QCOMPARE(answerer->texts().first(), QStringLiteral("地址已复制到剪切板"));
    QCOMPARE(QGuiApplication::clipboard()->text(), link);
    if (qEnvironmentVariableIsSet("ORVEX_SCREENSHOT_DIR"))
        window->grab().save(qEnvironmentVariable("ORVEX_SCREENSHOT_DIR") + QStringLiteral("/websend.png"));
}

void TestWebSend::copyUsesAddressChosenAtCopyTime()
{
    files.answers = { { makeFile(dir.path(), QStringLiteral("a/report.txt"), "a") } };
    click("selectFileBtn");
    click("generateCodeBtn");
    const QString shown = decodedQr();
    QVERIFY2(shown.startsWith(QStringLiteral("http://192.168.7.20:")), qPrintable(shown));

    window->findChild<QComboBox *>(QStringLiteral("ip_combox"))->setCurrentIndex(1);
    click("copyButton");
    QTRY_COMPARE(answerer->count(), 1);
    const QString copied = QGuiApplication::clipboard()->text();
    QCOMPARE(copied, QString(shown).replace(QStringLiteral("192.168.7.20"), QStringLiteral("10.1.2.3")));
    // The code on screen stays as generated.
    QCOMPARE(decodedQr(), shown);
}

void TestWebSend::linkCarriesThePortListenedOn_data()
{
    QTest::addColumn<bool>("portTaken");
    QTest::addColumn<quint16>("settingAtClick");
    QTest::addRow("setting names another port") << false << quint16(3000);
    QTest::addRow("setting is 0") << false << quint16(0);
    QTest::addRow("port taken at start") << true << quint16(0);
}

void TestWebSend::linkCarriesThePortListenedOn()
{
    QFETCH(bool, portTaken);
    QFETCH(quint16, settingAtClick);
    QTcpServer holder;
    if (portTaken) {
        QVERIFY(holder.listen(QHostAddress::Any, 0));
        Settings::setWebPort(holder.serverPort());
        delete window;
        delete server;
        openWindow();
        QCOMPARE(server->serverPort(), quint16(0));
    }
    Settings::setWebPort(settingAtClick);
    files.answers = { { makeFile(dir.path(), QStringLiteral("a/report.txt"), "a") } };
    click("selectFileBtn");
    click("generateCodeBtn");
    if (portTaken) {
        // No link at all rather than one that leads nowhere.
        QTRY_COMPARE(answerer->count(), 1);
        QVERIFY(qrWidgets().isEmpty());
        // The port asked for and the process that holds it (this test), whatever the setting now says.
        const QString said = answerer->texts().constFirst();
        QVERIFY2(said.contains(QString::number(holder.serverPort())), qPrintable(said));
        QVERIFY2(said.contains(QString::number(QCoreApplication::applicationPid())), qPrintable(said));
        return;
    }
    const QUrl shown(decodedQr());
    QCOMPARE(shown.port(), int(server->serverPort()));
    click("copyButton");
    QTRY_COMPARE(answerer->count(), 1);
    QCOMPARE(QUrl(QGuiApplication::clipboard()->text()).port(), shown.port());
}

void TestWebSend::cancelledDialogRemovesCodeKeepsSelection()
{
    const QString path = makeFile(dir.path(), QStringLiteral("a/季度报告.pdf"), "pdf");
    files.answers = { { path }, {} };
    click("selectFileBtn");
    click("generateCodeBtn");
    QCOMPARE(qrWidgets().size(), 1);

    click("selectFileBtn");
    QCOMPARE(files.asked, 2);
    QVERIFY(qrWidgets().isEmpty());
    QVERIFY(!window->findChild<QWidget *>(QStringLiteral("qrcode_area"))->layout());
    QCOMPARE(window->findChild<QLineEdit *>(QStringLiteral("lineEdit"))->text(), QStringLiteral("季度报告.pdf "));

    // The kept selection is shared by the next generate, without an error box.
    click("generateCodeBtn");
    QVERIFY(QString::fromUtf8(open(decodedQr())->body).contains(QStringLiteral("季度报告.pdf")));
    QCOMPARE(answerer->count(), 0);
}

// The link no longer grows with the share: a thousand long names still give a code that a
// scanner reads, and its link lists them all.
void TestWebSend::thousandFileShareGivesAReadableCode()
{
    constexpr int fileCount = 1000;
    QStringList chosen;
    for (int i = 0; i < fileCount; ++i) {
        chosen << makeFile(dir.path(),
            QStringLiteral("many/2024年度部门季度工作总结与下一阶段计划（修订版第%1稿）final-final.docx").arg(i), "x");
    }
    files.answers = { chosen };
    click("selectFileBtn");
    click("generateCodeBtn");
    const QString link = decodedQr();
    QVERIFY2(link.startsWith(QStringLiteral("http://192.168.7.20:")), qPrintable(link));
    const auto page = open(link);
    QCOMPARE(page->status, 200);
    QVERIFY(QString::fromUtf8(page->body).contains(QStringLiteral("（修订版第0稿）final-final.docx</span>")));

    if (qEnvironmentVariableIsSet("ORVEX_SCREENSHOT_DIR"))
        window->grab().save(qEnvironmentVariable("ORVEX_SCREENSHOT_DIR") + QStringLiteral("/websend-1000-files.png"));
}

void TestWebSend::closesWithTheServer()
{
    QPointer<WebSend> watched(window);
    delete server;
    server = nullptr;
    // A closed window deletes itself.
    QTRY_VERIFY(!watched);
    window = nullptr;
}

void TestWebSend::sharesATextWithoutFiles()
{
    auto *text = window->findChild<QPlainTextEdit *>(QStringLiteral("shareTextEdit"));
    QTest::keyClicks(text, QStringLiteral("https://example.org/a?b=1&c=2"));
    click("generateCodeBtn");
    const auto page = open(decodedQr());
    QCOMPARE(page->status, 200);
    QVERIFY2(
        page->body.contains("id=\"open-link\" href=\"https://example.org/a?b=1&amp;c=2\""), page->body.constData());
    if (qEnvironmentVariableIsSet("ORVEX_SCREENSHOT_DIR"))
        window->grab().save(qEnvironmentVariable("ORVEX_SCREENSHOT_DIR") + QStringLiteral("/websend-text.png"));
    // Changing the text takes the code away, as choosing other files does.
    QTest::keyClicks(text, QStringLiteral("x"));
    QCOMPARE(qrWidgets().size(), 0);
}

void TestWebSend::codeOfASingleLinkOpensTheLink_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("linkItself");
    QTest::addRow("a link") << QStringLiteral(" https://example.org/a?b=1&c=2\n") << true;
    QTest::addRow("a sentence with a link") << QStringLiteral("see https://example.org/") << false;
}

void TestWebSend::codeOfASingleLinkOpensTheLink()
{
    QFETCH(QString, text);
    QFETCH(bool, linkItself);
    window->findChild<QPlainTextEdit *>(QStringLiteral("shareTextEdit"))->setPlainText(text);
    auto *box = window->findChild<QCheckBox *>(QStringLiteral("linkCodeBox"));
    QCOMPARE(box->isEnabled(), linkItself);
    box->setChecked(true);
    click("generateCodeBtn");
    const QString shown = decodedQr();
    if (linkItself) {
        QCOMPARE(shown, QStringLiteral("https://example.org/a?b=1&c=2"));
        if (qEnvironmentVariableIsSet("ORVEX_SCREENSHOT_DIR"))
            window->grab().save(qEnvironmentVariable("ORVEX_SCREENSHOT_DIR") + QStringLiteral("/websend-link.png"));
    } else {
        QCOMPARE(open(shown)->status, 200);
    }
}

ORVEX_TEST_MAIN(TestWebSend)
#include "tst_websend.moc"
