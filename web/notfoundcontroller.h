#pragma once

#include "httpserver/httprequesthandler.h"

namespace tarsel {
class TemplateCache;
}

// Answers every path no other controller takes with the "404" page (status 200).
class NotFoundController : public tarsel::HttpRequestHandler
{
    Q_OBJECT

public:
    explicit NotFoundController(tarsel::TemplateCache *templateCache, QObject *parent = nullptr);

    void service(tarsel::HttpRequest &request, tarsel::HttpResponse &response) override;

private:
    tarsel::TemplateCache *templateCache;
};
