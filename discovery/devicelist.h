#pragma once

#include "core/deviceinfo.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVector>

class DiscoveryService;

// The online devices, as values, for every front end that shows or looks them up: asks every
// request interval, adds or updates a device per report, drops one that says it leaves (port 0)
// or has been silent too long. A device is identified by its address; it keeps its place, in the
// order first reported, and an id that a device gone and come back does not get again.
class DeviceList : public QObject
{
    Q_OBJECT

public:
    static constexpr int requestIntervalMs = 2000;
    // Five request periods without a word: the device is gone (crash, sleep, cable pulled)
    // even though it never said so.
    static constexpr int defaultSilenceLimitMs = 5 * requestIntervalMs;

    explicit DeviceList(QObject *parent = nullptr);
    // Follows what service reports, and asks through it once started.
    explicit DeviceList(DiscoveryService *service, QObject *parent = nullptr);

    // Sends the first request through the service given at construction now, the next ones
    // every interval.
    void start();
    // The same through service, for a list that is fed its reports by its owner.
    void start(DiscoveryService *service);
    void setSilenceLimit(int milliseconds) { silenceLimitMs = milliseconds; }

    const QVector<DeviceInfo> &devices() const { return online; }
    // The id of the device at index (same index as devices()).
    quint64 idAt(int index) const { return ids.at(index); }
    // The index of the device with that address, or -1.
    int indexOf(const QHostAddress &addr) const;

    // One report of discovery: port 0 means the device leaves (or answers while invisible). A
    // device that announces the fingerprint of a paired device from another address than the
    // one kept for it has that address (with discoveryPort) kept instead, so that it is asked
    // there when broadcasts do not reach it. The fingerprint is only a hint for where to ask.
    void handleNewHost(const QString &deviceName, const QHostAddress &addr, ushort port,
        const QString &fingerprint = QString(), ushort discoveryPort = 0);

    // The device of that name: the one named exactly so, else the only one whose name differs in
    // case alone; null when there is none or the case leaves several.
    static const DeviceInfo *byName(const QVector<DeviceInfo> &devices, const QString &name);
    // Names close to name (differing in case, or by at most two letters, or holding it), for a
    // suggestion when byName found none.
    static QStringList similarNames(const QVector<DeviceInfo> &devices, const QString &name);

signals:
    void deviceAdded(const DeviceInfo &device);
    // A known device reported another name, port or fingerprint; a report that changes nothing
    // is silent.
    void deviceChanged(const DeviceInfo &device);
    // Emitted once the device is out of devices().
    void deviceRemoved(const DeviceInfo &device);

private:
    void removeAt(int index);
    void dropSilentDevices();
    void scheduleExpiry();
    static void followPairedDevice(const DeviceInfo &device, ushort discoveryPort);

    QPointer<DiscoveryService> discovery;
    QVector<DeviceInfo> online;
    // Same index as online: each device's id, and when it counts as gone unless heard from again.
    QVector<quint64> ids;
    QVector<QDeadlineTimer> silentAfter;
    quint64 nextId = 0;
    int silenceLimitMs = defaultSilenceLimitMs;
    QTimer requestTimer;
    QTimer expiryTimer;
};
