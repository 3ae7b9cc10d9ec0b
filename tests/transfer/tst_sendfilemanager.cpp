#include "tests/support/testmain.h"
#include "transfer/sendfilemanager.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
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

    // Links to folders outside the chosen one (/ and its parent here) are not followed and
    // are reported; a link inside it and a link to a file outside are followed.
    void folderWalkStaysInside()
    {
        QTemporaryDir root;
        const QString chosen = root.path() + QStringLiteral("/chosen");
        QVERIFY(QDir().mkpath(chosen + QStringLiteral("/sub")));
        QFile outside(root.path() + QStringLiteral("/outside.txt"));
        QVERIFY(outside.open(QIODevice::WriteOnly) && outside.write("o") == 1);
        outside.close();
        QFile inside(chosen + QStringLiteral("/sub/a.txt"));
        QVERIFY(inside.open(QIODevice::WriteOnly) && inside.write("a") == 1);
        inside.close();
        QVERIFY(QFile::link(QStringLiteral("/"), chosen + QStringLiteral("/to-root")));
        QVERIFY(QFile::link(root.path(), chosen + QStringLiteral("/to-parent")));
        QVERIFY(QFile::link(chosen + QStringLiteral("/sub"), chosen + QStringLiteral("/to-sub")));
        QVERIFY(QFile::link(outside.fileName(), chosen + QStringLiteral("/file-link.txt")));

        SendFileManager manager(nullptr);
        QStringList refusals = manager.addFolder(chosen);
        refusals.sort();
        QCOMPARE(refusals,
            QStringList({ QStringLiteral("已跳过指向所选文件夹之外的链接：%1/to-parent").arg(chosen),
                QStringLiteral("已跳过指向所选文件夹之外的链接：%1/to-root").arg(chosen) }));
        QStringList names;
        for (const auto &entry : qAsConst(manager.sendList))
            names.append(entry.first);
        names.sort();
        // The folder linked from inside is walked once, under whichever name came first.
        QCOMPARE(names.size(), 2);
        QCOMPARE(names.first(), QStringLiteral("chosen/file-link.txt"));
        QVERIFY(names.last().endsWith(QStringLiteral("/a.txt")));
    }

    // A file is listed once whatever spelling of its path comes second, and again once removed.
    void listsEachFileOnce_data()
    {
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("removeFirst");
        for (const char *second : { "f/a.txt", "f/./a.txt", "f/../f/a.txt", "f//a.txt" })
            QTest::addRow("%s", second) << QString::fromLatin1(second) << false;
        QTest::addRow("removed, then added again") << QStringLiteral("f/a.txt") << true;
    }

    void listsEachFileOnce()
    {
        QFETCH(QString, second);
        QFETCH(bool, removeFirst);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("f/a.txt")));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("f"))) && file.open(QIODevice::WriteOnly));
        SendFileManager manager(nullptr);
        QCOMPARE(manager.addFile(file.fileName(), QString()), QString());
        if (removeFirst)
            manager.removeRows({ 0 });
        QCOMPARE(manager.addFile(dir.path() + QLatin1Char('/') + second, QString()), QString());
        QCOMPARE(manager.sendFiles.size(), 1);
        QCOMPARE(manager.sendList.size(), 1);
    }
};

ORVEX_TEST_MAIN(TestSendFileManager)
#include "tst_sendfilemanager.moc"
