#pragma once

#include <QString>
#include <QtGlobal>

// What a transfer window says of its progress: bytes done of the total, a smoothed rate and the
// time left ("12.3 MB / 1.2 GB，45.6 MB/s，剩余 0:25"). The rate is an exponential average of
// the rates between samples taken at least sampleMs apart, so one slow frame does not swing it.
class TransferProgress
{
public:
    static constexpr qint64 sampleMs = 250;

    void setTotal(qint64 bytes) { total = bytes; }
    // Bytes done so far at nowMs, a monotonic clock reading in milliseconds.
    void update(qint64 bytesDone, qint64 nowMs);
    QString text() const;
    // Bytes per second; 0 until two samples are apart.
    double rate() const { return smoothedRate; }

private:
    qint64 total = 0;
    qint64 done = 0;
    qint64 sampleDone = 0;
    qint64 sampleTime = -1;
    double smoothedRate = 0;
};
