#include "ziparchive.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <future>
#include <zlib.h>

namespace {

constexpr qint64 blockSize = 1048576;
// A field of 32 (or 16) bits that holds this value says: see the ZIP64 record.
constexpr qint64 zip64Limit = 0xffffffff;
constexpr int entryCountLimit = 0xffff;
constexpr quint16 storedMethod = 0;
constexpr quint16 flagDataDescriptor = 0x0008;
constexpr quint16 flagUtf8Names = 0x0800;
constexpr quint16 versionPlain = 20;
constexpr quint16 versionZip64 = 45;
constexpr quint16 madeByUnix = 3 << 8;
constexpr quint32 regularFileMode = 0100644;
constexpr int localHeaderSize = 30;
constexpr int centralHeaderSize = 46;
constexpr int zip64LocalExtraSize = 20;
constexpr int descriptorSize = 16;
constexpr int zip64DescriptorSize = 24;
constexpr int endRecordSize = 22;
constexpr int zip64EndRecordSize = 56;
constexpr int zip64LocatorSize = 20;
constexpr int flushCentralBytes = 65536;

bool isLarge(qint64 value)
{
    return value >= zip64Limit;
}

// Little-endian fields appended to a header.
class Fields
{
public:
    explicit Fields(QByteArray &bytes)
        : out(bytes)
    {
    }
    Fields &u16(quint64 value) { return put(value, 2); }
    Fields &u32(quint64 value) { return put(value, 4); }
    Fields &u64(quint64 value) { return put(value, 8); }

private:
    Fields &put(quint64 value, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            out.append(char((value >> (8 * i)) & 0xff));
        return *this;
    }
    QByteArray &out;
};

int centralExtraSize(qint64 size, qint64 offset)
{
    const int fields = (isLarge(size) ? 2 : 0) + (isLarge(offset) ? 1 : 0);
    return fields == 0 ? 0 : 4 + 8 * fields;
}

void dosTimeOf(const QDateTime &modified, quint16 *time, quint16 *date)
{
    const QDateTime local = modified.toLocalTime();
    if (!local.isValid() || local.date().year() < 1980) {
        *time = 0;
        *date = (1 << 5) | 1;
        return;
    }
    const QDate d = local.date();
    const QTime t = local.time();
    *time = quint16((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2));
    *date = quint16(((qMin(d.year(), 2107) - 1980) << 9) | (d.month() << 5) | d.day());
}

} // namespace

ZipArchive::ZipArchive(const QList<Member> &files)
{
    qint64 offset = 0;
    for (const Member &member : files) {
        const QFileInfo info(member.path);
        Entry entry;
        entry.name = member.name.toUtf8();
        if (!info.isFile() || !info.isReadable() || entry.name.isEmpty() || entry.name.size() > 0xffff)
            continue;
        entry.path = info.absoluteFilePath();
        entry.size = info.size();
        entry.offset = offset;
        dosTimeOf(info.lastModified(), &entry.dosTime, &entry.dosDate);
        offset += localHeaderSize + entry.name.size() + entry.size;
        offset += isLarge(entry.size) ? zip64LocalExtraSize + zip64DescriptorSize : descriptorSize;
        centralSize += centralHeaderSize + entry.name.size() + centralExtraSize(entry.size, entry.offset);
        entries.append(entry);
    }
    centralOffset = offset;
    totalSize = centralOffset + centralSize + endRecordSize;
    if (needsZip64End())
        totalSize += zip64EndRecordSize + zip64LocatorSize;
}

bool ZipArchive::needsZip64End() const
{
    return entries.size() >= entryCountLimit || isLarge(centralOffset) || isLarge(centralSize);
}

bool ZipArchive::write(const std::function<bool(const QByteArray &)> &sink) const
{
    QVector<quint32> crcs;
    crcs.reserve(entries.size());
    for (const Entry &entry : entries) {
        quint32 crc = 0;
        if (!writeFile(entry, sink, &crc))
            return false;
        crcs.append(crc);
    }
    QByteArray central;
    for (int i = 0; i < entries.size(); ++i) {
        central += centralHeader(entries.at(i), crcs.at(i));
        if (central.size() >= flushCentralBytes) {
            if (!sink(central))
                return false;
            central.clear();
        }
    }
    return sink(central + endRecords());
}

bool ZipArchive::writeFile(const Entry &entry, const std::function<bool(const QByteArray &)> &sink, quint32 *crc) const
{
    const bool large = isLarge(entry.size);
    QByteArray header;
    Fields(header)
        .u32(0x04034b50)
        .u16(large ? versionZip64 : versionPlain)
        .u16(flagDataDescriptor | flagUtf8Names)
        .u16(storedMethod)
        .u16(entry.dosTime)
        .u16(entry.dosDate)
        .u32(0)
        .u32(large ? zip64Limit : entry.size)
        .u32(large ? zip64Limit : entry.size)
        .u16(entry.name.size())
        .u16(large ? zip64LocalExtraSize : 0);
    header += entry.name;
    if (large)
        Fields(header).u16(0x0001).u16(16).u64(entry.size).u64(entry.size);

    QFile file(entry.path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != entry.size || !sink(header))
        return false;
    // The CRC-32 of each block is computed in a helper thread while the block is sent, so that
    // it costs no time on a machine with a core to spare. Two buffers take turns: one is read
    // into while the other, still being summed and sent, is only read from.
    QByteArray buffers[2];
    std::future<uLong> summing;
    uLong sum = crc32(0, nullptr, 0);
    qint64 done = 0;
    for (int turn = 0; done < entry.size; turn ^= 1) {
        QByteArray &block = buffers[turn];
        block.resize(int(qMin(blockSize, entry.size - done)));
        const qint64 read = file.read(block.data(), block.size());
        if (read <= 0)
            return false;
        block.resize(int(read));
        done += read;
        if (summing.valid())
            sum = summing.get();
        summing = std::async(std::launch::async, [sum, &block] {
            return crc32(sum, reinterpret_cast<const Bytef *>(block.constData()), uInt(block.size()));
        });
        if (!sink(block))
            return false;
    }
    if (summing.valid())
        sum = summing.get();
    // A file that grew meanwhile would make a valid archive of its first bytes, but not of the file.
    if (file.size() != entry.size)
        return false;
    *crc = quint32(sum);

    QByteArray descriptor;
    Fields fields(descriptor);
    fields.u32(0x08074b50).u32(*crc);
    if (large)
        fields.u64(entry.size).u64(entry.size);
    else
        fields.u32(entry.size).u32(entry.size);
    return sink(descriptor);
}

QByteArray ZipArchive::centralHeader(const Entry &entry, quint32 crc) const
{
    const bool largeSize = isLarge(entry.size);
    const bool largeOffset = isLarge(entry.offset);
    const int extraSize = centralExtraSize(entry.size, entry.offset);
    const quint16 version = extraSize > 0 ? versionZip64 : versionPlain;
    QByteArray header;
    Fields(header)
        .u32(0x02014b50)
        .u16(madeByUnix | version)
        .u16(version)
        .u16(flagDataDescriptor | flagUtf8Names)
        .u16(storedMethod)
        .u16(entry.dosTime)
        .u16(entry.dosDate)
        .u32(crc)
        .u32(largeSize ? zip64Limit : entry.size)
        .u32(largeSize ? zip64Limit : entry.size)
        .u16(entry.name.size())
        .u16(extraSize)
        .u16(0)
        .u16(0)
        .u16(0)
        .u32(regularFileMode << 16)
        .u32(largeOffset ? zip64Limit : entry.offset);
    header += entry.name;
    if (extraSize > 0) {
        // The ZIP64 fields in this order, each only where its 32-bit field says so.
        Fields extra(header);
        extra.u16(0x0001).u16(extraSize - 4);
        if (largeSize)
            extra.u64(entry.size).u64(entry.size);
        if (largeOffset)
            extra.u64(entry.offset);
    }
    return header;
}

QByteArray ZipArchive::endRecords() const
{
    QByteArray records;
    Fields fields(records);
    const qint64 zip64EndOffset = centralOffset + centralSize;
    if (needsZip64End()) {
        fields.u32(0x06064b50)
            .u64(zip64EndRecordSize - 12)
            .u16(madeByUnix | versionZip64)
            .u16(versionZip64)
            .u32(0)
            .u32(0)
            .u64(entries.size())
            .u64(entries.size())
            .u64(centralSize)
            .u64(centralOffset);
        fields.u32(0x07064b50).u32(0).u64(zip64EndOffset).u32(1);
    }
    const qint64 count = qMin<qint64>(entries.size(), entryCountLimit);
    fields.u32(0x06054b50)
        .u16(0)
        .u16(0)
        .u16(count)
        .u16(count)
        .u32(qMin(centralSize, zip64Limit))
        .u32(qMin(centralOffset, zip64Limit))
        .u16(0);
    return records;
}
