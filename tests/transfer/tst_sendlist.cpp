#include "tests/support/testmain.h"
#include "transfer/sendlist.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSendList : public QObject
{
    Q_OBJECT

private slots:
    void refusalsAreReturnedAndNothingIsListed_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<SendRefusal::Kind>("refusal");
        QTest::addRow("missing") << QStringLiteral("/nonexistent/file.txt") << SendRefusal::Kind::Unreadable;
        QTest::addRow("device") << QStringLiteral("/dev/null") << SendRefusal::Kind::NotARegularFile;
    }

    void refusalsAreReturnedAndNothingIsListed()
    {
        QFETCH(QString, path);
        QFETCH(SendRefusal::Kind, refusal);
        SendList list;
        const auto refused = list.addFile(path, QString());
        QVERIFY(refused);
        QCOMPARE(refused->kind, refusal);
        QCOMPARE(refused->path, path);
        QVERIFY(list.isEmpty());
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

        SendList list;
        QStringList skipped;
        const QVector<SendRefusal> refusals = list.addFolder(chosen);
        for (const SendRefusal &refusal : refusals) {
            QCOMPARE(refusal.kind, SendRefusal::Kind::LinkOutsideFolder);
            skipped.append(refusal.path);
        }
        skipped.sort();
        QCOMPARE(skipped, QStringList({ chosen + QStringLiteral("/to-parent"), chosen + QStringLiteral("/to-root") }));
        QStringList names;
        for (const SendItem &item : list.items())
            names.append(item.name);
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
        SendList list;
        QVERIFY(!list.addFile(file.fileName(), QString()));
        if (removeFirst)
            list.removeRows({ 0, 0, 5 });
        QVERIFY(!list.addFile(dir.path() + QLatin1Char('/') + second, QString()));
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.items().first().name, QStringLiteral("a.txt"));
    }
};

ORVEX_TEST_MAIN(TestSendList)
#include "tst_sendlist.moc"
