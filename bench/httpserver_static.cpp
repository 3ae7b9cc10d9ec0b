// Throughput and memory of the static file controller and the template engine.
// Usage: bench_httpserver_static [large file MiB, default 256]
// Serves a large file (raw, "Connection: close") and a small cached file (keep-alive) over
// loopback through the real listener, and fills a template table; prints the figures and the
// process's peak resident memory before and after the large transfer.
#include "httpserver/httplistener.h"
#include "httpserver/staticfilecontroller.h"
#include "httpserver/template.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QSettings>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

namespace {

long peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QFile::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Sends request and counts the bytes of the answer until the server closes the connection.
qint64 fetchUntilClosed(quint16 port, const QByteArray &request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return -1;
    socket.write(request);
    qint64 total = 0;
    while (socket.state() == QAbstractSocket::ConnectedState || socket.bytesAvailable() > 0) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(30000))
            break;
        total += socket.readAll().size();
    }
    return total;
}

// Runs a blocking client on a thread of its own while this thread's event loop lets the listener
// accept connections.
void runClient(const std::function<void()> &client)
{
    std::atomic<bool> done { false };
    std::thread thread([&] {
        client();
        done = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done)
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    thread.join();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qSetMessagePattern(
        QStringLiteral("%{if-debug}%{endif}%{if-warning}%{message}%{endif}%{if-critical}%{message}%{endif}"));
    const qint64 largeMiB = argc > 1 ? QByteArray(argv[1]).toLongLong() : 256;

    QTemporaryDir dir;
    QFile large(dir.filePath(QStringLiteral("large.bin")));
    if (!large.open(QFile::WriteOnly))
        return 1;
    const QByteArray block(1 << 20, 'x');
    for (qint64 i = 0; i < largeMiB; ++i)
        large.write(block);
    large.close();
    QFile small(dir.filePath(QStringLiteral("small.html")));
    if (!small.open(QFile::WriteOnly))
        return 1;
    small.write(QByteArray(4096, 'y'));
    small.close();

    QSettings staticSettings(dir.filePath(QStringLiteral("static.ini")), QSettings::IniFormat);
    staticSettings.setValue(QStringLiteral("path"), dir.path());
    QSettings listenerSettings(dir.filePath(QStringLiteral("listener.ini")), QSettings::IniFormat);
    listenerSettings.setValue(QStringLiteral("host"), QStringLiteral("127.0.0.1"));
    listenerSettings.setValue(QStringLiteral("port"), 0);
    tarsel::StaticFileController controller(&staticSettings);
    tarsel::HttpListener listener(&listenerSettings, &controller);
    const quint16 port = listener.serverPort();

    const long peakBefore = peakResidentKiB();
    QElapsedTimer timer;
    timer.start();
    qint64 received = 0;
    runClient([&] { received = fetchUntilClosed(port, "GET /large.bin HTTP/1.1\r\nConnection: close\r\n\r\n"); });
    const double seconds = timer.nsecsElapsed() / 1e9;
    const long peakAfter = peakResidentKiB();
    std::printf("large file: %lld MiB in %.2f s = %.0f MiB/s (received %lld bytes)\n", largeMiB, seconds,
        largeMiB / seconds, static_cast<long long>(received));
    std::printf("peak resident memory: %ld KiB before, %ld KiB after the large file (+%ld KiB)\n", peakBefore,
        peakAfter, peakAfter - peakBefore);

    // Small cached file, many requests on one keep-alive connection, one at a time.
    const int requests = argc > 2 ? QByteArray(argv[2]).toInt() : 2000;
    bool smallOk = true;
    timer.restart();
    runClient([&] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        smallOk = socket.waitForConnected(5000);
        const QByteArray request = "GET /small.html HTTP/1.1\r\nHost: x\r\n\r\n";
        const QByteArray terminator = "0\r\n\r\n";
        for (int i = 0; i < requests && smallOk; ++i) {
            socket.write(request);
            QByteArray answer;
            while (smallOk && !answer.endsWith(terminator)) {
                smallOk = socket.waitForReadyRead(30000);
                answer += socket.readAll();
            }
        }
    });
    if (!smallOk)
        return 2;
    const double smallSeconds = timer.nsecsElapsed() / 1e9;
    std::printf("small cached file: %d requests in %.2f s = %.0f requests/s (%.3f ms each)\n", requests, smallSeconds,
        requests / smallSeconds, smallSeconds * 1000 / requests);

    // A table of 1000 rows with three variables each.
    timer.restart();
    const int renders = 20;
    int length = 0;
    for (int r = 0; r < renders; ++r) {
        tarsel::Template t(QStringLiteral("<table>{loop row}<tr><td>{row.name}</td><td>{row.size}</td>"
                                          "<td>{if row.dir}dir{else row.dir}file{end row.dir}</td></tr>{end row}"
                                          "</table>"),
            QStringLiteral("bench"));
        const int rows = 1000;
        t.loop(QStringLiteral("row"), rows);
        for (int i = 0; i < rows; ++i) {
            const QString row = QStringLiteral("row") + QString::number(i);
            t.setVariable(row + QStringLiteral(".name"), QStringLiteral("文件") + QString::number(i));
            t.setVariable(row + QStringLiteral(".size"), QString::number(i * 1024));
            t.setCondition(row + QStringLiteral(".dir"), i % 2);
        }
        length = t.toString().length();
    }
    std::printf(
        "template with 1000 rows: %.1f ms per page (%d characters)\n", timer.nsecsElapsed() / 1e6 / renders, length);
    return 0;
}
