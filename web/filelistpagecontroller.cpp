#include "filelistpagecontroller.h"

#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"
#include "httpserver/templatecache.h"
#include "web/htmlpage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <cmath>

namespace {

// A share link lists what fits into its QR code, a few dozen files; rendering a hand-made list
// of thousands would hold a handler thread for seconds. A longer list, or a "files" text longer
// than the bytes such a list could take, is refused with 413 and nothing is rendered.
constexpr int maxListedFiles = 1000;
constexpr int maxFilesParameterBytes = 256 * 1024;

struct ListedFile
{
    QString name;
    qint64 size = 0;
};

// Sizes are whole byte counts; anything else (fractions, negative numbers, text) reads as 0.
// Read as 64-bit so that files of 2 GiB and more show their size.
qint64 readSize(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    if (number < 0 || number >= 9223372036854775808.0 || std::floor(number) != number)
        return 0;
    return qint64(number);
}

// File names are text on the page: markup characters are escaped, and so are the braces, so a
// name can never look like a placeholder of a later row.
QString htmlText(const QString &text)
{
    QString escaped = text.toHtmlEscaped();
    escaped.replace(QLatin1Char('\''), QLatin1String("&#39;"));
    escaped.replace(QLatin1Char('{'), QLatin1String("&#123;"));
    escaped.replace(QLatin1Char('}'), QLatin1String("&#125;"));
    return escaped;
}

} // namespace

FileListPageController::FileListPageController(
    tarsel::TemplateCache *templates, const QJsonArray *shared, QObject *parent)
    : tarsel::HttpRequestHandler(parent)
    , templateCache(templates)
    , sharedFiles(shared)
{
}

void FileListPageController::service(tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    // The server's own share is listed whole; a list a request brings is bounded first.
    QJsonArray array;
    if (sharedFiles) {
        array = *sharedFiles;
    } else {
        const QByteArray json = request.parameter("files");
        if (json.size() <= maxFilesParameterBytes)
            array = QJsonDocument::fromJson(json).array();
        if (json.size() > maxFilesParameterBytes || array.size() > maxListedFiles) {
            response.setStatus(413, "payload too large");
            response.write("413 payload too large", true);
            return;
        }
    }

    tarsel::Template page = htmlPage(templateCache, QStringLiteral("files"), request, response);
    QList<ListedFile> files;
    for (const QJsonValue &element : array) {
        const QJsonObject object = element.toObject();
        ListedFile file;
        file.name = object.value(QStringLiteral("filename")).toString();
        file.size = readSize(object.value(QStringLiteral("size")));
        files.append(file);
    }

    page.loop(QStringLiteral("row"), files.size());
    for (int i = 0; i < files.size(); ++i) {
        const QString row = QStringLiteral("row%1.").arg(i);
        const ListedFile &file = files.at(i);
        page.setVariable(row + QStringLiteral("name"), htmlText(file.name));
        page.setVariable(row + QStringLiteral("url"), QString::fromLatin1(QUrl::toPercentEncoding(file.name)));
        page.setVariable(row + QStringLiteral("bytes"), QString::number(file.size));
        page.setVariable(row + QStringLiteral("size"), formatPageSize(quint64(file.size)));
    }
    response.write(page.toUtf8(), true);
}

QString formatPageSize(quint64 bytes)
{
    static const char *const units[] = { "B", "KB", "MB", "GB", "TB" };
    constexpr int lastUnit = int(sizeof(units) / sizeof(units[0])) - 1;
    double value = double(bytes);
    int unit = 0;
    // Beyond terabytes the number keeps growing in TB rather than running off the table.
    while (value > 1000.0 && unit < lastUnit) {
        value /= 1000;
        ++unit;
    }
    return QString::number(value, 'g', 2) + QLatin1String(units[unit]);
}
