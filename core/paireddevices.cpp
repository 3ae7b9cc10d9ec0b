#include "paireddevices.h"

#include <QCryptographicHash>
#include <QMutex>
#include <QMutexLocker>
#include <QSettings>
#include <QVariantList>
#include <QVariantMap>

#include <algorithm>
#include <memory>

namespace {

const QString storeKey = QStringLiteral("pairedDevices");

// Orders the read-modify-write of changes within this process.
QMutex &storeLock()
{
    static QMutex lock;
    return lock;
}

PairedDevice fromMap(const QVariantMap &map)
{
    PairedDevice device;
    device.identityKey = QByteArray::fromBase64(map.value(QStringLiteral("key")).toByteArray());
    device.name = map.value(QStringLiteral("name")).toString();
    device.autoAccept = map.value(QStringLiteral("autoAccept")).toBool();
    device.lastAddress = KnownAddress::parse(map.value(QStringLiteral("lastAddress")).toString());
    device.pairedAt = QDateTime::fromString(map.value(QStringLiteral("pairedAt")).toString(), Qt::ISODate);
    return device;
}

QVariantMap toMap(const PairedDevice &device)
{
    QVariantMap map;
    map.insert(QStringLiteral("key"), QString::fromLatin1(device.identityKey.toBase64()));
    map.insert(QStringLiteral("name"), device.name);
    map.insert(QStringLiteral("autoAccept"), device.autoAccept);
    map.insert(QStringLiteral("lastAddress"), device.lastAddress.isValid() ? device.lastAddress.text() : QString());
    map.insert(QStringLiteral("pairedAt"), device.pairedAt.toString(Qt::ISODate));
    return map;
}

QString &storeFile()
{
    static QString path;
    return path;
}

std::unique_ptr<QSettings> openStore()
{
    if (storeFile().isEmpty())
        return std::make_unique<QSettings>();
    return std::make_unique<QSettings>(storeFile(), QSettings::IniFormat);
}

QVector<PairedDevice> readAll()
{
    QVector<PairedDevice> devices;
    const QVariantList entries = openStore()->value(storeKey).toList();
    for (const QVariant &entry : entries) {
        PairedDevice device = fromMap(entry.toMap());
        // A hand-edited or damaged entry pairs nothing.
        if (device.identityKey.size() == PairedDevices::identityKeyBytes)
            devices.append(device);
    }
    return devices;
}

void writeAll(const QVector<PairedDevice> &devices)
{
    QVariantList entries;
    for (const PairedDevice &device : devices)
        entries.append(toMap(device));
    const std::unique_ptr<QSettings> settings = openStore();
    settings->setValue(storeKey, entries);
    settings->sync();
    // Queued: the change is told after the caller's lock is released.
    QMetaObject::invokeMethod(&PairedDevices::notifier(), &PairedDevicesNotifier::changed, Qt::QueuedConnection);
}

// Applies change to the device with this fingerprint; false when there is none.
template <typename Change> bool changeOne(const QString &fingerprint, Change change)
{
    QMutexLocker lock(&storeLock());
    QVector<PairedDevice> devices = readAll();
    for (PairedDevice &device : devices) {
        if (device.fingerprint() == fingerprint) {
            change(device);
            writeAll(devices);
            return true;
        }
    }
    return false;
}

} // namespace

void PairedDevices::keepStoreIn(const QString &settingsFile)
{
    QMutexLocker lock(&storeLock());
    storeFile() = settingsFile;
}

PairedDevicesNotifier &PairedDevices::notifier()
{
    static PairedDevicesNotifier notifier;
    return notifier;
}

QString PairedDevice::fingerprint() const
{
    return PairedDevices::fingerprintOf(identityKey);
}

QString PairedDevices::fingerprintOf(const QByteArray &identityKey)
{
    return QString::fromLatin1(QCryptographicHash::hash(identityKey, QCryptographicHash::Sha256).left(8).toHex());
}

QVector<PairedDevice> PairedDevices::all()
{
    return readAll();
}

std::optional<PairedDevice> PairedDevices::find(const QByteArray &identityKey)
{
    const QVector<PairedDevice> devices = readAll();
    for (const PairedDevice &device : devices) {
        if (device.identityKey == identityKey)
            return device;
    }
    return std::nullopt;
}

std::optional<PairedDevice> PairedDevices::findByFingerprint(const QString &fingerprint)
{
    const QVector<PairedDevice> devices = readAll();
    for (const PairedDevice &device : devices) {
        if (device.fingerprint() == fingerprint)
            return device;
    }
    return std::nullopt;
}

bool PairedDevices::isPairedName(const QString &name)
{
    const QString wanted = name.trimmed();
    if (wanted.isEmpty())
        return false;
    const QVector<PairedDevice> devices = readAll();
    for (const PairedDevice &device : devices) {
        if (device.name.trimmed().compare(wanted, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool PairedDevices::pair(const QByteArray &identityKey, const QString &name)
{
    if (identityKey.size() != identityKeyBytes)
        return false;
    QMutexLocker lock(&storeLock());
    QVector<PairedDevice> devices = readAll();
    for (PairedDevice &device : devices) {
        if (device.identityKey == identityKey) {
            if (!name.isEmpty())
                device.name = name;
            device.pairedAt = QDateTime::currentDateTimeUtc();
            writeAll(devices);
            return true;
        }
    }
    PairedDevice device;
    device.identityKey = identityKey;
    device.name = name;
    device.pairedAt = QDateTime::currentDateTimeUtc();
    devices.append(device);
    while (devices.size() > maxPairedDevices)
        devices.removeFirst();
    writeAll(devices);
    return true;
}

bool PairedDevices::rename(const QString &fingerprint, const QString &name)
{
    return changeOne(fingerprint, [&](PairedDevice &device) { device.name = name; });
}

bool PairedDevices::unpair(const QString &fingerprint)
{
    QMutexLocker lock(&storeLock());
    QVector<PairedDevice> devices = readAll();
    const auto kept = std::remove_if(devices.begin(), devices.end(),
        [&](const PairedDevice &device) { return device.fingerprint() == fingerprint; });
    if (kept == devices.end())
        return false;
    devices.erase(kept, devices.end());
    writeAll(devices);
    return true;
}

bool PairedDevices::setAutoAccept(const QString &fingerprint, bool on)
{
    return changeOne(fingerprint, [&](PairedDevice &device) { device.autoAccept = on; });
}

bool PairedDevices::setLastAddress(const QString &fingerprint, const KnownAddress &address)
{
    return changeOne(fingerprint, [&](PairedDevice &device) { device.lastAddress = address; });
}
