#include "progressline.h"

#include "cli/console.h"
#include "core/humansize.h"
#include "core/peertext.h"

#include <QCoreApplication>

#include <cmath>

namespace {

constexpr int maxBarWidth = 30;
// A narrower bar says nothing the percentage does not.
constexpr int minBarWidth = 5;
// Redrawing faster than this only costs the terminal time.
constexpr qint64 redrawIntervalMs = 100;
constexpr int plainSteps = 10;
constexpr double minSecondsForEstimate = 1;

} // namespace

ProgressLine::ProgressLine(const QString &text, const QVector<FileMetadata> &offered)
    : label(text)
    , files(offered)
    , terminal(Console::outIsTerminal() && Console::mode() == Console::Mode::Normal)
{
    for (const FileMetadata &file : offered)
        total += file.size;
}

void ProgressLine::update(quint64 done, quint64 movedNow, int index)
{
    if (!started.isValid()) {
        started.start();
        movedAtStart = movedNow;
        const quint64 earlier = done > movedNow ? done - movedNow : 0;
        if (earlier > 0 && total > 0) {
            const QString percent = QString::number(earlier * 100 / total);
            Console::out(tr("继续：已收到 %1%").arg(percent));
            Console::event(QStringLiteral("resume"),
                { { QStringLiteral("bytes"), double(earlier) }, { QStringLiteral("total"), double(total) } });
        }
    }
    moved = movedNow;
    current = index;
    reportFilesBefore(index);
    const double fraction = total > 0 ? std::min(1.0, double(done) / double(total)) : 1.0;
    if (terminal) {
        if (drawn && sinceDraw.isValid() && sinceDraw.elapsed() < redrawIntervalMs && fraction < 1.0)
            return;
        sinceDraw.start();
        draw(done);
        return;
    }
    const int tenth = static_cast<int>(std::floor(fraction * plainSteps));
    if (tenth == lastTenth)
        return;
    lastTenth = tenth;
    draw(done);
}

void ProgressLine::reportFilesBefore(int index)
{
    for (; filesReported < std::min<int>(index, files.size()); ++filesReported) {
        const FileMetadata &file = files.at(filesReported);
        Console::event(QStringLiteral("file"),
            { { QStringLiteral("name"), file.filename }, { QStringLiteral("size"), double(file.size) } });
    }
}

void ProgressLine::finish()
{
    if (terminal && drawn)
        Console::outRaw(QStringLiteral("\n"));
    drawn = false;
}

void ProgressLine::complete()
{
    if (completed)
        return;
    completed = true;
    // The summary takes the bar's place.
    if (terminal && drawn)
        Console::outRaw(QStringLiteral("\r\x1b[K"));
    drawn = false;
    reportFilesBefore(files.size());
    if (!started.isValid())
        started.start();
    Console::summary(tr("%1完成：%2 个文件，%3，用时 %4，平均 %5")
                         .arg(label, QString::number(files.size()), humanSize(static_cast<qint64>(moved)),
                             durationText(seconds()), rateText(rate())));
}

QJsonObject ProgressLine::summaryFields() const
{
    return { { QStringLiteral("files"), files.size() }, { QStringLiteral("bytes"), double(moved) },
        { QStringLiteral("seconds"), std::round(seconds() * 1000) / 1000 },
        { QStringLiteral("rate"), std::round(rate()) } };
}

double ProgressLine::seconds() const
{
    return started.isValid() ? double(started.elapsed()) / 1000.0 : 0;
}

double ProgressLine::rate() const
{
    const double elapsed = seconds();
    return elapsed > 0 ? double(moved - movedAtStart) / elapsed : 0;
}

void ProgressLine::draw(quint64 done)
{
    const double fraction = total > 0 ? std::min(1.0, double(done) / double(total)) : 1.0;
    const double bytesPerSecond = rate();
    // The first moments say little about the rate: no time left is guessed from them.
    double left = bytesPerSecond > 0 && seconds() >= minSecondsForEstimate
        ? double(total - std::min(done, total)) / bytesPerSecond
        : -1;
    if (fraction >= 1.0)
        left = 0;
    if (Console::mode() == Console::Mode::Json) {
        Console::event(QStringLiteral("progress"),
            { { QStringLiteral("bytes"), double(done) }, { QStringLiteral("total"), double(total) },
                { QStringLiteral("rate"), std::round(bytesPerSecond) },
                { QStringLiteral("secondsLeft"), left < 0 ? QJsonValue() : QJsonValue(std::ceil(left)) } });
        return;
    }
    const QString name = current < files.size() ? peerText(files.at(current).filename) : QString();
    if (!terminal) {
        Console::out(label + QLatin1Char(' ')
            + tr("%1%  %2  剩余 %3")
                  .arg(
                      QString::number(static_cast<int>(fraction * 100)), rateText(bytesPerSecond), durationText(left)));
        return;
    }
    Console::outRaw(QLatin1Char('\r')
        + terminalLine(label, name, fraction, rateText(bytesPerSecond), durationText(left), Console::columns())
        + QStringLiteral("\x1b[K"));
    drawn = true;
}

QString ProgressLine::terminalLine(
    const QString &label, const QString &file, double fraction, const QString &rate, const QString &left, int width)
{
    // The last column stays free: a line that fills it makes some terminals wrap.
    const int room = width - 1;
    const QString percent = QString::number(static_cast<int>(fraction * 100)) + QLatin1Char('%');
    QString figures = tr("%1  %2  剩余 %3").arg(percent, rate, left);
    if (Console::displayWidth(label + QLatin1Char(' ') + figures) > room)
        figures = percent;
    const int fixed = Console::displayWidth(label) + 1 + Console::displayWidth(figures);
    // What is left goes to the file's name (at least a few columns of it) and the bar.
    int space = room - fixed;
    // The bar comes before the file's name, which gets what the bar leaves (and at most its own
    // width); a bar narrower than minBarWidth is left out.
    const int nameWanted = file.isEmpty() ? 0 : std::min(Console::displayWidth(file) + 1, 16);
    int bar = space - 1 >= minBarWidth ? std::max(minBarWidth, std::min(maxBarWidth, space - 1 - nameWanted)) : 0;
    space -= bar > 0 ? bar + 1 : 0;
    const QString name = file.isEmpty() || space < 4 ? QString() : Console::elide(file, space - 1);
    QString line = label;
    if (!name.isEmpty())
        line += QLatin1Char(' ') + name;
    if (bar > 0) {
        const int filled = static_cast<int>(fraction * bar);
        line += QLatin1Char(' ') + QString(filled, QChar(0x2588)) + QString(bar - filled, QChar(0x2591));
    }
    line += QLatin1Char(' ') + figures;
    return Console::elide(line, room);
}

QString ProgressLine::rateText(double bytesPerSecond)
{
    return humanSize(static_cast<qint64>(bytesPerSecond)) + QStringLiteral("/s");
}

QString ProgressLine::durationText(double seconds)
{
    if (seconds < 0 || !std::isfinite(seconds))
        return QStringLiteral("--:--");
    return humanDuration(static_cast<qint64>(std::ceil(seconds)));
}
