#include "onlinedeviceitem.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {

constexpr int nameElisionThreshold = 280;
constexpr int nameElidedWidth = 300;

} // namespace

OnlineDeviceItem::OnlineDeviceItem(const DeviceInfo &info, QWidget *parent)
    : QWidget(parent)
    , nameLabel(new QLabel(this))
    , ipLabel(new QLabel(info.ip, this))
    , portLabel(new QLabel(QString::number(info.port), this))
    , device(info)
    , check(new QCheckBox(this))
    , sendBtn(new QPushButton(QStringLiteral("传文件"), this))
{
    setObjectName(QStringLiteral("online_device_item"));
    check->setObjectName(QStringLiteral("device_check"));
    nameLabel->setObjectName(QStringLiteral("device_name_label"));
    ipLabel->setObjectName(QStringLiteral("device_ip_label"));
    portLabel->setObjectName(QStringLiteral("device_port_label"));
    sendBtn->setObjectName(QStringLiteral("device_send_btn"));

    const QFontMetrics metrics(font());
    if (metrics.horizontalAdvance(info.deviceName) < nameElisionThreshold)
        nameLabel->setText(info.deviceName);
    else
        nameLabel->setText(metrics.elidedText(info.deviceName, Qt::ElideRight, nameElidedWidth));
    nameLabel->setToolTip(info.deviceName);

    check->setMaximumWidth(40);
    nameLabel->setMinimumWidth(300);
    nameLabel->setAlignment(Qt::AlignCenter);
    ipLabel->setMaximumWidth(240);
    ipLabel->setAlignment(Qt::AlignCenter);
    portLabel->setMaximumWidth(100);
    portLabel->setAlignment(Qt::AlignCenter);
    sendBtn->setMaximumWidth(120);

    auto *box = new QHBoxLayout(this);
    box->addWidget(check);
    box->addWidget(nameLabel);
    box->addWidget(ipLabel);
    box->addWidget(portLabel);
    box->addWidget(sendBtn);
}
