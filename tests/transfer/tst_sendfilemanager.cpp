#include "tests/support/testmain.h"
#include "transfer/sendfilemanager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

    // A file is listed once, whatever spelling of its path comes second, and again after it was
    // taken off the list. The second argument is a folder where it names one.
    void listsEachFileOnce_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("removeAllBetween");
        QTest::addColumn<int>("listed");
        const auto row = [](const char *name, const char *first, const char *second, bool remove, int listed) {
            QTest::addRow("%s", name) << QString::fromUtf8(first) << QString::fromUtf8(second) << remove << listed;
        };
        row("same path", "f/a.txt", "f/a.txt", false, 1);
        row("dot segment", "f/a.txt", "f/./a.txt", false, 1);
        row("parent segment", "f/a.txt", "f/../f/a.txt", false, 1);
        row("double slash", "f/a.txt", "f//a.txt", false, 1);
        row("file, then its folder", "f/a.txt", "f", false, 2);
        row("removed, then added again", "f/a.txt", "f/a.txt", true, 1);
        row("folder removed, then added again", "f", "f/../f", true, 2);
    }

    void listsEachFileOnce()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, removeAllBetween);
        QFETCH(int, listed);
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("f"))));
        for (const char *name : { "f/a.txt", "f/b.txt" }) {
            QFile file(dir.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        SendFileManager manager(nullptr);
        const auto add = [&](const QString &relative) {
            const QString path = dir.path() + QLatin1Char('/') + relative;
            return QFileInfo(path).isDir() ? manager.addFolder(path) : QStringList { manager.addFile(path, QString()) };
        };
        add(first);
        if (removeAllBetween) {
            QList<int> rows;
            for (int row = int(manager.sendFiles.size()) - 1; row >= 0; --row)
                rows.append(row);
            manager.removeRows(rows);
            QVERIFY(manager.sendFiles.isEmpty());
        }
        add(second);
        QCOMPARE(manager.sendFiles.size(), listed);
        QCOMPARE(manager.sendList.size(), listed);
    }
};

ORVEX_TEST_MAIN(TestSendFileManager)
#include "tst_sendfilemanager.moc"
