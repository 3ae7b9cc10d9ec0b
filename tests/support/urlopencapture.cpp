#include "urlopencapture.h"

#include <QDesktopServices>

namespace testsupport {

UrlOpenCapture::UrlOpenCapture(QObject *parent)
    : QObject(parent)
{
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
}

UrlOpenCapture::~UrlOpenCapture()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

void UrlOpenCapture::openUrl(const QUrl &url)
{
    opened.append(url);
    emit urlOpened(url);
}

} // namespace testsupport
