#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

namespace testsupport {

// Captures what the program asks the desktop to open (QDesktopServices::openUrl with file
// URLs) instead of launching a file manager.
class UrlOpenCapture : public QObject
{
    Q_OBJECT

public:
    explicit UrlOpenCapture(QObject *parent = nullptr);
    ~UrlOpenCapture() override;

    QList<QUrl> urls() const { return opened; }

public slots:
    void openUrl(const QUrl &url);

signals:
    void urlOpened(const QUrl &url);

private:
    QList<QUrl> opened;
};

} // namespace testsupport
