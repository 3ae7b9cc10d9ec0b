#include "transferprogress.h"

#include "core/humansize.h"

#include <QCoreApplication>

namespace {

// Weight of the newest sample in the average.
constexpr double newSampleWeight = 0.3;

} // namespace

void TransferProgress::update(qint64 bytesDone, qint64 nowMs)
{
    done = bytesDone;
    if (sampleTime < 0) {
        sampleTime = nowMs;
        sampleDone = bytesDone;
        return;
    }
    const qint64 elapsed = nowMs - sampleTime;
    if (elapsed < sampleMs)
        return;
    const double sampleRate = double(bytesDone - sampleDone) * 1000.0 / double(elapsed);
    smoothedRate = smoothedRate > 0 ? newSampleWeight * sampleRate + (1 - newSampleWeight) * smoothedRate : sampleRate;
    sampleTime = nowMs;
    sampleDone = bytesDone;
}

QString TransferProgress::text() const
{
    const QString sizes = QCoreApplication::translate("TransferProgress", "%1 / %2").arg(humanSize(done), humanSize(total));
    if (smoothedRate <= 0)
        return sizes;
    const QString rateText = QCoreApplication::translate("TransferProgress", "%1/s").arg(humanSize(qint64(smoothedRate)));
    const qint64 secondsLeft = qint64(double(qMax<qint64>(0, total - done)) / smoothedRate + 0.5);
    return QCoreApplication::translate("TransferProgress", "%1，%2，剩余 %3").arg(sizes, rateText, humanDuration(secondsLeft));
}
