#include "core/sharedtext.h"
#include "tests/support/testmain.h"

#include <QTest>

class TestSharedText : public QObject
{
    Q_OBJECT

private slots:
    void takesTextsWithinTheLimit_data()
    {
        QTest::addColumn<QByteArray>("utf8");
        QTest::addColumn<bool>("taken");
        QTest::addRow("plain") << QByteArray("hello") << true;
        QTest::addRow("exactly 1 MiB") << QByteArray(sharedtext::maxTextBytes, 'a') << true;
        QTest::addRow("1 MiB + 1 byte") << QByteArray(sharedtext::maxTextBytes + 1, 'a') << false;
        QTest::addRow("empty") << QByteArray() << false;
        QTest::addRow("broken UTF-8") << QByteArray("ab\xff\xfe") << false;
    }

    void takesTextsWithinTheLimit()
    {
        QFETCH(QByteArray, utf8);
        QFETCH(bool, taken);
        QCOMPARE(sharedtext::acceptable(utf8), taken);
    }

    void showsOnlyPlainCharacters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        const QString bad = QString(QChar(0xFFFD));
        QTest::addRow("lines and tabs stay") << QStringLiteral("a\tb\r\nc\nd") << QStringLiteral("a\tb\nc\nd");
        QTest::addRow("terminal escape") << QStringLiteral("a\x1b[31mred") << QStringLiteral("a") + bad + "[31mred";
        QTest::addRow("bell and lone CR") << QStringLiteral("a\x07"
                                                            "b\rc")
                                          << "a" + bad + "b" + bad + "c";
        QTest::addRow("bidi override") << QString::fromUtf8("invoice\u202Efdp.exe")
                                       << QStringLiteral("invoice") + bad + QStringLiteral("fdp.exe");
        QTest::addRow("line separator") << QString::fromUtf8("x\u2028y") << "x" + bad + "y";
        QTest::addRow("markup stays text") << QStringLiteral("<b>bold</b>") << QStringLiteral("<b>bold</b>");
    }

    void showsOnlyPlainCharacters()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(sharedtext::shown(text), shown);
    }

    void offersOnlyOneWebLink_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("link");
        QTest::addRow("https") << QStringLiteral("https://example.org/a?b=c#d")
                               << QStringLiteral("https://example.org/a?b=c#d");
        QTest::addRow("http, blanks around")
            << QStringLiteral("  http://192.168.1.5:8080/x\n") << QStringLiteral("http://192.168.1.5:8080/x");
        QTest::addRow("javascript") << QStringLiteral("javascript:alert(1)") << QString();
        QTest::addRow("javascript with slashes") << QStringLiteral("javascript://example.org/%0aalert(1)") << QString();
        QTest::addRow("file") << QStringLiteral("file:///etc/passwd") << QString();
        QTest::addRow("no host") << QStringLiteral("http:///path") << QString();
        QTest::addRow("space inside") << QStringLiteral("https://example.org/a b") << QString();
        QTest::addRow("sentence with a link") << QStringLiteral("see https://example.org") << QString();
        QTest::addRow("bidi inside") << QString::fromUtf8("https://example.org/\u202Egpj.exe") << QString();
    }

    void offersOnlyOneWebLink()
    {
        QFETCH(QString, text);
        QFETCH(QString, link);
        QCOMPARE(QString::fromUtf8(sharedtext::singleLink(text).toEncoded()), link);
    }
};

ORVEX_TEST_MAIN(TestSharedText)
#include "tst_sharedtext.moc"
