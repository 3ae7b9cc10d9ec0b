// Feeds the HTTP request parser arbitrary bytes in arbitrary pieces, as a connection handler
// does: readFromDevice() while bytes are available and the request is not finished. Multipart
// file parts go to a handler's buffer or to temporary files, which are read back at the end.
#include "httpserver/httprequest.h"

#include "httpserver/httprequesthandler.h"

#include <QBuffer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>

namespace {

// Most inputs stay small; the parser's limits are the defaults of the settings.
constexpr size_t maxPieces = 64;

class BufferHandler : public tarsel::HttpRequestHandler
{
public:
    QIODevice *uploadDevice(const tarsel::HttpRequest &, const QByteArray &) override
    {
        auto *buffer = new QBuffer;
        buffer->open(QIODevice::WriteOnly);
        return buffer;
    }
};

QSettings *settings()
{
    // A settings file that does not exist: every limit has its default.
    static QTemporaryDir dir;
    static QSettings settings(dir.filePath(QStringLiteral("none.ini")), QSettings::IniFormat);
    return &settings;
}

bool finished(const tarsel::HttpRequest &request)
{
    return request.status() == tarsel::HttpRequest::Complete || request.status() == tarsel::HttpRequest::Aborted;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The parser's warnings would only slow the run down.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    const bool toTemporaryFiles = provider.ConsumeIntegralInRange<int>(0, 7) == 0;
    BufferHandler handler;
    tarsel::HttpRequest request(settings());
    if (!toTemporaryFiles)
        request.setUploadHandler(&handler);

    for (size_t piece = 0; piece < maxPieces && provider.remaining_bytes() > 0 && !finished(request); ++piece) {
        const size_t length = piece + 1 == maxPieces
            ? provider.remaining_bytes()
            : provider.ConsumeIntegralInRange<size_t>(1, provider.remaining_bytes());
        QByteArray bytes = QByteArray::fromStdString(provider.ConsumeBytesAsString(length));
        QBuffer device(&bytes);
        device.open(QIODevice::ReadOnly);
        while (device.bytesAvailable() > 0 && !finished(request)) {
            const qint64 before = device.bytesAvailable();
            const tarsel::HttpRequest::RequestStatus status = request.status();
            request.readFromDevice(&device);
            // A parser that takes nothing while bytes wait would spin its connection's thread.
            if (device.bytesAvailable() == before && request.status() == status)
                std::abort();
        }
    }

    if (request.status() == tarsel::HttpRequest::Complete) {
        const QList<QByteArray> names = request.parameterMap().uniqueKeys();
        for (const QByteArray &name : names) {
            if (QTemporaryFile *file = request.uploadedFile(name))
                file->readAll();
            request.uploadedDevice(name);
        }
        request.path();
        request.cookieMap();
    }
    return 0;
}
