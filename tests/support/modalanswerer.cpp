#include "modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>

namespace testsupport {

ModalAnswerer::ModalAnswerer(QMessageBox::StandardButton button, QObject *parent)
    : QObject(parent)
    , answer(button)
{
    connect(&poll, &QTimer::timeout, this, &ModalAnswerer::answerOpenBoxes);
    poll.start(20);
}

void ModalAnswerer::answerOpenBoxes()
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box || !box->isVisible() || box->property("answeredByTest").toBool())
            continue;
        box->setProperty("answeredByTest", true);
        seenTexts.append(box->text());
        seenTitles.append(box->windowTitle());
        QAbstractButton *button = box->button(answer);
        if (!button && !box->buttons().isEmpty())
            button = box->buttons().first();
        if (button)
            button->click();
        else
            box->done(answer);
    }
}

} // namespace testsupport
