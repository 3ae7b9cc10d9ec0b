#include "sourcefilter.h"

#include <algorithm>

namespace {

constexpr qint64 rateWindowMs = 1000;

// One key per device, whether its datagrams arrive with an IPv4 or an IPv4-mapped address.
QHostAddress normalized(const QHostAddress &address)
{
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    return isIPv4 ? QHostAddress(ipv4) : address;
}

} // namespace

void SourceFilter::setLocalNetworks(const QVector<QPair<QHostAddress, int>> &networks)
{
    localNetworks = networks;
}

bool SourceFilter::admit(const QHostAddress &source, qint64 nowMs)
{
    const QHostAddress key = normalized(source);
    auto it = sources.find(key);
    if (it == sources.end()) {
        if (sources.size() >= maxSources)
            forgetSilentSources(nowMs);
        if (sources.size() >= maxSources)
            return false;
        it = sources.insert(key, Source { nowMs, 0, 0, false });
    }
    Source &state = it.value();
    if (nowMs - state.windowStartMs >= rateWindowMs) {
        state.windowStartMs = nowMs;
        state.datagrams = 0;
    }
    return ++state.datagrams <= maxDatagramsPerSecond;
}

bool SourceFilter::mayAnswer(const QHostAddress &source, qint64 nowMs)
{
    const QHostAddress key = normalized(source);
    // Loopback senders are on this machine: nothing outside can forge them, and an answer
    // cannot leave it.
    if (key.isLoopback())
        return true;
    const bool inLocalNetwork = std::any_of(localNetworks.cbegin(), localNetworks.cend(),
        [&key](const QPair<QHostAddress, int> &network) { return key.isInSubnet(network); });
    auto it = sources.find(key);
    if (it == sources.end())
        return false;
    if (it->answered && nowMs - it->lastAnswerMs < answerIntervalMs)
        return false;
    if (!inLocalNetwork) {
        if (nowMs - outsideWindowStartMs >= rateWindowMs || outsideAnswers == 0) {
            outsideWindowStartMs = nowMs;
            outsideAnswers = 0;
        }
        if (outsideAnswers >= maxOutsideAnswersPerSecond)
            return false;
        ++outsideAnswers;
    }
    it->answered = true;
    it->lastAnswerMs = nowMs;
    return true;
}

void SourceFilter::forgetSilentSources(qint64 nowMs)
{
    // Walks the whole table, so at most once per rate window however hard the table is pressed.
    if (nowMs - lastForgetMs < rateWindowMs && lastForgetMs != 0)
        return;
    lastForgetMs = nowMs;
    for (auto it = sources.begin(); it != sources.end();) {
        if (nowMs - it->windowStartMs >= forgetAfterMs)
            it = sources.erase(it);
        else
            ++it;
    }
}
