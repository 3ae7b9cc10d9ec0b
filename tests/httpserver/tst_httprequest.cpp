#include "httpserver/httprequest.h"
#include "httpserver/httprequesthandler.h"
#include "tests/httpserver/testhandler.h"
#include "tests/support/loopbackpair.h"
#include "tests/support/openfiles.h"
#include "tests/support/testmain.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <memory>

using tarsel::HttpRequest;

Q_DECLARE_METATYPE(HttpRequest::RequestStatus)

namespace {

// A loopback connection whose server side feeds HttpRequest parsers, as the connection handler
// does: readFromSocket while bytes are available and the request is not finished.
class Feeder
{
public:
    Feeder()
        : pair(testsupport::connectLoopbackPair())
    {
    }
    ~Feeder()
    {
        delete pair.client;
        delete pair.server;
    }
    bool isValid() const { return pair.client != nullptr; }

    void send(const QByteArray &data) { pair.client->write(data); }

    // Parses until the request is finished, or until everything sent is consumed and nothing
    // more arrives.
    std::unique_ptr<HttpRequest> parse(const QSettings *settings, tarsel::HttpRequestHandler *uploadHandler = nullptr)
    {
        auto request = std::make_unique<HttpRequest>(settings);
        request->setUploadHandler(uploadHandler);
        QElapsedTimer clock;
        clock.start();
        const auto finished = [&request] {
            return request->status() == HttpRequest::Complete || request->status() == HttpRequest::Aborted;
        };
        while (!finished() && clock.elapsed() < 20000) {
            if (pair.client->bytesToWrite() > 0)
                pair.client->waitForBytesWritten(5);
            if (pair.server->bytesAvailable() == 0 && !pair.server->waitForReadyRead(20)
                && pair.client->bytesToWrite() == 0)
                break;
            while (pair.server->bytesAvailable() > 0 && !finished())
                request->readFromSocket(pair.server);
        }
        return request;
    }

    // Sends data and lets the parser take all of it before anything more is sent, so that one of
    // the parser's reads ends exactly where data ends.
    void feed(HttpRequest *request, const QByteArray &data)
    {
        pair.client->write(data);
        while (pair.client->bytesToWrite() > 0 && pair.client->waitForBytesWritten(5000)) { }
        while (pair.server->bytesAvailable() < data.size() && pair.server->waitForReadyRead(5000)) { }
        while (pair.server->bytesAvailable() > 0 && request->status() != HttpRequest::Complete
            && request->status() != HttpRequest::Aborted)
            request->readFromSocket(pair.server);
    }

    testsupport::LoopbackPair pair;
};

QByteArray multipartBody(const QByteArray &boundary, const QByteArray &fileData)
{
    return "--" + boundary
        + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a.bin\"\r\n"
          "Content-Type: application/octet-stream\r\n\r\n"
        + fileData + "\r\n--" + boundary + "--\r\n";
}

QByteArray multipartRequest(const QByteArray &contentTypeBoundary, const QByteArray &body)
{
    return "POST /upload HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=" + contentTypeBoundary
        + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray filePart(
    const QByteArray &boundary, const QByteArray &field, const QByteArray &fileName, const QByteArray &data)
{
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + field + "\"; filename=\"" + fileName
        + "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + data + "\r\n";
}

QByteArray fieldPart(const QByteArray &boundary, const QByteArray &field, const QByteArray &value)
{
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + field + "\"\r\n\r\n" + value + "\r\n";
}

QByteArray randomBytes(int size)
{
    QRandomGenerator generator(size);
    QByteArray data(size, Qt::Uninitialized);
    for (char &c : data)
        c = char(generator.bounded(256));
    return data;
}

const QByteArray splitBoundary = "boundary";
// File data with bytes that begin like the delimiter, and a CR LF of its own at the end.
const QByteArray splitFileData = "\r\n--boun\r\r\n--boundarc\n--boundary\r\n";

QByteArray splitBody()
{
    return fieldPart(splitBoundary, "note", "a\r\n--boundar") + filePart(splitBoundary, "file", "s.bin", splitFileData)
        + fieldPart(splitBoundary, "last", "z") + "--" + splitBoundary + "--\r\n";
}

// Supplies a buffer of its own for every file part, or none, and notes what the request knew
// when it asked.
class DeviceHandler : public tarsel::HttpRequestHandler
{
public:
    QIODevice *uploadDevice(const HttpRequest &request, const QByteArray &fieldName) override
    {
        askedFor.append(fieldName);
        noteWhenAsked = request.parameter("note");
        if (!supply)
            return nullptr;
        device = new QBuffer;
        device->open(writable ? QIODevice::WriteOnly : QIODevice::ReadOnly);
        return device;
    }

    QIODevice *bodyDevice(const HttpRequest &request) override
    {
        askedFor.append("body");
        noteWhenAsked = request.parameter("note");
        if (!supply)
            return nullptr;
        device = new QBuffer;
        device->open(QIODevice::WriteOnly);
        return device;
    }

    bool supply = true;
    bool writable = true;
    QList<QByteArray> askedFor;
    QByteArray noteWhenAsked;
    QPointer<QBuffer> device;
};

} // namespace

class TestHttpRequest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void decodesPathAndParameters();
    void urlDecodes_data();
    void urlDecodes();
    void joinsContinuationLines_data();
    void joinsContinuationLines();
    void refusesRequestsBeyondLimits_data();
    void refusesRequestsBeyondLimits();
    void storedFilePartsHoldNoDescriptor();
    void abortsBrokenRequestLine_data();
    void abortsBrokenRequestLine();
    void enforcesSizeLimits_data();
    void enforcesSizeLimits();
    void readsContentLengthAs64Bit_data();
    void readsContentLengthAs64Bit();
    void bodyWithoutContentLengthIsNextRequest();
    void decodesFormBody();
    void parsesMultipartForm();
    void removesTempFilesWithRequest();
    void findsBoundarySplitAcrossReads_data();
    void findsBoundarySplitAcrossReads();
    void keepsDataThatLooksLikeBoundary_data();
    void keepsDataThatLooksLikeBoundary();
    void handlesEmptyParts_data();
    void handlesEmptyParts();
    void parsesManyFields();
    void streamsEachFileToItsOwnTempFile();
    void dropsFilePartCutOffBeforeBoundary();
    void abortsWhenUploadCannotBeStored();
    void writesFilePartsToTheHandlersDevice_data();
    void writesFilePartsToTheHandlersDevice();
    void writesABodyToTheHandlersDevice_data();
    void writesABodyToTheHandlersDevice();
    void extractsCookies();
    void readsLinesLongerThanOneRead_data();
    void readsLinesLongerThanOneRead();
    void takesBodyBytesPlacedByTheCaller_data();
    void takesBodyBytesPlacedByTheCaller();

private:
    QTemporaryDir tempDir;
    httptest::TestSettings defaults;
};

void TestHttpRequest::initTestCase()
{
    // Uploads go to the system temporary folder; a private one shows what is left behind.
    QVERIFY(tempDir.isValid());
    qputenv("TMPDIR", tempDir.path().toLocal8Bit());
    QCOMPARE(QDir::tempPath(), QDir(tempDir.path()).canonicalPath());
}

void TestHttpRequest::decodesPathAndParameters()
{
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send("GET /a%20b+c?x=1&x=2&y HTTP/1.1\r\nHost: h\r\n\r\n");
    const auto request = feeder.parse(defaults.settings());
    QCOMPARE(request->status(), HttpRequest::Complete);
    QCOMPARE(request->method(), QByteArray("GET"));
    QCOMPARE(request->path(), QByteArray("/a b c"));
    QCOMPARE(request->rawPath(), QByteArray("/a%20b+c"));
    QCOMPARE(request->version(), QByteArray("HTTP/1.1"));
    QCOMPARE(request->parameter("x"), QByteArray("2"));
    QCOMPARE(request->parameters("x"), (QList<QByteArray> { "2", "1" }));
    QVERIFY(request->parameterMap().contains("y"));
    QCOMPARE(request->parameter("y"), QByteArray());
    QCOMPARE(request->parameter("X"), QByteArray());
    QCOMPARE(request->header("HOST"), QByteArray("h"));
    QCOMPARE(request->peerAddress(), QHostAddress(QHostAddress::LocalHost));
}

void TestHttpRequest::urlDecodes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("decoded");
    QTest::addRow("hex pair") << QByteArray("%41%62") << QByteArray("Ab");
    QTest::addRow("plus is space") << QByteArray("a+b") << QByteArray("a b");
    QTest::addRow("decoded percent not decoded again") << QByteArray("%2541") << QByteArray("%41");
    QTest::addRow("invalid pair stays") << QByteArray("%zz%4") << QByteArray("%zz%4");
    QTest::addRow("trailing percent") << QByteArray("100%") << QByteArray("100%");
    QTest::addRow("sign is not hex") << QByteArray("%-1") << QByteArray("%-1");
    QTest::addRow("utf-8 bytes") << QByteArray("%E4%B8%AD") << QByteArray("\xE4\xB8\xAD");
}

void TestHttpRequest::urlDecodes()
{
    QFETCH(QByteArray, text);
    QTEST(HttpRequest::urlDecode(text), "decoded");
}

void TestHttpRequest::joinsContinuationLines_data()
{
    QTest::addColumn<int>("continuations");
    QTest::addRow("one") << 1;
    // Each continuation extends the one value in place (it once added a copy of the whole value).
    QTest::addRow("2000") << 2000;
}

void TestHttpRequest::joinsContinuationLines()
{
    QFETCH(int, continuations);
    QByteArray lines;
    QByteArray value = "one";
    for (int i = 0; i < continuations; ++i) {
        lines += " two\r\n";
        value += " two";
    }
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send("GET / HTTP/1.1\r\nX-A: one\r\n" + lines + "x-b: 1\r\nX-B: 2\r\n\r\n");
    const auto request = feeder.parse(defaults.settings());
    QCOMPARE(request->status(), HttpRequest::Complete);
    QCOMPARE(request->headers("x-a"), QList<QByteArray> { value });
    QCOMPARE(request->header("X-B"), QByteArray("2"));
    QCOMPARE(request->headers("x-b"), (QList<QByteArray> { "2", "1" }));
}

void TestHttpRequest::refusesRequestsBeyondLimits_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("errorStatus");

    QByteArray headers;
    for (int i = 0; i <= HttpRequest::maxHeaderCount; ++i)
        headers += "X-" + QByteArray::number(i) + ": 1\r\n";
    QTest::addRow("too many headers") << QByteArray("GET / HTTP/1.1\r\n" + headers + "\r\n") << 431;
    QTest::addRow("header block too large")
        << QByteArray("GET / HTTP/1.1\r\nX: " + QByteArray(16001, 'p') + "\r\n\r\n") << 431;
    QTest::addRow("broken request line") << QByteArray("GET /\r\n\r\n") << 400;

    const QByteArray b = "b";
    QTest::addRow("text field too large")
        << multipartRequest(b, fieldPart(b, "t", QByteArray(HttpRequest::maxTextFieldSize + 1, 't')) + "--b--\r\n")
        << 413;
    QByteArray fields;
    for (int i = 0; i <= HttpRequest::maxTextFieldsSize / HttpRequest::maxTextFieldSize; ++i)
        fields += fieldPart(b, "t" + QByteArray::number(i), QByteArray(HttpRequest::maxTextFieldSize - 100, 't'));
    QTest::addRow("text fields too large together") << multipartRequest(b, fields + "--b--\r\n") << 413;
    QByteArray parts;
    for (int i = 0; i <= HttpRequest::maxParts; ++i)
        parts += fieldPart(b, "p", "1");
    QTest::addRow("too many parts") << multipartRequest(b, parts + "--b--\r\n") << 413;
    QByteArray files;
    for (int i = 0; i <= HttpRequest::maxFileParts; ++i)
        files += filePart(b, "f" + QByteArray::number(i), "f.bin", "x");
    QTest::addRow("too many file parts") << multipartRequest(b, files + "--b--\r\n") << 413;
}

void TestHttpRequest::refusesRequestsBeyondLimits()
{
    QFETCH(QByteArray, raw);
    httptest::TestSettings settings({ { "maxMultiPartSize", 100000000 } });
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send(raw);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^HttpRequest: "));
    const auto request = feeder.parse(settings.settings());
    QCOMPARE(request->status(), HttpRequest::Aborted);
    QTEST(request->errorStatus(), "errorStatus");
    QCOMPARE(testsupport::openFilesBelow(QDir::tempPath()).size(), 0);
}

void TestHttpRequest::storedFilePartsHoldNoDescriptor()
{
    QByteArray body;
    for (int i = 0; i < HttpRequest::maxFileParts; ++i)
        body += filePart("b", "f" + QByteArray::number(i), "f.bin", QByteArray::number(i));
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send(multipartRequest("b", body + "--b--\r\n"));
    const auto request = feeder.parse(defaults.settings());
    QCOMPARE(request->status(), HttpRequest::Complete);
    QCOMPARE(testsupport::openFilesBelow(QDir::tempPath()).size(), 0);
    QCOMPARE(QDir(QDir::tempPath()).entryList(QDir::Files).size(), HttpRequest::maxFileParts);
    // A file asked for is opened again, with its data.
    QTemporaryFile *file = request->uploadedFile("f7");
    QVERIFY(file);
    QCOMPARE(file->readAll(), QByteArray("7"));
    QCOMPARE(testsupport::openFilesBelow(QDir::tempPath()).size(), 1);
}

void TestHttpRequest::abortsBrokenRequestLine_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addRow("two words") << QByteArray("GET /\r\n\r\n");
    QTest::addRow("no HTTP version") << QByteArray("GET / FOO\r\n\r\n");
    QTest::addRow("four parts") << QByteArray("GET /  HTTP/1.1\r\n\r\n");
}

void TestHttpRequest::abortsBrokenRequestLine()
{
    QFETCH(QByteArray, raw);
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send(raw);
    QTest::ignoreMessage(QtWarningMsg, "HttpRequest: received broken HTTP request, invalid first line");
    QCOMPARE(feeder.parse(defaults.settings())->status(), HttpRequest::Aborted);
}

void TestHttpRequest::enforcesSizeLimits_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<HttpRequest::RequestStatus>("status");
    QTest::addColumn<int>("fileSize");

    // Request line, headers and plain body all count against 16000 bytes.
    const QByteArray line = "GET / HTTP/1.1\r\n";
    const auto headerOnly = [&line](int total) {
        const int pad = total - line.size() - 5 - 2;
        return line + "X: " + QByteArray(pad, 'p') + "\r\n\r\n";
    };
    QTest::addRow("headers of 16000 bytes") << headerOnly(16000) << HttpRequest::Complete << -1;
    QTest::addRow("headers of 16001 bytes") << headerOnly(16001) << HttpRequest::Aborted << -1;

    const auto withBody = [](int total) {
        const QByteArray head = "POST / HTTP/1.1\r\nContent-Type: text/plain\r\nContent-Length: 00000\r\n\r\n";
        const int bodySize = total - head.size();
        QByteArray request = head;
        request.replace("00000", QByteArray::number(bodySize).rightJustified(5, '0'));
        return request + QByteArray(bodySize, 'b');
    };
    QTest::addRow("body up to 16000 bytes") << withBody(16000) << HttpRequest::Complete << -1;
    QTest::addRow("body up to 16001 bytes") << withBody(16001) << HttpRequest::Aborted << -1;

    // A multipart body is held to 1000000 bytes, whatever its lines look like.
    const QByteArray boundary = "XyZ";
    const int overhead = multipartBody(boundary, QByteArray()).size();
    QTest::addRow("multipart body of 999999 bytes")
        << multipartRequest(boundary, multipartBody(boundary, randomBytes(999999 - overhead))) << HttpRequest::Complete
        << 999999 - overhead;
    QTest::addRow("multipart body of 1000000 bytes")
        << multipartRequest(boundary, multipartBody(boundary, randomBytes(1000000 - overhead))) << HttpRequest::Aborted
        << -1;
    QTest::addRow("multipart announced above limit")
        << multipartRequest(boundary, multipartBody(boundary, randomBytes(1000001 - overhead))) << HttpRequest::Aborted
        << -1;
}

void TestHttpRequest::enforcesSizeLimits()
{
    QFETCH(QByteArray, raw);
    QFETCH(HttpRequest::RequestStatus, status);
    QFETCH(int, fileSize);

    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send(raw);
    const auto request = feeder.parse(defaults.settings());
    QCOMPARE(request->status(), status);
    if (fileSize >= 0) {
        QTemporaryFile *file = request->uploadedFile("file");
        QVERIFY(file);
        QCOMPARE(file->pos(), 0);
        QCOMPARE(file->readAll(), randomBytes(fileSize));
        QCOMPARE(request->parameter("file"), QByteArray("a.bin"));
    }
}

void TestHttpRequest::readsContentLengthAs64Bit_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<HttpRequest::RequestStatus>("status");

    // Beyond 32 bits the real value counts: a plain body that large is refused, a multipart one
    // within the 5 GiB limit is awaited; neither is taken as a request without a body.
    QTest::addRow("plain 3000000000") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 3000000000\r\n\r\n")
                                      << HttpRequest::Aborted;
    QTest::addRow("multipart 3000000000")
        << QByteArray("POST / HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=b\r\n"
                      "Content-Length: 3000000000\r\n\r\n")
        << HttpRequest::WaitingForBody;
    QTest::addRow("multipart above 5 GiB")
        << QByteArray("POST / HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=b\r\n"
                      "Content-Length: 5368709121\r\n\r\n")
        << HttpRequest::Aborted;
    QTest::addRow("beyond 64 bits") << QByteArray("POST / HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=b\r\n"
                                                  "Content-Length: 99999999999999999999999\r\n\r\n")
                                    << HttpRequest::Aborted;
    QTest::addRow("not a number") << QByteArray("POST / HTTP/1.1\r\nContent-Length: abc\r\n\r\n")
                                  << HttpRequest::Complete;
}

void TestHttpRequest::readsContentLengthAs64Bit()
{
    QFETCH(QByteArray, head);
    httptest::TestSettings settings({ { "maxMultiPartSize", Q_INT64_C(5368709120) } });
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send(head);
    QTEST(feeder.parse(settings.settings())->status(), "status");
}

void TestHttpRequest::bodyWithoutContentLengthIsNextRequest()
{
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send("POST /p HTTP/1.1\r\nHost: h\r\n\r\nGET /next?q=1 HTTP/1.1\r\n\r\n");
    const auto first = feeder.parse(defaults.settings());
    QCOMPARE(first->status(), HttpRequest::Complete);
    QCOMPARE(first->body(), QByteArray());
    const auto second = feeder.parse(defaults.settings());
    QCOMPARE(second->status(), HttpRequest::Complete);
    QCOMPARE(second->path(), QByteArray("/next"));
    QCOMPARE(second->parameter("q"), QByteArray("1"));
}

void TestHttpRequest::decodesFormBody()
{
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send("POST /f?a=q HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 17\r\n\r\n"
                "a=b+c&d=%C3%A9&e=");
    const auto request = feeder.parse(defaults.settings());
    QCOMPARE(request->status(), HttpRequest::Complete);
    QCOMPARE(request->body(), QByteArray("a=b+c&d=%C3%A9&e="));
    QCOMPARE(request->parameters("a"), (QList<QByteArray> { "b c", "q" }));
    QCOMPARE(request->parameter("d"), QByteArray("\xC3\xA9"));
    QVERIFY(request->parameterMap().contains("e"));
}

void TestHttpRequest::parsesMultipartForm()
{
    const QByteArray boundary = "----b;1";
    const QByteArray fileData = "line one\r\n\r\nline three\r\n--not the boundary\r\nend";
    const QByteArray body = "--" + boundary
        + "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhello world\r\n--" + boundary
        + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"x y.txt\"\r\nContent-Type: text/plain\r\n\r\n"
        + fileData + "\r\n--" + boundary + "--\r\n";
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send(multipartRequest("\"" + boundary + "\"", body));
    const auto request = feeder.parse(defaults.settings());
    QCOMPARE(request->status(), HttpRequest::Complete);
    QCOMPARE(request->parameter("note"), QByteArray("hello world"));
    QCOMPARE(request->parameter("file"), QByteArray("x y.txt"));
    QCOMPARE(request->body(), QByteArray());
    QTemporaryFile *file = request->uploadedFile("file");
    QVERIFY(file);
    QCOMPARE(file->pos(), 0);
    QCOMPARE(file->readAll(), fileData);
    QVERIFY(!request->uploadedFile("note"));
}

void TestHttpRequest::removesTempFilesWithRequest()
{
    const QDir temp(QDir::tempPath());
    QVERIFY(temp.entryList(QDir::Files).isEmpty());
    QString uploadName;
    {
        Feeder feeder;
        QVERIFY(feeder.isValid());
        feeder.send(multipartRequest("b", multipartBody("b", "data")));
        const auto request = feeder.parse(defaults.settings());
        QCOMPARE(request->status(), HttpRequest::Complete);
        QVERIFY(request->uploadedFile("file"));
        uploadName = request->uploadedFile("file")->fileName();
        QVERIFY(QFile::exists(uploadName));
        QVERIFY(temp.entryList(QDir::Files).contains(QFileInfo(uploadName).fileName()));
    }
    QVERIFY(!QFile::exists(uploadName));
    QCOMPARE(temp.entryList(QDir::Files), QStringList());
}

void TestHttpRequest::findsBoundarySplitAcrossReads_data()
{
    QTest::addColumn<int>("split");
    // Every offset of the body, so the cut falls once inside each delimiter, each header line
    // and the data that only looks like a delimiter.
    const int size = splitBody().size();
    for (int split = 1; split < size; ++split)
        QTest::addRow("split at %d", split) << split;
}

void TestHttpRequest::findsBoundarySplitAcrossReads()
{
    QFETCH(int, split);
    const QByteArray body = splitBody();
    const QByteArray raw = multipartRequest(splitBoundary, body);
    const int headSize = raw.size() - body.size();

    Feeder feeder;
    QVERIFY(feeder.isValid());
    HttpRequest request(defaults.settings());
    feeder.feed(&request, raw.left(headSize + split));
    QCOMPARE(request.status(), HttpRequest::WaitingForBody);
    feeder.feed(&request, raw.mid(headSize + split));
    QCOMPARE(request.status(), HttpRequest::Complete);
    QCOMPARE(request.parameter("note"), QByteArray("a\r\n--boundar"));
    QCOMPARE(request.parameter("file"), QByteArray("s.bin"));
    QCOMPARE(request.parameter("last"), QByteArray("z"));
    QTemporaryFile *file = request.uploadedFile("file");
    QVERIFY(file);
    QCOMPARE(file->readAll(), splitFileData);
}

void TestHttpRequest::keepsDataThatLooksLikeBoundary_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("padding"); // on the real boundary lines
    QTest::addRow("boundary prefix before the delimiter") << QByteArray("abc\r\n--bou") << QByteArray();
    QTest::addRow("boundary prefix then other bytes") << QByteArray("\r\n--boundarX\r\n--boundar") << QByteArray();
    QTest::addRow("boundary after LF only")
        << QByteArray("x\n--boundary\r\nContent-Disposition: form-data\r\n") << QByteArray();
    QTest::addRow("boundary without line break") << QByteArray("x--boundary--\r\n") << QByteArray();
    QTest::addRow("CR LF before the delimiter belongs to it") << QByteArray("line\r\n") << QByteArray();
    QTest::addRow("only CR LF") << QByteArray("\r\n") << QByteArray();
    QTest::addRow("CR LF CR LF") << QByteArray("\r\n\r\n") << QByteArray();
    QTest::addRow("lone CR before the delimiter") << QByteArray("a\r") << QByteArray();
    // Long data crosses the socket's reads; the prefixes sit on and around the likely edges.
    QByteArray big = randomBytes(2200000);
    for (const int at : { 65530, 65536 * 2 - 3, 65536 * 3, 1048576 - 5, 1048576 * 2 - 1 })
        big.replace(at, 11, "\r\n--bounda\r");
    QTest::addRow("prefixes at block edges") << big << QByteArray();
    // The boundary counts only when CR LF or "--" follow it.
    QTest::addRow("boundary then other bytes") << QByteArray("a\r\n--boundaryX\r\nb") << QByteArray();
    QTest::addRow("boundary then a lone dash") << QByteArray("\r\n--boundary-x") << QByteArray();
    QTest::addRow("boundary then CR alone") << QByteArray("\r\n--boundary\rx") << QByteArray();
    QTest::addRow("boundary at the start then other bytes") << QByteArray("--boundaryZ") << QByteArray();
    QByteArray falseDelimiters = randomBytes(300000);
    for (const int at : { 0, 65530, 65536 * 2 - 7, 200000 })
        falseDelimiters.replace(at, 14, "\r\n--boundary\r-");
    QTest::addRow("boundary then other bytes at block edges") << falseDelimiters << QByteArray();
    // Spaces and tabs after a boundary are padding only when the line ends after them.
    QTest::addRow("boundary then a space") << QByteArray("a\r\n--boundary b") << QByteArray();
    QTest::addRow("boundary then a tab") << QByteArray("a\r\n--boundary\tfollowing data") << QByteArray();
    QTest::addRow("boundary then padding, CR alone") << QByteArray("\r\n--boundary \t\rx") << QByteArray();
    QTest::addRow("boundary then padding beyond its limit")
        << "\r\n--boundary" + QByteArray(1025, ' ') + "\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\n"
        << QByteArray();
    // Transport padding after a boundary, before the line end, does not change where a part ends.
    const QByteArray padded = "file data\r\n--boundar";
    QTest::addRow("padding: space") << padded << QByteArray(" ");
    QTest::addRow("padding: tabs and spaces") << padded << QByteArray("\t \t  ");
    QTest::addRow("padding of the largest length") << padded << QByteArray(1024, '\t');
}

void TestHttpRequest::keepsDataThatLooksLikeBoundary()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, padding);
    QByteArray body = filePart("boundary", "file", "f.bin", data) + fieldPart("boundary", "after", "1") + "--boundary--"
        + padding + "\r\n";
    body.replace("--boundary\r\n", "--boundary" + padding + "\r\n");
    httptest::TestSettings settings({ { "maxMultiPartSize", 10000000 } });
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send(multipartRequest("boundary", body));
    const auto request = feeder.parse(settings.settings());
    QCOMPARE(request->status(), HttpRequest::Complete);
    QTemporaryFile *file = request->uploadedFile("file");
    QVERIFY(file);
    QCOMPARE(file->size(), data.size());
    QCOMPARE(file->readAll(), data);
    QCOMPARE(request->parameter("after"), QByteArray("1"));
}

void TestHttpRequest::handlesEmptyParts_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("fileParameter");
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<QByteArray>("warning");

    const QByteArray end = fieldPart("b", "note", "n") + "--b--\r\n";
    QTest::addRow("empty file") << filePart("b", "file", "e.txt", QByteArray()) + end << QByteArray("e.txt") << 0
                                << QByteArray();
    // What a browser sends for a file input left empty: a field with an empty value.
    QTest::addRow("no file chosen") << filePart("b", "file", QByteArray(), QByteArray()) + end << QByteArray() << -1
                                    << QByteArray();
    QTest::addRow("boundary straight after the part header")
        << QByteArray("--b\r\nContent-Disposition: form-data; name=\"file\"; filename=\"x\"\r\n\r\n--b\r\n") + end
        << QByteArray() << -1 << QByteArray("HttpRequest: format error, unexpected end of file data");
    QTest::addRow("part without a name")
        << QByteArray("--b\r\nContent-Disposition: form-data; filename=\"x\"\r\n\r\ndropped\r\n") + end << QByteArray()
        << -1 << QByteArray();
}

void TestHttpRequest::handlesEmptyParts()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, warning);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, warning.constData());
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send(multipartRequest("b", body));
    const auto request = feeder.parse(defaults.settings());
    QCOMPARE(request->status(), HttpRequest::Complete);
    QTEST(request->parameter("file"), "fileParameter");
    QCOMPARE(request->parameter("note"), QByteArray("n"));
    QTemporaryFile *file = request->uploadedFile("file");
    QFETCH(int, fileSize);
    QCOMPARE(file ? int(file->size()) : -1, fileSize);
    // Only an uploaded file stays on disk while the request lives.
    QCOMPARE(testsupport::openFilesBelow(QDir::tempPath()).size(), fileSize >= 0 ? 1 : 0);
}

void TestHttpRequest::parsesManyFields()
{
    QByteArray body;
    for (int i = 0; i < 1000; ++i)
        body += fieldPart("-x-", "f" + QByteArray::number(i), QByteArray::number(i * 7));
    body += fieldPart("-x-", "f0", "again") + "--" + "-x-" + "--\r\n";
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send(multipartRequest("-x-", body));
    const auto request = feeder.parse(defaults.settings());
    QCOMPARE(request->status(), HttpRequest::Complete);
    QCOMPARE(request->parameterMap().size(), 1001);
    for (int i = 1; i < 1000; ++i)
        QCOMPARE(request->parameter("f" + QByteArray::number(i)), QByteArray::number(i * 7));
    QCOMPARE(request->parameters("f0"), (QList<QByteArray> { "again", "0" }));
}

void TestHttpRequest::streamsEachFileToItsOwnTempFile()
{
    httptest::TestSettings settings({ { "maxMultiPartSize", 10000000 } });
    const QByteArray first = randomBytes(2000000);
    const QByteArray second = randomBytes(1500001);
    const QByteArray body = filePart("zz", "a", "1.bin", first) + filePart("zz", "b", "2.bin", second)
        + filePart("zz", "a", "3.bin", "replaces 1.bin") + "--zz--\r\n";
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send(multipartRequest("zz", body));
    const auto request = feeder.parse(settings.settings());
    QCOMPARE(request->status(), HttpRequest::Complete);
    QCOMPARE(request->uploadedFile("b")->readAll(), second);
    QCOMPARE(request->uploadedFile("a")->readAll(), QByteArray("replaces 1.bin"));
    QCOMPARE(request->parameters("a"), (QList<QByteArray> { "3.bin", "1.bin" }));
    // The replaced file is gone already; nothing but the two uploads is on disk.
    QCOMPARE(testsupport::openFilesBelow(QDir::tempPath()).size(), 2);
}

void TestHttpRequest::dropsFilePartCutOffBeforeBoundary()
{
    // "content-length" ends the body inside the second file's data.
    const QByteArray body
        = filePart("b", "kept", "k.bin", "whole") + filePart("b", "file", "c.bin", randomBytes(200000));
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send(multipartRequest("b", body.left(body.size() - 1000)));
    const auto request = feeder.parse(defaults.settings());
    QCOMPARE(request->status(), HttpRequest::Complete);
    QVERIFY(!request->uploadedFile("file"));
    QCOMPARE(request->parameter("file"), QByteArray());
    QCOMPARE(request->uploadedFile("kept")->readAll(), QByteArray("whole"));
    QCOMPARE(testsupport::openFilesBelow(QDir::tempPath()).size(), 1);
}

void TestHttpRequest::abortsWhenUploadCannotBeStored()
{
    // A file that cannot be stored whole is refused rather than handed on cut short.
    // A folder where no file can be created, even by root.
    const QByteArray temp = qgetenv("TMPDIR");
    qputenv("TMPDIR", "/proc");
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^HttpRequest: error writing temp file, "));
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send(multipartRequest("b", multipartBody("b", "data")));
    const auto request = feeder.parse(defaults.settings());
    qputenv("TMPDIR", temp);
    QCOMPARE(request->status(), HttpRequest::Aborted);
}

void TestHttpRequest::writesABodyToTheHandlersDevice_data()
{
    QTest::addColumn<bool>("supply");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<int>("errorStatus");
    QTest::addRow("device supplied, beyond maxRequestSize") << true << 3000001 << true << 0;
    QTest::addRow("device supplied, small") << true << 100 << true << 0;
    QTest::addRow("handler declines, small: in memory") << false << 100 << true << 0;
    QTest::addRow("handler declines, beyond maxRequestSize") << false << 3000001 << true << 413;
    QTest::addRow("beyond the multipart limit: not asked") << true << 10000001 << false << 413;
}

void TestHttpRequest::writesABodyToTheHandlersDevice()
{
    QFETCH(bool, supply);
    QFETCH(int, size);
    QFETCH(bool, asked);
    QFETCH(int, errorStatus);
    httptest::TestSettings settings({ { "maxMultiPartSize", 10000000 } });
    const QByteArray data = randomBytes(size);
    if (errorStatus)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^HttpRequest: expected .*body is too large"));

    DeviceHandler handler;
    handler.supply = supply;
    Feeder feeder;
    QVERIFY(feeder.isValid());
    // The parameters of the query are known when the handler is asked.
    feeder.send("POST /upload?note=query HTTP/1.1\r\nContent-Type: application/octet-stream\r\nContent-Length: "
        + QByteArray::number(size) + "\r\n\r\n" + (errorStatus ? QByteArray() : data));
    auto request = feeder.parse(settings.settings(), &handler);

    QCOMPARE(handler.askedFor, asked ? QList<QByteArray> { "body" } : QList<QByteArray>());
    if (asked)
        QCOMPARE(handler.noteWhenAsked, QByteArray("query"));
    if (errorStatus) {
        QCOMPARE(request->status(), HttpRequest::Aborted);
        QCOMPARE(request->errorStatus(), errorStatus);
        return;
    }
    QCOMPARE(request->status(), HttpRequest::Complete);
    QCOMPARE(request->parameter("note"), QByteArray("query"));
    if (!supply) {
        QVERIFY(request->body() == data);
        return;
    }
    QVERIFY(request->body().isEmpty());
    QCOMPARE(request->bodyDevice(), handler.device.data());
    QVERIFY(handler.device->data() == data);
}

void TestHttpRequest::writesFilePartsToTheHandlersDevice_data()
{
    QTest::addColumn<bool>("supply");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<bool>("cutOff");
    QTest::addRow("device supplied") << true << true << false;
    QTest::addRow("handler declines: temporary file") << false << true << false;
    QTest::addRow("device that cannot be written") << true << false << false;
    QTest::addRow("part cut off before its boundary") << true << true << true;
}

void TestHttpRequest::writesFilePartsToTheHandlersDevice()
{
    QFETCH(bool, supply);
    QFETCH(bool, writable);
    QFETCH(bool, cutOff);
    httptest::TestSettings settings({ { "maxMultiPartSize", 10000000 } });
    // Long enough to arrive in many reads.
    const QByteArray data = randomBytes(3000001);
    QByteArray body = fieldPart("b", "note", "before") + filePart("b", "file", "f.bin", data);
    body = cutOff ? body.left(body.size() - 10) : body + fieldPart("b", "after", "1") + "--b--\r\n";
    if (!writable) {
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): ReadOnly device");
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^HttpRequest: error writing temp file, "));
    }

    DeviceHandler handler;
    handler.supply = supply;
    handler.writable = writable;
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send(multipartRequest("b", body));
    auto request = feeder.parse(settings.settings(), &handler);

    // Asked once, for the file part, knowing the field sent before it.
    QCOMPARE(handler.askedFor, QList<QByteArray> { "file" });
    QCOMPARE(handler.noteWhenAsked, QByteArray("before"));
    if (!writable) {
        QCOMPARE(request->status(), HttpRequest::Aborted);
        request.reset();
        QVERIFY(!handler.device);
        return;
    }
    QCOMPARE(request->status(), HttpRequest::Complete);
    if (cutOff) {
        // A part that never ended is not handed on, and its device is gone with it.
        QVERIFY(!handler.device);
        QVERIFY(!request->uploadedDevice("file"));
        QVERIFY(!request->uploadedFile("file"));
        return;
    }
    QCOMPARE(request->parameter("file"), QByteArray("f.bin"));
    QCOMPARE(request->parameter("after"), QByteArray("1"));
    if (!supply) {
        QVERIFY(!request->uploadedDevice("file"));
        QVERIFY(request->uploadedFile("file")->readAll() == data);
        return;
    }
    QVERIFY(handler.device);
    QCOMPARE(request->uploadedDevice("file"), handler.device.data());
    QVERIFY(!request->uploadedFile("file"));
    QCOMPARE(handler.device->data().size(), data.size());
    QVERIFY(handler.device->data() == data);
    // Nothing of the part went to a temporary file; the device goes with the request.
    QCOMPARE(testsupport::openFilesBelow(QDir::tempPath()).size(), 0);
    request.reset();
    QVERIFY(!handler.device);
}

void TestHttpRequest::extractsCookies()
{
    Feeder feeder;
    QVERIFY(feeder.isValid());
    feeder.send("GET / HTTP/1.1\r\nCookie: a=1; b=\"x;y\"\r\nCookie: c; a=2\r\n\r\n");
    const auto request = feeder.parse(defaults.settings());
    QCOMPARE(request->status(), HttpRequest::Complete);
    QCOMPARE(request->cookie("b"), QByteArray("x;y"));
    QVERIFY(request->cookieMap().contains("c"));
    // The last header line is taken first, so the earlier line's value wins.
    QCOMPARE(request->cookie("a"), QByteArray("1"));
    QCOMPARE(request->header("cookie"), QByteArray());
    QVERIFY(request->headers("cookie").isEmpty());
}

void TestHttpRequest::readsLinesLongerThanOneRead_data()
{
    QTest::addColumn<int>("valueSize");
    // A line is read in pieces of 4095 bytes: "X-Long: " and the value, then CR LF inside the
    // first piece, CR at its end and LF in the next, both in the next, and many pieces.
    for (const int size : { 10, 4085, 4086, 4087, 9000 })
        QTest::addRow("%d bytes", size) << size;
}

void TestHttpRequest::readsLinesLongerThanOneRead()
{
    QFETCH(int, valueSize);
    const QByteArray value(valueSize, 'v');
    QBuffer raw;
    raw.setData("GET /" + value + " HTTP/1.1\r\nX-Long: " + value + "\r\nX-After: 1\r\n\r\n");
    QVERIFY(raw.open(QIODevice::ReadOnly));
    HttpRequest request(100000, 100000);
    while (!raw.atEnd() && request.status() != HttpRequest::Complete && request.status() != HttpRequest::Aborted)
        request.readFromDevice(&raw);
    QCOMPARE(request.status(), HttpRequest::Complete);
    QCOMPARE(request.rawPath(), "/" + value);
    QCOMPARE(request.header("x-long"), value);
    QCOMPARE(request.header("x-after"), QByteArray("1"));
}

void TestHttpRequest::takesBodyBytesPlacedByTheCaller_data()
{
    QTest::addColumn<QByteArray>("fileData");
    QTest::addColumn<int>("pieceSize");
    // Delimiter prefixes on and around the edges of the pieces and of the growing buffer.
    QByteArray big = randomBytes(2500000);
    for (const int at : { 4090, 65530, 65536 * 2 - 3, 65536 * 3, 1048576 - 5, 1048576 * 2 - 1 })
        big.replace(at, 11, "\r\n--bounda\r");
    for (const int piece : { 1, 7, 4096, 65536, 1 << 20 })
        QTest::addRow("split file data, pieces of %d", piece) << splitFileData << piece;
    for (const int piece : { 4093, 65536, 1 << 21 })
        QTest::addRow("2.5 MB, pieces of %d", piece) << big << piece;
}

// The connection handler reads a multipart body from the socket straight into the request's
// room (bodySpace) in pieces of whatever size the socket has.
void TestHttpRequest::takesBodyBytesPlacedByTheCaller()
{
    QFETCH(QByteArray, fileData);
    QFETCH(int, pieceSize);
    const QByteArray body = fieldPart(splitBoundary, "note", "a\r\n--boundar")
        + filePart(splitBoundary, "file", "s.bin", fileData) + fieldPart(splitBoundary, "last", "z") + "--"
        + splitBoundary + "--\r\n";
    const QByteArray raw = multipartRequest(splitBoundary, body);
    QBuffer head;
    head.setData(raw.left(raw.size() - body.size()));
    QVERIFY(head.open(QIODevice::ReadOnly));
    HttpRequest request(16000, 10000000);
    while (!head.atEnd())
        request.readFromDevice(&head);
    QCOMPARE(request.status(), HttpRequest::WaitingForBody);

    int at = 0;
    qint64 room = 0;
    while (char *space = request.bodySpace(&room)) {
        QVERIFY(room > 0);
        const int size = int(qMin(qMin<qint64>(room, pieceSize), qint64(body.size() - at)));
        memcpy(space, body.constData() + at, size_t(size));
        request.bodyBytesArrived(size);
        at += size;
    }
    QCOMPARE(at, body.size());
    QCOMPARE(request.status(), HttpRequest::Complete);
    QCOMPARE(request.parameter("note"), QByteArray("a\r\n--boundar"));
    QCOMPARE(request.parameter("last"), QByteArray("z"));
    QTemporaryFile *file = request.uploadedFile("file");
    QVERIFY(file);
    QVERIFY(file->readAll() == fileData);
}

ORVEX_TEST_MAIN(TestHttpRequest)
#include "tst_httprequest.moc"
