#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// Shows a text that arrived (from the upload page, later from a device) as plain text, with
// "复制", which puts the text as it was sent on the clipboard, and, when the whole text is one
// http(s) link, "打开链接", which opens it only when clicked. Nothing is run or opened by itself.
class ReceivedTextWindow : public QWidget
{
    Q_OBJECT

public:
    // from names where the text came from ("网页" or a device), shown in the title line.
    ReceivedTextWindow(const QString &text, const QString &from, QWidget *parent = nullptr);

    using LinkOpener = std::function<void(const QUrl &link)>;

    QString text() const { return original; }
    QUrl link() const { return singleLink; }
    // Replaces the desktop's opener (QDesktopServices), which a test must not start.
    void setLinkOpener(LinkOpener opener);

private:
    void copyText();

    QString original;
    QUrl singleLink;
    QLabel *title;
    QPlainTextEdit *view;
    QPushButton *copyButton;
    QPushButton *openButton;
    QLabel *copied;
    LinkOpener openLink;
};
