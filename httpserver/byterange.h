#pragma once

#include <QByteArray>
#include <QDateTime>

namespace tarsel {

class HttpRequest;

// The bytes of a representation of a known size that a request asks for with "Range". One range
// of bytes is served ("bytes=a-b", "bytes=a-", "bytes=-n"); a missing, malformed or
// multi-range header, or an "If-Range" whose validator does not match, asks for the whole.
struct ByteRange
{
    enum Kind { Whole, Partial, Unsatisfiable };

    Kind kind = Whole;
    qint64 first = 0;
    // Inclusive, as in "Content-Range".
    qint64 last = -1;

    qint64 length() const { return last - first + 1; }
    // "bytes a-b/size" for a partial answer, "bytes */size" for an unsatisfiable one.
    QByteArray contentRange(qint64 size) const;

    static ByteRange fromHeader(const QByteArray &header, qint64 size);
    // The range of request for a representation with the strong entity tag etag (quoted) and
    // the time lastModified: "If-Range" decides whether "Range" counts at all.
    static ByteRange forRequest(
        const HttpRequest &request, qint64 size, const QByteArray &etag, const QDateTime &lastModified);
};

// A time as HTTP writes it: "Sun, 06 Nov 1994 08:49:37 GMT".
QByteArray httpDate(const QDateTime &time);

} // namespace tarsel
