#pragma once

#include "core/deviceinfo.h"

#include <QDialog>
#include <QPointer>
#include <QVector>

class OutgoingTransfer;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class SenderContext;

// The small editor behind "发送文字…" and "发送剪贴板": a plain-text box and "发送", which sends
// the text to the chosen devices one after the other, each over its own connection and progress
// window, as the send-file window sends files. A receiver that takes texts shows it in a window;
// any other saves it as a file named by the time it was sent.
class SendTextWindow : public QDialog
{
    Q_OBJECT

public:
    SendTextWindow(QVector<DeviceInfo> devices, const QString &text, QWidget *parent = nullptr);

    // Sends what the box holds; an empty text, or one over 1 MiB, is refused with a line that
    // says why. Returns whether sending started.
    bool send();

private:
    void sessionStarted(SenderContext *session);
    void say(const QString &line);

    QVector<DeviceInfo> devices;
    QPlainTextEdit *editor;
    QLabel *hint;
    QPushButton *sendButton;
    QPointer<OutgoingTransfer> outgoing;
};
