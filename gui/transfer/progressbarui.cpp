#include "progressbarui.h"

#include "ui_progressbarui.h"

#include "core/peertext.h"
#include "transfer/context.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>

namespace {

// A device or file name in the offer takes about one line at most, so the verification code
// always stands on the line after it, whatever the peer sent.
constexpr int offerNameCharacters = 64;
constexpr int offerNameWidth = 360;

} // namespace

ProgressBarUI::ProgressBarUI(Context *session, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Scheduler)
    , context(session)
    , confirmBox(this)
{
    ui->setupUi(this);
    // Log lines carry names chosen by the peer.
    ui->statusLabel->setTextFormat(Qt::PlainText);
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setWindowModality(Qt::ApplicationModal);

    confirmBox.setIcon(QMessageBox::Question);
    confirmBox.setTextFormat(Qt::PlainText);
    confirmBox.setWindowTitle(QCoreApplication::applicationName());
    confirmBox.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    confirmBox.setDefaultButton(QMessageBox::No);
    confirmBox.button(QMessageBox::Yes)->setText(tr("接收"));
    confirmBox.button(QMessageBox::No)->setText(tr("拒绝"));
    connect(&confirmBox, &QMessageBox::finished, this, &ProgressBarUI::response);
    connect(&countdownTimer, &QTimer::timeout, this, &ProgressBarUI::autoPick);

    context->setParent(this);
    connect(context, &Context::printLogMsg, this, &ProgressBarUI::printLog);
    connect(context, &Context::updateProgressBar, this, &ProgressBarUI::updateBar);
    connect(context, &Context::raiseErrorMsg, this, &ProgressBarUI::errorAppear);
    connect(context, &Context::metaDataReady, this, &ProgressBarUI::openConfirmDialog);
    connect(context, &Context::raiseEndSignal, this, &ProgressBarUI::transferFinish);

    context->startHandshake();
}

ProgressBarUI::~ProgressBarUI()
{
    // The session goes first, so that nothing it emits while closing reaches a half-destroyed window.
    delete context;
    delete ui;
}

void ProgressBarUI::response(int result)
{
    countdownTimer.stop();
    const bool accepted = result == QMessageBox::Yes;
    context->response(accepted);
    if (!accepted)
        hide();
}

void ProgressBarUI::updateBar(double progress)
{
    ui->progressBar->setValue(static_cast<int>(ui->progressBar->maximum() * progress));
}

void ProgressBarUI::errorAppear(QString err)
{
    if (errorShown)
        return;
    errorShown = true;
    // An offer whose session has failed can no longer be answered.
    countdownTimer.stop();
    disconnect(&confirmBox, &QMessageBox::finished, this, &ProgressBarUI::response);
    confirmBox.hide();
    if (!isVisible()) {
        emit openNextTask();
        done(0);
        return;
    }
    errorBox = new QMessageBox(this);
    errorBox->setWindowTitle(QCoreApplication::applicationName());
    errorBox->setTextFormat(Qt::PlainText);
    errorBox->setText(peerText(err));
    errorBox->show();
    QTimer::singleShot(2000, this, [this] {
        errorBox->done(1);
        emit openNextTask();
        done(0);
    });
}

void ProgressBarUI::openConfirmDialog(
    QVector<FileMetadata> metaData, qulonglong totalSize, QString deviceName, QString keyDigest)
{
    show();
    const QString size
        = locale().formattedDataSize(static_cast<qint64>(totalSize), 2, QLocale::DataSizeTraditionalFormat);
    const QFontMetrics metrics = confirmBox.fontMetrics();
    const auto shown = [&metrics](const QString &name) {
        return metrics.elidedText(elideMiddle(peerText(name), offerNameCharacters), Qt::ElideMiddle, offerNameWidth);
    };
    // All parts are put in at once, so that a device or file name holding "%1" stays as it is.
    QString text = metaData.size() == 1
        ? tr("%1 向您分享文件： \"%2\" 大小为： %3。").arg(shown(deviceName), shown(metaData.first().filename), size)
        : tr("%1 向您分享 %2 个文件，总大小为 %3.").arg(shown(deviceName), QString::number(metaData.size()), size);
    text += tr("\n确认在发送设备上显示了验证码： \"%1\" 。").arg(keyDigest);
    text += tr("\n是否接收文件？");
    confirmBox.setText(text);
    confirmBox.show();

    countdown = 5;
    countdownTimer.start(1000);
}

void ProgressBarUI::printLog(QString msg)
{
    const QString shown = peerText(msg);
    ui->statusLabel->setText(shown);
    ui->history_log->addItem(shown);
}

void ProgressBarUI::autoPick()
{
    if (countdown < 0) {
        countdownTimer.stop();
        confirmBox.done(0);
        return;
    }
    confirmBox.button(QMessageBox::No)->setText(tr("拒绝（%1s）").arg(countdown));
    --countdown;
}

void ProgressBarUI::transferFinish()
{
    emit openNextTask();
    done(1);
}

void ProgressBarUI::closeEvent(QCloseEvent *event)
{
    event->accept();
    emit transferInterruptedByUser();
}

void ProgressBarUI::reject()
{
    // Escape counts as the user closing the window, so that the sending side learns of it too.
    close();
}
