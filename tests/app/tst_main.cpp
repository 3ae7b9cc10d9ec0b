#include "app/runapplication.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/testmain.h"

#include <QSystemTrayIcon>

class TestMain : public QObject
{
    Q_OBJECT

private slots:
    void refusesToRunWithoutSystemTray()
    {
        // The offscreen platform has no tray.
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        testsupport::ModalAnswerer answerer;
        const int status = runApplication(*qApp);
        QCOMPARE(status, 1);
        QCOMPARE(answerer.texts(), QStringList { QStringLiteral("您的系统不支持托盘运行模式！") });
        QCOMPARE(answerer.titles(), QStringList { QStringLiteral("Orvex") });
    }
};

ORVEX_TEST_MAIN(TestMain)
#include "tst_main.moc"
