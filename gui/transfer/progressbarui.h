#pragma once

#include "gui/transfer/transferprogress.h"
#include "transfer/filemetadata.h"
#include "transfer/transferevents.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

class Context;
class QCheckBox;
class QLabel;
class QPushButton;

// The form's name is also the translation context of its texts, which stays.
namespace Ui {
class Scheduler;
}

// The window of one transfer session, on either side. It owns the session, starts its key
// exchange, shows its log and progress, puts an offer before the receiving user (refused by
// itself after a countdown) and shows the session's first error. Closing it ends the session.
class ProgressBarUI : public QDialog
{
    Q_OBJECT

public:
    ProgressBarUI(Context *session, QWidget *parent = nullptr);
    ~ProgressBarUI() override;

    // Puts the offer before the user and starts its countdown; OfferQueue calls it when the
    // offer's turn comes.
    void presentOffer();
    // The offering device's name as shown, once an offer has arrived.
    QString offeringDevice() const { return offerDevice; }
    // The peer's name as it announced itself, remembered with its key when the user pairs at the
    // end; the sending side knows it from the device list.
    void setPeerName(const QString &name) { peerName = name; }

    // Whether an offer from this peer is taken without asking: only from a device that proved
    // the key of a paired device whose automatic accept is on, in the store as it is now.
    static bool acceptsWithoutAsking(const PeerIdentity &peer);

signals:
    void transferInterruptedByUser();
    void openNextTask();

private slots:
    void response(int result);
    void updateBar(double fraction);
    void errorAppear(QString err);
    void openConfirmDialog(const TransferOffer &offer);
    void autoPick();
    void cancelTransfer();
    void cancelButtonClicked();

public slots:
    void printLog(QString msg);
    void transferFinish();

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    // The line under the bar: the file in progress, the bytes, the rate and the time left.
    void showProgress(const TransferAmount &moved);
    // Data is on its way: stopping now throws away what the user is waiting for.
    bool dataFlows() const;
    // Asks once whether to stop the running transfer, "继续传输" being the default and Escape's
    // answer. With closeAfter the window also goes, as the title bar's button and Escape ask.
    void askToCancel(bool closeAfter);
    QString cancelQuestionText() const;
    // The transfer ended by itself while the question was open: there is nothing left to ask.
    void dismissCancelQuestion();
    void acceptWithoutAsking(const TransferOffer &offer);
    // The finished session's peer proved a key that is not paired: the window stays until the
    // user has chosen whether to remember it.
    bool offerToRemember();

    Ui::Scheduler *ui;
    Context *context;
    bool errorShown = false;
    // The user here stopped the session: its end is no failure to notify.
    bool cancelledHere = false;
    int countdown = 0; // seconds left before the offer is refused
    bool unanswered = false; // the countdown ran out
    QString offerDevice;
    QString peerName;
    // The user ticked "记住此设备" when accepting: the session pairs both sides itself.
    bool pairChosen = false;
    QPointer<QMessageBox> rememberQuestion;
    TransferProgress progress;
    QElapsedTimer progressClock;
    qint64 progressShownMs = -1;
    qint64 labelShownMs = -1;
    QTimer countdownTimer;
    QMessageBox confirmBox;
    QMessageBox *errorBox = nullptr;
    QPointer<QMessageBox> cancelQuestion;
    QLabel *progressLabel;
    QPushButton *cancelButton;
    QCheckBox *rememberBox;
};
