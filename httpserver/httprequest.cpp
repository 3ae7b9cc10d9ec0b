#include "httprequest.h"

#include "httpserver/httpcookie.h"
#include "httpserver/httplogging.h"
#include "httpserver/httprequesthandler.h"

#include <QFile>
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
// Spaces and tabs allowed after a boundary before its line ends; more make it data, so that a
// run of them cannot keep the parser holding the bytes back.
constexpr int maxTransportPadding = 1024;
// A multipart body is read into a buffer of the request's that starts this large and doubles
// while reads fill it, up to the larger size.
constexpr int multipartBufferStart = 64 * 1024;
constexpr int multipartBufferMost = 1024 * 1024;

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
    : HttpRequest(settings->value("maxRequestSize", "16000").toLongLong(),
        settings->value("maxMultiPartSize", "1000000").toLongLong())
{
}

HttpRequest::HttpRequest(qint64 maxRequestSize, qint64 maxMultiPartSize)
    : m_maxSize(maxRequestSize)
    , m_maxMultiPartSize(maxMultiPartSize)
{
}

HttpRequest::~HttpRequest()
{
    const QList<QByteArray> fieldNames = m_uploadedPaths.keys();
    for (const QByteArray &fieldName : fieldNames)
        forgetUpload(fieldName);
    qDeleteAll(m_uploadedDevices);
    delete m_bodyDevice;
    discardPart();
}

void HttpRequest::readFromSocket(QTcpSocket *socket)
{
    if (m_status == WaitingForRequestLine)
        m_peerAddress = socket->peerAddress();
    readFromDevice(socket);
}

void HttpRequest::readFromDevice(QIODevice *device)
{
    const RequestStatus before = m_status;
    switch (m_status) {
    case WaitingForRequestLine:
        readRequestLine(device);
        break;
    case WaitingForHeader:
        readHeader(device);
        break;
    case WaitingForBody:
        readBody(device);
        break;
    default:
        break;
    }

    if (m_status == Aborted)
        return;
    if ((m_boundary.isEmpty() && !m_bodyDevice && m_currentSize > m_maxSize)
        || (!m_boundary.isEmpty() && m_currentSize > m_maxMultiPartSize)) {
        // Within the header block the limit is one on header fields; later it bounds the body.
        abort(before == WaitingForBody ? 413 : 431, "received too many bytes");
    } else if (m_status == Complete) {
        decodeRequestParams();
        extractCookies();
    }
}

void HttpRequest::abort(int status, const char *reason)
{
    qCWarning(lcHttp, "HttpRequest: %s", reason);
    m_status = Aborted;
    m_errorStatus = status;
}

bool HttpRequest::readLine(QIODevice *device, QByteArray *line)
{
    // One byte beyond the budget lets the size check notice an overlong line. A line longer
    // than the piece read at once arrives in several calls.
    char piece[4096];
    const qint64 budget = qMax<qint64>(m_maxSize - m_currentSize + 1, 1);
    // readLine() takes one more than the number of bytes it may return.
    const qint64 got = device->readLine(piece, qMin<qint64>(budget, sizeof piece - 1) + 1);
    if (got <= 0)
        return false;
    m_currentSize += got;
    // Each piece ends at the first LF: a line is complete when one ends with CR LF, also when
    // its CR came at the end of the piece before.
    const bool lineEnds = piece[got - 1] == '\n'
        && (got >= 2 ? piece[got - 2] == '\r' : m_lineBuffer.endsWith('\r'));
    if (m_lineBuffer.isEmpty() && lineEnds) {
        *line = QByteArray(piece, int(got)).trimmed();
        return true;
    }
    m_lineBuffer.append(piece, int(got));
    if (!lineEnds)
        return false;
    *line = m_lineBuffer.trimmed();
    m_lineBuffer.clear();
    return true;
}

void HttpRequest::readRequestLine(QIODevice *device)
{
    QByteArray line;
    if (!readLine(device, &line) || line.isEmpty())
        return;

    qCDebug(lcHttp, "HttpRequest: from %s: %s", qPrintable(m_peerAddress.toString()), line.constData());
    // Method, target and version, separated by single spaces.
    const int firstSpace = line.indexOf(' ');
    const int secondSpace = firstSpace >= 0 ? line.indexOf(' ', firstSpace + 1) : -1;
    if (secondSpace < 0 || line.indexOf(' ', secondSpace + 1) >= 0
        || line.indexOf("HTTP", secondSpace + 1) < 0) {
        abort(400, "received broken HTTP request, invalid first line");
        return;
    }
    m_method = line.left(firstSpace).trimmed();
    m_path = line.mid(firstSpace + 1, secondSpace - firstSpace - 1);
    m_version = line.mid(secondSpace + 1);
    m_status = WaitingForHeader;
}

void HttpRequest::readHeader(QIODevice *device)
{
    QByteArray line;
    if (!readLine(device, &line))
        return;

    const int colon = line.indexOf(':');
    if (colon > 0) {
        commitHeader();
        if (++m_headerCount > maxHeaderCount) {
            abort(431, "received too many header fields");
            return;
        }
        m_currentHeader = line.left(colon).toLower();
        m_currentValue = line.mid(colon + 1).trimmed();
        return;
    }
    if (!line.isEmpty()) {
        // A continuation line extends the value of the previous header, in place.
        if (!m_currentHeader.isEmpty())
            m_currentValue.append(' ').append(line);
        return;
    }

    // The empty line ends the header block.
    commitHeader();
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
    if (m_boundary.isEmpty()) {
        // The handler decides on a device for the body from the query and the headers.
        const int questionMark = m_path.indexOf('?');
        if (questionMark >= 0)
            decodeQuery(m_path.mid(questionMark + 1));
        m_queryDecoded = true;
        if (m_expectedBodySize > 0 && m_expectedBodySize <= m_maxMultiPartSize && m_uploadHandler)
            m_bodyDevice = m_uploadHandler->bodyDevice(*this);
    }

    if (m_expectedBodySize == 0) {
        m_status = Complete;
    } else if (m_bodyDevice) {
        // Within the multipart limit, checked above.
        m_status = WaitingForBody;
    } else if (!m_boundary.isEmpty()) {
        if (m_expectedBodySize > m_maxMultiPartSize) {
            abort(413, "expected multipart body is too large");
        } else {
            m_status = WaitingForBody;
        }
    } else if (m_expectedBodySize > m_maxSize - m_currentSize) {
        abort(413, "expected body is too large");
    } else {
        m_status = WaitingForBody;
    }
}

void HttpRequest::commitHeader()
{
    if (m_currentHeader.isEmpty())
        return;
    m_headers.insert(m_currentHeader, m_currentValue);
    m_currentHeader.clear();
    m_currentValue.clear();
}

void HttpRequest::readBody(QIODevice *device)
{
    if (!m_boundary.isEmpty()) {
        readMultipartBody(device);
        return;
    }
    if (m_bodyDevice) {
        // All the socket has buffered at once, as one block where Qt has it so.
        const QByteArray data = device->read(qMin(bodyBytesLeft(), device->bytesAvailable()));
        m_bodyDeviceBytes += data.size();
        if (m_bodyDevice->write(data) != data.size()) {
            // A body missing some of its bytes must not reach a controller as if it were whole.
            qCCritical(lcHttp, "HttpRequest: error writing the body, %s", qPrintable(m_bodyDevice->errorString()));
            m_status = Aborted;
            m_errorStatus = 500;
            return;
        }
        completeBody();
        return;
    }
    const QByteArray data = device->read(m_expectedBodySize - m_bodyData.size());
    m_currentSize += data.size();
    m_bodyData.append(data);
    if (m_bodyData.size() >= m_expectedBodySize)
        m_status = Complete;
}

qint64 HttpRequest::bodyBytesLeft() const
{
    if (m_status != WaitingForBody)
        return 0;
    return m_expectedBodySize - (m_bodyDevice ? m_bodyDeviceBytes : m_bodyData.size());
}

void HttpRequest::bodyBytesMoved(qint64 size)
{
    if (m_status != WaitingForBody || !m_bodyDevice || size < 0 || size > bodyBytesLeft())
        return;
    m_bodyDeviceBytes += size;
    completeBody();
    if (m_status == Complete) {
        decodeRequestParams();
        extractCookies();
    }
}

void HttpRequest::completeBody()
{
    if (m_bodyDeviceBytes >= m_expectedBodySize)
        m_status = Complete;
}

void HttpRequest::readMultipartBody(QIODevice *device)
{
    qint64 room = 0;
    char *space = bodySpace(&room);
    if (!space)
        return;
    const qint64 got = device->read(space, qMin(room, device->bytesAvailable()));
    if (got > 0)
        takeMultipartBytes(got);
}

char *HttpRequest::bodySpace(qint64 *size)
{
    *size = 0;
    if (m_status != WaitingForBody || m_boundary.isEmpty())
        return nullptr;
    if (m_delimiter.isEmpty()) {
        m_delimiter = "\r\n--" + m_boundary;
        // The body's first boundary line has no CR LF before it: one in front lets the search
        // treat it like every other delimiter, and the preamble is a part without a name.
        m_multipartBuffer.resize(int(qMin<qint64>(multipartBufferStart, 2 + m_expectedBodySize)));
        memcpy(m_multipartBuffer.data(), "\r\n", 2);
        m_multipartFill = 2;
    }
    const qint64 left = m_expectedBodySize - m_multipartBytes;
    // The bytes held back (the start of a delimiter, an unfinished header line) leave room for at
    // least a block more, or for the rest of the body.
    const qint64 wanted = qMin<qint64>(left, multipartBufferStart);
    if (m_multipartBuffer.size() - m_multipartFill < wanted)
        m_multipartBuffer.resize(int(m_multipartFill + wanted));
    *size = qMin<qint64>(left, m_multipartBuffer.size() - m_multipartFill);
    return m_multipartBuffer.data() + m_multipartFill;
}

void HttpRequest::bodyBytesArrived(qint64 size)
{
    qint64 room = 0;
    if (size <= 0 || !bodySpace(&room) || size > room)
        return;
    takeMultipartBytes(size);
    if (m_status == Complete) {
        decodeRequestParams();
        extractCookies();
    }
}

// size bytes arrived behind those held in the buffer: the parser hands on what it can and keeps
// the rest at the buffer's start. A read that filled all the room makes the buffer larger for
// the next one, up to multipartBufferMost: a fast sender is served with large reads and writes,
// a slow one holds little memory.
void HttpRequest::takeMultipartBytes(qint64 size)
{
    const bool filled = m_multipartFill + size == m_multipartBuffer.size();
    m_multipartFill += int(size);
    m_multipartBytes += size;

    if (m_multipartBytes >= m_maxMultiPartSize) {
        abort(413, "received too many multipart bytes");
        return;
    }
    const bool bodyEnds = m_multipartBytes >= m_expectedBodySize;
    const int used = parseMultipartBuffer(bodyEnds);
    if (m_status != WaitingForBody || bodyEnds) {
        // Whatever is left belongs to a part cut off before its boundary: it is not kept.
        if (m_status == WaitingForBody) {
            discardPart();
            m_status = Complete;
        }
        m_multipartBuffer = QByteArray();
        m_multipartFill = 0;
        return;
    }
    m_multipartFill -= used;
    if (used > 0 && m_multipartFill > 0)
        memmove(m_multipartBuffer.data(), m_multipartBuffer.constData() + used, size_t(m_multipartFill));
    if (filled && m_multipartBuffer.size() < multipartBufferMost)
        m_multipartBuffer.resize(int(qMin<qint64>(m_multipartBuffer.size() * 2, multipartBufferMost)));
}

// Whether the delimiter ending at afterDelimiter really is one: 1 when "--" follows it, or
// transport padding (spaces and tabs) and CR LF; -1 when other bytes do, 0 when the bytes that
// decide have not arrived yet. Padding may only come before the line end: a boundary followed by
// a space and more data is data.
int HttpRequest::delimiterFollows(int afterDelimiter, bool bodyEnds) const
{
    const char *const data = m_multipartBuffer.constData();
    const int size = m_multipartFill;
    if (afterDelimiter >= size)
        return bodyEnds ? 1 : 0;
    if (data[afterDelimiter] == '-') {
        if (afterDelimiter + 1 == size)
            return bodyEnds ? -1 : 0;
        return data[afterDelimiter + 1] == '-' ? 1 : -1;
    }
    int at = afterDelimiter;
    const int paddingEnd = qMin(size, afterDelimiter + maxTransportPadding + 1);
    while (at < paddingEnd && (data[at] == ' ' || data[at] == '\t'))
        ++at;
    if (at - afterDelimiter > maxTransportPadding)
        return -1;
    if (at == size)
        return bodyEnds ? -1 : 0;
    if (data[at] != '\r')
        return -1;
    if (at + 1 == size)
        return bodyEnds ? -1 : 0;
    return data[at + 1] == '\n' ? 1 : -1;
}

int HttpRequest::parseMultipartBuffer(bool bodyEnds)
{
    const char *const data = m_multipartBuffer.constData();
    const int size = m_multipartFill;
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
                const int follows
                    = compared < boundaryLineSize ? 0 : delimiterFollows(pos + boundaryLineSize, bodyEnds);
                if (memcmp(data + pos, m_delimiter.constData() + 2, size_t(compared)) != 0 || follows < 0) {
                    m_atDataStart = false;
                } else if (follows == 0) {
                    return pos;
                } else {
                    pos += boundaryLineSize;
                    endPart(true);
                    m_multipartState = DelimiterLine;
                    continue;
                }
            }
            int searchFrom = pos;
            int at = -1;
            int follows = -1;
            while (follows < 0) {
                const void *found = memmem(
                    data + searchFrom, size_t(size - searchFrom), m_delimiter.constData(), size_t(delimiterSize));
                if (!found)
                    break;
                at = int(static_cast<const char *>(found) - data);
                follows = delimiterFollows(at + delimiterSize, bodyEnds);
                // The boundary followed by anything but CR LF, "--" or padding is part of the data.
                searchFrom = at + 1;
            }
            if (follows <= 0) {
                // The last bytes may begin a delimiter that the next read completes.
                int safe = bodyEnds ? 0 : size - pos - (delimiterSize + 1);
                if (follows == 0)
                    safe = at - pos;
                if (safe > 0) {
                    appendPartData(data + pos, safe);
                    pos += safe;
                }
                return pos;
            }
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
            } else if (++m_partCount > maxParts) {
                abort(413, "received too many multipart parts");
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
        qCDebug(lcHttp, "HttpRequest: ignoring unsupported content part %s", line.constData());
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
    if (++m_filePartCount > maxFileParts) {
        abort(413, "received too many multipart file parts");
        return;
    }
    if (m_uploadHandler)
        m_partDevice = m_uploadHandler->uploadDevice(*this, m_fieldName);
    if (m_partDevice)
        return;
    m_partFile = new QTemporaryFile;
    if (!m_partFile->open()) {
        qCCritical(lcHttp, "HttpRequest: error writing temp file, %s", qPrintable(m_partFile->errorString()));
        m_status = Aborted;
        m_errorStatus = 500;
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
        m_textFieldsSize += size;
        if (m_fieldValue.size() + size > maxTextFieldSize || m_textFieldsSize > maxTextFieldsSize) {
            abort(413, "received too large a multipart field");
            return;
        }
        m_fieldValue.append(data, int(size));
        return;
    }
    QIODevice *target = m_partDevice ? m_partDevice : m_partFile;
    if (!target || target->write(data, size) != size) {
        // A file missing some of its bytes must not reach a controller as if it were whole.
        qCCritical(
            lcHttp, "HttpRequest: error writing temp file, %s", target ? qPrintable(target->errorString()) : "no file");
        m_status = Aborted;
        m_errorStatus = 500;
    }
}

void HttpRequest::endPart(bool withoutData)
{
    if (m_fieldName.isEmpty()) {
        discardPart();
        return;
    }
    m_textFieldsSize += m_fieldName.size() + m_fileName.size();
    if (m_textFieldsSize > maxTextFieldsSize) {
        abort(413, "received too large multipart fields");
        return;
    }
    if (m_fileName.isEmpty()) {
        m_parameters.insert(m_fieldName, m_fieldValue);
        // The value may be a key or a text the user sent (a password, say): its size only.
        qCDebug(lcHttp, "HttpRequest: set parameter %s (%lli bytes)", m_fieldName.constData(),
            static_cast<long long>(m_fieldValue.size()));
        m_fieldValue.clear();
        return;
    }
    if (withoutData) {
        qCWarning(lcHttp, "HttpRequest: format error, unexpected end of file data");
        discardPart();
        return;
    }
    m_parameters.insert(m_fieldName, m_fileName);
    qCDebug(lcHttp, "HttpRequest: set parameter %s=%s", m_fieldName.constData(), m_fileName.constData());
    // A repeated field name replaces the earlier file, which must not stay behind.
    forgetUpload(m_fieldName);
    if (m_partDevice) {
        m_uploadedDevices.insert(m_fieldName, m_partDevice);
        m_partDevice = nullptr;
        return;
    }
    if (!m_partFile->flush()) {
        qCCritical(lcHttp, "HttpRequest: error writing temp file, %s", qPrintable(m_partFile->errorString()));
        m_status = Aborted;
        m_errorStatus = 500;
        return;
    }
    qCDebug(lcHttp, "HttpRequest: uploaded file size is %lli", m_partFile->size());
    // A stored part keeps its file but not its descriptor: many parts must not exhaust them.
    // uploadedFile() opens it again; the request removes it.
    m_partFile->setAutoRemove(false);
    m_uploadedPaths.insert(m_fieldName, m_partFile->fileName());
    delete m_partFile;
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
    // A reopened file removes itself; one never asked for is removed here.
    const QString path = m_uploadedPaths.take(fieldName);
    if (QTemporaryFile *file = m_uploadedFiles.take(fieldName))
        delete file;
    else if (!path.isEmpty())
        QFile::remove(path);
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
    if (m_queryDecoded)
        query.clear();
    if (!m_bodyData.isEmpty()
        && (contentType.isEmpty() || contentType.startsWith("application/x-www-form-urlencoded"))) {
        if (query.isEmpty())
            query = m_bodyData;
        else
            query.append('&').append(m_bodyData);
    }
    decodeQuery(query);
}

void HttpRequest::decodeQuery(const QByteArray &query)
{
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
    if (QTemporaryFile *file = m_uploadedFiles.value(fieldName))
        return file;
    const QString path = m_uploadedPaths.value(fieldName);
    if (path.isEmpty())
        return nullptr;
    auto *file = new QTemporaryFile;
    file->setFileName(path);
    if (!file->open()) {
        qCCritical(lcHttp, "HttpRequest: cannot open temp file again, %s", qPrintable(file->errorString()));
        file->setAutoRemove(false);
        delete file;
        return nullptr;
    }
    m_uploadedFiles.insert(fieldName, file);
    return file;
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
