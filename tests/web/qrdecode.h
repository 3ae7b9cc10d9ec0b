#pragma once

#include <QImage>
#include <QStringList>

namespace testsupport {

// Every QR code a real decoder (zbar) finds in the image, as text.
QStringList decodeQrCodes(const QImage &image);

} // namespace testsupport
