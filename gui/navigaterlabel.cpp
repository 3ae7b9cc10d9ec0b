#include "navigaterlabel.h"

#include <QKeyEvent>
#include <QMouseEvent>

NavigaterLabel::NavigaterLabel(int entryIndex, const QString &text, QWidget *parent)
    : QLabel(text, parent)
    , index(entryIndex)
{
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(text);
}

void NavigaterLabel::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    emit clicked(index);
}

void NavigaterLabel::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() & ~Qt::KeypadModifier) {
        QLabel::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        emit clicked(index);
        break;
    case Qt::Key_Up:
    case Qt::Key_Left:
        emit stepped(index, -1);
        break;
    case Qt::Key_Down:
    case Qt::Key_Right:
        emit stepped(index, 1);
        break;
    default:
        QLabel::keyPressEvent(event);
        return;
    }
    event->accept();
}
