#pragma once

#include "httpserver/httprequesthandler.h"

#include <QString>

class QJsonArray;

namespace tarsel {
class TemplateCache;
}

// The page of a share link rendered with the "files" template, one row per listed file: the
// files of the share given at construction, or else those of the parameter "files" (a JSON array
// of {"filename","size"}). More than a thousand files, or a "files" text beyond 256 KiB, is
// answered with 413 "payload too large" instead of a page.
class FileListPageController : public tarsel::HttpRequestHandler
{
    Q_OBJECT

public:
    explicit FileListPageController(
        tarsel::TemplateCache *templateCache, const QJsonArray *shared = nullptr, QObject *parent = nullptr);

    void service(tarsel::HttpRequest &request, tarsel::HttpResponse &response) override;

private:
    tarsel::TemplateCache *templateCache;
    const QJsonArray *sharedFiles;
};

// Short size text: divided by 1000 while above 1000, two significant digits, then the unit
// (B, KB, MB, GB, TB): 1500 gives "1.5KB", 512 gives "5.1e+02B".
QString formatPageSize(quint64 bytes);
