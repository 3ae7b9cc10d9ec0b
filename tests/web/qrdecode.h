#pragma once

#include <QImage>
#include <QStringList>

class QWidget;

namespace testsupport {

// Every QR code a real decoder (zbar) finds in the image, as text.
QStringList decodeQrCodes(const QImage &image);

// The text of the one QR code a web window shows, read from the whole window as the user sees it
// once the code is laid out in its 350-pixel area; a text in angle brackets says what is wrong.
QString decodeShownQrCode(QWidget *window);

} // namespace testsupport
