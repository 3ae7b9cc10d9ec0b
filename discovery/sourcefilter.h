#pragma once

#include <QHash>
#include <QHostAddress>
#include <QPair>
#include <QVector>

// Decides which discovery datagrams are worth handling and which requests may be answered, so
// that a flood cannot busy the program and a forged request cannot turn it into a reflector.
// Times are milliseconds of a steady clock, given by the caller.
class SourceFilter
{
public:
    // More senders at once than a local network has devices: datagrams of further ones are dropped.
    static constexpr int maxSources = 256;
    // A device sends a request every 2 s and answers each of ours, every copy counted.
    static constexpr int maxDatagramsPerSecond = 20;
    // One answer per address in this time, so that forged requests cannot multiply traffic.
    static constexpr qint64 answerIntervalMs = 1000;
    // Requests from outside the local networks come from devices the user added by address
    // (behind a router, say). They are answered, but only this many per second in all, so that
    // forged ones cannot make this device a reflector of any weight.
    static constexpr int maxOutsideAnswersPerSecond = 4;
    // A sender silent this long leaves the table.
    static constexpr qint64 forgetAfterMs = 10000;

    // The networks (address, prefix length) of this machine's interfaces; senders outside them
    // are answered within maxOutsideAnswersPerSecond.
    void setLocalNetworks(const QVector<QPair<QHostAddress, int>> &networks);

    // Whether a datagram from source is handled at all; counts it.
    bool admit(const QHostAddress &source, qint64 nowMs);
    // Whether a request from source, already admitted, may be answered now; counts the answer.
    bool mayAnswer(const QHostAddress &source, qint64 nowMs);

    int trackedSources() const { return sources.size(); }

private:
    struct Source
    {
        qint64 windowStartMs = 0;
        int datagrams = 0;
        qint64 lastAnswerMs = 0;
        bool answered = false;
    };

    void forgetSilentSources(qint64 nowMs);

    QVector<QPair<QHostAddress, int>> localNetworks;
    QHash<QHostAddress, Source> sources;
    qint64 lastForgetMs = 0;
    qint64 outsideWindowStartMs = 0;
    int outsideAnswers = 0;
};
