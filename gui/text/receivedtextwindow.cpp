#include "receivedtextwindow.h"

#include "core/humansize.h"
#include "core/peertext.h"
#include "core/sharedtext.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

ReceivedTextWindow::ReceivedTextWindow(const QString &text, const QString &from, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , original(sharedtext::normalized(text))
    , singleLink(sharedtext::singleLink(original))
    , title(new QLabel(this))
    , view(new QPlainTextEdit(this))
    , copyButton(new QPushButton(tr("复制"), this))
    , openButton(new QPushButton(tr("打开链接"), this))
    , copied(new QLabel(this))
    , openLink([](const QUrl &url) { QDesktopServices::openUrl(url); })
{
    setWindowTitle(tr("收到的文字"));
    setAttribute(Qt::WA_DeleteOnClose);
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this, this, &QWidget::close);
    resize(480, 360);

    title->setObjectName(QStringLiteral("textTitle"));
    title->setTextFormat(Qt::PlainText);
    title->setText(tr("来自%1的文字（%2）").arg(peerText(from), humanSize(original.toUtf8().size())));

    // A plain-text view: no markup is ever interpreted, and the neutralised text keeps its lines
    // and its own order.
    view->setObjectName(QStringLiteral("textView"));
    view->setReadOnly(true);
    view->setPlainText(sharedtext::shown(original));
    view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    copyButton->setObjectName(QStringLiteral("copyTextButton"));
    openButton->setObjectName(QStringLiteral("openLinkButton"));
    openButton->setVisible(singleLink.isValid());
    openButton->setToolTip(singleLink.isValid() ? peerText(singleLink.toDisplayString()) : QString());
    copied->setObjectName(QStringLiteral("copiedLabel"));
    copied->setTextFormat(Qt::PlainText);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(copied, 1);
    buttons->addWidget(openButton);
    buttons->addWidget(copyButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(view, 1);
    layout->addLayout(buttons);

    connect(copyButton, &QPushButton::clicked, this, &ReceivedTextWindow::copyText);
    connect(openButton, &QPushButton::clicked, this, [this] {
        if (singleLink.isValid())
            openLink(singleLink);
    });
    copyButton->setFocus(Qt::OtherFocusReason);
}

void ReceivedTextWindow::setLinkOpener(LinkOpener opener)
{
    openLink = std::move(opener);
}

void ReceivedTextWindow::copyText()
{
    QApplication::clipboard()->setText(original, QClipboard::Clipboard);
    copied->setText(tr("已复制到剪贴板"));
}
