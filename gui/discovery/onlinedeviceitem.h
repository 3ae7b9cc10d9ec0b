#pragma once

#include "core/deviceinfo.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QToolButton;

// One row of the online device list: tick box, name, address, port, a "传文件" button and a
// "文字" button whose menu sends the clipboard or opens the text editor for this device.
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
    QToolButton *textButton() const { return textBtn; }
    // Shows the name and the mark again, after the paired devices changed.
    void showNameAndPort();

signals:
    // "发送剪贴板" (clipboard) or "发送文字…" was chosen for this device.
    void textRequested(bool clipboard);

private:
    QLabel *nameLabel;
    QLabel *ipLabel;
    QLabel *portLabel;
    DeviceInfo device;
    QCheckBox *check;
    QPushButton *sendBtn;
    QToolButton *textBtn;
};
