#include "notfoundcontroller.h"

#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"
#include "httpserver/templatecache.h"
#include "web/htmlpage.h"

NotFoundController::NotFoundController(tarsel::TemplateCache *templates, QObject *parent)
    : tarsel::HttpRequestHandler(parent)
    , templateCache(templates)
{
}

void NotFoundController::service(tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    tarsel::Template page = htmlPage(templateCache, QStringLiteral("404"), request, response);
    response.write(page.toUtf8(), true);
}
