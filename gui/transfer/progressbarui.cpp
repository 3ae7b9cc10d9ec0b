#include "progressbarui.h"

#include "ui_progressbarui.h"

#include "core/humansize.h"
#include "core/paireddevices.h"
#include "core/peertext.h"
#include "gui/desktopnotifier.h"
#include "gui/transfer/offerqueue.h"
#include "transfer/context.h"
#include "transfer/identity.h"
#include "transfer/receivercontext.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

namespace {

// A device or file name in the offer takes about one line at most, so the verification code
// always stands on the line after it, whatever the peer sent.
constexpr int offerNameCharacters = 64;
constexpr int offerNameWidth = 360;
// The progress line changes at most this often, however fast frames go.
constexpr qint64 progressIntervalMs = 100;
constexpr int progressNameWidth = 300;
// The status line's room in the fixed-width window.
constexpr int statusWidth = 420;
// Longer offers are summed up: their count, total size and the first few names.
constexpr int namesInSummary = 3;

} // namespace

ProgressBarUI::ProgressBarUI(Context *session, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Scheduler)
    , context(session)
    , confirmBox(this)
    , progressLabel(new QLabel(this))
    , cancelButton(new QPushButton(tr("取消传输"), this))
    , rememberBox(new QCheckBox(tr("记住此设备")))
{
    ui->setupUi(this);
    progressLabel->setObjectName(QStringLiteral("progressLabel"));
    progressLabel->setTextFormat(Qt::PlainText);
    ui->verticalLayout_2->insertWidget(ui->verticalLayout_2->indexOf(ui->progressBar) + 1, progressLabel);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setAutoDefault(false);
    ui->verticalLayout_2->addWidget(cancelButton, 0, Qt::AlignRight);
    connect(cancelButton, &QPushButton::clicked, this, &ProgressBarUI::cancelButtonClicked);
    progressClock.start();
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
    rememberBox->setObjectName(QStringLiteral("rememberBox"));
    rememberBox->setToolTip(tr("下次来自此设备的文件不必再比对验证码"));
    // The box takes it over; it shows only for a device that proved a key not paired yet.
    confirmBox.setCheckBox(rememberBox);
    connect(&confirmBox, &QMessageBox::finished, this, &ProgressBarUI::response);
    connect(&countdownTimer, &QTimer::timeout, this, &ProgressBarUI::autoPick);

    context->setParent(this);
    connect(context, &Context::printLogMsg, this, &ProgressBarUI::printLog);
    connect(context, &Context::updateProgressBar, this, &ProgressBarUI::updateBar);
    connect(context, &Context::progressed, this, &ProgressBarUI::showProgress);
    connect(context, &Context::raiseErrorMsg, this, &ProgressBarUI::errorAppear);
    connect(context, &Context::offered, this, &ProgressBarUI::openConfirmDialog);
    connect(context, &Context::raiseEndSignal, this, &ProgressBarUI::transferFinish);

    context->startHandshake();
}

ProgressBarUI::~ProgressBarUI()
{
    OfferQueue::shared().remove(this);
    // The session goes first, so that nothing it emits while closing reaches a half-destroyed
    // window. A transfer still running is cancelled, so that the peer learns why.
    context->disconnect(this);
    context->cancel();
    delete context;
    delete ui;
}

void ProgressBarUI::response(int result)
{
    countdownTimer.stop();
    OfferQueue::shared().remove(this);
    const bool accepted = result == QMessageBox::Yes;
    // A sender that can tell hears that nobody answered, not that the user said no.
    auto *receiving = qobject_cast<ReceiverContext *>(context);
    pairChosen = accepted && receiving && rememberBox->isVisibleTo(&confirmBox) && rememberBox->isChecked();
    if (pairChosen)
        receiving->setPairOnAccept(true);
    if (!accepted && unanswered && receiving)
        receiving->refuseUnanswered();
    else
        context->response(accepted);
    if (!accepted)
        hide();
}

void ProgressBarUI::updateBar(double fraction)
{
    const qint64 now = progressClock.elapsed();
    if (fraction < 1.0 && progressShownMs >= 0 && now - progressShownMs < progressIntervalMs)
        return;
    progressShownMs = now;
    ui->progressBar->setValue(static_cast<int>(ui->progressBar->maximum() * fraction));
    if (cancelQuestion)
        cancelQuestion->setText(cancelQuestionText());
}

void ProgressBarUI::showProgress(const TransferAmount &moved)
{
    const qint64 now = progressClock.elapsed();
    if (moved.doneBytes < moved.totalBytes && labelShownMs >= 0 && now - labelShownMs < progressIntervalMs)
        return;
    labelShownMs = now;
    progress.setTotal(qint64(moved.totalBytes));
    progress.update(qint64(moved.doneBytes), now);
    QString fileLine;
    if (moved.fileIndex < context->fileCount()) {
        const QString whole = peerText(context->currentFileName());
        progressLabel->setToolTip(whole);
        const QString name = progressLabel->fontMetrics().elidedText(whole, Qt::ElideMiddle, progressNameWidth);
        fileLine = tr("第 %1/%2 个：%3")
                       .arg(QString::number(moved.fileIndex + 1), QString::number(context->fileCount()), name)
            + QLatin1Char('\n');
    }
    progressLabel->setText(fileLine + progress.text());
}

void ProgressBarUI::errorAppear(QString err)
{
    if (errorShown)
        return;
    errorShown = true;
    cancelButton->setEnabled(false);
    dismissCancelQuestion();
    // An offer whose session has failed can no longer be answered.
    countdownTimer.stop();
    disconnect(&confirmBox, &QMessageBox::finished, this, &ProgressBarUI::response);
    confirmBox.hide();
    OfferQueue::shared().remove(this);
    if (context->sessionState() == Context::Transferring && !cancelledHere)
        DesktopNotifier::shared().notify(tr("传输失败"), err);
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

bool ProgressBarUI::acceptsWithoutAsking(const PeerIdentity &peer)
{
    if (peer.standing != PeerIdentity::Standing::Paired || !peer.autoAccept)
        return false;
    // Read again now: an unpairing or a choice changed since the session looked is obeyed.
    const std::optional<PairedDevice> paired = PairedDevices::find(peer.key);
    return paired && paired->autoAccept;
}

void ProgressBarUI::openConfirmDialog(const TransferOffer &offer)
{
    const QVector<FileMetadata> &metaData = offer.files;
    const QString size = humanSize(static_cast<qint64>(offer.totalBytes));
    const QFontMetrics metrics = confirmBox.fontMetrics();
    const auto shown = [&metrics](const QString &name, int width) {
        return metrics.elidedText(elideMiddle(peerText(name), offerNameCharacters), Qt::ElideMiddle, width);
    };
    using Standing = PeerIdentity::Standing;
    const Standing standing = offer.peer.standing;
    peerName = offer.deviceName;
    // A paired device goes by the name the user gave it, whatever it announces.
    offerDevice = standing == Standing::Paired ? tr("已配对：%1").arg(shown(offer.peer.pairedName, offerNameWidth))
                                               : shown(offer.deviceName, offerNameWidth);
    if (acceptsWithoutAsking(offer.peer)) {
        acceptWithoutAsking(offer);
        return;
    }
    QString text;
    if (offer.textBytes > 0) {
        // The text itself comes only once accepted.
        text = tr("%1 向您发送一段文字，大小为 %2。").arg(offerDevice, size);
    } else {
        // All parts are put in at once, so that a device or file name holding "%1" stays as it is.
        text = metaData.size() == 1
            ? tr("%1 向您分享文件： \"%2\" 大小为： %3。")
                  .arg(offerDevice, shown(metaData.first().filename, offerNameWidth), size)
            : tr("%1 向您分享 %2 个文件，总大小为 %3.").arg(offerDevice, QString::number(metaData.size()), size);
        if (metaData.size() > 1) {
            QStringList names;
            for (int i = 0; i < qMin(namesInSummary, metaData.size()); ++i)
                names.append(shown(metaData.at(i).filename, offerNameWidth / namesInSummary));
            const QString more = metaData.size() > namesInSummary ? tr(" 等") : QString();
            text += QLatin1Char('\n') + tr("包括：%1%2").arg(names.join(tr("、")), more);
        }
        if (!context->offerNote().isEmpty())
            text += QLatin1Char('\n') + context->offerNote();
    }
    if (standing == Standing::NotThePairedDevice)
        text += QLatin1Char('\n')
            + tr("注意：此设备使用了一台已配对设备的名字，却无法证明它就是那台设备。"
                 "它可能是冒充者，也可能是那台设备重装过、需要重新配对。请务必比对验证码。");
    if (standing == Standing::Paired)
        text += tr("\n验证码： \"%1\" （已配对的设备已证明身份，不必比对）。").arg(offer.verificationCode);
    else
        text += tr("\n确认在发送设备上显示了验证码： \"%1\" 。").arg(offer.verificationCode);
    text += offer.textBytes > 0 ? tr("\n是否接收文字？") : tr("\n是否接收文件？");
    confirmBox.setIcon(standing == Standing::NotThePairedDevice ? QMessageBox::Warning : QMessageBox::Question);
    rememberBox->setChecked(false);
    rememberBox->setVisible(standing == Standing::Unpaired);
    confirmBox.setText(text);
    OfferQueue::shared().add(this);
}

void ProgressBarUI::acceptWithoutAsking(const TransferOffer &offer)
{
    QStringList names;
    for (int i = 0; i < qMin(namesInSummary, offer.files.size()); ++i)
        names.append(elideMiddle(peerText(offer.files.at(i).filename), offerNameCharacters));
    if (offer.files.size() > namesInSummary)
        names.append(tr("等"));
    const QString device = elideMiddle(peerText(offer.peer.pairedName), offerNameCharacters);
    DesktopNotifier::shared().notify(tr("已自动接收"),
        offer.textBytes > 0 ? tr("正在接收已配对设备 %1 发来的文字").arg(device)
                            : tr("正在接收已配对设备 %1 发来的 %2 个文件：%3")
                                  .arg(device, QString::number(offer.files.size()), names.join(tr("、"))));
    printLog(tr("已自动接收来自 %1 的文件").arg(device));
    // Nobody asked for this window: it must not block an offer box that waits for an answer.
    setWindowModality(Qt::NonModal);
    show();
    context->response(true);
}

void ProgressBarUI::presentOffer()
{
    show();
    countdown = Context::answerTimeLimitSeconds;
    QAbstractButton *refuse = confirmBox.button(QMessageBox::No);
    refuse->setText(tr("拒绝（%1s）").arg(countdown));
    // The countdown's texts are no wider than its first: the buttons never move.
    refuse->setMinimumWidth(refuse->sizeHint().width());
    confirmBox.show();
    countdownTimer.start(1000);
}

void ProgressBarUI::printLog(QString msg)
{
    const QString shown = peerText(msg);
    // A long path is cut in its middle to the window's width; the whole line is in the tooltip.
    ui->statusLabel->setText(ui->statusLabel->fontMetrics().elidedText(shown, Qt::ElideMiddle, statusWidth));
    ui->statusLabel->setToolTip(shown);
    ui->history_log->addItem(shown);
}

void ProgressBarUI::autoPick()
{
    if (--countdown <= 0) {
        countdownTimer.stop();
        unanswered = true;
        confirmBox.done(0);
        return;
    }
    confirmBox.button(QMessageBox::No)->setText(tr("拒绝（%1s）").arg(countdown));
}

void ProgressBarUI::cancelTransfer()
{
    cancelledHere = true;
    cancelButton->setEnabled(false);
    context->cancel();
}

void ProgressBarUI::transferFinish()
{
    cancelButton->setEnabled(false);
    dismissCancelQuestion();
    emit openNextTask();
    if (!offerToRemember())
        done(1);
}

bool ProgressBarUI::offerToRemember()
{
    const PeerIdentity peer = context->peerIdentity();
    // This installation itself (a transfer to its own address) is no device to pair with.
    if (pairChosen || peer.standing != PeerIdentity::Standing::Unpaired || !isVisible()
        || PairedDevices::find(peer.key) || peer.key == Identity::own().publicKey())
        return false;
    rememberQuestion = new QMessageBox(QMessageBox::Question, QCoreApplication::applicationName(),
        tr("传输完成。\n记住此设备后，来自它的文件不必再比对验证码。"), QMessageBox::NoButton, this);
    rememberQuestion->setObjectName(QStringLiteral("rememberQuestion"));
    rememberQuestion->setTextFormat(Qt::PlainText);
    QPushButton *remember = rememberQuestion->addButton(tr("记住此设备"), QMessageBox::AcceptRole);
    QPushButton *close = rememberQuestion->addButton(tr("关闭"), QMessageBox::RejectRole);
    rememberQuestion->setDefaultButton(close);
    rememberQuestion->setEscapeButton(close);
    connect(rememberQuestion, &QMessageBox::finished, this, [this, remember, peer] {
        if (rememberQuestion->clickedButton() == remember)
            PairedDevices::pair(peer.key, peerName.isEmpty() ? PairedDevices::fingerprintOf(peer.key) : peerName);
        done(1);
    });
    rememberQuestion->open();
    return true;
}

void ProgressBarUI::cancelButtonClicked()
{
    if (dataFlows())
        askToCancel(false);
    else
        cancelTransfer();
}

bool ProgressBarUI::dataFlows() const
{
    return isVisible() && !errorShown && !context->hasFailed() && context->sessionState() == Context::Transferring;
}

void ProgressBarUI::dismissCancelQuestion()
{
    // Later: the question may be what is ending the transfer, inside its own button's signal.
    if (cancelQuestion) {
        cancelQuestion->hide();
        cancelQuestion->deleteLater();
    }
}

QString ProgressBarUI::cancelQuestionText() const
{
    return tr("取消传输？已传输 %1%").arg(ui->progressBar->value());
}

void ProgressBarUI::askToCancel(bool closeAfter)
{
    if (cancelQuestion) {
        cancelQuestion->activateWindow();
        return;
    }
    cancelQuestion = new QMessageBox(
        QMessageBox::Question, QCoreApplication::applicationName(), cancelQuestionText(), QMessageBox::NoButton, this);
    cancelQuestion->setObjectName(QStringLiteral("cancelQuestion"));
    cancelQuestion->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *stop = cancelQuestion->addButton(tr("取消传输"), QMessageBox::DestructiveRole);
    QPushButton *goOn = cancelQuestion->addButton(tr("继续传输"), QMessageBox::RejectRole);
    cancelQuestion->setDefaultButton(goOn);
    cancelQuestion->setEscapeButton(goOn);
    connect(cancelQuestion, &QMessageBox::buttonClicked, this, [this, stop, closeAfter](QAbstractButton *clicked) {
        if (clicked != stop || !dataFlows())
            return;
        // The sending window abandons its other devices, as when this window closed at once;
        // this one stays until it has shown that the transfer was cancelled here.
        if (closeAfter)
            emit transferInterruptedByUser();
        cancelTransfer();
    });
    cancelQuestion->open();
}

void ProgressBarUI::closeEvent(QCloseEvent *event)
{
    if (dataFlows()) {
        event->ignore();
        askToCancel(true);
        return;
    }
    event->accept();
    emit transferInterruptedByUser();
}

void ProgressBarUI::reject()
{
    // Escape counts as the user closing the window, so that the sending side learns of it too.
    close();
}
