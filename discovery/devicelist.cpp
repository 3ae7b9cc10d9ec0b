#include "devicelist.h"

#include "core/paireddevices.h"
#include "discovery/discoveryservice.h"

#include <algorithm>
#include <vector>

namespace {

// Letters to insert, remove or change to turn one text into the other.
int editDistance(const QString &a, const QString &b)
{
    std::vector<int> row(static_cast<size_t>(b.size()) + 1);
    for (int j = 0; j <= b.size(); ++j)
        row[static_cast<size_t>(j)] = j;
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const auto at = static_cast<size_t>(j);
            const int above = row[at];
            row[at] = std::min({ above + 1, row[at - 1] + 1, diagonal + (a.at(i - 1) == b.at(j - 1) ? 0 : 1) });
            diagonal = above;
        }
    }
    return row[static_cast<size_t>(b.size())];
}

constexpr int maxSuggestedDistance = 2;

} // namespace

DeviceList::DeviceList(QObject *parent)
    : QObject(parent)
{
    expiryTimer.setSingleShot(true);
    connect(&expiryTimer, &QTimer::timeout, this, &DeviceList::dropSilentDevices);
}

DeviceList::DeviceList(DiscoveryService *service, QObject *parent)
    : DeviceList(parent)
{
    discovery = service;
    connect(service, &DiscoveryService::newHost, this, &DeviceList::handleNewHost);
}

void DeviceList::start()
{
    if (discovery)
        start(discovery);
}

void DeviceList::start(DiscoveryService *service)
{
    requestTimer.disconnect();
    connect(&requestTimer, &QTimer::timeout, service, &DiscoveryService::broadcastReq);
    requestTimer.start(requestIntervalMs);
    service->broadcastReq();
}

int DeviceList::indexOf(const QHostAddress &addr) const
{
    for (int i = 0; i < online.size(); ++i) {
        if (online.at(i).addr.isEqual(addr, QHostAddress::TolerantConversion))
            return i;
    }
    return -1;
}

void DeviceList::handleNewHost(
    const QString &deviceName, const QHostAddress &addr, ushort port, const QString &fingerprint, ushort discoveryPort)
{
    const int index = indexOf(addr);
    if (port != 0 && index >= 0) {
        silentAfter[index] = QDeadlineTimer(silenceLimitMs);
        DeviceInfo &device = online[index];
        if (device.deviceName != deviceName || device.port != port || device.fingerprint != fingerprint) {
            const bool newFingerprint = device.fingerprint != fingerprint;
            device.deviceName = deviceName;
            device.port = port;
            device.fingerprint = fingerprint;
            if (newFingerprint)
                followPairedDevice(device, discoveryPort);
            emit deviceChanged(device);
        }
    } else if (port != 0) {
        online.append(DeviceInfo { deviceName, deviceAddressText(addr), port, addr, fingerprint });
        ids.append(nextId++);
        silentAfter.append(QDeadlineTimer(silenceLimitMs));
        followPairedDevice(online.last(), discoveryPort);
        emit deviceAdded(online.last());
    } else if (index >= 0) {
        // Leaving, or answering while invisible.
        removeAt(index);
    }
    scheduleExpiry();
}

void DeviceList::followPairedDevice(const DeviceInfo &device, ushort discoveryPort)
{
    // Looked up only when a device appears or changes its fingerprint, never per report.
    if (device.fingerprint.isEmpty())
        return;
    const std::optional<PairedDevice> paired = PairedDevices::findByFingerprint(device.fingerprint);
    if (!paired)
        return;
    const KnownAddress seen { QHostAddress(device.ip), discoveryPort };
    const KnownAddress &kept = paired->lastAddress;
    if (!kept.address.isEqual(seen.address, QHostAddress::TolerantConversion) || kept.port != seen.port)
        PairedDevices::setLastAddress(device.fingerprint, seen);
}

void DeviceList::removeAt(int index)
{
    const DeviceInfo gone = online.takeAt(index);
    ids.remove(index);
    silentAfter.remove(index);
    emit deviceRemoved(gone);
}

void DeviceList::dropSilentDevices()
{
    for (int i = online.size() - 1; i >= 0; --i) {
        // A receiver may have changed the list in between.
        if (i < silentAfter.size() && silentAfter.at(i).hasExpired())
            removeAt(i);
    }
    scheduleExpiry();
}

void DeviceList::scheduleExpiry()
{
    if (silentAfter.isEmpty()) {
        expiryTimer.stop();
        return;
    }
    qint64 soonest = silentAfter.first().remainingTime();
    for (const QDeadlineTimer &deadline : qAsConst(silentAfter))
        soonest = std::min(soonest, deadline.remainingTime());
    expiryTimer.start(static_cast<int>(std::max<qint64>(soonest, 0)));
}

const DeviceInfo *DeviceList::byName(const QVector<DeviceInfo> &devices, const QString &name)
{
    const DeviceInfo *folded = nullptr;
    int foldedCount = 0;
    for (const DeviceInfo &device : devices) {
        if (device.deviceName == name)
            return &device;
        if (device.deviceName.compare(name, Qt::CaseInsensitive) == 0) {
            folded = &device;
            ++foldedCount;
        }
    }
    return foldedCount == 1 ? folded : nullptr;
}

QStringList DeviceList::similarNames(const QVector<DeviceInfo> &devices, const QString &name)
{
    const QString wanted = name.toCaseFolded();
    QStringList names;
    for (const DeviceInfo &device : devices) {
        const QString candidate = device.deviceName.toCaseFolded();
        const bool close = candidate.contains(wanted) || wanted.contains(candidate)
            || editDistance(candidate, wanted) <= maxSuggestedDistance;
        if (close && !names.contains(device.deviceName))
            names.append(device.deviceName);
    }
    return names;
}
