#include "webserver.h"

#include "core/settings.h"
#include "httpserver/httplistener.h"
#include "web/downloadfilecontroller.h"
#include "web/hostchunk.h"
#include "web/requestmapper.h"
#include "web/uploadsupport.h"
#include "web/websettings.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSettings>

namespace {

// The characters the query parser would split at or decode; everything else of the JSON text
// stays as it is, so the link stays readable.
QString encodeForQuery(const QByteArray &json)
{
    QByteArray encoded;
    encoded.reserve(json.size());
    for (const char c : json) {
        switch (c) {
        case '%':
            encoded += "%25";
            break;
        case '&':
            encoded += "%26";
            break;
        case '+':
            encoded += "%2B";
            break;
        case '#':
            encoded += "%23";
            break;
        case ' ':
            encoded += "%20";
            break;
        default:
            encoded += c;
        }
    }
    return QString::fromUtf8(encoded);
}

} // namespace

WebServer::WebServer(QObject *parent)
    : QObject(parent)
    , requestMapper(new RequestMapper(this))
    , listener(new tarsel::HttpListener(webSettings(QStringLiteral("listener"), this), requestMapper, this))
{
    removeLeftoverPartialFiles(Settings::downloadPath());
    connect(requestMapper->events(), &UploadEvents::folderOpenRequested, this, &WebServer::folderOpenRequested);
}

WebServer::~WebServer()
{
    // The listener goes first: its handler threads end after their current request, so no
    // request can still be inside the mapper or its controllers when the mapper is deleted.
    delete listener;
    delete requestMapper;
}

QString WebServer::shareFiles(const QString &ip, int port, const QStringList &files)
{
    QJsonArray list;
    QMap<QString, QString> published;
    for (const QString &path : files) {
        const QFileInfo info(path);
        QString name = info.fileName();
        for (int number = 2; published.contains(name); ++number)
            name = upload::numberedFileName(info.fileName(), number);
        published.insert(name, info.absoluteFilePath());
        QJsonObject entry;
        entry.insert(QStringLiteral("filename"), name);
        entry.insert(QStringLiteral("size"), info.size());
        list.append(entry);
    }

    const QString docroot = files.isEmpty() ? QString() : QFileInfo(files.first()).absolutePath();
    QSettings *settings = webSettings(QStringLiteral("static"), this);
    settings->setValue(QStringLiteral("path"), docroot);
    const QByteArray json = QJsonDocument(list).toJson(QJsonDocument::Compact);
    requestMapper->setDownloadController(new DownloadFileController(settings, published));
    delete settings;

    return QStringLiteral("http://%1:%2/list?files=%3").arg(ip, QString::number(port), encodeForQuery(json));
}

quint16 WebServer::serverPort() const
{
    return listener->serverPort();
}

QString uploadPageLink(const QString &ip, quint16 port)
{
    return QStringLiteral("http://%1:%2/file").arg(ip, QString::number(port));
}
