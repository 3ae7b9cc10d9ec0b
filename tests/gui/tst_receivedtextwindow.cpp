#include "gui/text/receivedtextwindow.h"
#include "tests/support/testmain.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

class TestReceivedTextWindow : public QObject
{
    Q_OBJECT

private slots:
    void showsPlainTextAndOpensOnlyOnClick_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("link");
        const QString bad(QChar(0xFFFD));
        QTest::addRow("link") << QStringLiteral("https://example.org/x\n") << QStringLiteral("https://example.org/x\n")
                              << QStringLiteral("https://example.org/x");
        QTest::addRow("escape and override")
            << QString::fromUtf8("a\x1b[2Jb\u202Ec") << "a" + bad + "[2Jb" + bad + "c" << QString();
        QTest::addRow("javascript") << QStringLiteral("javascript:alert(1)") << QStringLiteral("javascript:alert(1)")
                                    << QString();
    }

    void showsPlainTextAndOpensOnlyOnClick()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QFETCH(QString, link);
        ReceivedTextWindow window(text, QStringLiteral("网页"));
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        QList<QUrl> opened;
        window.setLinkOpener([&opened](const QUrl &url) { opened << url; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.findChild<QPlainTextEdit *>(QStringLiteral("textView"))->toPlainText(), shown);
        auto *open = window.findChild<QPushButton *>(QStringLiteral("openLinkButton"));
        QCOMPARE(open->isVisible(), !link.isEmpty());
        QVERIFY(opened.isEmpty());
        if (!link.isEmpty()) {
            QTest::mouseClick(open, Qt::LeftButton);
            QCOMPARE(opened, QList<QUrl> { QUrl(link) });
        }
        // The copy is the text as sent (line ends made "\n"), not the neutralised one.
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("copyTextButton")), Qt::LeftButton);
        QCOMPARE(
            QGuiApplication::clipboard()->text(), QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        if (qEnvironmentVariableIsSet("ORVEX_SCREENSHOT_DIR"))
            window.grab().save(qEnvironmentVariable("ORVEX_SCREENSHOT_DIR")
                + QStringLiteral("/receivedtext-%1.png")
                      .arg(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'))));
    }
};

ORVEX_TEST_MAIN(TestReceivedTextWindow)
#include "tst_receivedtextwindow.moc"
