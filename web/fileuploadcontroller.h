#pragma once

#include "httpserver/httprequesthandler.h"

#include <QJsonObject>

class UploadEvents;

namespace tarsel {
class TemplateCache;
}

// "/file": the upload page, and single-request uploads into the download folder.
class FileUploadController : public tarsel::HttpRequestHandler
{
    Q_OBJECT

public:
    FileUploadController(tarsel::TemplateCache *templateCache, UploadEvents *events, QObject *parent = nullptr);

    void service(tarsel::HttpRequest &request, tarsel::HttpResponse &response) override;

private:
    // Stores the uploaded file; the answer says how that went.
    QJsonObject save(const tarsel::HttpRequest &request);

    tarsel::TemplateCache *templateCache;
    UploadEvents *events;
};
