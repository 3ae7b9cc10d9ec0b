#include "addresshint.h"

#include "core/localipv4addresses.h"

#include <QBoxLayout>
#include <QComboBox>

namespace {

// The layout whose item is the layout holding widget, and that item's index.
QBoxLayout *outerLayout(QLayout *layout, QWidget *widget, int *index)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayout *inner = layout->itemAt(i)->layout();
        if (!inner)
            continue;
        if (inner->indexOf(widget) >= 0) {
            *index = i;
            return qobject_cast<QBoxLayout *>(layout);
        }
        if (QBoxLayout *found = outerLayout(inner, widget, index))
            return found;
    }
    return nullptr;
}

} // namespace

AddressHint::AddressHint(QComboBox *addresses)
    : QLabel(addresses->parentWidget())
{
    setObjectName(QStringLiteral("address_hint"));
    setTextFormat(Qt::PlainText);
    setStyleSheet(QStringLiteral("color: #c0392b;"));
    int index = -1;
    if (QBoxLayout *layout = addresses->parentWidget()->layout()
            ? outerLayout(addresses->parentWidget()->layout(), addresses, &index)
            : nullptr)
        layout->insertWidget(index + 1, this);
    connect(addresses, &QComboBox::currentTextChanged, this, &AddressHint::update);
    update(addresses->currentText());
}

void AddressHint::update(const QString &address)
{
    const LocalAddress better = betterAddressThan(address);
    setVisible(!better.address.isEmpty());
    if (!better.address.isEmpty())
        setText(tr("手机请使用 %1（%2）").arg(better.address, better.interfaceName));
}
