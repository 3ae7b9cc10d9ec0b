#include "htmlpage.h"

#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"
#include "httpserver/templatecache.h"

tarsel::Template htmlPage(tarsel::TemplateCache *templateCache, const QString &name, tarsel::HttpRequest &request,
    tarsel::HttpResponse &response)
{
    response.setHeader("Content-Type", "text/html; charset=UTF-8");
    tarsel::Template page = templateCache->getTemplate(name, QString::fromUtf8(request.header("Accept-Language")));
    page.enableWarnings(true);
    return page;
}
