// What an offer costs a receiver before anyone is asked.
//
//   bench_offers records [--count N] [--record-bytes BYTES]
//       Answers a one-file offer with N (10) files of BYTES (87 MB) in the records folder, as an
//       earlier release left them, beside the one record that matches: the time to find the
//       record and look at what it holds, the median of 20 runs.
//   bench_offers flood [--name-bytes BYTES]
//       A sender announces 499 999 more entries and sends frames of long names (BYTES per name,
//       65 400 by default) until the receiver closes: the receiver's peak resident memory, the
//       frames it took and how long.
//   bench_offers digest [--size BYTES] [--folder DIR]
//       The prefix digest each side computes before a resumed transfer goes on, over BYTES
//       (1 GiB) of a file in DIR (the temporary folder).

#include "transfer/crypto.h"
#include "transfer/offerbudget.h"
#include "transfer/prefixdigests.h"
#include "transfer/receivercontext.h"
#include "transfer/resumerecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <memory>

namespace {

QTextStream out(stdout);

qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

QString option(const QStringList &arguments, const QString &name, const QString &fallback)
{
    const int at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : fallback;
}

int records(const QStringList &arguments)
{
    const int count = option(arguments, QStringLiteral("--count"), QStringLiteral("10")).toInt();
    const qint64 bytes = option(arguments, QStringLiteral("--record-bytes"), QStringLiteral("87000000")).toLongLong();
    QTemporaryDir downloads;
    const QString folder = downloads.filePath(QStringLiteral(".orvex-unfinished"));
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        QFile record(QStringLiteral("%1/2026-12-0%2-10.00.00.json").arg(folder).arg(i));
        record.open(QIODevice::WriteOnly);
        const QByteArray block(1 << 20, 'x');
        for (qint64 written = 0; written < bytes; written += block.size())
            record.write(block.constData(), std::min<qint64>(block.size(), bytes - written));
    }
    const QVector<FileMetadata> offer { { QStringLiteral("report.pdf"), 1500000, 1765000000000 } };
    QDir(downloads.path()).mkdir(QStringLiteral("2026-12-08-10.00.00"));
    ResumeRecord(downloads.path(), QStringLiteral("2026-12-08-10.00.00"), QStringLiteral("笔记本"), offer).save();

    QVector<double> times;
    for (int run = 0; run < 20; ++run) {
        QElapsedTimer clock;
        clock.start();
        const ResumeRecord found = ResumeRecord::find(downloads.path(), QStringLiteral("笔记本"), offer);
        const auto held = found.held();
        times.append(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        if (found.isNull() || held.size() != 1)
            return 1;
    }
    std::sort(times.begin(), times.end());
    out << "records: " << count << " of " << bytes << " bytes beside the matching one; find and look: median "
        << times.at(times.size() / 2) << " ms, slowest " << times.last() << " ms\n";
    return 0;
}

int flood(const QStringList &arguments)
{
    const int nameBytes = option(arguments, QStringLiteral("--name-bytes"), QStringLiteral("65400")).toInt();
    QTcpServer listener;
    listener.listen(QHostAddress::LocalHost);
    QTcpSocket sender;
    sender.connectToHost(QHostAddress::LocalHost, listener.serverPort());
    if (!sender.waitForConnected(5000) || !listener.waitForNewConnection(5000))
        return 1;
    const qint64 before = peakResidentKiB();
    auto budget = std::make_shared<OfferBudget>();
    auto *receiver = new ReceiverContext(listener.nextPendingConnection(), nullptr);
    receiver->setOfferBudget(budget);
    bool offered = false;
    QObject::connect(receiver, &Context::metaDataReady, [&offered] { offered = true; });
    receiver->startHandshake();

    Crypto keys;
    sender.write(keys.publicKey);
    QByteArray key;
    for (QElapsedTimer waited; key.size() < Crypto::keyBytes && (!waited.isValid() || waited.elapsed() < 5000);) {
        if (!waited.isValid())
            waited.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        key += sender.readAll();
    }
    keys.computeSessionKey(key.left(Crypto::keyBytes));
    const auto send = [&](const QJsonObject &frame) {
        const QByteArray message = keys.encrypt(QJsonDocument(frame).toJson(QJsonDocument::Compact));
        sender.write(QByteArray(1, char(message.size() >> 8)) + char(message.size() & 0xFF) + message);
    };
    // Names as long as asked, in parts a file system would take when they fit one.
    QString name;
    while (name.size() < nameBytes)
        name += QString(std::min(250, nameBytes - int(name.size())), QLatin1Char('n')) + QLatin1Char('/');
    name.chop(1);
    send({ { QStringLiteral("device_name"), QStringLiteral("flood") }, { QStringLiteral("features"), QJsonArray { QStringLiteral("list") } },
        { QStringLiteral("files"), QJsonArray { QJsonObject { { QStringLiteral("filename"), QStringLiteral("a") }, { QStringLiteral("size"), 1 } } } },
        { QStringLiteral("more"), 499999 } });
    QElapsedTimer clock;
    clock.start();
    int frames = 0;
    while (sender.state() == QAbstractSocket::ConnectedState && clock.elapsed() < 60000) {
        QJsonArray files;
        for (int size = 0; size + name.size() + 40 < 60000 || files.isEmpty(); size += name.size() + 40)
            files.append(QJsonObject { { QStringLiteral("filename"), name + QString::number(frames) }, { QStringLiteral("size"), 1 } });
        send({ { QStringLiteral("files"), files } });
        ++frames;
        while (sender.bytesToWrite() > 0 && sender.state() == QAbstractSocket::ConnectedState)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::processEvents();
    }
    out << "flood: names of " << nameBytes << " bytes, " << frames << " frames in " << clock.elapsed()
        << " ms before the receiver closed; peak resident memory " << before / 1024 << " MiB before, "
        << peakResidentKiB() / 1024 << " MiB after; offer shown: " << (offered ? "yes" : "no") << "\n";
    delete receiver;
    return 0;
}

int digest(const QStringList &arguments)
{
    const qint64 size = option(arguments, QStringLiteral("--size"), QString::number(qint64(1) << 30)).toLongLong();
    QTemporaryDir folder(option(arguments, QStringLiteral("--folder"), QDir::tempPath()) + QStringLiteral("/orvex-digest-XXXXXX"));
    QFile file(folder.filePath(QStringLiteral("held.bin")));
    file.open(QIODevice::WriteOnly);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 7);
    for (qint64 written = 0; written < size; written += block.size())
        file.write(block.constData(), std::min<qint64>(block.size(), size - written));
    file.close();
    QElapsedTimer clock;
    clock.start();
    const QByteArray result = PrefixDigests::digest(file.fileName(), static_cast<quint64>(size));
    const qint64 msec = clock.elapsed();
    out << "prefix digest of " << size << " bytes: " << msec << " ms, " << (msec > 0 ? size / 1000 / msec : 0)
        << " MB/s" << (result.isEmpty() ? " (failed)" : "") << "\n";
    return result.isEmpty() ? 1 : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.value(1) == QLatin1String("records"))
        return records(arguments);
    if (arguments.value(1) == QLatin1String("flood"))
        return flood(arguments);
    if (arguments.value(1) == QLatin1String("digest"))
        return digest(arguments);
    out << "usage: bench_offers records|flood|digest [options]\n";
    return 2;
}
