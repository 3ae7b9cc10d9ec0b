#include "humansize.h"

#include <cmath>

QString humanSize(qint64 bytes)
{
    static const char *const units[] = { "B", "KB", "MB", "GB", "TB" };
    constexpr int lastUnit = int(sizeof(units) / sizeof(units[0])) - 1;
    if (bytes < 1000)
        return QString::number(qMax<qint64>(bytes, 0)) + QLatin1String(" B");

    double value = double(bytes);
    int unit = 0;
    int decimals = 0;
    double rounded = value;
    for (;;) {
        value /= 1000;
        ++unit;
        // Three significant digits: 1.23, 12.3, 123. Rounding may reach 1000, which is the next unit.
        decimals = value < 10 ? 2 : value < 100 ? 1 : 0;
        const double scale = std::pow(10.0, decimals);
        rounded = std::round(value * scale) / scale;
        if (rounded < 1000 || unit == lastUnit)
            break;
    }
    QString text = QString::number(rounded, 'f', decimals);
    if (decimals > 0) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    return text + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QString humanDuration(qint64 seconds)
{
    const qint64 hours = seconds / 3600;
    const QString tail = QStringLiteral("%1:%2")
                             .arg(seconds / 60 % 60, hours > 0 ? 2 : 1, 10, QLatin1Char('0'))
                             .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return hours > 0 ? QString::number(hours) + QLatin1Char(':') + tail : tail;
}
