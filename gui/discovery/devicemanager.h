#pragma once

#include "core/deviceinfo.h"
#include "discovery/devicelist.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVector>

class DiscoveryService;
class OnlineDeviceItem;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class QWidget;
class Title;

// Keeps the online device page in step with its DeviceList: one row per online device, in the
// order first reported, ticks kept; the list sends the periodic discovery requests while the
// manager exists and drops devices that have gone silent. Rows live as long as their device: a
// report that changes nothing changes no widget, so a press on a row is never lost to a rebuild.
class DeviceManager : public QObject
{
    Q_OBJECT

public:
    // Devices that come or go change the rows at once this many times in a window; further
    // changes in the window are gathered and shown when it ends. A known device that reports
    // again never touches more than its own labels.
    static constexpr int maxListChangesPerWindow = 4;
    static constexpr int listChangeWindowMs = 250;

    DeviceManager(
        QPushButton *multiTransferButton, QCheckBox *selectAllBox, QWidget *listWidget, QObject *parent = nullptr);

    void startDiscovery(DiscoveryService *service);
    void refreshList();
    void handleNewHost(const QString &deviceName, const QHostAddress &addr, ushort port,
        const QString &fingerprint = QString(), ushort discoveryPort = 0);

    // The online devices the rows show.
    DeviceList &onlineDevices() { return devices; }
    // The devices "批量传送" would send to: those ticked when the selection last changed.
    const QVector<DeviceInfo> &selection() const { return selectedDevices; }

public slots:
    void updateSelectedDevice();
    void selectAllDevices();
    void multiTransfer();
    // "添加设备": keeps the typed address (and port) among the known addresses, which discovery
    // asks directly with every request, and asks it at once.
    void addDevice();
    void openTransferWindow(const QVector<DeviceInfo> &targets);
    // Files to send that came from outside (the file manager, a second launch): they go to the
    // ticked devices' send window at once, or else into the next send window opened. Returns
    // whether a window opened.
    bool offerFiles(const QStringList &paths);
    // A text to the devices: with clipboard the clipboard's text is sent at once, otherwise the
    // editor opens (empty). Returns false, doing nothing, when there is nothing to send to or
    // (clipboard) the clipboard holds no text.
    bool sendText(const QVector<DeviceInfo> &targets, bool clipboard);
    // The same for the ticked devices, from the tray.
    bool sendTextToSelection(bool clipboard) { return sendText(selectedDevices, clipboard); }

private:
    void clearList();
    // Tab order: 全选, 批量传送, then each row's tick box and its two buttons, top to bottom.
    void orderFocus();
    OnlineDeviceItem *addRow(const DeviceInfo &device, quint64 id, QVBoxLayout *box);
    void listChanged();
    void listWindowEnded();
    bool rowPressed() const;
    void syncRows();
    void deviceChanged(const DeviceInfo &device);
    void deviceRemoved(const DeviceInfo &device);

    DeviceList devices;
    QVector<DeviceInfo> selectedDevices;
    QStringList pendingFiles;
    QVector<OnlineDeviceItem *> items;
    // The device id (DeviceList::idAt) of each row, same index as items: a row stays only while
    // its device is still the one it was made for.
    QVector<quint64> itemIds;
    Title *title = nullptr;
    QPushButton *multiTransferBtn;
    QCheckBox *selectAll;
    QWidget *listWidget;
    QLineEdit *addressEdit;
    QPushButton *addDeviceBtn;
    DiscoveryService *discovery = nullptr;
    QTimer listWindow;
    int changesInWindow = 0;
    bool syncPending = false;
};
