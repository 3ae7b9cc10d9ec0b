// Serves the real web pages for the browser tests: a WebServer on a free loopback port with a
// share of a few awkwardly named files, a receive session and a download folder of its own. Prints one JSON line
// describing all of it, then one JSON line per text that arrives through the upload page
// ({"event":"text","text":…}), and runs until its standard input closes, and cleans up after
// itself. The share carries a text too: one link, so the list page offers to follow it.

#include "core/humansize.h"
#include "core/settings.h"
#include "tests/support/testmain.h"
#include "web/webserver.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>

namespace {

QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray data(size + 3, Qt::Uninitialized);
    QRandomGenerator generator { seed };
    generator.fillRange(reinterpret_cast<quint32 *>(data.data()), (size + 3) / 4);
    data.truncate(size);
    return data;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    testsupport::isolateEnvironment();

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString shareDir = dir.filePath(QStringLiteral("share"));
    const QString downloads = dir.filePath(QStringLiteral("downloads"));
    QDir().mkpath(shareDir);
    QDir().mkpath(downloads);
    Settings::setDownloadPath(downloads);
    Settings::setWebPort(0);

    const QList<QPair<QString, QByteArray>> files {
        { QStringLiteral("notes.txt"), QByteArray("Orvex notes\nline two\n") },
        { QStringLiteral("照片 <1>.jpg"), randomBytes(200 * 1024 + 3, 7) },
        { QStringLiteral("data & more #2.bin"), randomBytes(3 * 1024 * 1024, 8) },
    };
    QStringList paths;
    QJsonArray described;
    for (const auto &file : files) {
        const QString path = shareDir + QLatin1Char('/') + file.first;
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(file.second) != file.second.size())
            return 1;
        out.close();
        paths << path;
        described.append(QJsonObject { { QStringLiteral("name"), file.first }, { QStringLiteral("path"), path },
            { QStringLiteral("size"), file.second.size() },
            { QStringLiteral("sizeText"), humanSize(file.second.size()) } });
    }

    WebServer server;
    if (server.serverPort() == 0)
        return 1;
    const QString sharedText = QStringLiteral("https://example.org/orvex?a=1&b=2");
    const QString link = server.shareFiles(QStringLiteral("127.0.0.1"), server.serverPort(), paths, sharedText);
    QObject::connect(&server, &WebServer::textReceived, &app, [](const QString &, const QString &text) {
        const QJsonObject event { { QStringLiteral("event"), QStringLiteral("text") },
            { QStringLiteral("text"), text } };
        std::fputs(QJsonDocument(event).toJson(QJsonDocument::Compact).constData(), stdout);
        std::fputs("\n", stdout);
        std::fflush(stdout);
    });
    const QString uploadLink
        = uploadPageLink(QStringLiteral("127.0.0.1"), server.serverPort(), server.startReceiving());

    const QJsonObject info { { QStringLiteral("port"), server.serverPort() }, { QStringLiteral("link"), link },
        { QStringLiteral("uploadLink"), uploadLink }, { QStringLiteral("downloads"), downloads },
        { QStringLiteral("sharedText"), sharedText }, { QStringLiteral("files"), described } };
    std::fputs(QJsonDocument(info).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });
    return app.exec();
}
