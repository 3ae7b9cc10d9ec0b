#pragma once

#include <QLabel>

class QComboBox;

// The line under a web window's address list: when the chosen address is a container bridge, a
// tunnel or a link-local one, it names the address a phone on the network more likely reaches
// ("手机请使用 192.168.1.23（wlan0）"); otherwise it is hidden.
class AddressHint : public QLabel
{
    Q_OBJECT

public:
    // Puts the line into the window's layout right under the row of addresses.
    explicit AddressHint(QComboBox *addresses);

private:
    void update(const QString &address);
};
