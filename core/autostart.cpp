#include "autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

QString Autostart::entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/app.orvex.Orvex.desktop");
}

bool Autostart::isEnabled()
{
    return QFile::exists(entryPath());
}

bool Autostart::setEnabled(bool enabled)
{
    const QString path = entryPath();
    if (!enabled)
        return !QFile::exists(path) || QFile::remove(path);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    // The program as it runs now, wherever it is installed; quoted for the Exec key's rules.
    QString program = QCoreApplication::applicationFilePath();
    program.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QStringLiteral("[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Orvex\n"
                              "Exec=\"%1\"\n"
                              "Icon=app.orvex.Orvex\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n")
                   .arg(program)
                   .toUtf8());
    return file.commit();
}
