#include "devicelist.h"

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

DeviceList::DeviceList(DiscoveryService *service, QObject *parent)
    : QObject(parent)
    , discovery(service)
{
    connect(discovery, &DiscoveryService::newHost, this, &DeviceList::handleNewHost);
    connect(&requestTimer, &QTimer::timeout, discovery, &DiscoveryService::broadcastReq);
    expiryTimer.setSingleShot(true);
    connect(&expiryTimer, &QTimer::timeout, this, &DeviceList::dropSilentDevices);
}

void DeviceList::start()
{
    requestTimer.start(requestIntervalMs);
    discovery->broadcastReq();
}

void DeviceList::handleNewHost(const QString &deviceName, const QHostAddress &addr, ushort port)
{
    const auto found = std::find_if(online.begin(), online.end(),
        [&addr](const DeviceInfo &device) { return device.addr.isEqual(addr, QHostAddress::TolerantConversion); });
    const int index = found == online.end() ? -1 : static_cast<int>(found - online.begin());
    if (port != 0 && index >= 0) {
        online[index].deviceName = deviceName;
        online[index].port = port;
        silentAfter[index] = QDeadlineTimer(silenceLimitMs);
    } else if (port != 0) {
        online.append(DeviceInfo { deviceName, deviceAddressText(addr), port, addr });
        silentAfter.append(QDeadlineTimer(silenceLimitMs));
        emit deviceAdded(online.last());
    } else if (index >= 0) {
        // Leaving, or answering while invisible.
        const DeviceInfo gone = online.takeAt(index);
        silentAfter.remove(index);
        emit deviceRemoved(gone);
    }
    scheduleExpiry();
}

void DeviceList::dropSilentDevices()
{
    for (int i = online.size() - 1; i >= 0; --i) {
        if (silentAfter.at(i).hasExpired()) {
            const DeviceInfo gone = online.takeAt(i);
            silentAfter.remove(i);
            emit deviceRemoved(gone);
        }
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
