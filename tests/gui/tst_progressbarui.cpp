#include "core/paireddevices.h"
#include "gui/transfer/progressbarui.h"
#include "tests/support/loopbackpair.h"
#include "tests/support/testmain.h"
#include "transfer/context.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>

#include <memory>

namespace {

// A session whose signals the test raises itself; it records the decisions it is given.
class ScriptedContext : public Context
{
    Q_OBJECT

public:
    explicit ScriptedContext(QTcpSocket *connection)
        : Context(connection, nullptr)
    {
    }

    void handleMessage(QByteArray) override { }
    void onHandshakeDone() override { }
    void response(bool accepted) override { decisions.append(accepted); }
    QString offerNote() const override { return note; }
    void startTransferring() { state = Transferring; }
    void setPeer(const PeerIdentity &proven) { peer = proven; }

    QList<bool> decisions;
    QString note;
};

TransferOffer offerOf(const QVector<FileMetadata> &files, quint64 total, const QString &device, const QString &code,
    const PeerIdentity &peer = PeerIdentity())
{
    return { files, total, device, code, 0, peer };
}

QMessageBox *visibleBox(QWidget *window)
{
    const QList<QMessageBox *> boxes = window->findChildren<QMessageBox *>();
    for (QMessageBox *box : boxes)
        if (box->isVisible())
            return box;
    return nullptr;
}

// The refusing button carries its countdown: "拒绝（7s）".
QAbstractButton *buttonWithText(QMessageBox *box, const QString &text)
{
    const QList<QAbstractButton *> buttons = box->buttons();
    for (QAbstractButton *button : buttons)
        if (button->text().section(QStringLiteral("（"), 0, 0) == text)
            return button;
    return nullptr;
}

} // namespace

class TestProgressBarUI : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void formAndHandshake();
    void logAndProgress();
    void offerText_data();
    void offerText();
    void peerTextStaysPlain_data();
    void peerTextStaysPlain();
    void longNamesCannotHideTheCode();
    void decision_data();
    void decision();
    void onlyTheFirstErrorIsShown();
    void hiddenWindowClosesSilentlyOnError();
    void finishAsksForTheNextTask();
    void userClosing_data();
    void userClosing();
    void runningTransferIsStoppedOnlyOnPurpose_data();
    void runningTransferIsStoppedOnlyOnPurpose();
    void offersWaitTheirTurn();
    void offerByStanding_data();
    void offerByStanding();
    void finishedWindowOffersToRemember_data();
    void finishedWindowOffersToRemember();
    void withdrawnOfferLeavesALine();

private:
    testsupport::LoopbackPair pair;
    std::unique_ptr<QTcpSocket> peer;
    QPointer<ScriptedContext> context;
    QPointer<ProgressBarUI> window;
};

void TestProgressBarUI::init()
{
    pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    peer.reset(pair.client);
    context = new ScriptedContext(pair.server);
    window = new ProgressBarUI(context);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QSettings().remove(QStringLiteral("pairedDevices"));
}

void TestProgressBarUI::cleanup()
{
    delete window;
    peer.reset();
}

void TestProgressBarUI::formAndHandshake()
{
    QCOMPARE(window->objectName(), QStringLiteral("Scheduler"));
    QCOMPARE(window->minimumSize(), QSize(450, 400));
    QCOMPARE(window->maximumSize(), QSize(450, 400));
    QVERIFY(window->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(window->windowModality(), Qt::ApplicationModal);
    QCOMPARE(context->parent(), window.data());
    QCOMPARE(window->findChild<QLabel *>(QStringLiteral("statusLabel"))->text(), QStringLiteral("设备握手中……"));
    // The constructor started the key exchange: the public key is on its way.
    QTRY_COMPARE(peer->bytesAvailable(), 32);
}

void TestProgressBarUI::logAndProgress()
{
    emit context->printLogMsg(QStringLiteral("第二行"));
    emit context->updateProgressBar(0.257);
    QCOMPARE(window->findChild<QLabel *>(QStringLiteral("statusLabel"))->text(), QStringLiteral("第二行"));
    auto *history = window->findChild<QListWidget *>(QStringLiteral("history_log"));
    QCOMPARE(history->count(), 2);
    QCOMPARE(history->item(0)->text(), QStringLiteral("设备握手中……"));
    QCOMPARE(history->item(1)->text(), QStringLiteral("第二行"));
    QCOMPARE(window->findChild<QProgressBar *>(QStringLiteral("progressBar"))->value(), 25);
    // At most ten changes a second, but the end always shows.
    emit context->updateProgressBar(0.5);
    QCOMPARE(window->findChild<QProgressBar *>(QStringLiteral("progressBar"))->value(), 25);
    emit context->updateProgressBar(1.0);
    QCOMPARE(window->findChild<QProgressBar *>(QStringLiteral("progressBar"))->value(), 100);
}

void TestProgressBarUI::offerText_data()
{
    QTest::addColumn<QVector<FileMetadata>>("files");
    QTest::addColumn<qulonglong>("total");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("note");
    QTest::addRow("one file") << QVector<FileMetadata> { { QStringLiteral("a.txt"), 1536 } } << 1536ULL
                              << QStringLiteral("pc")
                              << QStringList { QStringLiteral("pc 向您分享文件： \"a.txt\" 大小为： 1.54 KB。") }
                              << QString();
    QTest::addRow("three files") << QVector<FileMetadata> { { QStringLiteral("a"), 1 }, { QStringLiteral("b"), 2 },
        { QStringLiteral("c"), 500 } }
                                 << 503ULL << QStringLiteral("laptop")
                                 << QStringList { QStringLiteral("laptop 向您分享 3 个文件，总大小为 503 B."),
                                        QStringLiteral("包括：a、b、c") }
                                 << QStringLiteral("继续上次未完成的传输（已收到 63%）");
    QTest::addRow("more files than are named")
        << QVector<FileMetadata> { { QStringLiteral("a"), 1 }, { QStringLiteral("b"), 1 }, { QStringLiteral("c"), 1 },
               { QStringLiteral("d"), 1 } }
        << 4ULL << QStringLiteral("pc")
        << QStringList { QStringLiteral("pc 向您分享 4 个文件，总大小为 4 B."), QStringLiteral("包括：a、b、c 等") }
        << QString();
    QTest::addRow("names holding place markers")
        << QVector<FileMetadata> { { QStringLiteral("%1.txt"), 2048 } } << 2048ULL << QStringLiteral("pc %2")
        << QStringList { QStringLiteral("pc %2 向您分享文件： \"%1.txt\" 大小为： 2.05 KB。") } << QString();
}

void TestProgressBarUI::offerText()
{
    QFETCH(QVector<FileMetadata>, files);
    QFETCH(qulonglong, total);
    QFETCH(QString, device);
    QFETCH(QStringList, lines);
    QFETCH(QString, note);
    context->note = note;
    if (!note.isEmpty())
        lines.append(note);
    QVERIFY(!window->isVisible());
    emit context->offered(offerOf(files, total, device, QStringLiteral("004211")));
    QVERIFY(window->isVisible());
    QMessageBox *box = visibleBox(window);
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), QStringLiteral("Orvex"));
    QCOMPARE(box->icon(), QMessageBox::Question);
    QCOMPARE(box->text().split('\n'),
        lines
            + QStringList(
                { QStringLiteral("确认在发送设备上显示了验证码： \"004211\" 。"), QStringLiteral("是否接收文件？") }));
    QVERIFY(buttonWithText(box, QStringLiteral("接收")));
    QCOMPARE(static_cast<QAbstractButton *>(box->defaultButton()), buttonWithText(box, QStringLiteral("拒绝")));
}

void TestProgressBarUI::peerTextStaysPlain_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("shownDevice");
    QTest::addColumn<QString>("shownFile");
    QTest::addColumn<QString>("screenshot");
    // Short enough to be shown whole: what a forged name drew used to hide the real code.
    const QString forged = QStringLiteral("<br><br><b>111111</b><!--");
    QTest::addRow("rich text") << forged << QStringLiteral("<img src=x>a.txt") << forged
                               << QStringLiteral("<img src=x>a.txt") << QStringLiteral("forged-name.png");
    QTest::addRow("line breaks") << QStringLiteral("pc\n\"111111\"") << QStringLiteral("a\u2028b.txt")
                                 << QStringLiteral("pc\uFFFD\"111111\"") << QStringLiteral("a\uFFFDb.txt") << QString();
    QTest::addRow("bidirectional overrides")
        << QStringLiteral("\u202Ecp\u2066x\u200F") << QStringLiteral("invoice\u202Etxt.exe")
        << QStringLiteral("\uFFFDcp\uFFFDx\uFFFD") << QStringLiteral("invoice\uFFFDtxt.exe") << QString();
}

void TestProgressBarUI::peerTextStaysPlain()
{
    QFETCH(QString, device);
    QFETCH(QString, file);
    QFETCH(QString, shownDevice);
    QFETCH(QString, shownFile);
    QFETCH(QString, screenshot);
    emit context->offered(offerOf({ { file, 1 } }, 1, device, QStringLiteral("004211")));
    QMessageBox *box = visibleBox(window);
    QVERIFY(box);
    QCOMPARE(box->textFormat(), Qt::PlainText);
    auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(label->text().split('\n'),
        QStringList({ QStringLiteral("%1 向您分享文件： \"%2\" 大小为： 1 B。").arg(shownDevice, shownFile),
            QStringLiteral("确认在发送设备上显示了验证码： \"004211\" 。"), QStringLiteral("是否接收文件？") }));
    if (!screenshot.isEmpty() && qEnvironmentVariableIsSet("ORVEX_SCREENSHOT_DIR")) {
        QVERIFY(QTest::qWaitForWindowExposed(box));
        box->grab().save(QDir(qEnvironmentVariable("ORVEX_SCREENSHOT_DIR")).filePath(screenshot));
    }
}

void TestProgressBarUI::longNamesCannotHideTheCode()
{
    const QString longName = QString(5000, QChar(0x5B57)) + QStringLiteral("end");
    const QString stacked = QStringLiteral("a") + QString(500, QChar(0x0301));
    emit context->offered(offerOf({ { stacked, 1 }, { longName, 1 } }, 2, longName, QStringLiteral("004211")));
    QMessageBox *box = visibleBox(window);
    QVERIFY(box);
    const QStringList lines = box->text().split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(2), QStringLiteral("确认在发送设备上显示了验证码： \"004211\" 。"));
    QVERIFY(lines.at(0).contains(QChar(0x2026)));
    QVERIFY(lines.at(0).size() < 100);
    // The whole question fits on a small screen, the code line included.
    QVERIFY(box->sizeHint().width() < 800);
    QVERIFY(box->sizeHint().height() < 400);

    emit context->printLogMsg(QStringLiteral("正在接收/tmp/") + stacked + QStringLiteral("<b>x</b>"));
    auto *status = window->findChild<QLabel *>(QStringLiteral("statusLabel"));
    QCOMPARE(status->textFormat(), Qt::PlainText);
    QCOMPARE(status->text(), QStringLiteral("正在接收/tmp/a") + QString(4, QChar(0x0301)) + QStringLiteral("<b>x</b>"));

    // A 300-character path is cut in its middle to fit the window; the tooltip holds it whole.
    const QString path = QStringLiteral("正在接收/tmp/") + QString(300, QLatin1Char('d')) + QStringLiteral("/end.txt");
    emit context->printLogMsg(path);
    QVERIFY(status->text().contains(QChar(0x2026)));
    QVERIFY(status->text().endsWith(QStringLiteral("end.txt")));
    QVERIFY(status->fontMetrics().horizontalAdvance(status->text()) <= window->width());
    QCOMPARE(status->toolTip(), path);
}

void TestProgressBarUI::decision_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("accepted");
    QTest::addRow("accept") << QStringLiteral("接收") << true;
    QTest::addRow("refuse") << QStringLiteral("拒绝") << false;
}

void TestProgressBarUI::decision()
{
    QFETCH(QString, button);
    QFETCH(bool, accepted);
    emit context->offered(offerOf({ { QStringLiteral("a"), 1 } }, 1, QStringLiteral("pc"), QStringLiteral("123456")));
    QMessageBox *box = visibleBox(window);
    QVERIFY(box);
    QTest::mouseClick(buttonWithText(box, button), Qt::LeftButton);
    QCOMPARE(context->decisions, QList<bool>({ accepted }));
    QVERIFY(!box->isVisible());
    QCOMPARE(window->isVisible(), accepted);
}

void TestProgressBarUI::onlyTheFirstErrorIsShown()
{
    QSignalSpy next(window.data(), &ProgressBarUI::openNextTask);
    QSignalSpy finished(window.data(), &QDialog::finished);
    window->show();
    emit context->raiseErrorMsg(QStringLiteral("first failure"));
    emit context->raiseErrorMsg(QStringLiteral("second failure"));
    QMessageBox *box = visibleBox(window);
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("first failure"));
    QCOMPARE(window->findChildren<QMessageBox *>().size(), 2); // the offer box and one error box
    QCOMPARE(next.count(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!window, 4000);
    QCOMPARE(next.count(), 1);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), 0);
}

void TestProgressBarUI::hiddenWindowClosesSilentlyOnError()
{
    QSignalSpy next(window.data(), &ProgressBarUI::openNextTask);
    QSignalSpy interrupted(window.data(), &ProgressBarUI::transferInterruptedByUser);
    emit context->raiseErrorMsg(QStringLiteral("握手失败！"));
    QCOMPARE(next.count(), 1);
    QVERIFY(!visibleBox(window));
    QTRY_VERIFY(!window);
    QVERIFY(!context);
    QCOMPARE(interrupted.count(), 0);
    // Closing the window closed the connection.
    QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
}

void TestProgressBarUI::finishAsksForTheNextTask()
{
    QSignalSpy next(window.data(), &ProgressBarUI::openNextTask);
    QSignalSpy finished(window.data(), &QDialog::finished);
    QSignalSpy interrupted(window.data(), &ProgressBarUI::transferInterruptedByUser);
    window->show();
    emit context->raiseEndSignal();
    QCOMPARE(next.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), 1);
    QTRY_VERIFY(!window);
    QCOMPARE(interrupted.count(), 0);
}

void TestProgressBarUI::userClosing_data()
{
    QTest::addColumn<bool>("escape");
    QTest::addRow("title bar") << false;
    QTest::addRow("escape key") << true;
}

void TestProgressBarUI::userClosing()
{
    QFETCH(bool, escape);
    QSignalSpy interrupted(window.data(), &ProgressBarUI::transferInterruptedByUser);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    if (escape)
        QTest::keyClick(window, Qt::Key_Escape);
    else
        window->close();
    QCOMPARE(interrupted.count(), 1);
    QTRY_VERIFY(!window);
    QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
}

void TestProgressBarUI::runningTransferIsStoppedOnlyOnPurpose_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<int>("interrupted");

    for (const QString &how : { QStringLiteral("escape"), QStringLiteral("close"), QStringLiteral("button") }) {
        QTest::addRow("%s, then escape", qPrintable(how)) << how << int(Qt::Key_Escape) << false << 0;
        QTest::addRow("%s, then enter", qPrintable(how)) << how << int(Qt::Key_Return) << false << 0;
        // Only the window's own closing abandons the sending window's other devices.
        QTest::addRow("%s, then stop", qPrintable(how)) << how << 0 << true << int(how != QLatin1String("button"));
    }
}

void TestProgressBarUI::runningTransferIsStoppedOnlyOnPurpose()
{
    QFETCH(QString, how);
    QFETCH(int, answer);
    QFETCH(bool, stopped);
    QFETCH(int, interrupted);
    QSignalSpy interruptions(window.data(), &ProgressBarUI::transferInterruptedByUser);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    context->startTransferring();
    emit context->updateProgressBar(0.49);

    if (how == QLatin1String("escape"))
        QTest::keyClick(window, Qt::Key_Escape);
    else if (how == QLatin1String("close"))
        window->close();
    else
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("cancelButton")), Qt::LeftButton);
    QPointer<QMessageBox> question = window->findChild<QMessageBox *>(QStringLiteral("cancelQuestion"));
    QVERIFY(question && question->isVisible());
    QVERIFY(question->text().contains(QStringLiteral("49%")));
    QVERIFY(window->isVisible());
    QVERIFY(!context->hasFailed());

    if (answer != 0) {
        QTest::keyClick(question, Qt::Key(answer));
    } else {
        const QList<QAbstractButton *> buttons = question->buttons();
        for (QAbstractButton *button : buttons)
            if (question->buttonRole(button) == QMessageBox::DestructiveRole)
                QTest::mouseClick(button, Qt::LeftButton);
    }
    QTRY_VERIFY(!question);
    QCOMPARE(context->hasFailed(), stopped);
    QCOMPARE(interruptions.count(), interrupted);
    if (!stopped) {
        QVERIFY(window->isVisible());
        QCOMPARE(peer->state(), QAbstractSocket::ConnectedState);
        return;
    }
    // The side that stopped says so before its window goes.
    QMessageBox *notice = visibleBox(window);
    QVERIFY(notice);
    QCOMPARE(notice->text(), QStringLiteral("已取消传输"));
    QTRY_VERIFY_WITH_TIMEOUT(!window, 4000);
    QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
}

// A second offer waits hidden while the first is before the user, and its countdown starts only
// when it is shown: the first is refused after its seven seconds, the second is not.
void TestProgressBarUI::offersWaitTheirTurn()
{
    testsupport::LoopbackPair second = testsupport::connectLoopbackPair();
    QVERIFY(second.client);
    std::unique_ptr<QTcpSocket> secondPeer(second.client);
    QPointer<ScriptedContext> secondContext = new ScriptedContext(second.server);
    std::unique_ptr<ProgressBarUI> secondWindow(new ProgressBarUI(secondContext));

    emit context->offered(offerOf({ { QStringLiteral("a"), 1 } }, 1, QStringLiteral("pc"), QStringLiteral("123456")));
    emit secondContext->offered(
        offerOf({ { QStringLiteral("b"), 1 } }, 1, QStringLiteral("pc2"), QStringLiteral("654321")));
    QMessageBox *box = visibleBox(window);
    QVERIFY(box);
    QCOMPARE(buttonWithText(box, QStringLiteral("拒绝"))->text(), QStringLiteral("拒绝（7s）"));
    QVERIFY(!secondWindow->isVisible());
    QVERIFY(!visibleBox(secondWindow.get()));

    QTRY_COMPARE_WITH_TIMEOUT(context->decisions, QList<bool>({ false }), 9000);
    QMessageBox *secondBox = visibleBox(secondWindow.get());
    QVERIFY(secondBox);
    QVERIFY(secondBox->text().contains(QStringLiteral("654321")));
    QCOMPARE(buttonWithText(secondBox, QStringLiteral("拒绝"))->text(), QStringLiteral("拒绝（7s）"));
    QVERIFY(secondContext->decisions.isEmpty());
    QTest::mouseClick(buttonWithText(secondBox, QStringLiteral("接收")), Qt::LeftButton);
    QCOMPARE(secondContext->decisions, QList<bool>({ true }));
}

void TestProgressBarUI::withdrawnOfferLeavesALine()
{
    testsupport::LoopbackPair second = testsupport::connectLoopbackPair();
    QVERIFY(second.client);
    std::unique_ptr<QTcpSocket> secondPeer(second.client);
    QPointer<ScriptedContext> secondContext = new ScriptedContext(second.server);
    QPointer<ProgressBarUI> secondWindow = new ProgressBarUI(secondContext);
    secondWindow->setAttribute(Qt::WA_DeleteOnClose);

    emit context->offered(offerOf({ { QStringLiteral("a"), 1 } }, 1, QStringLiteral("pc"), QStringLiteral("123456")));
    emit secondContext->offered(
        offerOf({ { QStringLiteral("b"), 1 } }, 1, QStringLiteral("pc2"), QStringLiteral("654321")));
    emit secondContext->raiseErrorMsg(QStringLiteral("连接中断"));
    QTRY_VERIFY(!secondWindow);
    auto *history = window->findChild<QListWidget *>(QStringLiteral("history_log"));
    QCOMPARE(history->item(history->count() - 1)->text(), QStringLiteral("pc2 在您答复之前取消了另一个文件请求"));
    QVERIFY(visibleBox(window));
    QVERIFY(context->decisions.isEmpty());
}

namespace {

const QByteArray pairedKey(PairedDevices::identityKeyBytes, 'k');

PeerIdentity identity(PeerIdentity::Standing standing, bool autoAccept)
{
    PeerIdentity peer;
    peer.standing = standing;
    if (standing != PeerIdentity::Standing::Unproven)
        peer.key = pairedKey;
    if (standing == PeerIdentity::Standing::Paired)
        peer.pairedName = QStringLiteral("书房");
    peer.autoAccept = autoAccept;
    return peer;
}

} // namespace

void TestProgressBarUI::offerByStanding_data()
{
    using Standing = PeerIdentity::Standing;
    QTest::addColumn<PeerIdentity>("proven");
    // The store's choice when the offer arrives (the device is paired in it for every row).
    QTest::addColumn<bool>("storedAutoAccept");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<bool>("remember");
    QTest::addColumn<QString>("screenshot");
    QTest::addRow("unproven") << identity(Standing::Unproven, false) << false << true << false << QString();
    QTest::addRow("unpaired") << identity(Standing::Unpaired, false) << false << true << true << "offer-unpaired.png";
    QTest::addRow("paired") << identity(Standing::Paired, false) << false << true << false << "offer-paired.png";
    QTest::addRow("paired, automatic") << identity(Standing::Paired, true) << true << false << false << QString();
    QTest::addRow("paired, automatic turned off since")
        << identity(Standing::Paired, true) << false << true << false << QString();
    QTest::addRow("impostor") << identity(Standing::NotThePairedDevice, false) << false << true << false
                              << "offer-impostor.png";
    QTest::addRow("impostor claiming automatic")
        << identity(Standing::NotThePairedDevice, true) << true << true << false << QString();
    QTest::addRow("unpaired claiming automatic")
        << identity(Standing::Unpaired, true) << true << true << true << QString();
}

void TestProgressBarUI::offerByStanding()
{
    QFETCH(PeerIdentity, proven);
    QFETCH(bool, storedAutoAccept);
    QFETCH(bool, asks);
    QFETCH(bool, remember);
    QFETCH(QString, screenshot);
    QVERIFY(PairedDevices::pair(pairedKey, QStringLiteral("书房")));
    PairedDevices::setAutoAccept(PairedDevices::fingerprintOf(pairedKey), storedAutoAccept);
    const bool paired = proven.standing == PeerIdentity::Standing::Paired;
    const bool impostor = proven.standing == PeerIdentity::Standing::NotThePairedDevice;

    emit context->offered(
        offerOf({ { QStringLiteral("a.txt"), 1 } }, 1, QStringLiteral("pc"), QStringLiteral("004211"), proven));
    QCOMPARE(window->offeringDevice(), paired ? QStringLiteral("已配对：书房") : QStringLiteral("pc"));
    QMessageBox *box = visibleBox(window);
    QCOMPARE(box != nullptr, asks);
    if (!asks) {
        QCOMPARE(context->decisions, QList<bool>({ true }));
        // No box waiting for an answer is blocked by it.
        QCOMPARE(window->windowModality(), Qt::NonModal);
        return;
    }
    QCOMPARE(box->icon(), impostor ? QMessageBox::Warning : QMessageBox::Question);
    QCOMPARE(box->checkBox()->isVisible(), remember);
    // The code is always shown; a paired device's need not be compared.
    QVERIFY(box->text().contains(QStringLiteral("\"004211\"")));
    QCOMPARE(box->text().contains(QStringLiteral("确认在发送设备上显示了验证码")), !paired);
    QCOMPARE(box->text().contains(QStringLiteral("无法证明")), impostor);
    if (!screenshot.isEmpty() && qEnvironmentVariableIsSet("ORVEX_SCREENSHOT_DIR")) {
        QVERIFY(QTest::qWaitForWindowExposed(box));
        box->grab().save(QDir(qEnvironmentVariable("ORVEX_SCREENSHOT_DIR")).filePath(screenshot));
    }
    QTest::mouseClick(buttonWithText(box, QStringLiteral("接收")), Qt::LeftButton);
    QCOMPARE(context->decisions, QList<bool>({ true }));
}

void TestProgressBarUI::finishedWindowOffersToRemember_data()
{
    using Standing = PeerIdentity::Standing;
    QTest::addColumn<PeerIdentity>("proven");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("paired");
    QTest::addRow("unpaired, remembered") << identity(Standing::Unpaired, false) << "记住此设备" << true;
    QTest::addRow("unpaired, closed") << identity(Standing::Unpaired, false) << "关闭" << false;
    QTest::addRow("unproven") << identity(Standing::Unproven, false) << QString() << false;
}

void TestProgressBarUI::finishedWindowOffersToRemember()
{
    QFETCH(PeerIdentity, proven);
    QFETCH(QString, button);
    QFETCH(bool, paired);
    context->setPeer(proven);
    QSignalSpy next(window.data(), &ProgressBarUI::openNextTask);
    window->setPeerName(QStringLiteral("笔记本"));
    window->show();
    emit context->raiseEndSignal();
    QCOMPARE(next.count(), 1);
    if (!button.isEmpty()) {
        auto *question = window->findChild<QMessageBox *>(QStringLiteral("rememberQuestion"));
        QVERIFY(question && question->isVisible());
        QTest::mouseClick(buttonWithText(question, button), Qt::LeftButton);
    }
    QTRY_VERIFY(!window);
    const std::optional<PairedDevice> stored = PairedDevices::find(pairedKey);
    QCOMPARE(bool(stored), paired);
    if (paired)
        QCOMPARE(stored->name, QStringLiteral("笔记本"));
}

ORVEX_TEST_MAIN(TestProgressBarUI)
#include "tst_progressbarui.moc"
