#include "filelistpagecontroller.h"

#include "core/humansize.h"
#include "core/jsontext.h"
#include "core/sharedtext.h"
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

// text as a JSON string that may stand inside a <script> block: nothing in it can end the block,
// start a comment or look like a placeholder of the page.
QString scriptJson(const QString &text)
{
    QString json = QString::fromUtf8(QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact));
    // Without the brackets and quotes of the array: the page puts the quotes around it.
    json = json.mid(2, json.size() - 4);
    QString escaped;
    escaped.reserve(json.size());
    for (const QChar c : json) {
        if (c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('&') || c == QLatin1Char('{')
            || c == QLatin1Char('}') || c == QChar(0x2028) || c == QChar(0x2029))
            escaped += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            escaped += c;
    }
    return escaped;
}

} // namespace

FileListPageController::FileListPageController(
    tarsel::TemplateCache *templates, const QJsonArray *shared, const QString &text, QObject *parent)
    : tarsel::HttpRequestHandler(parent)
    , templateCache(templates)
    , sharedFiles(shared)
    , sharedText(text)
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
            array = parseJson(json).array();
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

    // The text is shown neutralised (no control character, no reordering mark); the copy button
    // takes the text as it was shared from a JSON block.
    const bool hasText = !sharedText.isEmpty();
    page.setCondition(QStringLiteral("text"), hasText);
    const bool listed = !files.isEmpty() || !hasText;
    page.setCondition(QStringLiteral("files"), listed);
    if (hasText) {
        page.setVariable(QStringLiteral("textShown"), htmlText(sharedtext::shown(sharedText)));
        page.setVariable(QStringLiteral("textJson"), scriptJson(sharedText));
        const QUrl link = sharedtext::singleLink(sharedText);
        page.setCondition(QStringLiteral("link"), link.isValid());
        if (link.isValid())
            page.setVariable(QStringLiteral("linkUrl"), htmlText(QString::fromUtf8(link.toEncoded())));
    }
    if (listed)
        page.loop(QStringLiteral("row"), files.size());
    qint64 total = 0;
    for (int i = 0; i < files.size(); ++i) {
        const QString row = QStringLiteral("row%1.").arg(i);
        const ListedFile &file = files.at(i);
        page.setVariable(row + QStringLiteral("name"), htmlText(file.name));
        page.setVariable(row + QStringLiteral("url"), QString::fromLatin1(QUrl::toPercentEncoding(file.name)));
        page.setVariable(row + QStringLiteral("bytes"), QString::number(file.size));
        page.setVariable(row + QStringLiteral("size"), humanSize(file.size));
        total += file.size;
    }
    // "/archive" holds the server's own share, not a list a link brought. Without the list the
    // block is gone already.
    const bool several = sharedFiles && files.size() > 1;
    if (listed)
        page.setCondition(QStringLiteral("several"), several);
    if (several) {
        page.setVariable(QStringLiteral("count"), QString::number(files.size()));
        page.setVariable(QStringLiteral("total"), humanSize(total));
        page.setVariable(QStringLiteral("totalBytes"), QString::number(total));
    }
    response.write(page.toUtf8(), true);
}
