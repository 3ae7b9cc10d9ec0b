#pragma once

#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>

namespace testsupport {

// Answers modal message boxes that a test provokes: every box that appears is recorded (title
// and text) and closed with the chosen button. Polls the top-level widgets from the event loop,
// so it also works while a modal box runs its own nested loop.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    explicit ModalAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok, QObject *parent = nullptr);

    QStringList texts() const { return seenTexts; }
    QStringList titles() const { return seenTitles; }
    int count() const { return seenTexts.size(); }

private:
    void answerOpenBoxes();

    QMessageBox::StandardButton answer;
    QStringList seenTexts;
    QStringList seenTitles;
    QTimer poll;
};

} // namespace testsupport
