#include "qrdecode.h"

#include "gui/web/qrcodewidget.h"

#include <QTest>
#include <QWidget>

#include <zbar.h>

namespace testsupport {

QStringList decodeQrCodes(const QImage &image)
{
    // zbar.h puts its C interface into the namespace zbar when included from C++.
    using namespace zbar;

    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    // zbar wants tightly packed rows; QImage pads each row to 4 bytes.
    QByteArray pixels;
    pixels.reserve(gray.width() * gray.height());
    for (int y = 0; y < gray.height(); ++y)
        pixels.append(reinterpret_cast<const char *>(gray.constScanLine(y)), gray.width());

    zbar_image_scanner_t *scanner = zbar_image_scanner_create();
    zbar_image_scanner_set_config(scanner, ZBAR_NONE, ZBAR_CFG_ENABLE, 0);
    zbar_image_scanner_set_config(scanner, ZBAR_QRCODE, ZBAR_CFG_ENABLE, 1);
    zbar_image_t *zimage = zbar_image_create();
    zbar_image_set_format(zimage, zbar_fourcc('Y', '8', '0', '0'));
    zbar_image_set_size(zimage, static_cast<unsigned>(gray.width()), static_cast<unsigned>(gray.height()));
    zbar_image_set_data(zimage, pixels.constData(), static_cast<unsigned long>(pixels.size()), nullptr);

    QStringList found;
    if (zbar_scan_image(scanner, zimage) > 0) {
        for (const zbar_symbol_t *symbol = zbar_image_first_symbol(zimage); symbol; symbol = zbar_symbol_next(symbol)) {
            found.append(
                QString::fromUtf8(zbar_symbol_get_data(symbol), static_cast<int>(zbar_symbol_get_data_length(symbol))));
        }
    }
    zbar_image_destroy(zimage);
    zbar_image_scanner_destroy(scanner);
    return found;
}

QString decodeShownQrCode(QWidget *window)
{
    const QList<QrcodeWidget *> widgets = window->findChildren<QrcodeWidget *>();
    if (widgets.size() != 1)
        return QStringLiteral("<%1 QR widgets>").arg(widgets.size());
    QrcodeWidget *widget = widgets.first();
    if (!QTest::qWaitFor([widget] { return widget->isVisible(); }))
        return QStringLiteral("<QR widget not shown>");
    if (widget->width() != 350)
        return QStringLiteral("<QR widget %1 pixels wide>").arg(widget->width());
    const QStringList found = decodeQrCodes(window->grab().toImage());
    return found.size() == 1 ? found.first() : QStringLiteral("<%1 codes found>").arg(found.size());
}

} // namespace testsupport
