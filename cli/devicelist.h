#pragma once

#include "core/deviceinfo.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>
#include <QVector>

class DiscoveryService;

// The online devices as the device page keeps them, without a window: asks every request
// interval, adds or updates a device per answer, drops one that says it leaves (port 0) or has
// been silent for five intervals. A device is identified by its address.
class DeviceList : public QObject
{
    Q_OBJECT

public:
    static constexpr int requestIntervalMs = 2000;
    static constexpr int silenceLimitMs = 5 * requestIntervalMs;

    explicit DeviceList(DiscoveryService *service, QObject *parent = nullptr);

    // Sends the first request now and the next ones every interval.
    void start();
    const QVector<DeviceInfo> &devices() const { return online; }

    // The device of that name: the one named exactly so, else the only one whose name differs in
    // case alone; null when there is none or the case leaves several.
    static const DeviceInfo *byName(const QVector<DeviceInfo> &devices, const QString &name);
    // Names close to name (differing in case, or by at most two letters, or holding it), for a
    // suggestion when byName found none.
    static QStringList similarNames(const QVector<DeviceInfo> &devices, const QString &name);

signals:
    void deviceAdded(const DeviceInfo &device);
    void deviceRemoved(const DeviceInfo &device);

private:
    void handleNewHost(const QString &deviceName, const QHostAddress &addr, ushort port);
    void dropSilentDevices();
    void scheduleExpiry();

    DiscoveryService *discovery;
    QVector<DeviceInfo> online;
    // When each device (same index as online) counts as gone unless heard from again.
    QVector<QDeadlineTimer> silentAfter;
    QTimer requestTimer;
    QTimer expiryTimer;
};
