#include "tests/support/testmain.h"
#include "transfer/sendfilemanager.h"

#include <QTest>

class TestSendFileManager : public QObject
{
    Q_OBJECT

private slots:
    void refusalsAreReturnedAndNothingIsListed_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("refusal");
        QTest::addRow("missing") << QStringLiteral("/nonexistent/file.txt") << QStringLiteral("无法打开所选文件！");
        QTest::addRow("device") << QStringLiteral("/dev/null") << QStringLiteral("所选文件格式不支持！");
    }

    void refusalsAreReturnedAndNothingIsListed()
    {
        QFETCH(QString, path);
        QFETCH(QString, refusal);
        SendFileManager manager(nullptr);
        QCOMPARE(manager.addFile(path, QString()), refusal);
        QVERIFY(manager.sendList.isEmpty());
        QVERIFY(manager.sendFiles.isEmpty());
    }
};

ORVEX_TEST_MAIN(TestSendFileManager)
#include "tst_sendfilemanager.moc"
