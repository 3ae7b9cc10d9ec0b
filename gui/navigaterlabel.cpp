#include "navigaterlabel.h"

#include <QMouseEvent>

NavigaterLabel::NavigaterLabel(int entryIndex, const QString &text, QWidget *parent)
    : QLabel(text, parent)
    , index(entryIndex)
{
}

void NavigaterLabel::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    emit clicked(index);
}
