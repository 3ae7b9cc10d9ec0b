#include "progressline.h"

#include "cli/console.h"
#include "core/humansize.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>

namespace {

constexpr int barWidth = 30;
// Redrawing faster than this only costs the terminal time.
constexpr qint64 redrawIntervalMs = 100;
constexpr int plainSteps = 10;
constexpr double minSecondsForEstimate = 1;

} // namespace

ProgressLine::ProgressLine(const QString &text, quint64 totalBytes)
    : label(text)
    , total(totalBytes)
    , terminal(Console::outIsTerminal())
{
    started.start();
}

void ProgressLine::update(double fraction)
{
    fraction = std::min(std::max(fraction, 0.0), 1.0);
    if (terminal) {
        if (drawn && sinceDraw.isValid() && sinceDraw.elapsed() < redrawIntervalMs && fraction < 1.0)
            return;
        sinceDraw.start();
        draw(fraction);
        return;
    }
    const int tenth = static_cast<int>(std::floor(fraction * plainSteps));
    if (tenth == lastTenth)
        return;
    lastTenth = tenth;
    draw(fraction);
}

void ProgressLine::finish()
{
    if (terminal && drawn)
        Console::outRaw(QStringLiteral("\n"));
    drawn = false;
}

void ProgressLine::draw(double fraction)
{
    const double seconds = static_cast<double>(started.elapsed()) / 1000.0;
    const double done = fraction * static_cast<double>(total);
    // The first moments say little about the rate: no time left is guessed from them.
    const double rate = seconds > 0 ? done / seconds : 0;
    double left = rate > 0 && seconds >= minSecondsForEstimate ? (static_cast<double>(total) - done) / rate : -1;
    if (fraction >= 1.0)
        left = 0;
    const QString figures
        = QCoreApplication::translate("ProgressLine", "%1%  %2  剩余 %3")
              .arg(QString::number(static_cast<int>(fraction * 100)), rateText(rate), durationText(left));
    if (!terminal) {
        Console::out(label + QLatin1Char(' ') + figures);
        return;
    }
    const int filled = static_cast<int>(fraction * barWidth);
    const QString bar = QString(filled, QChar(0x2588)) + QString(barWidth - filled, QChar(0x2591));
    // \r goes back to the start of the line, \x1b[K clears what a longer line left behind.
    Console::outRaw(QStringLiteral("\r%1 %2 %3\x1b[K").arg(label, bar, figures));
    drawn = true;
}

QString ProgressLine::rateText(double bytesPerSecond)
{
    return QLocale::c().formattedDataSize(static_cast<qint64>(bytesPerSecond), 1, QLocale::DataSizeTraditionalFormat)
        + QStringLiteral("/s");
}

QString ProgressLine::durationText(double seconds)
{
    if (seconds < 0 || !std::isfinite(seconds))
        return QStringLiteral("--:--");
    return humanDuration(static_cast<qint64>(std::ceil(seconds)));
}
