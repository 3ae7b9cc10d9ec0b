#include "core/settings.h"
#include "tests/support/testmain.h"
#include "tests/web/httpexchange.h"
#include "web/webserver.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

using testsupport::exchange;
using testsupport::getRequest;

namespace {

struct Row
{
    QString link;
    QString bytes;
    QString name;
    QString size;
};

// The rows of the "files" page as the browser gets them.
QList<Row> rowsOf(const QString &page)
{
    static const QRegularExpression rowPattern(
        QStringLiteral("<li><a class=\"file\" href=\"/download/([^\"]*)\" download title=\"([^ ]*) [^\"]*\">.*?"
                       "<span class=\"name\">(.*?)</span>\\s*<span class=\"size\">(.*?)</span>"),
        QRegularExpression::DotMatchesEverythingOption);
    QList<Row> rows;
    auto it = rowPattern.globalMatch(page);
    while (it.hasNext()) {
        const auto match = it.next();
        rows.append({ match.captured(1), match.captured(2), match.captured(3), match.captured(4) });
    }
    return rows;
}

} // namespace

class TestFileListPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Settings::setWebPort(0); }

    // A server per case: deleting it joins its handler threads, so none of them still logs
    // (disconnects, finished requests) while QtTest moves on to the next case, whose message
    // handler and bookkeeping are not safe against such late messages from other threads.
    void init()
    {
        server = new WebServer(this);
        port = server->serverPort();
        QVERIFY(port != 0);
        // The list page needs the key of a share; an empty share lists nothing of its own.
        testsupport::useKeyOf(server->shareFiles(QStringLiteral("127.0.0.1"), port, {}));
    }

    void cleanup()
    {
        delete server;
        server = nullptr;
    }

    void rendersOneRowPerListedFile_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QStringList>("expected"); // per row: link|bytes|name|size

        QTest::addRow("no files parameter") << QByteArray() << QStringList();
        QTest::addRow("not JSON") << QByteArray("files=hello") << QStringList();
        QTest::addRow("object, not array") << QByteArray("files={\"filename\":\"a\",\"size\":1}") << QStringList();
        QTest::addRow("empty array") << QByteArray("files=[]") << QStringList();
        QTest::addRow("two files") << QByteArray(
            "files=[{\"filename\":\"a.txt\",\"size\":1500},{\"filename\":\"b.png\",\"size\":0}]")
                                   << QStringList { "a.txt|1500|a.txt|1.5 KB", "b.png|0|b.png|0 B" };
        QTest::addRow("missing size") << QByteArray("files=[{\"filename\":\"a\"}]") << QStringList { "a|0|a|0 B" };
        QTest::addRow("fractional size") << QByteArray("files=[{\"filename\":\"a\",\"size\":1.5}]")
                                         << QStringList { "a|0|a|0 B" };
        QTest::addRow("negative size") << QByteArray("files=[{\"filename\":\"a\",\"size\":-5}]")
                                       << QStringList { "a|0|a|0 B" };
        QTest::addRow("size as text") << QByteArray("files=[{\"filename\":\"a\",\"size\":\"12\"}]")
                                      << QStringList { "a|0|a|0 B" };
        QTest::addRow("element not an object") << QByteArray("files=[7,\"x\"]") << QStringList { "|0||0 B", "|0||0 B" };
        QTest::addRow("exactly 2 GiB") << QByteArray("files=[{\"filename\":\"big\",\"size\":2147483648}]")
                                       << QStringList { "big|2147483648|big|2.15 GB" };
        QTest::addRow("beyond 4 GiB") << QByteArray("files=[{\"filename\":\"big\",\"size\":5368709120}]")
                                      << QStringList { "big|5368709120|big|5.37 GB" };
        QTest::addRow("same name twice") << QByteArray(
            "files=[{\"filename\":\"a\",\"size\":1},{\"filename\":\"a\",\"size\":2}]")
                                         << QStringList { "a|1|a|1 B", "a|2|a|2 B" };
        QTest::addRow("non-ASCII name") << QStringLiteral("files=[{\"filename\":\"照片.jpg\",\"size\":3}]").toUtf8()
                                        << QStringList { QStringLiteral("%E7%85%A7%E7%89%87.jpg|3|照片.jpg|3 B") };
        QTest::addRow("markup in the name")
            << QByteArray("files=[{\"filename\":\"<b>x</b> & \\\"q\\\" 'y'.txt\",\"size\":1}]")
            << QStringList { "%3Cb%3Ex%3C%2Fb%3E%20%26%20%22q%22%20%27y%27.txt|1|"
                             "&lt;b&gt;x&lt;/b&gt; &amp; &quot;q&quot; &#39;y&#39;.txt|1 B" };
        QTest::addRow("placeholder in the name")
            << QByteArray("files=[{\"filename\":\"{row1.name}\",\"size\":1},{\"filename\":\"b\",\"size\":2}]")
            << QStringList { "%7Brow1.name%7D|1|&#123;row1.name&#125;|1 B", "b|2|b|2 B" };
        QTest::addRow("characters the link must encode")
            << QByteArray("files=[{\"filename\":\"a #1?%+.txt\",\"size\":1}]")
            << QStringList { "a%20%231%3F%25%2B.txt|1|a #1?%+.txt|1 B" };
    }

    void rendersOneRowPerListedFile()
    {
        QFETCH(QByteArray, query);
        QFETCH(QStringList, expected);
        // Encoded the way a browser sends a link: everything that is not plain text escaped.
        QByteArray target = "/list";
        if (!query.isEmpty()) {
            const int eq = query.indexOf('=');
            target += "?" + query.left(eq + 1) + QUrl::toPercentEncoding(QString::fromUtf8(query.mid(eq + 1)));
        }
        const auto reply = exchange(port, getRequest(target));
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, 200);
        const QString page = QString::fromUtf8(reply->body);
        QStringList rows;
        for (const Row &row : rowsOf(page))
            rows << row.link + QLatin1Char('|') + row.bytes + QLatin1Char('|') + row.name + QLatin1Char('|') + row.size;
        QCOMPARE(rows, expected);
        QCOMPARE(page.contains(QStringLiteral("class=\"empty\"")), expected.isEmpty());
        QVERIFY(!page.contains(QStringLiteral("{row")));
    }

    void offersDownloadAllForSeveralSharedFiles_data()
    {
        QTest::addColumn<int>("shared");
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QString>("link");
        QTest::addRow("one file") << 1 << QByteArray() << QString();
        QTest::addRow("two files") << 2 << QByteArray()
                                   << QStringLiteral("href=\"/archive\" download title=\"1500 字节\">"
                                                     "全部下载<span class=\"detail\">2 个文件 · ZIP · 1.5 KB</span>");
        QTest::addRow("a list the link brought")
            << 2 << QByteArray("[{\"filename\":\"a\",\"size\":1},{\"filename\":\"b\",\"size\":2}]") << QString();
    }

    void offersDownloadAllForSeveralSharedFiles()
    {
        QFETCH(int, shared);
        QFETCH(QByteArray, query);
        QFETCH(QString, link);
        QTemporaryDir dir;
        QStringList files;
        for (int i = 0; i < shared; ++i) {
            QFile file(dir.filePath(QString::number(i)));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(500 * (i + 1), 'x')));
            files << file.fileName();
        }
        testsupport::useKeyOf(server->shareFiles(QStringLiteral("127.0.0.1"), port, files));
        const QByteArray target = query.isEmpty() ? "/list" : "/list?files=" + QUrl::toPercentEncoding(query);
        const auto reply = exchange(port, getRequest(target));
        QVERIFY(reply->wait());
        const QString page = QString::fromUtf8(reply->body);
        QCOMPARE(page.contains(QStringLiteral("/archive")), !link.isEmpty());
        QVERIFY(page.contains(link));
    }

    // A list longer than a share link can carry is refused before anything is rendered.
    void refusesListsBeyondTheRowLimit_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("status");
        QTest::addRow("GET at the limit") << QByteArray("GET") << 1000 << 200;
        QTest::addRow("GET one more") << QByteArray("GET") << 1001 << 413;
        QTest::addRow("POST 8000") << QByteArray("POST") << 8000 << 413;
    }

    void refusesListsBeyondTheRowLimit()
    {
        QFETCH(QByteArray, method);
        QFETCH(int, files);
        QFETCH(int, status);
        // The shortest elements (each still gives a row), so that the GET fits the request limit.
        QByteArray list = "[0";
        for (int i = 1; i < files; ++i)
            list += ",0";
        list += ']';
        const QByteArray request = method == "GET"
            ? getRequest("/list?files=" + QUrl::toPercentEncoding(QString::fromLatin1(list)))
            : testsupport::multipartRequest("/list", { { "files", list, {} } });
        const auto reply = exchange(port, request);
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, status);
        if (status == 200)
            QCOMPARE(rowsOf(QString::fromUtf8(reply->body)).size(), files);
        else
            QCOMPARE(reply->body, QByteArray("413 payload too large"));
    }

private:
    WebServer *server = nullptr;
    quint16 port = 0;
};

ORVEX_TEST_MAIN(TestFileListPage)
#include "tst_filelistpage.moc"
