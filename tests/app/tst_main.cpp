#include "app/runapplication.h"
#include "core/settings.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/testmain.h"

#include <QSystemTrayIcon>

class TestMain : public QObject
{
    Q_OBJECT

private slots:
    void refusesToRunWithoutSystemTray_data()
    {
        // The tests run with a Chinese locale (LANGUAGE=zh_CN): the setting overrides it.
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("text");
        QTest::addRow("system") << QStringLiteral("system") << QStringLiteral("您的系统不支持托盘运行模式！");
        QTest::addRow("en") << QStringLiteral("en")
                            << QStringLiteral("Your system does not support running in the system tray.");
        QTest::addRow("zh") << QStringLiteral("zh") << QStringLiteral("您的系统不支持托盘运行模式！");
    }

    void refusesToRunWithoutSystemTray()
    {
        QFETCH(QString, language);
        QFETCH(QString, text);
        Settings::setLanguage(language);
        // The offscreen platform has no tray.
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        testsupport::ModalAnswerer answerer;
        const int status = runApplication(*qApp);
        QCOMPARE(status, 1);
        QCOMPARE(answerer.texts(), QStringList { text });
        QCOMPARE(answerer.titles(), QStringList { QStringLiteral("Orvex") });
    }
};

ORVEX_TEST_MAIN(TestMain)
#include "tst_main.moc"
