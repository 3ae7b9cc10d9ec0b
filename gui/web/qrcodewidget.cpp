#include "qrcodewidget.h"

#include "web/qrmatrix.h"

#include <QPainter>
#include <QRectF>
#include <QVBoxLayout>
#include <QVector>

namespace {

// Room left around the symbol, split between both sides: the quiet zone scanners need.
constexpr int quietSpace = 50;

} // namespace

QrcodeWidget::QrcodeWidget(QWidget *parent)
    : QWidget(parent)
{
    setAccessibleName(tr("二维码"));
}

void QrcodeWidget::setText(const QString &newText)
{
    text = newText;
    // A screen reader cannot read the symbol; it reads what the symbol holds.
    setAccessibleDescription(newText);
    update();
}

void QrcodeWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    shownNotice.clear();

    const QrMatrix code = QrMatrix::encode(text);
    if (code.isNull()) {
        // Empty text, or more than the largest version holds: explain rather than stay blank.
        shownNotice = text.isEmpty() ? tr("没有可显示的地址") : tr("链接太长，请使用“拷贝地址”");
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect().adjusted(10, 0, -10, 0), Qt::AlignCenter | Qt::TextWordWrap, shownNotice);
        return;
    }

    const int n = code.size();
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
            if (code.isDark(r, c))
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
