#include "tests/cli/orvexprocess.h"
#include "tests/support/testmain.h"
#include "tests/web/qrdecode.h"
#include "web/qrmatrix.h"

#include <QHttpMultiPart>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>

#include <csignal>

namespace {

constexpr int quietZone = 4;
constexpr int replyTimeoutMsec = 20000;

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

// The modules the half blocks draw, true for dark; the blocks are the light modules.
QVector<QVector<bool>> modulesOf(const QStringList &lines)
{
    QVector<QVector<bool>> rows;
    for (const QString &line : lines) {
        QVector<bool> upper;
        QVector<bool> lower;
        for (const QChar c : line) {
            upper.append(c == QLatin1Char(' ') || c == QChar(0x2584));
            lower.append(c == QLatin1Char(' ') || c == QChar(0x2580));
        }
        rows << upper << lower;
    }
    return rows;
}

// The link line and the QR code lines printed after it.
QString printedLink(const QString &output, QStringList *codeLines)
{
    const QStringList lines = output.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (!lines.at(i).startsWith(QLatin1String("http://")))
            continue;
        for (int j = i + 1; j < lines.size() && !lines.at(j).isEmpty(); ++j) {
            if (lines.at(j).contains(QRegularExpression(QStringLiteral("[^ \u2580\u2584\u2588]"))))
                break;
            codeLines->append(lines.at(j));
        }
        return lines.at(i);
    }
    return QString();
}

// The lines as a terminal draws them: the blocks' halves in the text colour, the rest in the
// background's, a module a square of pixels.
QImage drawnOnTerminal(const QStringList &lines, QRgb text, QRgb background)
{
    constexpr int pixels = 4;
    const int width = lines.isEmpty() ? 0 : lines.first().size();
    QImage image(width * pixels, lines.size() * 2 * pixels, QImage::Format_RGB32);
    image.fill(background);
    for (int row = 0; row < lines.size(); ++row) {
        for (int column = 0; column < lines.at(row).size(); ++column) {
            const QChar c = lines.at(row).at(column);
            const bool upper = c == QChar(0x2588) || c == QChar(0x2580);
            const bool lower = c == QChar(0x2588) || c == QChar(0x2584);
            for (int y = 0; y < 2 * pixels; ++y) {
                if (y < pixels ? upper : lower) {
                    for (int x = 0; x < pixels; ++x)
                        image.setPixel(column * pixels + x, row * 2 * pixels + y, text);
                }
            }
        }
    }
    return image;
}

} // namespace

class TestWebCommands : public QObject
{
    Q_OBJECT

private:
    QNetworkAccessManager network;

    QByteArray fetch(QNetworkReply *reply, int *status)
    {
        QSignalSpy done(reply, &QNetworkReply::finished);
        if (!reply->isFinished())
            done.wait(replyTimeoutMsec);
        *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        reply->deleteLater();
        return body;
    }

    // Starts a web command and returns the link it printed, after checking its QR code.
    QString startAndReadLink(OrvexProcess &orvex, const QStringList &arguments,
        const QString &webPort = QStringLiteral("0"), const QStringList &prefix = {})
    {
        orvex.run(arguments + QStringList { QStringLiteral("--web-port"), webPort }, prefix);
        if (!orvex.waitForOutput(QStringLiteral("Ctrl\\+C")).hasMatch()) {
            qWarning("no link: %s", qPrintable(orvex.errors()));
            return QString();
        }
        QStringList code;
        const QString link = printedLink(orvex.output(), &code);
        const QrMatrix expected = QrMatrix::encode(link);
        const QVector<QVector<bool>> drawn = modulesOf(code);
        const int side = expected.size() + 2 * quietZone;
        // An odd side leaves the last half line in the quiet zone.
        if (expected.isNull() || drawn.size() != side + side % 2 || drawn.first().size() != side)
            return QStringLiteral("QR code of the wrong size");
        for (int row = 0; row < drawn.size(); ++row) {
            for (int column = 0; column < side; ++column) {
                const int r = row - quietZone;
                const int c = column - quietZone;
                const bool inside = r >= 0 && c >= 0 && r < expected.size() && c < expected.size();
                if (drawn.at(row).at(column) != (inside && expected.isDark(r, c)))
                    return QStringLiteral("QR code differs at %1,%2").arg(row).arg(column);
            }
        }
        return link;
    }

private slots:
    void linkNamesTheLanAddressBesideABridge()
    {
        // A machine of its own whose container bridge comes first in the system's order.
        const QString machine = QStringLiteral(
            "ip link set lo up && ip link add docker0 type bridge && ip addr add 172.17.0.1/16 dev docker0 && "
            "ip link set docker0 up && ip link add lan0 type veth peer name lan1 && ip addr add 192.168.1.23/24 dev "
            "lan0 && ip link set lan1 up && "
            "ip link set lan0 up && exec \"$@\"");
        OrvexProcess orvex;
        const QString link = startAndReadLink(orvex, { QStringLiteral("inbox") }, QStringLiteral("0"),
            { QStringLiteral("unshare"), QStringLiteral("--net"), QStringLiteral("--"), QStringLiteral("sh"),
                QStringLiteral("-c"), machine, QStringLiteral("machine") });
        QVERIFY2(link.startsWith(QLatin1String("http://192.168.1.23:")), qPrintable(link + orvex.errors()));
    }

    void movesToTheNextFreeWebPort()
    {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::Any));
        QTemporaryDir source;
        QFile file(source.filePath(QStringLiteral("a.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("moved");
        file.close();
        OrvexProcess orvex;
        const QString link = startAndReadLink(
            orvex, { QStringLiteral("share"), file.fileName() }, QString::number(taken.serverPort()));
        const QUrl url(link);
        QVERIFY2(url.port() > taken.serverPort() && url.port() <= taken.serverPort() + 20, qPrintable(link));
        // The holder is named: this test.
        QVERIFY2(orvex.errors().contains(QStringLiteral("进程 %1").arg(QCoreApplication::applicationPid())),
            qPrintable(orvex.errors()));
        int status = 0;
        fetch(network.get(QNetworkRequest(url)), &status);
        QCOMPARE(status, 200);
        orvex.sendSignal(SIGINT);
        QCOMPARE(orvex.waitForExit(), 0);
    }

    void refusesAnAddressThisMachineHasNot()
    {
        OrvexProcess orvex;
        orvex.run({ QStringLiteral("inbox"), QStringLiteral("--address"), QStringLiteral("192.0.2.7") });
        QCOMPARE(orvex.waitForExit(), 2);
        QVERIFY(!orvex.output().contains(QLatin1String("http://")));
    }

    void shareServesThePrintedLink()
    {
        QTemporaryDir source;
        const QMap<QString, QByteArray> shared {
            { QStringLiteral("报告 final.pdf"), randomBytes(200000) },
            { QStringLiteral("small.txt"), QByteArrayLiteral("a few words") },
        };
        QStringList arguments { QStringLiteral("share") };
        for (auto it = shared.cbegin(); it != shared.cend(); ++it) {
            QFile file(source.filePath(it.key()));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(it.value());
            arguments << file.fileName();
        }
        OrvexProcess orvex;
        const QString link = startAndReadLink(orvex, arguments);
        QVERIFY2(link.startsWith(QLatin1String("http://127.0.0.1:")), qPrintable(link));

        int status = 0;
        fetch(network.get(QNetworkRequest(QUrl(link))), &status);
        QCOMPARE(status, 200);
        const QUrl url(link);
        for (auto it = shared.cbegin(); it != shared.cend(); ++it) {
            QUrl download = url;
            download.setQuery(QString());
            download.setPath(QStringLiteral("/download/") + it.key());
            QCOMPARE(fetch(network.get(QNetworkRequest(download)), &status), it.value());
            QCOMPARE(status, 200);
            QVERIFY(orvex.waitForOutput(QStringLiteral("已下载：") + QRegularExpression::escape(it.key())).hasMatch());
        }
        orvex.sendSignal(SIGINT);
        QCOMPARE(orvex.waitForExit(), 0);
    }

    void qrCodeScansOnItsTerminal_data()
    {
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QRgb>("text");
        QTest::addColumn<QRgb>("background");
        QTest::addRow("light terminal") << QStringLiteral("light") << qRgb(0, 0, 0) << qRgb(255, 255, 255);
        QTest::addRow("dark terminal") << QStringLiteral("dark") << qRgb(230, 230, 230) << qRgb(20, 20, 20);
    }

    void qrCodeScansOnItsTerminal()
    {
        QFETCH(QString, scheme);
        QFETCH(QRgb, text);
        QFETCH(QRgb, background);
        OrvexProcess orvex;
        orvex.run({ QStringLiteral("share"), QCoreApplication::applicationFilePath(), QStringLiteral("--qr"), scheme,
            QStringLiteral("--web-port"), QStringLiteral("0") });
        QVERIFY2(orvex.waitForOutput(QStringLiteral("Ctrl\\+C")).hasMatch(), qPrintable(orvex.errors()));
        QStringList code;
        const QString link = printedLink(orvex.output(), &code);
        QVERIFY(!code.isEmpty());
        QCOMPARE(testsupport::decodeQrCodes(drawnOnTerminal(code, text, background)), QStringList { link });
        orvex.sendSignal(SIGINT);
        QCOMPARE(orvex.waitForExit(), 0);
    }

    void inboxStoresAnUpload()
    {
        QTemporaryDir downloads;
        OrvexProcess orvex;
        const QString link
            = startAndReadLink(orvex, { QStringLiteral("inbox"), QStringLiteral("--dir"), downloads.path() });
        QVERIFY2(link.startsWith(QLatin1String("http://127.0.0.1:")), qPrintable(link));

        const QByteArray content = randomBytes(300000);
        auto *form = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        const QList<QPair<QByteArray, QByteArray>> fields { { "action", "show" }, { "filename", "上传.bin" } };
        for (const auto &field : fields) {
            QHttpPart part;
            part.setHeader(QNetworkRequest::ContentDispositionHeader, "form-data; name=\"" + field.first + "\"");
            part.setBody(field.second);
            form->append(part);
        }
        QHttpPart data;
        data.setHeader(QNetworkRequest::ContentDispositionHeader, "form-data; name=\"data\"; filename=\"upload.bin\"");
        data.setBody(content);
        form->append(data);
        QNetworkReply *reply = network.post(QNetworkRequest(QUrl(link)), form);
        form->setParent(reply);
        int status = 0;
        fetch(reply, &status);
        QCOMPARE(status, 200);

        QVERIFY(orvex.waitForOutput(QStringLiteral("已接收：.*上传\\.bin")).hasMatch());
        QFile stored(downloads.filePath(QStringLiteral("上传.bin")));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), content);
        orvex.sendSignal(SIGINT);
        QCOMPARE(orvex.waitForExit(), 0);
    }

    void inboxPrintsATextSafely()
    {
        QTemporaryDir downloads;
        OrvexProcess orvex;
        const QString link
            = startAndReadLink(orvex, { QStringLiteral("inbox"), QStringLiteral("--dir"), downloads.path() });
        QUrl target(link);
        const QString key = target.path().mid(3);
        target.setPath(QStringLiteral("/text"));
        target.setQuery(QStringLiteral("key=") + key);
        auto *form = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader, "form-data; name=\"text\"");
        part.setBody("第一行\r\n\x1b[2Jhttps://example.org");
        form->append(part);
        QNetworkReply *reply = network.post(QNetworkRequest(target), form);
        form->setParent(reply);
        int status = 0;
        fetch(reply, &status);
        QCOMPARE(status, 200);
        // Printed with its lines, the escape that would clear the terminal neutralised.
        QVERIFY2(orvex.waitForOutput(QString::fromUtf8("第一行\n\uFFFD\\[2Jhttps://example\\.org")).hasMatch(),
            qPrintable(orvex.output()));
        QVERIFY(!orvex.output().contains(QLatin1Char('\x1b')));
        orvex.sendSignal(SIGINT);
        QCOMPARE(orvex.waitForExit(), 0);
    }

    void shareServesATextFromStandardInput()
    {
        QTemporaryDir folder;
        QFile input(folder.filePath(QStringLiteral("text")));
        QVERIFY(input.open(QIODevice::WriteOnly));
        input.write("第一行\n\"第二行\"");
        input.close();
        OrvexProcess orvex;
        orvex.setStandardInputFile(input.fileName());
        const QString link
            = startAndReadLink(orvex, { QStringLiteral("share"), QStringLiteral("--text"), QStringLiteral("-") });
        QVERIFY2(link.startsWith(QLatin1String("http://127.0.0.1:")), qPrintable(link + orvex.errors()));
        int status = 0;
        const QByteArray page = fetch(network.get(QNetworkRequest(QUrl(link))), &status);
        QCOMPARE(status, 200);
        // The list page's copy button takes the text from its JSON string, as it was given.
        QVERIFY2(page.contains(R"(第一行\n\"第二行\")"), page.constData());
        orvex.sendSignal(SIGINT);
        QCOMPARE(orvex.waitForExit(), 0);
    }

    void writesSettingsOnlyWithSave_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("stored");
        QTest::addRow("web server, name for this run") << QStringList { QStringLiteral("share"),
            QCoreApplication::applicationFilePath(), QStringLiteral("--name"), QStringLiteral("客厅") }
                                                       << QString();
        QTest::addRow("name saved") << QStringList { QStringLiteral("share"), QCoreApplication::applicationFilePath(),
            QStringLiteral("--name"), QStringLiteral("客厅"), QStringLiteral("--save") }
                                    << QStringLiteral("客厅");
    }

    void writesSettingsOnlyWithSave()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, stored);
        // Where the child's settings live: its environment has no redirection of its own.
        const QString file = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Orvex/Orvex.conf");
        QFile::remove(file);
        OrvexProcess orvex;
        orvex.run(arguments + QStringList { QStringLiteral("--web-port"), QStringLiteral("0") });
        QVERIFY(orvex.waitForOutput(QStringLiteral("Ctrl\\+C")).hasMatch());
        orvex.sendSignal(SIGINT);
        QCOMPARE(orvex.waitForExit(), 0);
        const QSettings settings(file, QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("deviceName")).toString(), stored);
        QCOMPARE(settings.childGroups(), QStringList());
    }
};

ORVEX_TEST_MAIN(TestWebCommands)
#include "tst_webcommands.moc"
