#include "mimetypes.h"

namespace tarsel {

QByteArray mimeTypeOf(const QByteArray &fileName, const QByteArray &charset)
{
    static const struct
    {
        const char *ending;
        const char *type;
        bool withCharset;
    } types[] = {
        { ".png", "image/png", false },
        { ".jpg", "image/jpeg", false },
        { ".gif", "image/gif", false },
        { ".pdf", "application/pdf", false },
        { ".txt", "text/plain; charset=", true },
        { ".html", "text/html; charset=", true },
        { ".htm", "text/html; charset=", true },
        { ".css", "text/css", false },
        { ".js", "text/javascript", false },
        { ".svg", "image/svg+xml", false },
        { ".woff", "font/woff", false },
        { ".woff2", "font/woff2", false },
        { ".ttf", "application/x-font-ttf", false },
        { ".eot", "application/vnd.ms-fontobject", false },
        { ".otf", "application/font-otf", false },
        { ".json", "application/json", false },
        { ".zip", "application/zip", false },
        { ".xml", "text/xml", false },
    };
    for (const auto &t : types) {
        if (fileName.endsWith(t.ending))
            return t.withCharset ? QByteArray(t.type) + charset : QByteArray(t.type);
    }
    return QByteArray();
}

} // namespace tarsel
