#pragma once

#include "transfer/filemetadata.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>
#include <QVector>

// The progress of one transfer on standard output. On a terminal one line redrawn in place and
// fitted to its width: the file in progress, a bar, the share done, the rate and the time left.
// Otherwise a plain line at every tenth. Rate and time left count only the bytes moved in this
// session since its first data byte arrived, so neither the wait for the receiver's answer nor
// what an earlier session delivered makes them look better than they are. In Json mode each
// tenth and each completed file is an event instead; --quiet shows nothing until the summary.
class ProgressLine
{
    Q_DECLARE_TR_FUNCTIONS(ProgressLine)

public:
    ProgressLine(const QString &label, const QVector<FileMetadata> &files);

    // done: bytes of the offer at the receiving end so far; moved: those of them moved in this
    // session; index: the file in progress.
    void update(quint64 done, quint64 moved, int index);
    // Ends the terminal line, so that the next message starts on a fresh one.
    void finish();
    // All files are through: the remaining file events and the summary line.
    void complete();
    // Bytes, seconds and average rate of this session, for the "done" event.
    QJsonObject summaryFields() const;

    // "12.3 MB/s", "900 B/s", in the units of humanSize.
    static QString rateText(double bytesPerSecond);
    // "1:05", "1:02:03"; "--:--" when unknown.
    static QString durationText(double seconds);
    // The line drawn on a terminal of width columns.
    static QString terminalLine(const QString &label, const QString &file, double fraction, const QString &rate,
        const QString &left, int width);

private:
    void draw(quint64 done);
    void reportFilesBefore(int index);
    double seconds() const;
    double rate() const;

    QString label;
    QVector<FileMetadata> files;
    quint64 total = 0;
    bool terminal;
    bool drawn = false;
    bool completed = false;
    int lastTenth = -1;
    int filesReported = 0;
    int current = 0;
    // The clock starts at the first data byte; what was moved by then is not part of the rate.
    QElapsedTimer started;
    quint64 movedAtStart = 0;
    quint64 moved = 0;
    QElapsedTimer sinceDraw;
};
