#include "websettings.h"

#include "core/logging.h"
#include "core/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

// 5 GiB: a single upload may be that large; larger files go through the chunked protocol.
constexpr qint64 maxMultiPartSize = Q_INT64_C(5368709120);

} // namespace

QString webDataFolder()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    const QStringList candidates { appDir + QStringLiteral("/etc"),
        QDir::cleanPath(appDir + QStringLiteral("/../" ORVEX_INSTALL_DATADIR "/orvex/etc")),
        QStringLiteral(ORVEX_INSTALL_FULL_DATADIR "/orvex/etc") };
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate + QStringLiteral("/templates")).isDir())
            return candidate;
    }
    return candidates.first();
}

QSettings *webSettings(const QString &name, QObject *parent)
{
    const QString dataFolder = webDataFolder();
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
        settings->setValue(QStringLiteral("path"), dataFolder);
        return settings;
    }
    if (name == QLatin1String("templates")) {
        auto *settings = new QSettings(parent);
        settings->beginGroup(name);
        settings->setValue(QStringLiteral("cacheSize"), 1000000);
        settings->setValue(QStringLiteral("cacheTime"), 60000);
        settings->setValue(QStringLiteral("encoding"), QStringLiteral("UTF-8"));
        settings->setValue(QStringLiteral("path"), dataFolder + QStringLiteral("/templates"));
        settings->setValue(QStringLiteral("suffix"), QStringLiteral(".html"));
        return settings;
    }
    qCWarning(lcWeb, "unknown settings group %s", qPrintable(name));
    return new QSettings(parent);
}
