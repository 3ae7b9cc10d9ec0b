#pragma once

#include "transfer/filemetadata.h"

#include <QDialog>
#include <QMessageBox>
#include <QTimer>

class Context;

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

signals:
    void transferInterruptedByUser();
    void openNextTask();

private slots:
    void response(int result);
    void updateBar(double progress);
    void errorAppear(QString err);
    void openConfirmDialog(QVector<FileMetadata> metaData, qulonglong totalSize, QString deviceName, QString keyDigest);
    void printLog(QString msg);
    void autoPick();

public slots:
    void transferFinish();

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    Ui::Scheduler *ui;
    Context *context;
    bool errorShown = false;
    int countdown = 0;
    QTimer countdownTimer;
    QMessageBox confirmBox;
    QMessageBox *errorBox = nullptr;
};
