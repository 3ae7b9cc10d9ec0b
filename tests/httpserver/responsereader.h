#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>

// Splits the bytes a client received into HTTP responses, the way a browser frames them: by
// "Content-Length", by chunked transfer encoding, or by the end of the connection.
struct ParsedResponse
{
    int status = 0;
    QByteArray statusText;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QList<QByteArray> setCookies;
    QByteArray body;
    bool chunked = false;
    bool closeDelimited = false;
    int chunkCount = 0;

    QByteArray header(const QByteArray &name) const { return headers.value(name.toLower()); }
    bool hasHeader(const QByteArray &name) const { return headers.contains(name.toLower()); }
};

// Parses the first complete response at data[*offset] and advances *offset past it. A body
// without "Content-Length" and chunked encoding is complete only when the connection is closed.
// Returns false when the response is not complete yet.
inline bool readResponse(const QByteArray &data, bool connectionClosed, int *offset, ParsedResponse *response)
{
    const int headerEnd = data.indexOf("\r\n\r\n", *offset);
    if (headerEnd < 0)
        return false;
    ParsedResponse r;
    const QList<QByteArray> lines = data.mid(*offset, headerEnd - *offset).split('\n');
    const QByteArray statusLine = lines.first().trimmed();
    const int firstSpace = statusLine.indexOf(' ');
    const int secondSpace = statusLine.indexOf(' ', firstSpace + 1);
    if (firstSpace < 0 || secondSpace < 0)
        return false;
    r.status = statusLine.mid(firstSpace + 1, secondSpace - firstSpace - 1).toInt();
    r.statusText = statusLine.mid(secondSpace + 1);
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const int colon = line.indexOf(':');
        const QByteArray name = line.left(colon).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "set-cookie")
            r.setCookies.append(value);
        else
            r.headers.insert(name, value);
    }
    int pos = headerEnd + 4;
    if (r.hasHeader("Content-Length")) {
        const int length = r.header("Content-Length").toInt();
        if (data.size() - pos < length)
            return false;
        r.body = data.mid(pos, length);
        pos += length;
    } else if (r.header("Transfer-Encoding").toLower() == "chunked") {
        r.chunked = true;
        for (;;) {
            const int lineEnd = data.indexOf("\r\n", pos);
            if (lineEnd < 0)
                return false;
            bool ok = false;
            const int size = data.mid(pos, lineEnd - pos).toInt(&ok, 16);
            if (!ok)
                return false;
            pos = lineEnd + 2;
            if (data.size() - pos < size + 2)
                return false;
            if (size == 0) {
                pos += 2;
                break;
            }
            r.body += data.mid(pos, size);
            ++r.chunkCount;
            pos += size + 2;
        }
    } else {
        if (!connectionClosed)
            return false;
        r.closeDelimited = true;
        r.body = data.mid(pos);
        pos = data.size();
    }
    *offset = pos;
    *response = r;
    return true;
}
