#include "devicemanager.h"

#include "discovery/discoveryservice.h"
#include "gui/discovery/onlinedeviceitem.h"
#include "gui/discovery/title.h"
#include "gui/transfer/sendfilewindow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

int indexOfAddress(const QVector<DeviceInfo> &list, const QHostAddress &addr)
{
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i).addr.isEqual(addr, QHostAddress::TolerantConversion))
            return i;
    }
    return -1;
}

} // namespace

DeviceManager::DeviceManager(QPushButton *multiTransferButton, QCheckBox *selectAllBox, QWidget *list, QObject *parent)
    : QObject(parent)
    , multiTransferBtn(multiTransferButton)
    , selectAll(selectAllBox)
    , listWidget(list)
{
    connect(selectAll, &QCheckBox::clicked, this, &DeviceManager::selectAllDevices);
    connect(multiTransferBtn, &QPushButton::clicked, this, &DeviceManager::multiTransfer);
    expiryTimer.setSingleShot(true);
    connect(&expiryTimer, &QTimer::timeout, this, &DeviceManager::dropSilentDevices);
}

void DeviceManager::startDiscovery(DiscoveryService *service)
{
    connect(&requestTimer, &QTimer::timeout, service, &DiscoveryService::broadcastReq);
    requestTimer.start(requestIntervalMs);
    service->broadcastReq();
}

void DeviceManager::refreshList()
{
    auto *box = new QVBoxLayout;
    title = new Title({ QStringLiteral("选择"), QStringLiteral("设备名称"), QStringLiteral("Ip地址"),
                          QStringLiteral("端口号"), QStringLiteral("操作") },
        listWidget);
    box->addWidget(title);
    for (const DeviceInfo &device : qAsConst(devices)) {
        auto *item = new OnlineDeviceItem(device, listWidget);
        items.append(item);
        box->addWidget(item);
        connect(item->checkBox(), &QCheckBox::clicked, this, &DeviceManager::updateSelectedDevice);
        connect(item->sendButton(), &QPushButton::clicked, this,
            [this, device] { openTransferWindow(QVector<DeviceInfo> { device }); });
    }
    box->addStretch();
    listWidget->setLayout(box);
    // Setting the box programmatically does not emit clicked, so the selection stays as it was.
    for (OnlineDeviceItem *item : qAsConst(items)) {
        const bool ticked = std::any_of(selectedDevices.cbegin(), selectedDevices.cend(),
            [item](const DeviceInfo &selected) { return selected.ip == item->info().ip; });
        if (ticked)
            item->checkBox()->setChecked(true);
    }
}

void DeviceManager::handleNewHost(const QString &deviceName, const QHostAddress &addr, ushort port)
{
    const int index = indexOfAddress(devices, addr);
    if (port != 0) {
        if (index >= 0) {
            devices[index].deviceName = deviceName;
            devices[index].port = port;
            silentAfter[index] = QDeadlineTimer(silenceLimitMs);
        } else {
            devices.append(DeviceInfo { deviceName, deviceAddressText(addr), port, addr });
            silentAfter.append(QDeadlineTimer(silenceLimitMs));
        }
    } else if (index >= 0) {
        // Leaving, or answering while invisible.
        removeDevices({ index });
    } else {
        const int selectedIndex = indexOfAddress(selectedDevices, addr);
        if (selectedIndex >= 0)
            selectedDevices.remove(selectedIndex);
    }
    clearList();
    refreshList();
    scheduleExpiry();
}

void DeviceManager::setSilenceLimit(int milliseconds)
{
    silenceLimitMs = milliseconds;
}

void DeviceManager::updateSelectedDevice()
{
    selectedDevices.clear();
    for (OnlineDeviceItem *item : qAsConst(items)) {
        if (item->checkBox()->isChecked())
            selectedDevices.append(item->info());
    }
}

void DeviceManager::selectAllDevices()
{
    // Only ever ticks: clicking "全选" again does not clear the selection.
    for (OnlineDeviceItem *item : qAsConst(items)) {
        if (!item->checkBox()->isChecked())
            item->checkBox()->setChecked(true);
    }
    updateSelectedDevice();
}

void DeviceManager::multiTransfer()
{
    if (selectedDevices.isEmpty()) {
        QMessageBox::critical(
            nullptr, QCoreApplication::applicationName(), QStringLiteral("请先选择要传输的设备！"), QMessageBox::Ok);
        return;
    }
    openTransferWindow(selectedDevices);
}

void DeviceManager::openTransferWindow(const QVector<DeviceInfo> &targets)
{
    auto *window = new SendFileWindow(targets);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window->addPaths(std::exchange(pendingFiles, QStringList()));
}

bool DeviceManager::offerFiles(const QStringList &paths)
{
    pendingFiles.append(paths);
    if (selectedDevices.isEmpty())
        return false;
    openTransferWindow(selectedDevices);
    return true;
}

void DeviceManager::clearList()
{
    delete listWidget->layout();
    delete title;
    title = nullptr;
    qDeleteAll(items);
    items.clear();
}

void DeviceManager::removeDevices(const QVector<int> &indexes)
{
    // indexes ascending; removed from the back so the earlier ones stay valid.
    for (auto it = indexes.crbegin(); it != indexes.crend(); ++it) {
        const int selectedIndex = indexOfAddress(selectedDevices, devices.at(*it).addr);
        if (selectedIndex >= 0)
            selectedDevices.remove(selectedIndex);
        devices.remove(*it);
        silentAfter.remove(*it);
    }
}

void DeviceManager::dropSilentDevices()
{
    QVector<int> silent;
    for (int i = 0; i < silentAfter.size(); ++i) {
        if (silentAfter.at(i).hasExpired())
            silent.append(i);
    }
    if (!silent.isEmpty()) {
        removeDevices(silent);
        clearList();
        refreshList();
    }
    scheduleExpiry();
}

void DeviceManager::scheduleExpiry()
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
