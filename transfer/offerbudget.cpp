#include "offerbudget.h"

bool OfferBudget::take(qint64 bytes)
{
    if (held + bytes > maxWaitingNameBytes)
        return false;
    held += bytes;
    return true;
}

void OfferBudget::giveBack(qint64 bytes)
{
    held = qMax<qint64>(0, held - bytes);
}
