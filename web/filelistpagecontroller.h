#pragma once

#include "httpserver/httprequesthandler.h"

#include <QString>

class QJsonArray;

namespace tarsel {
class TemplateCache;
}

// The page of a share link rendered with the "files" template, one row per listed file: the
// files of the share given at construction, or else those of the parameter "files" (a JSON array
// of {"filename","size"}). Sizes read as humanSize() gives them, the exact count in the row's
// title. A share of more than one file also gets the link "/archive" that downloads them all.
// More than a thousand files, or a "files" text beyond 256 KiB, is answered with 413 "payload
// too large" instead of a page. A shared text is shown above the files as text, with a button
// that copies it and, when it is one http(s) link, the link to follow.
class FileListPageController : public tarsel::HttpRequestHandler
{
    Q_OBJECT

public:
    explicit FileListPageController(tarsel::TemplateCache *templateCache, const QJsonArray *shared = nullptr,
        const QString &text = QString(), QObject *parent = nullptr);

    void service(tarsel::HttpRequest &request, tarsel::HttpResponse &response) override;

private:
    tarsel::TemplateCache *templateCache;
    const QJsonArray *sharedFiles;
    QString sharedText;
};
