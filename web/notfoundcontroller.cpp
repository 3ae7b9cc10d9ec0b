#include "notfoundcontroller.h"

#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"
#include "httpserver/templatecache.h"

NotFoundController::NotFoundController(tarsel::TemplateCache *templates, QObject *parent)
    : tarsel::HttpRequestHandler(parent)
    , templateCache(templates)
{
}

void NotFoundController::service(tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    response.setHeader("Content-Type", "text/html; charset=UTF-8");
    tarsel::Template page
        = templateCache->getTemplate(QStringLiteral("404"), QString::fromUtf8(request.header("Accept-Language")));
    page.enableWarnings(true);
    response.write(page.toUtf8(), true);
}
