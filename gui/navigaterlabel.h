#pragma once

#include <QLabel>

// One entry of the main window's left menu: a label that reports a press with its index.
class NavigaterLabel : public QLabel
{
    Q_OBJECT

public:
    NavigaterLabel(int index, const QString &text, QWidget *parent = nullptr);

signals:
    void clicked(int index);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    int index;
};
