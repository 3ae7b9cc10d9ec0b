#include "scalableiconstyle.h"

#include <QFont>
#include <QIconEngine>
#include <QPainter>

namespace {

// A blue disc with a white question mark, painted for every size and ratio it is asked for.
class QuestionMarkEngine : public QIconEngine
{
public:
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        const QRectF square = QRectF(rect).adjusted(1, 1, -1, -1);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(mode == QIcon::Disabled ? QColor(160, 160, 160) : QColor(17, 150, 238));
        painter->drawEllipse(square);
        QFont font = painter->font();
        font.setBold(true);
        font.setPixelSize(qMax(1, int(square.height() * 0.7)));
        painter->setFont(font);
        painter->setPen(Qt::white);
        painter->drawText(square, Qt::AlignCenter, QStringLiteral("?"));
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap image(size);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return image;
    }

    QIconEngine *clone() const override { return new QuestionMarkEngine; }
};

} // namespace

QIcon ScalableIconStyle::standardIcon(StandardPixmap icon, const QStyleOption *option, const QWidget *widget) const
{
    if (icon == SP_MessageBoxQuestion && !QIcon::hasThemeIcon(QStringLiteral("dialog-question")))
        return QIcon(new QuestionMarkEngine);
    return QProxyStyle::standardIcon(icon, option, widget);
}
