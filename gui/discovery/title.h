#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

class QLabel;

// The header row of the online device list; its column widths match OnlineDeviceItem.
class Title : public QWidget
{
    Q_OBJECT

public:
    explicit Title(const QStringList &texts, QWidget *parent = nullptr);

private:
    QStringList texts;
    QList<QLabel *> labels;
};
