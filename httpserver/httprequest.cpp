#include "httprequest.h"

#include "httpserver/httpcookie.h"

#include <QDebug>
#include <QSettings>
#include <QTcpSocket>
#include <QTemporaryFile>

#include <cctype>
#include <limits>

namespace tarsel {

namespace {

// Multipart bodies stream to disk in blocks of this size; part lines are read at most this long.
constexpr qint64 multipartBlockSize = 65536;

// "content-length" as its real 64-bit value; text that is not a number counts as no body.
// A number beyond 64 bits is held at the largest value, which every limit refuses.
qint64 parseContentLength(const QByteArray &text)
{
    const QByteArray digits = text.trimmed();
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok);
    if (ok)
        return value > qulonglong(std::numeric_limits<qint64>::max()) ? std::numeric_limits<qint64>::max()
                                                                      : qint64(value);
    bool allDigits = !digits.isEmpty();
    for (const char c : digits)
        allDigits = allDigits && c >= '0' && c <= '9';
    return allDigits ? std::numeric_limits<qint64>::max() : 0;
}

} // namespace

HttpRequest::HttpRequest(const QSettings *settings)
{
    m_maxSize = settings->value("maxRequestSize", "16000").toLongLong();
    m_maxMultiPartSize = settings->value("maxMultiPartSize", "1000000").toLongLong();
}

HttpRequest::~HttpRequest()
{
    for (QTemporaryFile *file : qAsConst(m_uploadedFiles)) {
        if (file->isOpen())
            file->close();
        delete file;
    }
    if (m_tempFile) {
        if (m_tempFile->isOpen())
            m_tempFile->close();
        delete m_tempFile;
    }
}

void HttpRequest::readFromSocket(QTcpSocket *socket)
{
    switch (m_status) {
    case WaitingForRequestLine:
        readRequestLine(socket);
        break;
    case WaitingForHeader:
        readHeader(socket);
        break;
    case WaitingForBody:
        readBody(socket);
        break;
    default:
        break;
    }

    if ((m_boundary.isEmpty() && m_currentSize > m_maxSize)
        || (!m_boundary.isEmpty() && m_currentSize > m_maxMultiPartSize)) {
        qWarning("HttpRequest: received too many bytes");
        m_status = Aborted;
    } else if (m_status == Complete) {
        decodeRequestParams();
        extractCookies();
    }
}

bool HttpRequest::readLine(QTcpSocket *socket, QByteArray *line)
{
    // One byte beyond the budget lets the size check notice an overlong line. readLine() takes
    // one more than the number of bytes it may return.
    const qint64 budget = qMax<qint64>(m_maxSize - m_currentSize + 1, 1);
    const QByteArray data = socket->readLine(budget + 1);
    m_currentSize += data.size();
    m_lineBuffer.append(data);
    if (!m_lineBuffer.contains("\r\n"))
        return false;
    *line = m_lineBuffer.trimmed();
    m_lineBuffer.clear();
    return true;
}

void HttpRequest::readRequestLine(QTcpSocket *socket)
{
    QByteArray line;
    if (!readLine(socket, &line) || line.isEmpty())
        return;

    qDebug("HttpRequest: from %s: %s", qPrintable(socket->peerAddress().toString()), line.constData());
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || !parts.at(2).contains("HTTP")) {
        qWarning("HttpRequest: received broken HTTP request, invalid first line");
        m_status = Aborted;
        return;
    }
    m_method = parts.at(0).trimmed();
    m_path = parts.at(1);
    m_version = parts.at(2);
    m_peerAddress = socket->peerAddress();
    m_status = WaitingForHeader;
}

void HttpRequest::readHeader(QTcpSocket *socket)
{
    QByteArray line;
    if (!readLine(socket, &line))
        return;

    const int colon = line.indexOf(':');
    if (colon > 0) {
        m_currentHeader = line.left(colon).toLower();
        m_headers.insert(m_currentHeader, line.mid(colon + 1).trimmed());
        return;
    }
    if (!line.isEmpty()) {
        // A continuation line extends the latest value of the previous header.
        if (m_headers.contains(m_currentHeader))
            m_headers.insert(m_currentHeader, m_headers.value(m_currentHeader) + ' ' + line);
        return;
    }

    // The empty line ends the header block.
    const QByteArray contentType = m_headers.value("content-type");
    if (contentType.startsWith("multipart/form-data")) {
        const int posi = contentType.indexOf("boundary=");
        if (posi >= 0) {
            m_boundary = contentType.mid(posi + 9);
            if (m_boundary.size() >= 2 && m_boundary.startsWith('"') && m_boundary.endsWith('"'))
                m_boundary = m_boundary.mid(1, m_boundary.size() - 2);
        }
    }
    const QByteArray contentLength = m_headers.value("content-length");
    if (!contentLength.isEmpty())
        m_expectedBodySize = parseContentLength(contentLength);

    if (m_expectedBodySize == 0) {
        m_status = Complete;
    } else if (!m_boundary.isEmpty()) {
        if (m_expectedBodySize > m_maxMultiPartSize) {
            qWarning("HttpRequest: expected multipart body is too large");
            qDebug("HttpRequest: file too large");
            m_status = Aborted;
        } else {
            m_status = WaitingForBody;
        }
    } else if (m_expectedBodySize > m_maxSize - m_currentSize) {
        qWarning("HttpRequest: expected body is too large");
        m_status = Aborted;
    } else {
        m_status = WaitingForBody;
    }
}

void HttpRequest::readBody(QTcpSocket *socket)
{
    if (m_boundary.isEmpty()) {
        const QByteArray data = socket->read(m_expectedBodySize - m_bodyData.size());
        m_currentSize += data.size();
        m_bodyData.append(data);
        if (m_bodyData.size() >= m_expectedBodySize)
            m_status = Complete;
        return;
    }

    if (!m_tempFile)
        m_tempFile = new QTemporaryFile;
    if (!m_tempFile->isOpen())
        m_tempFile->open();

    const qint64 sizeBefore = m_tempFile->size();
    const qint64 toRead = qMin(m_expectedBodySize - sizeBefore, multipartBlockSize);
    const QByteArray data = socket->read(toRead);
    const qint64 written = m_tempFile->write(data);
    const qint64 fileSize = sizeBefore + qMax<qint64>(written, 0);
    if (written != data.size())
        qCritical("HttpRequest: Error writing temp file for multipart body");

    if (fileSize >= m_maxMultiPartSize) {
        qWarning("HttpRequest: received too many multipart bytes");
        m_status = Aborted;
    } else if (fileSize >= m_expectedBodySize) {
        m_tempFile->flush();
        if (m_tempFile->error() != QFileDevice::NoError)
            qCritical("HttpRequest: Error writing temp file for multipart body");
        parseMultiPartFile();
        m_tempFile->close();
        m_status = Complete;
    } else if (written != data.size()) {
        // The store cannot take the body, so the request can never complete.
        m_status = Aborted;
    }
}

void HttpRequest::decodeRequestParams()
{
    QByteArray query;
    const int questionMark = m_path.indexOf('?');
    if (questionMark >= 0) {
        query = m_path.mid(questionMark + 1);
        m_path = m_path.left(questionMark);
    }

    const QByteArray contentType = m_headers.value("content-type");
    if (!m_bodyData.isEmpty()
        && (contentType.isEmpty() || contentType.startsWith("application/x-www-form-urlencoded"))) {
        if (query.isEmpty())
            query = m_bodyData;
        else
            query.append('&').append(m_bodyData);
    }

    const QList<QByteArray> parts = query.split('&');
    for (const QByteArray &part : parts) {
        const int equals = part.indexOf('=');
        if (equals >= 0) {
            m_parameters.insert(urlDecode(part.left(equals).trimmed()), urlDecode(part.mid(equals + 1).trimmed()));
        } else if (!part.isEmpty()) {
            m_parameters.insert(urlDecode(part), QByteArray());
        }
    }
}

void HttpRequest::extractCookies()
{
    const QList<QByteArray> cookieHeaders = m_headers.values("cookie");
    for (const QByteArray &cookieHeader : cookieHeaders) {
        const QList<QByteArray> parts = HttpCookie::splitAttributeList(cookieHeader);
        for (const QByteArray &part : parts) {
            const int equals = part.indexOf('=');
            if (equals >= 0)
                m_cookies.insert(part.left(equals).trimmed(), part.mid(equals + 1).trimmed());
            else
                m_cookies.insert(part.trimmed(), QByteArray());
        }
    }
    m_headers.remove("cookie");
}

void HttpRequest::parseMultiPartFile()
{
    qDebug("HttpRequest: parsing multipart temp file");
    m_tempFile->seek(0);
    const QByteArray boundaryLine = "--" + m_boundary;
    const QByteArray finalMarker = m_boundary + "--";
    bool finished = false;
    const auto canRead
        = [&] { return !m_tempFile->atEnd() && !finished && m_tempFile->error() == QFileDevice::NoError; };

    while (canRead()) {
        QByteArray fieldName;
        QByteArray fileName;
        while (canRead()) {
            const QByteArray line = m_tempFile->readLine(multipartBlockSize).trimmed();
            if (line.isEmpty())
                break;
            if (!line.startsWith("Content-Disposition:"))
                continue;
            if (!line.contains("form-data")) {
                qDebug("HttpRequest: ignoring unsupported content part %s", line.constData());
                continue;
            }
            const int start = line.indexOf(" name=\"");
            const int end = start >= 0 ? line.indexOf('"', start + 7) : -1;
            if (end >= 0)
                fieldName = line.mid(start + 7, end - start - 7);
            const int fileStart = line.indexOf(" filename=\"");
            const int fileEnd = fileStart >= 0 ? line.indexOf('"', fileStart + 11) : -1;
            if (fileEnd >= 0)
                fileName = line.mid(fileStart + 11, fileEnd - fileStart - 11);
        }

        QTemporaryFile *uploadedFile = nullptr;
        QByteArray fieldValue;
        while (canRead()) {
            const QByteArray line = m_tempFile->readLine(multipartBlockSize);
            if (line.startsWith(boundaryLine)) {
                if (fileName.isEmpty() && !fieldName.isEmpty()) {
                    fieldValue.chop(2);
                    m_parameters.insert(fieldName, fieldValue);
                    qDebug("HttpRequest: set parameter %s=%s", fieldName.constData(), fieldValue.constData());
                } else if (!fileName.isEmpty() && !fieldName.isEmpty()) {
                    if (uploadedFile) {
                        uploadedFile->resize(qMax<qint64>(uploadedFile->size() - 2, 0));
                        uploadedFile->flush();
                        uploadedFile->seek(0);
                        m_parameters.insert(fieldName, fileName);
                        qDebug("HttpRequest: set parameter %s=%s", fieldName.constData(), fileName.constData());
                        // A repeated field name replaces the earlier file, which must not stay behind.
                        delete m_uploadedFiles.take(fieldName);
                        m_uploadedFiles.insert(fieldName, uploadedFile);
                        qDebug("HttpRequest: uploaded file size is %lli", uploadedFile->size());
                        uploadedFile = nullptr;
                    } else {
                        qWarning("HttpRequest: format error, unexpected end of file data");
                    }
                }
                if (line.contains(finalMarker))
                    finished = true;
                break;
            }
            if (fileName.isEmpty() && !fieldName.isEmpty()) {
                m_currentSize += line.size();
                fieldValue.append(line);
            } else if (!fileName.isEmpty() && !fieldName.isEmpty()) {
                if (!uploadedFile) {
                    uploadedFile = new QTemporaryFile;
                    uploadedFile->open();
                }
                uploadedFile->write(line);
                if (uploadedFile->error() != QFileDevice::NoError)
                    qCritical("HttpRequest: error writing temp file, %s", qPrintable(uploadedFile->errorString()));
            }
        }
        // A file part cut off before its boundary is not kept.
        delete uploadedFile;
    }

    if (m_tempFile->error() != QFileDevice::NoError)
        qCritical("HttpRequest: cannot read temp file, %s", qPrintable(m_tempFile->errorString()));
}

QByteArray HttpRequest::path() const
{
    return urlDecode(m_path);
}

QByteArray HttpRequest::header(const QByteArray &name) const
{
    return m_headers.value(name.toLower());
}

QList<QByteArray> HttpRequest::headers(const QByteArray &name) const
{
    return m_headers.values(name.toLower());
}

QByteArray HttpRequest::parameter(const QByteArray &name) const
{
    return m_parameters.value(name);
}

QList<QByteArray> HttpRequest::parameters(const QByteArray &name) const
{
    return m_parameters.values(name);
}

QByteArray HttpRequest::cookie(const QByteArray &name) const
{
    return m_cookies.value(name);
}

QTemporaryFile *HttpRequest::uploadedFile(const QByteArray &fieldName) const
{
    return m_uploadedFiles.value(fieldName);
}

QByteArray HttpRequest::urlDecode(const QByteArray &source)
{
    QByteArray buffer(source);
    buffer.replace('+', ' ');
    int percentChar = buffer.indexOf('%');
    while (percentChar >= 0) {
        if (percentChar + 2 < buffer.size() && isxdigit(uchar(buffer.at(percentChar + 1)))
            && isxdigit(uchar(buffer.at(percentChar + 2)))) {
            const char byteValue = char(buffer.mid(percentChar + 1, 2).toInt(nullptr, 16));
            buffer.replace(percentChar, 3, QByteArray(1, byteValue));
        }
        percentChar = buffer.indexOf('%', percentChar + 1);
    }
    return buffer;
}

} // namespace tarsel
