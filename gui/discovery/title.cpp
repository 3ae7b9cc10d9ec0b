#include "title.h"

#include <QHBoxLayout>
#include <QLabel>

Title::Title(const QStringList &columnTexts, QWidget *parent)
    : QWidget(parent)
    , texts(columnTexts)
{
    setObjectName(QStringLiteral("device_list_title"));
    auto *box = new QHBoxLayout(this);
    for (const QString &text : texts) {
        auto *label = new QLabel(text, this);
        label->setAlignment(Qt::AlignCenter);
        labels.append(label);
        box->addWidget(label);
    }
    // Same widths as the columns of a device row.
    if (labels.size() > 0)
        labels[0]->setMaximumWidth(40);
    if (labels.size() > 1)
        labels[1]->setMinimumWidth(300);
    if (labels.size() > 2)
        labels[2]->setMaximumWidth(240);
    if (labels.size() > 3)
        labels[3]->setMaximumWidth(100);
    if (labels.size() > 4)
        labels[4]->setMaximumWidth(120);
}
