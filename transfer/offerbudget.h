#pragma once

#include <QtGlobal>

// The bytes of file names that offers not yet answered hold, over all sessions of one server:
// however many senders offer at once, what waits for the user stays bounded. Used only in the
// thread that runs the sessions.
class OfferBudget
{
public:
    static constexpr qint64 maxWaitingNameBytes = 32 * 1024 * 1024;

    // false, taking nothing, when bytes more would pass the bound.
    bool take(qint64 bytes);
    void giveBack(qint64 bytes);
    qint64 taken() const { return held; }

private:
    qint64 held = 0;
};
