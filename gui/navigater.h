#pragma once

#include <QList>
#include <QObject>

class NavigaterLabel;
class QStackedWidget;

// Drives the main window's page stack from the left menu and highlights the current entry. The
// keyboard reaches every entry: the arrow keys move between them, Enter or Space opens one, and
// Ctrl+1 to Ctrl+9 open the first nine from anywhere in the window.
class Navigater : public QObject
{
    Q_OBJECT

public:
    Navigater(QStackedWidget *stack, const QList<NavigaterLabel *> &labels, QObject *parent = nullptr);

public slots:
    void selected(int index);

private:
    void step(int from, int delta);
    void makeTabStop(int index);

    QList<NavigaterLabel *> labels;
    int currentIndex = 0;
    QStackedWidget *stack;
};
