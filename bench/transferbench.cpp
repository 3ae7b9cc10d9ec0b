// Moves one large file between two processes over loopback with Orvex's transfer sessions, and
// measures for comparison the single-core ChaCha20-Poly1305 rate and a plain TCP copy.
//
//   bench_transfer [--size BYTES] [--folder DIR]    (defaults: 1 GiB, the system's temporary folder)
//   bench_transfer --tree [--folder DIR]
//
// The tree mode moves 20 000 files of 4 KiB and 200 of 1 MiB in 100 folders, once with Orvex and
// once as "tar -c | socat" to "socat | tar -x" over loopback (socat must be installed).
//
// The parent process prepares the source file and runs the children (a receiving and a sending
// process, once through Orvex's sessions and once as a plain TCP copy); each child reports its
// own CPU time and peak resident memory.

#include "core/settings.h"
#include "transfer/aead.h"
#include "transfer/receivercontext.h"
#include "transfer/sendercontext.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

#include <sodium.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 defaultSize = qint64(1) << 30;
constexpr int cipherMessage = 64000;
constexpr int copyBuffer = 256 * 1024;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

double seconds(const timeval &time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// The child's last line: elapsed wall time of its part, CPU seconds and peak resident memory.
void reportStats(double elapsed, qint64 bytes)
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    out() << "STATS " << elapsed << ' ' << seconds(usage.ru_utime) + seconds(usage.ru_stime) << ' ' << usage.ru_maxrss
          << ' ' << bytes << Qt::endl;
}

// With ORVEX_BENCH_TRACE set, each side's log lines other than those about single files go to
// standard error with the milliseconds since its session started: where a run spends its time.
void traceLine(const char *side, const QElapsedTimer &clock, const QString &line)
{
    static const bool tracing = qEnvironmentVariableIsSet("ORVEX_BENCH_TRACE");
    if (tracing && !line.startsWith(QStringLiteral("正在")))
        QTextStream(stderr) << side << ' ' << clock.elapsed() << " ms " << line << Qt::endl;
}

void reportPort(quint16 port)
{
    out() << "PORT " << port << Qt::endl;
}

int orvexReceive(const QString &folder)
{
    Settings::setDownloadPath(folder);
    QTcpServer listener;
    if (!listener.listen(QHostAddress::LocalHost, 0))
        return 1;
    QElapsedTimer clock;
    int status = 1;
    QObject::connect(&listener, &QTcpServer::newConnection, [&] {
        clock.start();
        auto *context = new ReceiverContext(listener.nextPendingConnection(), qApp);
        QObject::connect(context, &Context::metaDataReady, context, [context, &clock] {
            traceLine("receiver", clock, QStringLiteral("offer complete"));
            context->response(true);
        });
        QObject::connect(context, &Context::printLogMsg, [&](const QString &line) {
            traceLine("receiver", clock, line);
            if (line == QStringLiteral("传输完成！")) {
                status = 0;
                reportStats(clock.nsecsElapsed() / 1e9, 0);
                qApp->quit();
            }
        });
        QObject::connect(context, &Context::raiseErrorMsg, [](const QString &error) {
            QTextStream(stderr) << "receiver: " << error << Qt::endl;
            qApp->exit(1);
        });
        context->startHandshake();
    });
    reportPort(listener.serverPort());
    const int loop = QCoreApplication::exec();
    return loop != 0 ? loop : status;
}

int orvexSend(quint16 port, const QString &path)
{
    auto *socket = new QTcpSocket;
    socket->connectToHost(QHostAddress::LocalHost, port);
    if (!socket->waitForConnected(5000))
        return 1;
    // A folder is sent with every file below it, named relative to the folder's parent.
    QList<QSharedPointer<QFile>> files;
    QList<QPair<QString, QString>> names;
    qint64 bytes = 0;
    const QDir parent = QFileInfo(path).dir();
    QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories);
    if (QFileInfo(path).isFile())
        files.append(QSharedPointer<QFile>::create(path));
    while (files.isEmpty() && it.hasNext())
        files.append(QSharedPointer<QFile>::create(it.next()));
    while (it.hasNext())
        files.append(QSharedPointer<QFile>::create(it.next()));
    for (const auto &file : qAsConst(files)) {
        names.append({ parent.relativeFilePath(file->fileName()), QString() });
        bytes += file->size();
    }
    QElapsedTimer clock;
    clock.start();
    auto *context = new SenderContext(socket, files, names, qApp);
    bool done = false;
    QObject::connect(context, &Context::printLogMsg, [&](const QString &line) {
        traceLine("sender", clock, line);
        if (line == QStringLiteral("传输完成！"))
            done = true;
    });
    QObject::connect(socket, &QTcpSocket::disconnected, [&] {
        if (done) {
            reportStats(clock.nsecsElapsed() / 1e9, bytes);
            qApp->quit();
        }
    });
    QObject::connect(context, &Context::raiseErrorMsg, [](const QString &error) {
        QTextStream(stderr) << "sender: " << error << Qt::endl;
        qApp->exit(1);
    });
    context->startHandshake();
    return QCoreApplication::exec();
}

int plainReceive(const QString &path)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(listener, 1) != 0
        || getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 1;
    reportPort(ntohs(address.sin_port));
    const int connection = accept(listener, nullptr, nullptr);
    QElapsedTimer clock;
    clock.start();
    QFile file(path);
    if (connection < 0 || !file.open(QIODevice::WriteOnly))
        return 1;
    std::vector<char> buffer(copyBuffer);
    qint64 total = 0;
    for (;;) {
        const ssize_t got = read(connection, buffer.data(), buffer.size());
        if (got <= 0)
            break;
        if (file.write(buffer.data(), got) != got)
            return 1;
        total += got;
    }
    file.close();
    reportStats(clock.nsecsElapsed() / 1e9, total);
    close(connection);
    close(listener);
    return 0;
}

int plainSend(quint16 port, const QString &path)
{
    const int connection = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(connection, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return 1;
    QElapsedTimer clock;
    clock.start();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    std::vector<char> buffer(copyBuffer);
    qint64 total = 0;
    for (;;) {
        const qint64 got = file.read(buffer.data(), copyBuffer);
        if (got <= 0)
            break;
        for (qint64 sent = 0; sent < got;) {
            const ssize_t n = write(connection, buffer.data() + sent, static_cast<size_t>(got - sent));
            if (n <= 0)
                return 1;
            sent += n;
        }
        total += got;
    }
    close(connection);
    reportStats(clock.nsecsElapsed() / 1e9, total);
    return 0;
}

struct Stats
{
    bool ok = false;
    double elapsed = 0;
    double cpu = 0;
    double rssMiB = 0;
};

void printSide(const char *name, const Stats &side)
{
    out() << QStringLiteral("  %1 CPU %2 s, peak RSS %3 MiB")
                 .arg(QLatin1String(name))
                 .arg(side.cpu, 0, 'f', 2)
                 .arg(side.rssMiB, 0, 'f', 1)
          << Qt::endl;
}

void printSides(const Stats &sender, const Stats &receiver)
{
    printSide("sender:  ", sender);
    printSide("receiver:", receiver);
}

struct Child
{
    QProcess process;
    QString error;

    void start(const QStringList &arguments, const QProcessEnvironment &environment)
    {
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start(QCoreApplication::applicationFilePath(), arguments);
    }

    quint16 port()
    {
        while (process.waitForReadyRead(10000) || process.canReadLine()) {
            while (process.canReadLine()) {
                const QString line = QString::fromUtf8(process.readLine()).trimmed();
                if (line.startsWith(QStringLiteral("PORT ")))
                    return static_cast<quint16>(line.mid(5).toUInt());
            }
        }
        return 0;
    }

    Stats finish()
    {
        Stats stats;
        process.waitForFinished(-1);
        const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n');
        error = QString::fromUtf8(process.readAllStandardError()).trimmed();
        for (const QString &line : lines) {
            const QStringList fields = line.split(' ');
            if (fields.size() == 5 && fields.at(0) == QStringLiteral("STATS")) {
                stats.elapsed = fields.at(1).toDouble();
                stats.cpu = fields.at(2).toDouble();
                stats.rssMiB = fields.at(3).toDouble() / 1024.0;
                stats.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
            }
        }
        return stats;
    }
};

// Touches as much fresh memory as a run will write, and frees it, so that each run finds memory
// the system has handed out before (see bench/steady_memory.sh for why that matters on a
// virtual machine) and the runs compared start alike.
void warmMemory(qint64 bytes)
{
    const auto size = static_cast<size_t>(bytes + bytes / 4 + (64 << 20));
    void *memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (memory != MAP_FAILED)
        munmap(memory, size);
}

// Runs a receiving and a sending child; the figures are the receiver's, from the accepted
// connection to the last byte stored.
bool runPair(const QString &receiveMode, const QString &receiveTarget, const QString &sendMode, const QString &source,
    const QProcessEnvironment &environment, Stats *receiver, Stats *sender)
{
    Child receiving;
    receiving.start({ receiveMode, receiveTarget }, environment);
    const quint16 port = receiving.port();
    if (port == 0)
        return false;
    Child sending;
    sending.start({ sendMode, QString::number(port), source }, environment);
    *sender = sending.finish();
    *receiver = receiving.finish();
    if (!sending.error.isEmpty() || !receiving.error.isEmpty())
        QTextStream(stderr) << sending.error << '\n' << receiving.error << Qt::endl;
    return sender->ok && receiver->ok;
}

// CPU time of this thread, so that other work on the machine does not lower a rate.
double threadCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The frames' cipher as the sessions use it (OpenSSL), on messages of the given size.
double sessionCipherRate(int message)
{
    unsigned char key[Aead::keyBytes];
    unsigned char nonce[Aead::nonceBytes];
    randombytes_buf(key, sizeof key);
    randombytes_buf(nonce, sizeof nonce);
    Aead aead(key);
    QByteArray plain(message, 'p');
    QByteArray sealed(message + Aead::tagBytes, Qt::Uninitialized);
    const double start = threadCpuSeconds();
    qint64 bytes = 0;
    while (threadCpuSeconds() - start < 1.0) {
        for (int i = 0; i < 16; ++i) {
            aead.seal(nonce, reinterpret_cast<const unsigned char *>(plain.constData()), message,
                reinterpret_cast<unsigned char *>(sealed.data()));
            bytes += message;
        }
    }
    return static_cast<double>(bytes) / (threadCpuSeconds() - start) / 1e6;
}

double cipherRate()
{
    unsigned char key[crypto_aead_chacha20poly1305_ietf_KEYBYTES];
    unsigned char nonce[crypto_aead_chacha20poly1305_ietf_NPUBBYTES];
    randombytes_buf(key, sizeof key);
    randombytes_buf(nonce, sizeof nonce);
    QByteArray plain(cipherMessage, 'p');
    QByteArray sealed(cipherMessage + crypto_aead_chacha20poly1305_ietf_ABYTES, Qt::Uninitialized);
    // CPU time of this thread, so that other work on the machine does not lower the figure.
    auto cpuSeconds = [] {
        timespec now {};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
    };
    const double start = cpuSeconds();
    qint64 bytes = 0;
    while (cpuSeconds() - start < 2.0) {
        for (int i = 0; i < 256; ++i) {
            crypto_aead_chacha20poly1305_ietf_encrypt(reinterpret_cast<unsigned char *>(sealed.data()), nullptr,
                reinterpret_cast<const unsigned char *>(plain.constData()), cipherMessage, nullptr, 0, nullptr, nonce,
                key);
            bytes += cipherMessage;
        }
    }
    return static_cast<double>(bytes) / (cpuSeconds() - start) / 1e6;
}

bool makeSource(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    randombytes_buf(block.data(), static_cast<size_t>(block.size()));
    for (qint64 written = 0; written < size;) {
        const qint64 n = qMin<qint64>(block.size(), size - written);
        if (file.write(block.constData(), n) != n)
            return false;
        written += n;
    }
    return true;
}

bool sameContent(const QString &first, const QString &second)
{
    QFile a(first);
    QFile b(second);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly) || a.size() != b.size())
        return false;
    while (!a.atEnd())
        if (a.read(1 << 20) != b.read(1 << 20))
            return false;
    return true;
}

QString receivedFile(const QString &folder)
{
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    return it.hasNext() ? it.next() : QString();
}

int runBenchmark(qint64 size, const QString &folder)
{
    QTemporaryDir work(folder + QStringLiteral("/orvex-bench-XXXXXX"));
    QTemporaryDir settings;
    if (!work.isValid() || !settings.isValid()) {
        QTextStream(stderr) << "cannot create a working folder below " << folder << Qt::endl;
        return 1;
    }
    // The children keep their settings (the download folder) away from the user's own.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), settings.path());
    const QString source = work.filePath(QStringLiteral("source.bin"));
    if (!makeSource(source, size))
        return 1;
    out() << "Orvex transfer benchmark: " << size << " bytes (" << size / double(1 << 20) << " MiB) in " << work.path()
          << Qt::endl;

    const double cipher = cipherRate();
    out() << QStringLiteral("ChaCha20-Poly1305 (IETF), one core, %1-byte messages: libsodium %2 MB/s, "
                            "OpenSSL %3 MB/s (1 MiB messages: %4 MB/s)")
                 .arg(cipherMessage)
                 .arg(cipher, 0, 'f', 0)
                 .arg(sessionCipherRate(cipherMessage), 0, 'f', 0)
                 .arg(sessionCipherRate(1 << 20), 0, 'f', 0)
          << Qt::endl;

    Stats receiver;
    Stats sender;
    const QString copy = work.filePath(QStringLiteral("plain-copy.bin"));
    warmMemory(size);
    if (!runPair(QStringLiteral("--plain-receive"), copy, QStringLiteral("--plain-send"), source, environment,
            &receiver, &sender)
        || !sameContent(source, copy)) {
        QTextStream(stderr) << "plain TCP copy failed" << Qt::endl;
        return 1;
    }
    QFile::remove(copy);
    const double plainRate = size / receiver.elapsed / 1e6;
    const double plainCpu = size / qMax(sender.cpu, receiver.cpu) / 1e6;
    out() << QStringLiteral("Plain TCP copy, two processes: %1 MB/s (sender CPU %2 s, receiver CPU %3 s)")
                 .arg(size / receiver.elapsed / 1e6, 0, 'f', 0)
                 .arg(sender.cpu, 0, 'f', 2)
                 .arg(receiver.cpu, 0, 'f', 2)
          << Qt::endl;

    const QString downloads = work.filePath(QStringLiteral("received"));
    warmMemory(size);
    if (!runPair(QStringLiteral("--orvex-receive"), downloads, QStringLiteral("--orvex-send"), source, environment,
            &receiver, &sender)) {
        QTextStream(stderr) << "Orvex transfer failed" << Qt::endl;
        return 1;
    }
    const QString received = receivedFile(downloads);
    const bool verified = sameContent(source, received);
    const double rate = size / receiver.elapsed / 1e6;
    out() << QStringLiteral("Orvex transfer: %1 MB/s in %2 s, %3 of the plain TCP copy, %4 % of the libsodium "
                            "cipher rate, content %5")
                 .arg(rate, 0, 'f', 0)
                 .arg(receiver.elapsed, 0, 'f', 2)
                 .arg(rate / plainRate, 0, 'f', 2)
                 .arg(100.0 * rate / cipher, 0, 'f', 0)
                 .arg(verified ? QStringLiteral("verified") : QStringLiteral("DIFFERENT"))
          << Qt::endl;
    // On a machine shared with other work the wall time includes waiting for a core; the CPU
    // time of the busier side bounds what the transfer itself costs.
    out() << QStringLiteral(
        "  CPU-bound rate (bytes / CPU seconds of the busier side): %1 MB/s, %2 of the plain copy's")
                 .arg(size / qMax(sender.cpu, receiver.cpu) / 1e6, 0, 'f', 0)
                 .arg(size / qMax(sender.cpu, receiver.cpu) / 1e6 / plainCpu, 0, 'f', 2)
          << Qt::endl;
    printSides(sender, receiver);
    return verified ? 0 : 1;
}

// The tree: 100 folders, 20 000 files of 4 KiB and 200 of 1 MiB, each with its own bytes.
qint64 makeTree(const QString &root)
{
    QByteArray block(1 << 20, Qt::Uninitialized);
    qint64 total = 0;
    for (int i = 0; i < 20200; ++i) {
        const QString folder = QStringLiteral("%1/album-%2").arg(root).arg(i % 100, 3, 10, QLatin1Char('0'));
        QDir().mkpath(folder);
        const int size = i < 20000 ? 4096 : (1 << 20);
        randombytes_buf(block.data(), static_cast<size_t>(size));
        QFile file(QStringLiteral("%1/IMG_20261207_%2.jpg").arg(folder).arg(i, 6, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(block.constData(), size) != size)
            return -1;
        total += size;
    }
    return total;
}

// Every file below folder by its relative path, with its bytes' hash.
QMap<QString, QByteArray> treeDigest(const QString &folder)
{
    QMap<QString, QByteArray> digest;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();
        QByteArray hash(crypto_generichash_BYTES, Qt::Uninitialized);
        crypto_generichash(reinterpret_cast<unsigned char *>(hash.data()), static_cast<size_t>(hash.size()),
            reinterpret_cast<const unsigned char *>(bytes.constData()), static_cast<unsigned long long>(bytes.size()),
            nullptr, 0);
        digest.insert(QDir(folder).relativeFilePath(it.filePath()), hash);
    }
    return digest;
}

quint16 freeTcpPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// CPU seconds of every child and grandchild waited for so far.
double childrenCpu()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Seconds of "tar -c | socat" to "socat | tar -x" over loopback, or a negative value on failure.
double tarPipeline(const QString &tree, const QString &target)
{
    const quint16 port = freeTcpPort();
    QDir().mkpath(target);
    QProcess receiving;
    QProcess sending;
    QElapsedTimer clock;
    clock.start();
    receiving.start(QStringLiteral("sh"),
        { QStringLiteral("-c"),
            QStringLiteral("socat -u TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr STDOUT | tar -x -C '%2'")
                .arg(port)
                .arg(target) });
    sending.start(QStringLiteral("sh"),
        { QStringLiteral("-c"),
            QStringLiteral("tar -c -C '%1' '%2' | socat -u STDIN TCP:127.0.0.1:%3,retry=100,interval=0.02")
                .arg(QFileInfo(tree).absolutePath(), QFileInfo(tree).fileName())
                .arg(port) });
    if (!sending.waitForFinished(-1) || !receiving.waitForFinished(-1) || sending.exitCode() != 0
        || receiving.exitCode() != 0)
        return -1;
    return clock.nsecsElapsed() / 1e9;
}

int runTreeBenchmark(const QString &folder)
{
    QTemporaryDir work(folder + QStringLiteral("/orvex-bench-XXXXXX"));
    QTemporaryDir settings;
    if (!work.isValid() || !settings.isValid())
        return 1;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), settings.path());
    const QString tree = work.filePath(QStringLiteral("tree"));
    const qint64 total = makeTree(tree);
    if (total < 0)
        return 1;
    const QMap<QString, QByteArray> original = treeDigest(work.path());
    out() << "Tree of " << original.size() << " files, " << total / double(1 << 20) << " MiB in " << work.path()
          << Qt::endl;

    // One core each, as the sessions are: the sealed frames' cipher on 64 KiB and 1 MiB messages.
    out() << QStringLiteral("OpenSSL ChaCha20-Poly1305, one core: %1 MB/s (64 KiB), %2 MB/s (1 MiB)")
                 .arg(sessionCipherRate(1 << 16), 0, 'f', 0)
                 .arg(sessionCipherRate(1 << 20), 0, 'f', 0)
          << Qt::endl;
    warmMemory(total);
    const double cpuBefore = childrenCpu();
    const double tarSeconds = tarPipeline(tree, work.filePath(QStringLiteral("by-tar")));
    const double tarCpu = childrenCpu() - cpuBefore;
    const bool tarVerified = treeDigest(work.filePath(QStringLiteral("by-tar"))) == original;
    if (tarSeconds < 0) {
        QTextStream(stderr) << "tar | socat failed (is socat installed?)" << Qt::endl;
        return 1;
    }
    out() << QStringLiteral("tar -c | socat -> socat | tar -x: %1 s, %2 MB/s, %3 files/s, CPU %5 s, content %4")
                 .arg(tarSeconds, 0, 'f', 2)
                 .arg(total / tarSeconds / 1e6, 0, 'f', 0)
                 .arg(original.size() / tarSeconds, 0, 'f', 0)
                 .arg(tarVerified ? QStringLiteral("verified") : QStringLiteral("DIFFERENT"))
                 .arg(tarCpu, 0, 'f', 2)
          << Qt::endl;

    const QString downloads = work.filePath(QStringLiteral("received"));
    Stats receiver;
    Stats sender;
    warmMemory(total);
    QElapsedTimer clock;
    clock.start();
    if (!runPair(QStringLiteral("--orvex-receive"), downloads, QStringLiteral("--orvex-send"), tree, environment,
            &receiver, &sender)) {
        QTextStream(stderr) << "Orvex transfer failed" << Qt::endl;
        return 1;
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    const QStringList dated = QDir(downloads).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    const bool verified = dated.size() == 1 && treeDigest(downloads + QLatin1Char('/') + dated.first()) == original;
    out() << QStringLiteral("Orvex: %1 s, %2 MB/s, %3 files/s, %4 of the tar pipeline's rate, content %5")
                 .arg(seconds, 0, 'f', 2)
                 .arg(total / seconds / 1e6, 0, 'f', 0)
                 .arg(original.size() / seconds, 0, 'f', 0)
                 .arg(tarSeconds / seconds, 0, 'f', 2)
                 .arg(verified ? QStringLiteral("verified") : QStringLiteral("DIFFERENT"))
          << Qt::endl;
    out() << QStringLiteral("  receiver's session from connection to last file: %1 s").arg(receiver.elapsed, 0, 'f', 2)
          << Qt::endl;
    // On a machine shared with other work, four processes get more of it than two: the CPU
    // time spent per tree compares the work itself.
    out() << QStringLiteral("  CPU of both sides %1 s, %2 of the tar pipeline's CPU rate")
                 .arg(sender.cpu + receiver.cpu, 0, 'f', 2)
                 .arg(tarCpu / (sender.cpu + receiver.cpu), 0, 'f', 2)
          << Qt::endl;
    printSides(sender, receiver);
    return verified && tarVerified ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvex"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvex"));
    if (sodium_init() == -1)
        return 1;

    const QStringList arguments = QCoreApplication::arguments();
    const QString mode = arguments.value(1);
    if (mode == QStringLiteral("--orvex-receive"))
        return orvexReceive(arguments.value(2));
    if (mode == QStringLiteral("--orvex-send"))
        return orvexSend(static_cast<quint16>(arguments.value(2).toUInt()), arguments.value(3));
    if (mode == QStringLiteral("--plain-receive"))
        return plainReceive(arguments.value(2));
    if (mode == QStringLiteral("--plain-send"))
        return plainSend(static_cast<quint16>(arguments.value(2).toUInt()), arguments.value(3));

    qint64 size = defaultSize;
    QString folder = QDir::tempPath();
    bool tree = false;
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) == QStringLiteral("--tree"))
            tree = true;
        else if (arguments.at(i) == QStringLiteral("--size") && i + 1 < arguments.size())
            size = arguments.at(++i).toLongLong();
        else if (arguments.at(i) == QStringLiteral("--folder") && i + 1 < arguments.size())
            folder = arguments.at(++i);
        else
            size = 0;
    }
    if (size <= 0) {
        QTextStream(stderr) << "usage: bench_transfer [--size BYTES] [--folder DIR] | --tree [--folder DIR]"
                            << Qt::endl;
        return 2;
    }
    return tree ? runTreeBenchmark(folder) : runBenchmark(size, folder);
}
