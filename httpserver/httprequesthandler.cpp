#include "httprequesthandler.h"

#include "httpserver/httplogging.h"
#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"

namespace tarsel {

HttpRequestHandler::HttpRequestHandler(QObject *parent)
    : QObject(parent)
{
}

HttpRequestHandler::~HttpRequestHandler() = default;

void HttpRequestHandler::service(HttpRequest &request, HttpResponse &response)
{
    qCCritical(lcHttp, "HttpRequestHandler: you need to override the service() function");
    qCDebug(lcHttp, "HttpRequestHandler: request=%s %s %s", request.method().constData(), request.path().constData(),
        request.version().constData());
    response.setStatus(501, "not implemented");
    response.write("501 not implemented", true);
}

bool HttpRequestHandler::acceptsBody(HttpRequest &, HttpResponse &)
{
    return true;
}

QIODevice *HttpRequestHandler::uploadDevice(const HttpRequest &, const QByteArray &)
{
    return nullptr;
}

QIODevice *HttpRequestHandler::bodyDevice(const HttpRequest &)
{
    return nullptr;
}

} // namespace tarsel
