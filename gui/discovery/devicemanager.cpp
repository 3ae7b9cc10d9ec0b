#include "devicemanager.h"

#include "core/knownaddress.h"
#include "core/paireddevices.h"
#include "core/settings.h"
#include "discovery/discoveryservice.h"
#include "gui/discovery/onlinedeviceitem.h"
#include "gui/discovery/title.h"
#include "gui/text/sendtextwindow.h"
#include "gui/transfer/sendfilewindow.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QClipboard>
#include <QCoreApplication>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QToolButton>
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

// The box layout that holds widget, searched from layout down.
QBoxLayout *layoutHolding(QLayout *layout, QWidget *widget)
{
    if (!layout)
        return nullptr;
    if (layout->indexOf(widget) >= 0)
        return qobject_cast<QBoxLayout *>(layout);
    for (int i = 0; i < layout->count(); ++i) {
        if (QBoxLayout *found = layoutHolding(layout->itemAt(i)->layout(), widget))
            return found;
    }
    return nullptr;
}

} // namespace

DeviceManager::DeviceManager(QPushButton *multiTransferButton, QCheckBox *selectAllBox, QWidget *list, QObject *parent)
    : QObject(parent)
    , multiTransferBtn(multiTransferButton)
    , selectAll(selectAllBox)
    , listWidget(list)
    , addressEdit(new QLineEdit(multiTransferButton->parentWidget()))
    , addDeviceBtn(new QPushButton(tr("添加设备"), multiTransferButton->parentWidget()))
{
    addressEdit->setObjectName(QStringLiteral("add_device_address"));
    addressEdit->setPlaceholderText(tr("地址，如 192.168.2.7 或 192.168.2.7:52637"));
    addressEdit->setMaximumWidth(260);
    addDeviceBtn->setObjectName(QStringLiteral("add_device_btn"));
    addDeviceBtn->setToolTip(tr("广播找不到的设备（在另一网段，或路由器过滤了广播）可按地址直接询问"));
    // Beside "批量传送", on the tool row of the device page.
    if (QBoxLayout *row = layoutHolding(multiTransferButton->parentWidget()->layout(), multiTransferButton)) {
        const int index = row->indexOf(multiTransferButton);
        row->insertWidget(index + 1, addDeviceBtn);
        row->insertWidget(index + 1, addressEdit);
    }
    connect(addDeviceBtn, &QPushButton::clicked, this, &DeviceManager::addDevice);
    connect(addressEdit, &QLineEdit::returnPressed, this, &DeviceManager::addDevice);
    connect(selectAll, &QCheckBox::clicked, this, &DeviceManager::selectAllDevices);
    connect(multiTransferBtn, &QPushButton::clicked, this, &DeviceManager::multiTransfer);
    connect(&devices, &DeviceList::deviceAdded, this, &DeviceManager::listChanged);
    connect(&devices, &DeviceList::deviceChanged, this, &DeviceManager::deviceChanged);
    connect(&devices, &DeviceList::deviceRemoved, this, &DeviceManager::deviceRemoved);
    connect(&PairedDevices::notifier(), &PairedDevicesNotifier::changed, this, [this] {
        for (OnlineDeviceItem *item : qAsConst(items))
            item->showNameAndPort();
    });
    listWindow.setSingleShot(true);
    connect(&listWindow, &QTimer::timeout, this, &DeviceManager::listWindowEnded);
}

void DeviceManager::startDiscovery(DiscoveryService *service)
{
    discovery = service;
    devices.start(service);
}

void DeviceManager::refreshList()
{
    clearList();
    auto *box = new QVBoxLayout;
    title = new Title({ tr("选择"), tr("设备名称"), tr("Ip地址"), tr("端口号"), tr("操作") }, listWidget);
    box->addWidget(title);
    box->addStretch();
    listWidget->setLayout(box);
    const QVector<DeviceInfo> &online = devices.devices();
    for (int i = 0; i < online.size(); ++i) {
        OnlineDeviceItem *item = addRow(online.at(i), devices.idAt(i), box);
        // Setting the box programmatically does not emit clicked, so the selection stays as it was.
        if (indexOfAddress(selectedDevices, online.at(i).addr) >= 0)
            item->checkBox()->setChecked(true);
    }
    orderFocus();
}

OnlineDeviceItem *DeviceManager::addRow(const DeviceInfo &device, quint64 id, QVBoxLayout *box)
{
    auto *item = new OnlineDeviceItem(device, listWidget);
    items.append(item);
    itemIds.append(id);
    // Before the stretch: rows already shown keep their places.
    box->insertWidget(box->count() - 1, item);
    connect(item->checkBox(), &QCheckBox::clicked, this, &DeviceManager::updateSelectedDevice);
    connect(item->sendButton(), &QPushButton::clicked, this,
        [this, item] { openTransferWindow(QVector<DeviceInfo> { item->info() }); });
    connect(item, &OnlineDeviceItem::textRequested, this, [this, item](bool clipboard) {
        if (!sendText(QVector<DeviceInfo> { item->info() }, clipboard))
            QMessageBox::information(nullptr, QCoreApplication::applicationName(), tr("剪贴板中没有文字。"));
    });
    return item;
}

void DeviceManager::handleNewHost(
    const QString &deviceName, const QHostAddress &addr, ushort port, const QString &fingerprint, ushort discoveryPort)
{
    devices.handleNewHost(deviceName, addr, port, fingerprint, discoveryPort);
    // A row held down while its device left may have been ticked on release: the device's leave
    // takes it out of the selection even though the list no longer knows it.
    if (port == 0) {
        const int selectedIndex = indexOfAddress(selectedDevices, addr);
        if (selectedIndex >= 0)
            selectedDevices.remove(selectedIndex);
    }
}

void DeviceManager::deviceChanged(const DeviceInfo &device)
{
    const int selectedIndex = indexOfAddress(selectedDevices, device.addr);
    if (selectedIndex >= 0) {
        selectedDevices[selectedIndex].deviceName = device.deviceName;
        selectedDevices[selectedIndex].port = device.port;
        selectedDevices[selectedIndex].fingerprint = device.fingerprint;
    }
    const int row = itemIds.indexOf(devices.idAt(devices.indexOf(device.addr)));
    if (row >= 0)
        items.at(row)->setInfo(device);
}

void DeviceManager::deviceRemoved(const DeviceInfo &device)
{
    const int selectedIndex = indexOfAddress(selectedDevices, device.addr);
    if (selectedIndex >= 0)
        selectedDevices.remove(selectedIndex);
    listChanged();
}

void DeviceManager::listChanged()
{
    if (!listWindow.isActive()) {
        changesInWindow = 0;
        listWindow.start(listChangeWindowMs);
    }
    if (changesInWindow < maxListChangesPerWindow && !rowPressed()) {
        ++changesInWindow;
        syncRows();
    } else {
        syncPending = true;
    }
}

void DeviceManager::listWindowEnded()
{
    if (!syncPending)
        return;
    listWindow.start(listChangeWindowMs);
    // A row held down keeps its place until it is released.
    if (rowPressed())
        return;
    syncPending = false;
    changesInWindow = 1;
    syncRows();
}

bool DeviceManager::rowPressed() const
{
    return std::any_of(items.cbegin(), items.cend(),
        [](const OnlineDeviceItem *item) { return item->checkBox()->isDown() || item->sendButton()->isDown(); });
}

void DeviceManager::syncRows()
{
    auto *box = qobject_cast<QVBoxLayout *>(listWidget->layout());
    if (!box) {
        refreshList();
        return;
    }
    const QVector<DeviceInfo> &online = devices.devices();
    QSet<quint64> current;
    for (int i = 0; i < online.size(); ++i)
        current.insert(devices.idAt(i));
    for (int row = items.size() - 1; row >= 0; --row) {
        if (!current.contains(itemIds.at(row))) {
            delete items.takeAt(row);
            itemIds.remove(row);
        }
    }
    // A row held down while its device left may have been ticked on release.
    for (int i = selectedDevices.size() - 1; i >= 0; --i) {
        if (devices.indexOf(selectedDevices.at(i).addr) < 0)
            selectedDevices.remove(i);
    }
    // Devices are only ever appended, so the ones without a row come after those with one.
    for (int i = 0; i < online.size(); ++i) {
        const int row = itemIds.indexOf(devices.idAt(i));
        if (row >= 0)
            items.at(row)->setInfo(online.at(i));
        else
            addRow(online.at(i), devices.idAt(i), box);
    }
    orderFocus();
}

void DeviceManager::orderFocus()
{
    // Rows are made after the page's controls and would be reached last; Tab goes down the page.
    QWidget *previous = multiTransferBtn;
    for (OnlineDeviceItem *item : qAsConst(items)) {
        QWidget::setTabOrder(previous, item->checkBox());
        QWidget::setTabOrder(item->checkBox(), item->sendButton());
        QWidget::setTabOrder(item->sendButton(), item->textButton());
        previous = item->textButton();
    }
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
            nullptr, QCoreApplication::applicationName(), tr("请先选择要传输的设备！"), QMessageBox::Ok);
        return;
    }
    openTransferWindow(selectedDevices);
}

void DeviceManager::addDevice()
{
    const KnownAddress known = KnownAddress::parse(addressEdit->text());
    if (!known.isValid()) {
        QMessageBox::warning(nullptr, QCoreApplication::applicationName(),
            tr("不是有效的地址。请输入 IP 地址，可在冒号后加上发现端口。"));
        return;
    }
    QStringList entries = Settings::knownAddresses();
    // The same address with another port replaces the old entry.
    for (int i = entries.size() - 1; i >= 0; --i) {
        if (KnownAddress::parse(entries.at(i)).address.isEqual(known.address, QHostAddress::TolerantConversion))
            entries.removeAt(i);
    }
    entries.append(known.text());
    // The oldest go first: discovery asks only this many.
    while (entries.size() > DiscoveryService::maxKnownAddresses)
        entries.removeFirst();
    Settings::setKnownAddresses(entries);
    addressEdit->clear();
    if (discovery)
        discovery->probe(known.address, known.port);
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

bool DeviceManager::sendText(const QVector<DeviceInfo> &targets, bool clipboard)
{
    const QString text = clipboard ? QApplication::clipboard()->text(QClipboard::Clipboard) : QString();
    if (targets.isEmpty() || (clipboard && text.isEmpty()))
        return false;
    auto *window = new SendTextWindow(targets, text);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    if (clipboard)
        window->send();
    return true;
}

void DeviceManager::clearList()
{
    delete listWidget->layout();
    delete title;
    title = nullptr;
    qDeleteAll(items);
    items.clear();
    itemIds.clear();
}
