#include "onlinedeviceitem.h"

#include "core/paireddevices.h"
#include "core/peertext.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTextDocument>
#include <QToolButton>

namespace {

constexpr int nameElisionThreshold = 280;
constexpr int nameElidedWidth = 300;
// Names are cut to this many characters before they are measured.
constexpr int maxNameCharacters = 256;

} // namespace

OnlineDeviceItem::OnlineDeviceItem(const DeviceInfo &info, QWidget *parent)
    : QWidget(parent)
    , nameLabel(new QLabel(this))
    , ipLabel(new QLabel(this))
    , portLabel(new QLabel(this))
    , device(info)
    , check(new QCheckBox(this))
    , sendBtn(new QPushButton(tr("传文件"), this))
    , textBtn(new QToolButton(this))
{
    setObjectName(QStringLiteral("online_device_item"));
    check->setObjectName(QStringLiteral("device_check"));
    nameLabel->setObjectName(QStringLiteral("device_name_label"));
    ipLabel->setObjectName(QStringLiteral("device_ip_label"));
    portLabel->setObjectName(QStringLiteral("device_port_label"));
    sendBtn->setObjectName(QStringLiteral("device_send_btn"));
    textBtn->setObjectName(QStringLiteral("device_text_btn"));
    textBtn->setText(tr("文字"));
    textBtn->setPopupMode(QToolButton::InstantPopup);
    auto *textMenu = new QMenu(textBtn);
    textMenu->addAction(tr("发送剪贴板"), this, [this] { emit textRequested(true); });
    textMenu->addAction(tr("发送文字…"), this, [this] { emit textRequested(false); });
    textBtn->setMenu(textMenu);

    // The name is the peer's choice: it must not be able to draw anything but itself.
    for (QLabel *label : { nameLabel, ipLabel, portLabel })
        label->setTextFormat(Qt::PlainText);
    ipLabel->setText(info.ip);
    showNameAndPort();

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
    box->addWidget(textBtn);
}

void OnlineDeviceItem::setInfo(const DeviceInfo &info)
{
    if (info.deviceName == device.deviceName && info.port == device.port && info.fingerprint == device.fingerprint)
        return;
    device.deviceName = info.deviceName;
    device.port = info.port;
    device.fingerprint = info.fingerprint;
    showNameAndPort();
}

void OnlineDeviceItem::showNameAndPort()
{
    // A paired device goes by the name the user knows it by, whatever it calls itself now. Only
    // the paired fingerprint marks it: a paired device's name alone does not.
    const std::optional<PairedDevice> paired
        = device.fingerprint.isEmpty() ? std::nullopt : PairedDevices::findByFingerprint(device.fingerprint);
    QString name = elideMiddle(peerText(paired ? paired->name : device.deviceName), maxNameCharacters);
    if (paired)
        name = tr("%1（已配对）").arg(name);
    const QFontMetrics metrics(font());
    if (metrics.horizontalAdvance(name) < nameElisionThreshold)
        nameLabel->setText(name);
    else
        nameLabel->setText(metrics.elidedText(name, Qt::ElideRight, nameElidedWidth));
    // A tool tip takes rich text whenever its text looks like it.
    nameLabel->setToolTip(Qt::convertFromPlainText(name, Qt::WhiteSpaceNormal));
    portLabel->setText(QString::number(device.port));
    // What a screen reader says for the row and its two controls.
    const QString described = tr("%1，%2，端口 %3").arg(name, device.ip, QString::number(device.port));
    setAccessibleName(described);
    check->setAccessibleName(tr("选择 %1").arg(name));
    sendBtn->setAccessibleName(tr("传文件给 %1").arg(name));
    sendBtn->setAccessibleDescription(described);
    textBtn->setAccessibleName(tr("发送文字给 %1").arg(name));
}
