// libFuzzer target for the chunked-upload state machine: the chunk map, its uploads and the
// writers of arriving chunks, driven by a sequence of begin, chunk, finish and terminate steps
// (and stalls, start-up clean-ups and chunks cut off or overlapping) decoded from the input, in
// a temporary folder. A model of what each client has sent is checked against every finished
// file, and no partial file may outlive its upload.
// fuzz/run.sh runs it with its temporary folder on tmpfs, which is much faster.

#include "web/chunkedupload.h"
#include "web/chunkeduploadmap.h"
#include "web/chunkwriter.h"
#include "web/partialfileregistry.h"
#include "web/uploadsupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int clientCount = 3;
constexpr int maxPendingWriters = 3;
// Small limits, so that the input reaches them.
constexpr qint64 fuzzMaxPartialBytes = 4096;

class Input
{
public:
    Input(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    bool atEnd() const { return m_pos >= m_size; }
    uint8_t byte() { return atEnd() ? 0 : m_data[m_pos++]; }
    QByteArray bytes(int count)
    {
        const int n = int(qMin<size_t>(size_t(count), m_size - qMin(m_pos, m_size)));
        QByteArray taken(reinterpret_cast<const char *>(m_data + m_pos), n);
        m_pos += size_t(n);
        return taken;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

struct Client
{
    QString key;
    std::weak_ptr<ChunkedUpload> host; // the upload the model describes
    QByteArray sent; // its chunks so far, in order
};

struct Pending
{
    std::unique_ptr<ChunkWriter> writer;
    int client;
    QByteArray written;
};

[[noreturn]] void fail(const char *what)
{
    fprintf(stderr, "model mismatch: %s\n", what);
    abort();
}

QString nameFrom(Input &in)
{
    static const char alphabet[] = "ab./\\ .-x";
    const int length = in.byte() % 12;
    QString name;
    for (int i = 0; i < length; ++i)
        name += QLatin1Char(alphabet[in.byte() % (sizeof alphabet - 1)]);
    return name;
}

QStringList partialFiles(const QString &folder)
{
    return QDir(folder).entryList(
        { QStringLiteral("*") + QLatin1String(partialFileSuffix) }, QDir::Files | QDir::Hidden | QDir::System);
}

// The writer's chunk is recorded: the model follows when it describes that upload.
void recordCommit(std::vector<Client> &clients, Pending &pending)
{
    Client &client = clients[size_t(pending.client)];
    if (client.host.lock().get() == pending.writer->host())
        client.sent += pending.written;
}

void finishPending(std::vector<Client> &clients, Pending &pending, uint8_t how)
{
    switch (how % 3) {
    case 0:
        if (pending.writer->commit(QStringLiteral("c")))
            recordCommit(clients, pending);
        break;
    case 1:
        pending.writer->discard();
        break;
    default:
        break; // cut off: the writer goes undecided
    }
    pending.writer.reset();
}

void run(Input &in, const QString &folder)
{
    ChunkedUploadMap map;
    std::vector<Client> clients;
    for (int i = 0; i < clientCount; ++i)
        clients.push_back({ QStringLiteral("10.0.0.%1").arg(i), {}, {} });
    std::vector<Pending> pending;

    while (!in.atEnd()) {
        const uint8_t op = in.byte();
        Client &client = clients[size_t(in.byte() % clientCount)];
        const int clientIndex = int(&client - clients.data());
        bool busy = false;
        switch (op % 9) {
        case 0: { // begin
            map.take(client.key);
            auto host = std::make_shared<ChunkedUpload>(fuzzMaxPartialBytes);
            if (!host->open(folder))
                fail("open");
            client.sent.clear();
            // Room for fewer uploads than clients, so that begins are refused too.
            client.host = host;
            if (!map.insert(client.key, std::move(host), clientCount - 1))
                client.host.reset();
            break;
        }
        case 1: { // a chunk written as it arrives, maybe left pending
            UploadClaim host = map.claim(client.key, &busy);
            if (!host)
                break;
            const quint32 index = (in.byte() & 1) ? host->nextIndex() : host->nextIndex() + in.byte() % 3;
            if (index != host->nextIndex())
                break;
            Pending chunk { std::make_unique<ChunkWriter>(std::move(host), index), clientIndex, {} };
            const int pieces = in.byte() % 4;
            for (int i = 0; i < pieces; ++i) {
                const QByteArray piece = in.bytes(in.byte() * 8);
                if (chunk.writer->write(piece) != piece.size())
                    fail("writer refused bytes");
                chunk.written += piece;
            }
            if (pending.size() < size_t(maxPendingWriters) && (in.byte() & 1))
                pending.push_back(std::move(chunk));
            else
                finishPending(clients, chunk, in.byte());
            break;
        }
        case 2: { // a chunk from a temporary file
            const UploadClaim host = map.claim(client.key, &busy);
            if (!host)
                break;
            QBuffer data;
            data.setData(in.bytes(in.byte() * 8));
            data.open(QIODevice::ReadOnly);
            const quint32 index = host->nextIndex() + (in.byte() % 4 == 0 ? 1 : 0);
            const bool roomy = host->hasRoomFor(data.size());
            const bool appended = host->append(index, nameFrom(in), data);
            if (appended && (index != host->nextIndex() - 1 || !roomy))
                fail("append took a chunk it should refuse");
            if (appended && client.host.lock() == host.shared())
                client.sent += data.data();
            break;
        }
        case 3: { // finish
            const QString name = upload::confinedFileName(nameFrom(in));
            const UploadClaim host = map.claimAndTake(client.key, &busy);
            if (!host || name.isEmpty())
                break;
            if (host.shared() != client.host.lock())
                fail("map holds an upload the model does not know");
            if (host->size() != client.sent.size())
                fail("partial size");
            const QString written = host->finish(folder, name);
            if (written.isEmpty())
                break;
            if (QFileInfo(written).absolutePath() != QFileInfo(folder).absoluteFilePath())
                fail("finished outside the folder");
            QFile file(written);
            if (!file.open(QIODevice::ReadOnly) || file.readAll() != client.sent)
                fail("finished file differs from the chunks sent");
            file.close();
            QFile::remove(written);
            client.sent.clear();
            break;
        }
        case 4: // terminate
            map.take(client.key);
            break;
        case 5: { // time passes: maybe past the stall limit
            const qint64 now = ChunkedUpload::clockMs() + ((in.byte() & 1) ? stalledUploadTimeoutMs + 1 : 0);
            map.dropStalled(now);
            break;
        }
        case 6: // a pending chunk completes
            if (!pending.empty()) {
                const size_t which = in.byte() % pending.size();
                finishPending(clients, pending[which], in.byte());
                pending.erase(pending.begin() + long(which));
            }
            break;
        case 7: { // another server starts: only leftovers may go
            const QStringList before = partialFiles(folder);
            PartialFileRegistry::removeLeftovers(folder);
            if (partialFiles(folder) != before)
                fail("start-up clean-up removed a partial file in use");
            break;
        }
        default: { // the map's view of a client agrees with the model
            const UploadClaim host = map.claim(client.key, &busy);
            if (host && host.shared() == client.host.lock() && host->size() != client.sent.size())
                fail("partial size of an idle upload");
            break;
        }
        }
    }
    for (Pending &chunk : pending)
        finishPending(clients, chunk, 2);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString folder = dir.path() + QStringLiteral("/downloads");
    Input in(data, size);
    run(in, folder);
    // Every upload is gone with its map: none may leave a partial file behind.
    if (!partialFiles(folder).isEmpty())
        fail("partial file left behind");
    QDir(folder).removeRecursively();
    return 0;
}
