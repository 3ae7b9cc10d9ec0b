#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class ProgressBarUI;

// Offers that wait for the receiving user, put before them one at a time: the first is shown,
// the others wait hidden, so that no confirmation box covers another and no countdown runs
// while its box cannot be seen. One queue serves the whole application.
class OfferQueue : public QObject
{
    Q_OBJECT

public:
    static OfferQueue &shared();

    // The window's offer is shown at once when no other is, else when its turn comes.
    void add(ProgressBarUI *window);
    // The window's offer is answered, or its session has ended. An offer that was still waiting
    // is withdrawn: the shown one's log says so.
    void remove(ProgressBarUI *window);
    bool isWaiting(const ProgressBarUI *window) const;

private:
    void showFirst();

    QList<QPointer<ProgressBarUI>> offers; // the first is the one shown
};
