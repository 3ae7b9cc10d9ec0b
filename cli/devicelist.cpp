#include "devicelist.h"

#include "discovery/discoveryservice.h"

#include <algorithm>

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
