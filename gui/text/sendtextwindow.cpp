#include "sendtextwindow.h"

#include "core/humansize.h"
#include "core/peertext.h"
#include "core/sharedtext.h"
#include "gui/transfer/progressbarui.h"
#include "transfer/outgoingtransfer.h"
#include "transfer/sendercontext.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

SendTextWindow::SendTextWindow(QVector<DeviceInfo> targets, const QString &text, QWidget *parent)
    : QDialog(parent)
    , devices(std::move(targets))
    , editor(new QPlainTextEdit(this))
    , hint(new QLabel(this))
    , sendButton(new QPushButton(tr("发送"), this))
{
    QStringList names;
    for (const DeviceInfo &device : qAsConst(devices))
        names.append(elideMiddle(peerText(device.deviceName), 40));
    setWindowTitle(tr("发送文字给 %1").arg(names.join(tr("、"))));
    resize(480, 320);

    editor->setObjectName(QStringLiteral("textEditor"));
    // Plain text only: what is pasted arrives without markup.
    editor->setPlainText(text);
    editor->setTabChangesFocus(true);
    hint->setObjectName(QStringLiteral("textHint"));
    hint->setTextFormat(Qt::PlainText);
    hint->setWordWrap(true);
    sendButton->setObjectName(QStringLiteral("sendTextButton"));
    sendButton->setDefault(true);
    connect(sendButton, &QPushButton::clicked, this, &SendTextWindow::send);
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), this, this, &SendTextWindow::send);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(hint, 1);
    buttons->addWidget(sendButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(editor, 1);
    layout->addLayout(buttons);
    editor->setFocus(Qt::OtherFocusReason);
}

bool SendTextWindow::send()
{
    if (outgoing)
        return false;
    const QString text = editor->toPlainText();
    const QByteArray utf8 = text.toUtf8();
    if (text.isEmpty()) {
        say(tr("请先输入要发送的文字！"));
        return false;
    }
    if (utf8.size() > sharedtext::maxTextBytes) {
        say(tr("文字过长（%1），一次最多发送 %2。").arg(humanSize(utf8.size()), humanSize(sharedtext::maxTextBytes)));
        return false;
    }
    QVector<OutgoingTransfer::Target> inTurn;
    for (const DeviceInfo &device : qAsConst(devices))
        inTurn.append({ device.deviceName, device.addr.toString(), device.port });
    outgoing = new OutgoingTransfer(text, inTurn, this);
    connect(outgoing, &OutgoingTransfer::sessionStarted, this, &SendTextWindow::sessionStarted);
    connect(outgoing, &OutgoingTransfer::connectFailed, this, [this](const TransferFailure &failure) {
        const QString reason = failure.kind == TransferFailure::Kind::TimedOut ? tr("连接超时！") : failure.detail;
        say(tr("无法连接 %1：%2").arg(peerText(outgoing->currentTarget().name), reason));
        outgoing->next();
    });
    // Every device had its turn: the progress windows have shown how each went.
    connect(outgoing, &OutgoingTransfer::finished, this, [this] {
        outgoing->deleteLater();
        editor->setReadOnly(false);
        sendButton->setEnabled(true);
    });
    editor->setReadOnly(true);
    sendButton->setEnabled(false);
    say(QString());
    outgoing->next();
    return true;
}

void SendTextWindow::sessionStarted(SenderContext *session)
{
    auto *progress = new ProgressBarUI(session, nullptr);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    connect(progress, &ProgressBarUI::openNextTask, outgoing, &OutgoingTransfer::next);
    // Closing a progress window gives up the devices still to come.
    connect(progress, &ProgressBarUI::transferInterruptedByUser, this, [this] {
        if (outgoing)
            outgoing->deleteLater();
        editor->setReadOnly(false);
        sendButton->setEnabled(true);
    });
    progress->show();
}

void SendTextWindow::say(const QString &line)
{
    hint->setText(line);
}
