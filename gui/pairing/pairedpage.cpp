#include "pairedpage.h"

#include "core/paireddevices.h"
#include "core/peertext.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <utility>

namespace {

// The fingerprint of a row's device, kept in its name item.
constexpr int fingerprintRole = Qt::UserRole;
// A name the user types is kept to this many characters.
constexpr int maxNameCharacters = 64;

} // namespace

PairedPage::PairedPage(QWidget *parent)
    : QWidget(parent)
    , table(new QTableWidget(0, ColumnCount, this))
    , emptyHint(
          new QLabel(tr("还没有配对的设备。传输文件时比对了验证码后，可在确认框或完成时选择“记住此设备”。"), this))
{
    auto *title = new QLabel(tr("已配对的设备"), this);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    title->setFont(titleFont);
    auto *explanation
        = new QLabel(tr("已配对的设备凭密钥而不是名字认出：来自它们的文件不必比对验证码。取消配对立即生效。"), this);
    explanation->setWordWrap(true);
    emptyHint->setObjectName(QStringLiteral("paired_empty_hint"));
    emptyHint->setWordWrap(true);
    table->setObjectName(QStringLiteral("paired_table"));
    table->setHorizontalHeaderLabels({ tr("名称"), tr("指纹"), tr("最后地址"), QString(), tr("操作") });
    table->verticalHeader()->hide();
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    table->horizontalHeader()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    for (int column = FingerprintColumn; column < ColumnCount; ++column)
        table->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    connect(table, &QTableWidget::itemChanged, this, &PairedPage::nameEdited);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(explanation);
    layout->addWidget(emptyHint);
    layout->addWidget(table, 1);
    reload();
}

void PairedPage::showEvent(QShowEvent *event)
{
    // Pairs made since the page was last shown (in a transfer, or by the command) appear.
    reload();
    QWidget::showEvent(event);
}

void PairedPage::reload()
{
    filling = true;
    const QVector<PairedDevice> devices = PairedDevices::all();
    table->setRowCount(0);
    table->setRowCount(devices.size());
    for (int row = 0; row < devices.size(); ++row) {
        const PairedDevice &device = devices.at(row);
        const QString fingerprint = device.fingerprint();
        // Names came from a peer once: shown as plain text in a cell that draws nothing else.
        auto *name = new QTableWidgetItem(peerText(device.name));
        name->setData(fingerprintRole, fingerprint);
        table->setItem(row, NameColumn, name);
        for (const auto &[column, text] : { std::pair<int, QString> { FingerprintColumn, fingerprint },
                 { AddressColumn, device.lastAddress.isValid() ? device.lastAddress.text() : tr("未知") } }) {
            auto *item = new QTableWidgetItem(text);
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            table->setItem(row, column, item);
        }

        auto *autoAccept = new QCheckBox(tr("自动接收来自此设备的文件"));
        autoAccept->setObjectName(QStringLiteral("paired_auto_accept"));
        autoAccept->setChecked(device.autoAccept);
        connect(autoAccept, &QCheckBox::toggled, this,
            [fingerprint](bool on) { PairedDevices::setAutoAccept(fingerprint, on); });
        table->setCellWidget(row, AutoAcceptColumn, autoAccept);

        auto *actions = new QWidget;
        auto *rename = new QPushButton(tr("重命名"), actions);
        rename->setObjectName(QStringLiteral("paired_rename"));
        auto *unpair = new QPushButton(tr("取消配对"), actions);
        unpair->setObjectName(QStringLiteral("paired_unpair"));
        auto *buttons = new QHBoxLayout(actions);
        buttons->setContentsMargins(0, 0, 0, 0);
        buttons->addWidget(rename);
        buttons->addWidget(unpair);
        connect(rename, &QPushButton::clicked, this, [this, name] { table->editItem(name); });
        connect(unpair, &QPushButton::clicked, this, [this, fingerprint] {
            PairedDevices::unpair(fingerprint);
            // Later: the button that asked is in the row that goes.
            QMetaObject::invokeMethod(this, &PairedPage::reload, Qt::QueuedConnection);
        });
        table->setCellWidget(row, ActionsColumn, actions);
    }
    emptyHint->setVisible(devices.isEmpty());
    table->setVisible(!devices.isEmpty());
    filling = false;
}

void PairedPage::nameEdited(QTableWidgetItem *item)
{
    if (filling || item->column() != NameColumn)
        return;
    const QString fingerprint = item->data(fingerprintRole).toString();
    const QString name = item->text().trimmed().left(maxNameCharacters);
    // A device keeps a name: an emptied cell shows the stored one again.
    if (!name.isEmpty())
        PairedDevices::rename(fingerprint, name);
    // Later: the cell's editor is still closing.
    QMetaObject::invokeMethod(this, &PairedPage::reload, Qt::QueuedConnection);
}
