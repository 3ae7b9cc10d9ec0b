#pragma once

#include <QElapsedTimer>
#include <QString>

// The progress of one transfer on standard output. On a terminal one line redrawn in place:
// a bar, the share done, the rate and the time left. Otherwise a plain line at every tenth.
class ProgressLine
{
public:
    ProgressLine(const QString &label, quint64 totalBytes);

    // fraction: 0 to 1, as the sessions report it.
    void update(double fraction);
    // Ends the terminal line, so that the next message starts on a fresh one.
    void finish();

    // "12.3 MB/s", "900 B/s".
    static QString rateText(double bytesPerSecond);
    // "1:05", "1:02:03"; "--:--" when unknown.
    static QString durationText(double seconds);

private:
    void draw(double fraction);

    QString label;
    quint64 total;
    bool terminal;
    bool drawn = false;
    int lastTenth = -1;
    QElapsedTimer started;
    QElapsedTimer sinceDraw;
};
