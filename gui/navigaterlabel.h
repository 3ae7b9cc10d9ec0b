#pragma once

#include <QLabel>

// One entry of the main window's left menu: a label that reports a press, Enter or Space with its
// index, and the arrow keys as a step to a neighbouring entry.
class NavigaterLabel : public QLabel
{
    Q_OBJECT

public:
    NavigaterLabel(int index, const QString &text, QWidget *parent = nullptr);

signals:
    void clicked(int index);
    // Up or Left (-1), Down or Right (+1) while this entry has the focus.
    void stepped(int index, int step);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    int index;
};
