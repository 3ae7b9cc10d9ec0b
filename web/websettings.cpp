#include "websettings.h"

#include "core/logging.h"
#include "core/settings.h"

#include <QCoreApplication>
#include <QSettings>

namespace {

// 5 GiB: a single upload may be that large; larger files go through the chunked protocol.
constexpr qint64 maxMultiPartSize = Q_INT64_C(5368709120);

} // namespace

QSettings *webSettings(const QString &name, QObject *parent)
{
    const QString appDir = QCoreApplication::applicationDirPath();
    if (name == QLatin1String("listener")) {
        auto *settings = new QSettings(parent);
        settings->beginGroup(name);
        settings->setValue(QStringLiteral("cleanupInterval"), 60000);
        settings->setValue(QStringLiteral("maxMultiPartSize"), maxMultiPartSize);
        settings->setValue(QStringLiteral("maxRequestSize"), 16000);
        settings->setValue(QStringLiteral("maxThreads"), 100);
        settings->setValue(QStringLiteral("minThreads"), 4);
        settings->setValue(QStringLiteral("port"), int(Settings::webPort()));
        settings->setValue(QStringLiteral("readTimeout"), 60000);
        return settings;
    }
    if (name == QLatin1String("static")) {
        auto *settings = new QSettings(parent);
        settings->beginGroup(name);
        settings->setValue(QStringLiteral("cacheSize"), 1000000);
        settings->setValue(QStringLiteral("cacheTime"), 60000);
        settings->setValue(QStringLiteral("encoding"), QStringLiteral("UTF-8"));
        settings->setValue(QStringLiteral("maxAge"), 60000);
        settings->setValue(QStringLiteral("maxCachedFileSize"), 65536);
        settings->setValue(QStringLiteral("path"), appDir + QStringLiteral("/etc"));
        return settings;
    }
    if (name == QLatin1String("templates")) {
        auto *settings = new QSettings(parent);
        settings->beginGroup(name);
        settings->setValue(QStringLiteral("cacheSize"), 1000000);
        settings->setValue(QStringLiteral("cacheTime"), 60000);
        settings->setValue(QStringLiteral("encoding"), QStringLiteral("UTF-8"));
        settings->setValue(QStringLiteral("path"), appDir + QStringLiteral("/etc/templates"));
        settings->setValue(QStringLiteral("suffix"), QStringLiteral(".html"));
        return settings;
    }
    qCWarning(lcWeb, "unknown settings group %s", qPrintable(name));
    return new QSettings(parent);
}
