#include "httprequest.h"

#include "httpserver/httpcookie.h"
#include "httpserver/httprequesthandler.h"

#include <QDebug>
#include <QSettings>
#include <QTcpSocket>
#include <QTemporaryFile>

#include <cctype>
#include <cstring>
#include <limits>

namespace tarsel {

namespace {

// Lines of a part's header block are held in memory up to this length; longer ones are cut.
constexpr int partLineLimit = 65536;

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
    qDeleteAll(m_uploadedDevices);
    discardPart();
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
    if (!m_boundary.isEmpty()) {
        readMultipartBody(socket);
        return;
    }
    const QByteArray data = socket->read(m_expectedBodySize - m_bodyData.size());
    m_currentSize += data.size();
    m_bodyData.append(data);
    if (m_bodyData.size() >= m_expectedBodySize)
        m_status = Complete;
}

void HttpRequest::readMultipartBody(QTcpSocket *socket)
{
    if (m_delimiter.isEmpty()) {
        m_delimiter = "\r\n--" + m_boundary;
        // The body's first boundary line has no CR LF before it: one in front lets the search
        // treat it like every other delimiter, and the preamble is a part without a name.
        m_multipartBuffer = "\r\n";
    }

    // All the socket has buffered at once: when that is one block of its buffer, Qt hands the
    // block over without copying it.
    QByteArray block = socket->read(qMin(m_expectedBodySize - m_multipartBytes, socket->bytesAvailable()));
    m_multipartBytes += block.size();
    joinBlock(std::move(block));

    if (m_multipartBytes >= m_maxMultiPartSize) {
        qWarning("HttpRequest: received too many multipart bytes");
        m_status = Aborted;
        return;
    }
    const bool bodyEnds = m_multipartBytes >= m_expectedBodySize;
    m_multipartBuffer.remove(0, parseMultipartBuffer(bodyEnds));
    if (m_status != WaitingForBody || !bodyEnds)
        return;

    // Whatever is left belongs to a part cut off before its boundary: it is not kept.
    discardPart();
    m_multipartBuffer.clear();
    m_status = Complete;
}

// In a file's data, the bytes kept from the previous block are only those that might begin a
// delimiter. Unless a delimiter does span the two blocks, they are handed on as data and the
// new block is parsed where it lies instead of being copied behind them.
void HttpRequest::joinBlock(QByteArray &&block)
{
    const int keptSize = m_multipartBuffer.size();
    const int delimiterSize = m_delimiter.size();
    if (keptSize > 0 && m_multipartState == PartData && !m_atDataStart && keptSize < delimiterSize
        && block.size() >= delimiterSize) {
        const QByteArray seam = m_multipartBuffer + block.left(delimiterSize - 1);
        if (!seam.contains(m_delimiter)) {
            appendPartData(m_multipartBuffer.constData(), keptSize);
            m_multipartBuffer.clear();
        }
    }
    if (m_multipartBuffer.isEmpty())
        m_multipartBuffer = std::move(block);
    else
        m_multipartBuffer.append(block);
}

int HttpRequest::parseMultipartBuffer(bool bodyEnds)
{
    const char *const data = m_multipartBuffer.constData();
    const int size = m_multipartBuffer.size();
    const int delimiterSize = m_delimiter.size();
    int pos = 0;
    while (m_status == WaitingForBody && pos < size) {
        if (m_multipartState == Epilogue)
            return size;

        if (m_multipartState == PartData) {
            if (m_atDataStart) {
                // A boundary line straight after the header block, without the CR LF of an
                // empty value: the part has no data at all.
                const int boundaryLineSize = delimiterSize - 2;
                const int compared = qMin(size - pos, boundaryLineSize);
                if (memcmp(data + pos, m_delimiter.constData() + 2, size_t(compared)) != 0) {
                    m_atDataStart = false;
                } else if (compared < boundaryLineSize) {
                    return pos;
                } else {
                    pos += boundaryLineSize;
                    endPart(true);
                    m_multipartState = DelimiterLine;
                    continue;
                }
            }
            const void *found = memmem(data + pos, size_t(size - pos), m_delimiter.constData(), size_t(delimiterSize));
            if (!found) {
                // The last bytes may begin a delimiter that the next read completes.
                const int safe = bodyEnds ? 0 : size - pos - (delimiterSize - 1);
                if (safe > 0) {
                    appendPartData(data + pos, safe);
                    pos += safe;
                }
                return pos;
            }
            const int at = int(static_cast<const char *>(found) - data);
            appendPartData(data + pos, at - pos);
            pos = at + delimiterSize;
            endPart(false);
            m_multipartState = DelimiterLine;
            continue;
        }

        // The rest of a delimiter line, or a line of a part's header block.
        const void *newline = memchr(data + pos, '\n', size_t(size - pos));
        int lineEnd;
        if (newline) {
            lineEnd = int(static_cast<const char *>(newline) - data) + 1;
        } else if (size - pos >= partLineLimit) {
            // An overlong line is taken in pieces rather than held in memory.
            lineEnd = pos + partLineLimit;
        } else {
            return pos;
        }
        const QByteArray line = QByteArray::fromRawData(data + pos, lineEnd - pos);
        pos = lineEnd;
        if (m_multipartState == DelimiterLine) {
            // "--" right after the boundary closes the body; anything else starts a part.
            if (line.startsWith("--")) {
                m_multipartState = Epilogue;
            } else {
                m_fieldName.clear();
                m_fileName.clear();
                m_multipartState = PartHeader;
            }
        } else {
            readPartHeaderLine(line.trimmed());
        }
    }
    return pos;
}

void HttpRequest::readPartHeaderLine(const QByteArray &line)
{
    if (line.isEmpty()) {
        beginPartData();
        return;
    }
    if (!line.startsWith("Content-Disposition:"))
        return;
    if (!line.contains("form-data")) {
        qDebug("HttpRequest: ignoring unsupported content part %s", line.constData());
        return;
    }
    const int start = line.indexOf(" name=\"");
    const int end = start >= 0 ? line.indexOf('"', start + 7) : -1;
    if (end >= 0)
        m_fieldName = line.mid(start + 7, end - start - 7);
    const int fileStart = line.indexOf(" filename=\"");
    const int fileEnd = fileStart >= 0 ? line.indexOf('"', fileStart + 11) : -1;
    if (fileEnd >= 0)
        m_fileName = line.mid(fileStart + 11, fileEnd - fileStart - 11);
}

void HttpRequest::beginPartData()
{
    m_multipartState = PartData;
    m_atDataStart = true;
    m_fieldValue.clear();
    if (m_fieldName.isEmpty() || m_fileName.isEmpty())
        return;
    if (m_uploadHandler)
        m_partDevice = m_uploadHandler->uploadDevice(*this, m_fieldName);
    if (m_partDevice)
        return;
    m_partFile = new QTemporaryFile;
    if (!m_partFile->open()) {
        qCritical("HttpRequest: error writing temp file, %s", qPrintable(m_partFile->errorString()));
        m_status = Aborted;
    }
}

void HttpRequest::appendPartData(const char *data, qint64 size)
{
    if (size <= 0)
        return;
    m_atDataStart = false;
    if (m_fieldName.isEmpty()) {
        // The preamble and parts without a name are dropped.
        return;
    }
    if (m_fileName.isEmpty()) {
        m_currentSize += size;
        m_fieldValue.append(data, int(size));
        return;
    }
    QIODevice *target = m_partDevice ? m_partDevice : m_partFile;
    if (target->write(data, size) != size) {
        // A file missing some of its bytes must not reach a controller as if it were whole.
        qCritical("HttpRequest: error writing temp file, %s", qPrintable(target->errorString()));
        m_status = Aborted;
    }
}

void HttpRequest::endPart(bool withoutData)
{
    if (m_fieldName.isEmpty()) {
        discardPart();
        return;
    }
    if (m_fileName.isEmpty()) {
        m_parameters.insert(m_fieldName, m_fieldValue);
        qDebug("HttpRequest: set parameter %s=%s", m_fieldName.constData(), m_fieldValue.constData());
        m_fieldValue.clear();
        return;
    }
    if (withoutData) {
        qWarning("HttpRequest: format error, unexpected end of file data");
        discardPart();
        return;
    }
    m_parameters.insert(m_fieldName, m_fileName);
    qDebug("HttpRequest: set parameter %s=%s", m_fieldName.constData(), m_fileName.constData());
    // A repeated field name replaces the earlier file, which must not stay behind.
    forgetUpload(m_fieldName);
    if (m_partDevice) {
        m_uploadedDevices.insert(m_fieldName, m_partDevice);
        m_partDevice = nullptr;
        return;
    }
    if (!m_partFile->flush()) {
        qCritical("HttpRequest: error writing temp file, %s", qPrintable(m_partFile->errorString()));
        m_status = Aborted;
        return;
    }
    m_partFile->seek(0);
    m_uploadedFiles.insert(m_fieldName, m_partFile);
    qDebug("HttpRequest: uploaded file size is %lli", m_partFile->size());
    m_partFile = nullptr;
}

void HttpRequest::discardPart()
{
    delete m_partFile;
    m_partFile = nullptr;
    delete m_partDevice;
    m_partDevice = nullptr;
    m_fieldValue.clear();
}

void HttpRequest::forgetUpload(const QByteArray &fieldName)
{
    delete m_uploadedFiles.take(fieldName);
    delete m_uploadedDevices.take(fieldName);
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

QIODevice *HttpRequest::uploadedDevice(const QByteArray &fieldName) const
{
    return m_uploadedDevices.value(fieldName);
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
