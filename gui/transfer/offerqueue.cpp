#include "offerqueue.h"

#include "gui/transfer/progressbarui.h"

OfferQueue &OfferQueue::shared()
{
    static OfferQueue queue;
    return queue;
}

void OfferQueue::add(ProgressBarUI *window)
{
    offers.append(window);
    if (offers.size() == 1)
        showFirst();
}

void OfferQueue::remove(ProgressBarUI *window)
{
    const int index = offers.indexOf(window);
    if (index < 0)
        return;
    offers.removeAt(index);
    if (index == 0) {
        showFirst();
    } else if (!offers.isEmpty() && offers.first()) {
        offers.first()->printLog(tr("%1 在您答复之前取消了另一个文件请求").arg(window->offeringDevice()));
    }
}

bool OfferQueue::isWaiting(const ProgressBarUI *window) const
{
    return offers.indexOf(const_cast<ProgressBarUI *>(window)) > 0;
}

void OfferQueue::showFirst()
{
    // Windows destroyed without saying so (the application quitting) leave null entries.
    offers.removeAll(nullptr);
    if (!offers.isEmpty())
        offers.first()->presentOffer();
}
