#pragma once

#include <QList>
#include <QObject>

class NavigaterLabel;
class QStackedWidget;

// Drives the main window's page stack from the left menu and highlights the current entry.
class Navigater : public QObject
{
    Q_OBJECT

public:
    Navigater(QStackedWidget *stack, const QList<NavigaterLabel *> &labels, QObject *parent = nullptr);

public slots:
    void selected(int index);

private:
    QList<NavigaterLabel *> labels;
    int currentIndex = 0;
    QStackedWidget *stack;
};
