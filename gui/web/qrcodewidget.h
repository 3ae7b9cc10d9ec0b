#pragma once

#include <QString>
#include <QWidget>

// Shows a text, in practice a share link, as a QR code scaled to the widget's width. The symbol
// is encoded anew on every paint; a text that cannot be encoded (empty, or too long for any QR
// version) shows a short message instead of a symbol.
class QrcodeWidget : public QWidget
{
    Q_OBJECT

public:
    explicit QrcodeWidget(QWidget *parent = nullptr);

    // The web windows show their code alone in a placeholder area, edge to edge; these put a new
    // code there and take it away again.
    static QrcodeWidget *showIn(QWidget *area, const QString &text);
    static void removeFrom(QWidget *area, QrcodeWidget *code);

    void setText(const QString &newText);

    // The message drawn instead of a symbol at the last paint; empty while a symbol is shown.
    QString notice() const { return shownNotice; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int scale = 0;
    int margin = 0;
    QString text;
    QString shownNotice;
};
