#pragma once

#include "httpserver/httprequesthandler.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QVector>

class UploadEvents;

// How many texts one client address may send in a while: a page that loops cannot flood the
// computer's windows. Used from the handler threads at once.
class TextRate
{
public:
    static constexpr int maxTextsPerWindow = 30;
    static constexpr qint64 windowMs = 60 * 1000;
    // Addresses remembered at once; the oldest goes first beyond it.
    static constexpr int maxClients = 1024;

    TextRate();
    // Whether client may send a text now; counts it if so.
    bool admit(const QString &client);

private:
    QMutex mutex;
    QElapsedTimer clock;
    // Client address -> times of its texts within the last window, oldest first.
    QHash<QString, QVector<qint64>> sent;
};

// "/text" (POST, multipart field "text"): a text from the upload page, for the receive session
// whose key the request carries. Answers {"ok":…,"msg":…} as the uploads do; 413 over
// sharedtext::maxTextBytes, 429 over TextRate's limit. The text is only passed on, never stored,
// run or opened here.
class TextUploadController : public tarsel::HttpRequestHandler
{
    Q_OBJECT

public:
    TextUploadController(UploadEvents *events, TextRate *rate, const QByteArray &sessionKey, QObject *parent = nullptr);

    void service(tarsel::HttpRequest &request, tarsel::HttpResponse &response) override;

private:
    UploadEvents *events;
    TextRate *rate;
    QByteArray sessionKey;
};
