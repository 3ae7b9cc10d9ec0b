#pragma once

#include "httpserver/template.h"

namespace tarsel {
class HttpRequest;
class HttpResponse;
class TemplateCache;
} // namespace tarsel

// Prepares an HTML answer: sets the UTF-8 HTML content type and returns the named page template
// in the language the browser asks for, with warnings on for variables the page lacks.
tarsel::Template htmlPage(tarsel::TemplateCache *templateCache, const QString &name, tarsel::HttpRequest &request,
    tarsel::HttpResponse &response);
