#pragma once

#include "core/deviceinfo.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

// One row of the online device list: tick box, name, address, port and a "传文件" button.
class OnlineDeviceItem : public QWidget
{
    Q_OBJECT

public:
    explicit OnlineDeviceItem(const DeviceInfo &info, QWidget *parent = nullptr);

    const DeviceInfo &info() const { return device; }
    // A known device reported again: the name and port labels follow, nothing else changes.
    void setInfo(const DeviceInfo &info);
    QCheckBox *checkBox() const { return check; }
    QPushButton *sendButton() const { return sendBtn; }

private:
    void showNameAndPort();

    QLabel *nameLabel;
    QLabel *ipLabel;
    QLabel *portLabel;
    DeviceInfo device;
    QCheckBox *check;
    QPushButton *sendBtn;
};
