#include "webserver.h"

#include "core/settings.h"
#include "core/sharedtext.h"
#include "httpserver/httplistener.h"
#include "web/downloadfilecontroller.h"
#include "web/partialfileregistry.h"
#include "web/requestmapper.h"
#include "web/uploadbatch.h"
#include "web/uploadsupport.h"
#include "web/websettings.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QSettings>

WebServer::WebServer(QObject *parent)
    : QObject(parent)
    , requestMapper(new RequestMapper(this))
    , uploadBatch(new UploadBatch(this))
    , listener(new tarsel::HttpListener(webSettings(QStringLiteral("listener"), this), requestMapper, this))
    , wantedPort(Settings::webPort())
{
    PartialFileRegistry::removeLeftovers(Settings::downloadPath());
    UploadEvents *events = requestMapper->events();
    connect(events, &UploadEvents::uploadActivity, uploadBatch, &UploadBatch::uploadActivity);
    connect(events, &UploadEvents::fileSaved, uploadBatch, &UploadBatch::fileSaved);
    connect(events, &UploadEvents::batchFinished, uploadBatch, &UploadBatch::batchFinished);
    connect(uploadBatch, &UploadBatch::folderOpenRequested, this, &WebServer::folderOpenRequested);
    connect(uploadBatch, &UploadBatch::filesReceived, this, &WebServer::filesReceived);
    connect(events, &UploadEvents::fileSaved, this, &WebServer::fileUploaded);
    connect(events, &UploadEvents::textReceived, this,
        [this](const QByteArray &key, const QString &text) { emit textReceived(QString::fromLatin1(key), text); });
}

WebServer::~WebServer()
{
    // The listener goes first: its handler threads end after their current request, so no
    // request can still be inside the mapper or its controllers when the mapper is deleted.
    delete listener;
    delete requestMapper;
}

QString WebServer::shareFiles(const QString &ip, int port, const QStringList &files, const QString &text)
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
    // No key opens anything while the files change: the old key stops before the new files are
    // served, the new key works once they are.
    AccessKeys *keys = requestMapper->accessKeys();
    keys->endShare();
    auto *controller = new DownloadFileController(settings, published);
    // The controller emits in handler threads; the connection is queued to this object's thread.
    connect(controller, &DownloadFileController::fileSent, this, &WebServer::fileDownloaded);
    requestMapper->setDownloadController(controller);
    delete settings;
    keys->publishShare(list, sharedtext::normalized(text));
    emit shareChanged(true);
    return shareLink(ip, port);
}

void WebServer::endShare()
{
    AccessKeys *keys = requestMapper->accessKeys();
    if (keys->shareKey().isEmpty())
        return;
    keys->endShare();
    emit shareChanged(false);
}

QString WebServer::shareLink(const QString &ip, int port) const
{
    const QByteArray key = requestMapper->accessKeys()->shareKey();
    if (key.isEmpty())
        return QString();
    return QStringLiteral("http://%1:%2/s/%3").arg(ip, QString::number(port), QString::fromLatin1(key));
}

QString WebServer::startReceiving()
{
    return QString::fromLatin1(requestMapper->accessKeys()->startReceiving());
}

void WebServer::endReceiving(const QString &key)
{
    requestMapper->endReceiving(key.toLatin1());
}

quint16 WebServer::serverPort() const
{
    return listener->serverPort();
}

QString uploadPageLink(const QString &ip, quint16 port, const QString &key)
{
    return QStringLiteral("http://%1:%2/r/%3").arg(ip, QString::number(port), key);
}
