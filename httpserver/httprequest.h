#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QMultiMap>

class QIODevice;
class QSettings;
class QTcpSocket;
class QTemporaryFile;

namespace tarsel {

class HttpRequestHandler;

// Incremental parser of one HTTP/1.x request. The connection handler calls readFromSocket()
// while bytes are available until the status is Complete or Aborted. Multipart bodies are
// parsed as they arrive: each file part streams into a temporary file of its own that the
// request owns and removes when it is destroyed, unless the upload handler supplies a device of
// its own for the part; other fields are kept in memory. Every count and size a client controls
// is bounded (see the limits below); a request beyond one is Aborted with errorStatus() 413 or 431.
class HttpRequest
{
    Q_DISABLE_COPY(HttpRequest)

public:
    enum RequestStatus {
        WaitingForRequestLine = 0,
        WaitingForHeader = 1,
        WaitingForBody = 2,
        Complete = 3,
        Aborted = 4
    };

    // Header lines of one request (continuation lines not counted).
    static constexpr int maxHeaderCount = 100;
    // Parts of one multipart body, preamble included.
    static constexpr int maxParts = 2000;
    // File parts of one multipart body.
    static constexpr int maxFileParts = 16;
    // One multipart field without a file name, and all of them together (field and file names
    // included).
    static constexpr int maxTextFieldSize = 1024 * 1024;
    static constexpr int maxTextFieldsSize = 4 * 1024 * 1024;

    // Reads "maxRequestSize" and "maxMultiPartSize" from settings.
    explicit HttpRequest(const QSettings *settings);
    // The same limits given as values, read from the settings once for many requests.
    HttpRequest(qint64 maxRequestSize, qint64 maxMultiPartSize);
    virtual ~HttpRequest();

    // The handler asked where each multipart file part goes (HttpRequestHandler::uploadDevice);
    // without one, every file part goes to a temporary file.
    void setUploadHandler(HttpRequestHandler *handler) { m_uploadHandler = handler; }

    void readFromSocket(QTcpSocket *socket);
    // The same for bytes from any device (a buffer in tests and fuzzing); the peer address stays
    // null.
    void readFromDevice(QIODevice *device);

    RequestStatus status() const { return m_status; }
    // The status code that answers an Aborted request: 400 malformed, 413 body or multipart limit,
    // 431 request line or header limit, 500 the server could not store an upload.
    int errorStatus() const { return m_errorStatus; }
    QByteArray method() const { return m_method; }
    // Path without the query, url-decoded.
    QByteArray path() const;
    // Path without the query, as sent.
    QByteArray rawPath() const { return m_path; }
    QByteArray version() const { return m_version; }

    // Header names are matched ignoring case; the last value received wins.
    QByteArray header(const QByteArray &name) const;
    QList<QByteArray> headers(const QByteArray &name) const;
    QMultiMap<QByteArray, QByteArray> headerMap() const { return m_headers; }

    // Parameter names are matched exactly; the last value received wins.
    QByteArray parameter(const QByteArray &name) const;
    QList<QByteArray> parameters(const QByteArray &name) const;
    QMultiMap<QByteArray, QByteArray> parameterMap() const { return m_parameters; }

    // Body of a non-multipart request, unless it went to a device (bodyDevice()).
    QByteArray body() const { return m_bodyData; }
    // The device the upload handler supplied for a body that is not multipart
    // (HttpRequestHandler::bodyDevice), with the bytes of the body received so far written to
    // it; null if none. Owned by the request.
    QIODevice *bodyDevice() const { return m_bodyDevice; }
    // The size of the body as its header announced it.
    qint64 announcedBodySize() const { return m_expectedBodySize; }
    // Bytes of the body still to come.
    qint64 bodyBytesLeft() const;
    // While a multipart body arrives: room for up to *size of its next bytes, to be filled by
    // the caller (straight from the socket, without a copy through Qt's buffers) and handed to
    // bodyBytesArrived(). Null when the request takes no body bytes this way.
    char *bodySpace(qint64 *size);
    // size bytes were placed at bodySpace(), which is invalid from then on; they are parsed.
    void bodyBytesArrived(qint64 size);
    // size bytes of the body went to the body device's file by another way than the request
    // (FileBodyDevice); the request is complete with the last of them.
    void bodyBytesMoved(qint64 size);

    QByteArray cookie(const QByteArray &name) const;
    QMap<QByteArray, QByteArray> &cookieMap() { return m_cookies; }
    const QMap<QByteArray, QByteArray> &cookieMap() const { return m_cookies; }

    // The open temporary file of a multipart file field, positioned at 0 when first asked for;
    // null if none. Owned by the request. Stored parts hold no descriptor until asked for.
    QTemporaryFile *uploadedFile(const QByteArray &fieldName) const;
    // The device the upload handler supplied for a multipart file field, with all of the part's
    // data written to it; null if none. Owned by the request.
    QIODevice *uploadedDevice(const QByteArray &fieldName) const;

    QHostAddress peerAddress() const { return m_peerAddress; }

    // "+" becomes a space, then each valid %XX becomes its byte (decoded bytes are not rescanned).
    static QByteArray urlDecode(const QByteArray &source);

private:
    void abort(int status, const char *reason);
    bool readLine(QIODevice *device, QByteArray *line);
    void readRequestLine(QIODevice *device);
    void readHeader(QIODevice *device);
    void commitHeader();
    void readBody(QIODevice *device);
    void completeBody();
    void readMultipartBody(QIODevice *device);
    void takeMultipartBytes(qint64 size);
    int parseMultipartBuffer(bool bodyEnds);
    int delimiterFollows(int afterDelimiter, bool bodyEnds) const;
    void readPartHeaderLine(const QByteArray &line);
    void beginPartData();
    void appendPartData(const char *data, qint64 size);
    void endPart(bool withoutData);
    void discardPart();
    void forgetUpload(const QByteArray &fieldName);
    void decodeQuery(const QByteArray &query);
    void decodeRequestParams();
    void extractCookies();

    RequestStatus m_status = WaitingForRequestLine;
    int m_errorStatus = 0;
    QByteArray m_method;
    QByteArray m_path;
    QByteArray m_version;
    QHostAddress m_peerAddress;
    QMultiMap<QByteArray, QByteArray> m_headers;
    QMultiMap<QByteArray, QByteArray> m_parameters;
    // Stored file parts by field name: their paths, and the files reopened for the handler.
    QMap<QByteArray, QString> m_uploadedPaths;
    mutable QMap<QByteArray, QTemporaryFile *> m_uploadedFiles;
    QMap<QByteArray, QIODevice *> m_uploadedDevices;
    HttpRequestHandler *m_uploadHandler = nullptr;
    QMap<QByteArray, QByteArray> m_cookies;
    QByteArray m_bodyData;
    QIODevice *m_bodyDevice = nullptr;
    qint64 m_bodyDeviceBytes = 0;
    // The query's parameters are known before the body when it is not multipart.
    bool m_queryDecoded = false;
    // Sizes are 64-bit: the application allows multipart bodies of several GiB.
    qint64 m_maxSize = 16000;
    qint64 m_maxMultiPartSize = 1000000;
    qint64 m_currentSize = 0;
    qint64 m_expectedBodySize = 0;
    // The header being received: continuation lines extend it before it joins the map.
    QByteArray m_currentHeader;
    QByteArray m_currentValue;
    int m_headerCount = 0;
    QByteArray m_boundary;
    QByteArray m_lineBuffer;

    // Where the multipart parser stands: in a part's data (or the preamble, a part without a
    // name), on the rest of a delimiter line, in a part's header block, or after the last part.
    enum MultipartState { PartData, DelimiterLine, PartHeader, Epilogue };
    MultipartState m_multipartState = PartData;
    // Body bytes received but not yet handed on (the tail that may begin a delimiter split
    // across two reads, or an unfinished line), the first m_multipartFill bytes of the buffer;
    // the rest of it is room for the next read.
    QByteArray m_multipartBuffer;
    int m_multipartFill = 0;
    // "\r\n--" + boundary: the CR LF before a boundary line belongs to the delimiter.
    QByteArray m_delimiter;
    qint64 m_multipartBytes = 0;
    bool m_atDataStart = false;
    QByteArray m_fieldName;
    QByteArray m_fileName;
    QByteArray m_fieldValue;
    qint64 m_textFieldsSize = 0;
    int m_partCount = 0;
    int m_filePartCount = 0;
    // The file part being received, in a temporary file or in the upload handler's device (one
    // of the two); it only joins the uploaded files at its boundary.
    QTemporaryFile *m_partFile = nullptr;
    QIODevice *m_partDevice = nullptr;
};

} // namespace tarsel
