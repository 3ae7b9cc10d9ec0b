#include "qrcodewidget.h"

#include <QPainter>
#include <QRectF>
#include <QVBoxLayout>
#include <QVector>
#include <qrencode.h>

#include <memory>

namespace {

// Room left around the symbol, split between both sides: the quiet zone scanners need.
constexpr int quietSpace = 50;

struct QrcodeDeleter
{
    void operator()(QRcode *code) const { QRcode_free(code); }
};

} // namespace

QrcodeWidget::QrcodeWidget(QWidget *parent)
    : QWidget(parent)
{
}

void QrcodeWidget::setText(const QString &newText)
{
    text = newText;
    update();
}

void QrcodeWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    shownNotice.clear();

    const QByteArray utf8 = text.toUtf8();
    std::unique_ptr<QRcode, QrcodeDeleter> code;
    if (!utf8.isEmpty())
        code.reset(QRcode_encodeString(utf8.constData(), 0, QR_ECLEVEL_Q, QR_MODE_8, 1));
    if (!code) {
        // Empty text, or more than the largest version holds: explain rather than stay blank.
        shownNotice = text.isEmpty() ? tr("没有可显示的地址") : tr("链接太长，请使用“拷贝地址”");
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect().adjusted(10, 0, -10, 0), Qt::AlignCenter | Qt::TextWordWrap, shownNotice);
        return;
    }

    const int n = code->width;
    scale = (width() - quietSpace) / n;
    margin = width() / 2 - (n * scale) / 2;
    if (scale <= 0)
        return;

    // Row r of the symbol runs down the widget and column c across it, the orientation scanners
    // expect. Each dark module is exactly scale pixels wide: no outline that would let it bleed
    // into its light neighbours.
    QVector<QRectF> dark;
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            if (code->data[r * n + c] & 1)
                dark.append(QRectF(margin + c * scale, margin + r * scale, scale, scale));
        }
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QBrush(Qt::black, Qt::SolidPattern));
    painter.drawRects(dark);
}

QrcodeWidget *QrcodeWidget::showIn(QWidget *area, const QString &text)
{
    auto *code = new QrcodeWidget(area->window());
    code->setText(text);
    // Made without a parent and then installed: the window already has a layout of its own.
    auto *layout = new QVBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(code);
    area->setLayout(layout);
    return code;
}

void QrcodeWidget::removeFrom(QWidget *area, QrcodeWidget *code)
{
    delete area->layout();
    delete code;
}
