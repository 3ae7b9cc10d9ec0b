#include "navigater.h"

#include "gui/navigaterlabel.h"

#include <QStackedWidget>

namespace {

const QString highlightedStyle = QStringLiteral("QLabel{background-color:rgb(17,150,238);color:rgb(255,255,255);}");
const QString plainStyle = QStringLiteral("QLabel{background-color:rgb(255,255,255);color:rgb(0,0,0);}");

} // namespace

Navigater::Navigater(QStackedWidget *pages, const QList<NavigaterLabel *> &menuLabels, QObject *parent)
    : QObject(parent)
    , labels(menuLabels)
    , stack(pages)
{
    for (NavigaterLabel *label : qAsConst(labels)) {
        label->setMargin(5);
        connect(label, &NavigaterLabel::clicked, this, &Navigater::selected);
    }
    stack->setCurrentIndex(0);
    if (!labels.isEmpty())
        labels.first()->setStyleSheet(highlightedStyle);
}

void Navigater::selected(int index)
{
    if (index == currentIndex)
        return;
    currentIndex = index;
    for (NavigaterLabel *label : qAsConst(labels))
        label->setStyleSheet(plainStyle);
    if (index >= 0 && index < labels.size())
        labels.at(index)->setStyleSheet(highlightedStyle);
    stack->setCurrentIndex(index);
}
