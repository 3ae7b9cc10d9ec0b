#include "core/settings.h"
#include "gui/text/receivedtextwindow.h"
#include "gui/text/sendtextwindow.h"
#include "gui/transfer/incomingsessions.h"
#include "gui/transfer/progressbarui.h"
#include "tests/support/testmain.h"
#include "tests/support/urlopencapture.h"
#include "tests/transfer/transferpeer.h"
#include "transfer/sendercontext.h"
#include "transfer/server.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QDateTime>
#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>

#include <memory>
#include <unistd.h>

namespace {

QByteArray randomBytes(qint64 size)
{
    QByteArray data(static_cast<int>(size), Qt::Uninitialized);
    QRandomGenerator generator(static_cast<quint32>(size) + 7);
    for (char &byte : data)
        byte = static_cast<char>(generator.generate() & 0xFF);
    return data;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Every file below a folder, as paths relative to it, hidden ones included.
QStringList filesBelow(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(QDir(folder).relativeFilePath(it.next()));
    found.sort();
    return found;
}

QStringList subfolders(const QString &folder)
{
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

QJsonObject fileEntry(const QString &name, double size)
{
    return { { QStringLiteral("filename"), name }, { QStringLiteral("size"), size } };
}

QList<ProgressBarUI *> progressWindows()
{
    QList<ProgressBarUI *> windows;
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets)
        if (auto *window = qobject_cast<ProgressBarUI *>(widget))
            windows.append(window);
    return windows;
}

QStringList logOf(ProgressBarUI *window)
{
    QStringList lines;
    if (!window)
        return lines;
    auto *list = window->findChild<QListWidget *>(QStringLiteral("history_log"));
    for (int i = 0; i < list->count(); ++i)
        lines.append(list->item(i)->text());
    return lines;
}

QAbstractButton *buttonStartingWith(QMessageBox *box, const QString &text)
{
    const QList<QAbstractButton *> buttons = box->buttons();
    for (QAbstractButton *button : buttons)
        if (button->text().startsWith(text))
            return button;
    return nullptr;
}

// The visible offer question, if one is open.
QMessageBox *openOffer()
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (box && box->isVisible() && buttonStartingWith(box, QStringLiteral("接收")))
            return box;
    }
    return nullptr;
}

// The text of the error box a progress window shows, empty while it shows none.
QString errorShownBy(ProgressBarUI *window)
{
    if (!window)
        return QString();
    const QList<QMessageBox *> boxes = window->findChildren<QMessageBox *>();
    for (QMessageBox *box : boxes)
        if (box->isVisible() && !buttonStartingWith(box, QStringLiteral("接收")))
            return box->text();
    return QString();
}

// One sending side as the send-file window sets it up: a connected socket, a SenderContext and
// its shown progress window.
struct Sender
{
    QPointer<ProgressBarUI> window;
    QPointer<SenderContext> context;
    std::unique_ptr<QSignalSpy> errors;
    std::unique_ptr<QSignalSpy> failures;
    std::unique_ptr<QSignalSpy> log;
    std::unique_ptr<QSignalSpy> progress;
    std::unique_ptr<QSignalSpy> next;
};

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void folderArrivesWithStructure();
    void filesOfEverySize_data();
    void filesOfEverySize();
    void oneFrameEndsOneFileAndStartsTheNext();
    void refusal_data();
    void refusal();
    void countdownRefusesByItself();
    void unusableDownloadFolder_data();
    void unusableDownloadFolder();
    void hostileMetadataIsRefused_data();
    void hostileMetadataIsRefused();
    void twoTransfersInTheSameSecond();
    void offersBeyondTheWaitingOnesAreRefused_data();
    void offersBeyondTheWaitingOnesAreRefused();
    void senderClosingMidFileLeavesNoPartialFile();
    void failureBeforeTheFirstByteLeavesNoFolder();
    void cancelButtonOnEitherSide_data();
    void cancelButtonOnEitherSide();
    void fileChangingSizeFailsTheSender_data();
    void fileChangingSizeFailsTheSender();
    void senderFramesFollowTheFiles();
    void silentConnectionsNeverShowAWindow_data();
    void silentConnectionsNeverShowAWindow();
    void listensOnSystemChosenPort();
    void textFromTheEditorIsShownAndCopied();

private:
    // Without paths, the session sends text instead.
    std::unique_ptr<Sender> startSender(
        const QStringList &paths, const QStringList &names, quint16 port = 0, const QString &text = QString());
    ProgressBarUI *receiverWindow(const Sender *sender = nullptr) const;
    bool acceptOffer(const QString &button = QStringLiteral("接收"));
    QString downloads() const { return root->path() + QStringLiteral("/downloads"); }
    QString source() const { return root->path() + QStringLiteral("/source"); }

    std::unique_ptr<QTemporaryDir> root;
    std::unique_ptr<Server> server;
    std::unique_ptr<testsupport::UrlOpenCapture> opened;
    QList<QPointer<ProgressBarUI>> senderWindows;
};

void TestSession::init()
{
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(root->isValid());
    Settings::setDownloadPath(downloads());
    Settings::setDeviceName(QStringLiteral("sender-pc"));
    Settings::setServerPort(0);
    opened = std::make_unique<testsupport::UrlOpenCapture>();
    server = std::make_unique<Server>();
    showIncomingSessions(server.get());
    server->start();
}

void TestSession::cleanup()
{
    const QList<ProgressBarUI *> windows = progressWindows();
    for (ProgressBarUI *window : windows)
        delete window;
    senderWindows.clear();
    server.reset();
    opened.reset();
    root.reset();
}

std::unique_ptr<Sender> TestSession::startSender(
    const QStringList &paths, const QStringList &names, quint16 port, const QString &text)
{
    auto *socket = new QTcpSocket;
    socket->connectToHost(QHostAddress::LocalHost, port ? port : server->serverPort());
    if (!QTest::qWaitFor([socket] { return socket->state() == QAbstractSocket::ConnectedState; }, 5000)) {
        delete socket;
        return nullptr;
    }
    QList<QSharedPointer<QFile>> files;
    QList<QPair<QString, QString>> sendList;
    // Closed, as the send-file window hands them over: the session opens each in turn.
    for (int i = 0; i < paths.size(); ++i) {
        files.append(QSharedPointer<QFile>::create(paths.at(i)));
        sendList.append({ names.at(i), QString() });
    }
    auto sender = std::make_unique<Sender>();
    sender->context = paths.isEmpty() ? new SenderContext(socket, text, QDateTime::currentDateTime(), nullptr)
                                      : new SenderContext(socket, files, sendList, nullptr);
    sender->errors = std::make_unique<QSignalSpy>(sender->context.data(), &Context::raiseErrorMsg);
    sender->failures = std::make_unique<QSignalSpy>(sender->context.data(), &Context::transferFailed);
    sender->log = std::make_unique<QSignalSpy>(sender->context.data(), &Context::printLogMsg);
    sender->progress = std::make_unique<QSignalSpy>(sender->context.data(), &Context::updateProgressBar);
    sender->window = new ProgressBarUI(sender->context, nullptr);
    sender->next = std::make_unique<QSignalSpy>(sender->window.data(), &ProgressBarUI::openNextTask);
    sender->window->setAttribute(Qt::WA_DeleteOnClose);
    sender->window->show();
    senderWindows.append(sender->window);
    return sender;
}

ProgressBarUI *TestSession::receiverWindow(const Sender *) const
{
    const QList<ProgressBarUI *> windows = progressWindows();
    for (ProgressBarUI *window : windows)
        if (!senderWindows.contains(window))
            return window;
    return nullptr;
}

bool TestSession::acceptOffer(const QString &button)
{
    if (!QTest::qWaitFor([] { return openOffer() != nullptr; }, 5000))
        return false;
    QAbstractButton *target = buttonStartingWith(openOffer(), button);
    if (!target)
        return false;
    QTest::mouseClick(target, Qt::LeftButton);
    return true;
}

void TestSession::folderArrivesWithStructure()
{
    const QMap<QString, QByteArray> contents {
        { QStringLiteral("photos/a.jpg"), randomBytes(3000) },
        { QStringLiteral("photos/2020/b.jpg"), randomBytes(70000) },
        { QStringLiteral("photos/2020/empty.txt"), QByteArray() },
        { QStringLiteral("photos/2020/deeper/c.raw"), randomBytes(128001) },
        { QStringLiteral("notes.txt"), QByteArray("plain notes\n") },
    };
    QStringList paths;
    QStringList names;
    for (auto it = contents.cbegin(); it != contents.cend(); ++it) {
        QVERIFY(writeFile(source() + QLatin1Char('/') + it.key(), it.value()));
        paths.append(source() + QLatin1Char('/') + it.key());
        names.append(it.key());
    }
    auto sender = startSender(paths, names);
    QVERIFY(sender);
    QVERIFY(acceptOffer());
    QPointer<ProgressBarUI> receiver = receiverWindow();
    QVERIFY(receiver);
    QTRY_VERIFY(logOf(receiver).contains(QStringLiteral("传输完成！")));

    const QStringList folders = subfolders(downloads());
    QCOMPARE(folders.size(), 1);
    QVERIFY(QDateTime::fromString(folders.first(), QStringLiteral("yyyy-MM-dd-hh.mm.ss")).isValid());
    const QString folder = downloads() + QLatin1Char('/') + folders.first();
    QStringList expected = contents.keys();
    expected.sort();
    QCOMPARE(filesBelow(folder), expected);
    for (auto it = contents.cbegin(); it != contents.cend(); ++it)
        QCOMPARE(readFile(folder + QLatin1Char('/') + it.key()), it.value());

    QCOMPARE(opened->urls(), QList<QUrl>({ QUrl::fromLocalFile(downloads()) }));
    QTRY_COMPARE(sender->next->count(), 1);
    QVERIFY(sender->errors->isEmpty());
    QStringList announced;
    for (const QList<QVariant> &line : qAsConst(*sender->log))
        if (line.at(0).toString().startsWith(QStringLiteral("正在传送文件")))
            announced.append(line.at(0).toString());
    QCOMPARE(announced.size(), 4);
    QCOMPARE(sender->progress->last().at(0).toDouble(), 1.0);
    QTRY_VERIFY(!sender->window);
    QTRY_VERIFY_WITH_TIMEOUT(!receiver, 7000);
}

void TestSession::filesOfEverySize_data()
{
    QTest::addColumn<QList<qint64>>("sizes");
    QTest::addRow("empty") << QList<qint64> { 0 };
    QTest::addRow("one byte") << QList<qint64> { 1 };
    QTest::addRow("one frame") << QList<qint64> { 64000 };
    QTest::addRow("one frame and a byte") << QList<qint64> { 64001 };
    QTest::addRow("several MB") << QList<qint64> { 6 * 1024 * 1024 + 3 };
    QTest::addRow("mixed") << QList<qint64> { 0, 1, 64000, 0, 64001, 5 };
}

void TestSession::filesOfEverySize()
{
    QFETCH(QList<qint64>, sizes);
    QStringList paths;
    QStringList names;
    for (int i = 0; i < sizes.size(); ++i) {
        names.append(QStringLiteral("file%1.bin").arg(i));
        paths.append(source() + QLatin1Char('/') + names.last());
        QVERIFY(writeFile(paths.last(), randomBytes(sizes.at(i) + i).left(static_cast<int>(sizes.at(i)))));
    }
    auto sender = startSender(paths, names);
    QVERIFY(sender);
    QVERIFY(acceptOffer());
    QPointer<ProgressBarUI> receiver = receiverWindow();
    QTRY_VERIFY(logOf(receiver).contains(QStringLiteral("传输完成！")));
    const QString folder = downloads() + QLatin1Char('/') + subfolders(downloads()).value(0);
    QCOMPARE(filesBelow(folder), names);
    for (int i = 0; i < sizes.size(); ++i)
        QCOMPARE(readFile(folder + QLatin1Char('/') + names.at(i)), readFile(paths.at(i)));
    QTRY_COMPARE(sender->log->last().at(0).toString(), QStringLiteral("传输完成！"));
    QVERIFY(sender->errors->isEmpty());
}

void TestSession::oneFrameEndsOneFileAndStartsTheNext()
{
    TransferPeer peer;
    QVERIFY(peer.connectTo(server->serverPort()));
    peer.sendMetadata({ fileEntry(QStringLiteral("first.txt"), 5), fileEntry(QStringLiteral("dir/empty"), 0),
        fileEntry(QStringLiteral("dir/second.txt"), 7) });
    QVERIFY(acceptOffer());
    QCOMPARE(peer.nextMessage(), QByteArray(R"({"response":1})"));
    peer.sendMessage("12345abcdefg");
    QPointer<ProgressBarUI> receiver = receiverWindow();
    QTRY_VERIFY(logOf(receiver).contains(QStringLiteral("传输完成！")));
    const QString folder = downloads() + QLatin1Char('/') + subfolders(downloads()).value(0);
    QCOMPARE(filesBelow(folder),
        QStringList({ QStringLiteral("dir/empty"), QStringLiteral("dir/second.txt"), QStringLiteral("first.txt") }));
    QCOMPARE(readFile(folder + QStringLiteral("/first.txt")), QByteArray("12345"));
    QCOMPARE(readFile(folder + QStringLiteral("/dir/second.txt")), QByteArray("abcdefg"));
    QCOMPARE(readFile(folder + QStringLiteral("/dir/empty")), QByteArray());
    // The receiver closes its end when it is done.
    QVERIFY(peer.waitForDisconnected());
}

void TestSession::refusal_data()
{
    QTest::addColumn<bool>("escape");
    QTest::addColumn<bool>("text");
    QTest::addRow("refuse button") << false << false;
    QTest::addRow("escape key") << true << false;
    QTest::addRow("a text, refuse button") << false << true;
}

void TestSession::refusal()
{
    QFETCH(bool, escape);
    QFETCH(bool, text);
    QVERIFY(writeFile(source() + QStringLiteral("/a.txt"), "refused content"));
    auto sender = text ? startSender({}, {}, 0, QStringLiteral("refused text"))
                       : startSender({ source() + QStringLiteral("/a.txt") }, { QStringLiteral("a.txt") });
    QVERIFY(sender);
    QTRY_VERIFY(openOffer());
    QPointer<ProgressBarUI> receiver = receiverWindow();
    QVERIFY(receiver && receiver->isVisible());
    if (escape)
        QTest::keyClick(openOffer(), Qt::Key_Escape);
    else
        QVERIFY(acceptOffer(QStringLiteral("拒绝")));
    QTRY_COMPARE(sender->failures->count(), 1);
    QCOMPARE(sender->failures->at(0).at(0).value<TransferFailure>().kind, TransferFailure::Kind::Declined);
    // The window shows the engine's sentence.
    QCOMPARE(sender->errors->at(0).at(0).toString(), QStringLiteral("接收设备拒绝接收文件！"));
    QTRY_VERIFY(!receiver);
    QVERIFY(!QFileInfo::exists(downloads()));
    QVERIFY(opened->urls().isEmpty());
    // The sender shows the refusal for two seconds, then asks for the next device.
    QTRY_COMPARE(sender->next->count(), 1);
    QTRY_VERIFY(!sender->window);
}

void TestSession::countdownRefusesByItself()
{
    QVERIFY(writeFile(source() + QStringLiteral("/a.txt"), "not answered"));
    auto sender = startSender({ source() + QStringLiteral("/a.txt") }, { QStringLiteral("a.txt") });
    QVERIFY(sender);
    QTRY_VERIFY(openOffer());
    QElapsedTimer shown;
    shown.start();
    QMessageBox *box = openOffer();
    QAbstractButton *refuse = buttonStartingWith(box, QStringLiteral("拒绝"));
    // The countdown is on the button from the start, so the buttons never move.
    QCOMPARE(refuse->text(), QStringLiteral("拒绝（7s）"));
    for (int second = 6; second >= 1; --second)
        QTRY_COMPARE_WITH_TIMEOUT(refuse->text(), QStringLiteral("拒绝（%1s）").arg(second), 2000);
    QTRY_COMPARE_WITH_TIMEOUT(sender->failures->count(), 1, 3000);
    // The sender hears that nobody answered, not that the offer was declined.
    QCOMPARE(sender->failures->at(0).at(0).value<TransferFailure>().kind, TransferFailure::Kind::Unanswered);
    QVERIFY2(shown.elapsed() >= 6500, qPrintable(QString::number(shown.elapsed())));
    QVERIFY(!QFileInfo::exists(downloads()));
}

void TestSession::unusableDownloadFolder_data()
{
    QTest::addColumn<bool>("belowFile");
    QTest::addRow("cannot be created") << true;
    QTest::addRow("not writable") << false;
}

void TestSession::unusableDownloadFolder()
{
    QFETCH(bool, belowFile);
    QString expected;
    if (belowFile) {
        QVERIFY(writeFile(root->path() + QStringLiteral("/plain-file"), "x"));
        Settings::setDownloadPath(root->path() + QStringLiteral("/plain-file/Orvex"));
        expected = QStringLiteral("没有权限创建以下目录：%1……").arg(Settings::downloadPath());
    } else {
        if (geteuid() == 0)
            QSKIP("Permissions do not stop root; the folder-below-a-file row covers the failure path.");
        QVERIFY(QDir().mkpath(downloads()));
        QVERIFY(QFile::setPermissions(downloads(), QFile::ReadOwner | QFile::ExeOwner));
        expected = QStringLiteral("没有权限写入下载目录！");
    }
    TransferPeer peer;
    QVERIFY(peer.connectTo(server->serverPort()));
    peer.sendMetadata({ fileEntry(QStringLiteral("a.txt"), 3) });
    QVERIFY(acceptOffer());
    // The acceptance goes out before the folder is checked.
    QCOMPARE(peer.nextMessage(), QByteArray(R"({"response":1})"));
    QPointer<ProgressBarUI> receiver = receiverWindow();
    QTRY_COMPARE(errorShownBy(receiver), expected);
    QTRY_VERIFY_WITH_TIMEOUT(!receiver, 4000);
    QVERIFY(peer.waitForDisconnected());
    QFile::setPermissions(downloads(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestSession::hostileMetadataIsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("size");
    QTest::addRow("parent") << QStringLiteral("../escaped.txt") << 4.0;
    QTest::addRow("parent inside") << QStringLiteral("a/../../escaped.txt") << 4.0;
    QTest::addRow("absolute") << QStringLiteral("%ROOT%/escaped.txt") << 4.0;
    QTest::addRow("empty") << QString() << 4.0;
    QTest::addRow("dot") << QStringLiteral("./escaped.txt") << 4.0;
    QTest::addRow("empty part") << QStringLiteral("a//escaped.txt") << 4.0;
    QTest::addRow("only parent") << QStringLiteral("..") << 4.0;
    QTest::addRow("negative size") << QStringLiteral("escaped.txt") << -1.0;
    QTest::addRow("huge size") << QStringLiteral("escaped.txt") << 1e30;
}

void TestSession::hostileMetadataIsRefused()
{
    QFETCH(QString, name);
    QFETCH(double, size);
    name.replace(QStringLiteral("%ROOT%"), root->path());
    const QStringList before = filesBelow(root->path());
    TransferPeer peer;
    QVERIFY(peer.connectTo(server->serverPort()));
    QTRY_VERIFY(receiverWindow());
    QPointer<ProgressBarUI> receiver = receiverWindow();
    // A harmless first entry, so that refusing the list as a whole is what is shown.
    peer.sendMetadata({ fileEntry(QStringLiteral("fine.txt"), 4), fileEntry(name, size) });
    peer.sendMessage("evil");
    QVERIFY(peer.waitForDisconnected());
    QTRY_VERIFY(!receiver);
    QVERIFY(!openOffer());
    QCOMPARE(filesBelow(root->path()), before);
    QVERIFY(!QFileInfo::exists(downloads()));
}

void TestSession::twoTransfersInTheSameSecond()
{
    // Folders of the next few seconds exist already, as if earlier transfers had used them, so
    // the suffix rule is exercised whatever the clock does during the test.
    const QDateTime now = QDateTime::currentDateTime();
    QStringList taken;
    for (int second = 0; second < 5; ++second) {
        taken.append(now.addSecs(second).toString(QStringLiteral("yyyy-MM-dd-hh.mm.ss")));
        QVERIFY(writeFile(downloads() + QLatin1Char('/') + taken.last() + QStringLiteral("/same.txt"), "earlier"));
    }
    TransferPeer first;
    TransferPeer second;
    QVERIFY(first.connectTo(server->serverPort()));
    // From another address: one sender has one offer waiting at a time.
    QVERIFY(second.connectTo(server->serverPort(), QHostAddress(QStringLiteral("127.0.0.2"))));
    first.sendMetadata({ fileEntry(QStringLiteral("same.txt"), 5) });
    second.sendMetadata({ fileEntry(QStringLiteral("same.txt"), 6) });
    QVERIFY(acceptOffer());
    QVERIFY(acceptOffer());
    QCOMPARE(first.nextMessage(), QByteArray(R"({"response":1})"));
    QCOMPARE(second.nextMessage(), QByteArray(R"({"response":1})"));
    first.sendMessage("first");
    second.sendMessage("second");
    QVERIFY(first.waitForDisconnected());
    QVERIFY(second.waitForDisconnected());

    QStringList contents;
    const QStringList folders = subfolders(downloads());
    QCOMPARE(folders.size(), taken.size() + 2);
    for (const QString &folder : folders) {
        const QByteArray content = readFile(downloads() + QLatin1Char('/') + folder + QStringLiteral("/same.txt"));
        if (taken.contains(folder))
            QCOMPARE(content, QByteArray("earlier"));
        else
            contents.append(QString::fromUtf8(content));
    }
    contents.sort();
    QCOMPARE(contents, QStringList({ QStringLiteral("first"), QStringLiteral("second") }));
}

void TestSession::offersBeyondTheWaitingOnesAreRefused_data()
{
    QTest::addColumn<QStringList>("senders");
    QTest::addRow("second from one address")
        << QStringList { QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.2") };
    QTest::addRow("beyond the waiting offers") << QStringList { QStringLiteral("127.0.0.2"),
        QStringLiteral("127.0.0.3"), QStringLiteral("127.0.0.4"), QStringLiteral("127.0.0.5") };
}

void TestSession::offersBeyondTheWaitingOnesAreRefused()
{
    QFETCH(QStringList, senders);
    const auto shownOffers = [] {
        int shown = 0;
        const QList<ProgressBarUI *> windows = progressWindows();
        for (ProgressBarUI *window : windows)
            shown += window->isVisible() ? 1 : 0;
        return shown;
    };
    const auto offers = [] {
        int made = 0;
        const QList<ProgressBarUI *> windows = progressWindows();
        for (ProgressBarUI *window : windows)
            made += window->offeringDevice().isEmpty() ? 0 : 1;
        return made;
    };
    std::vector<std::unique_ptr<TransferPeer>> peers;
    for (const QString &address : qAsConst(senders)) {
        peers.push_back(std::make_unique<TransferPeer>());
        QVERIFY(peers.back()->connectTo(server->serverPort(), QHostAddress(address)));
    }
    for (int i = 0; i + 1 < senders.size(); ++i) {
        peers.at(i)->sendMetadata({ fileEntry(QStringLiteral("a.txt"), 1) });
        QTRY_COMPARE(offers(), i + 1);
        // One offer at a time is before the user; the others wait their turn.
        QCOMPARE(shownOffers(), 1);
    }

    QTest::ignoreMessage(
        QtInfoMsg, QRegularExpression(QStringLiteral("^Refused an offer from .*127\\.0\\.0\\.. at once")));
    peers.back()->sendMetadata({ fileEntry(QStringLiteral("b.txt"), 1) });
    QCOMPARE(peers.back()->nextMessage(), QByteArray(R"({"response":0})"));
    QVERIFY(peers.back()->waitForDisconnected());
    QCOMPARE(shownOffers(), 1);
    QCOMPARE(progressWindows().size(), senders.size() - 1);
}

void TestSession::senderClosingMidFileLeavesNoPartialFile()
{
    TransferPeer peer;
    QVERIFY(peer.connectTo(server->serverPort()));
    peer.sendMetadata({ fileEntry(QStringLiteral("done.txt"), 10), fileEntry(QStringLiteral("cut/big.bin"), 200000) });
    QVERIFY(acceptOffer());
    QCOMPARE(peer.nextMessage(), QByteArray(R"({"response":1})"));
    QPointer<ProgressBarUI> receiver = receiverWindow();
    peer.sendMessage("0123456789" + QByteArray(60000, 'x'));
    peer.sendMessage(QByteArray(40000, 'y'));
    QTRY_VERIFY(logOf(receiver).contains(
        QStringLiteral("正在接收%1……")
            .arg(downloads() + QLatin1Char('/') + subfolders(downloads()).value(0) + QStringLiteral("/cut/big.bin"))));
    const QString folder = downloads() + QLatin1Char('/') + subfolders(downloads()).value(0);
    // The incomplete file exists only under a temporary name while it is written.
    QTRY_COMPARE(filesBelow(folder).size(), 2);
    QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/cut/big.bin")));
    peer.socket->disconnectFromHost();
    QTRY_COMPARE(errorShownBy(receiver), QStringLiteral("The remote host closed the connection"));
    QCOMPARE(filesBelow(folder), QStringList({ QStringLiteral("done.txt") }));
    QCOMPARE(readFile(folder + QStringLiteral("/done.txt")), QByteArray("0123456789"));
    // The folder made for the cut file is gone with it.
    QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/cut")));
    QTRY_VERIFY_WITH_TIMEOUT(!receiver, 4000);
}

void TestSession::failureBeforeTheFirstByteLeavesNoFolder()
{
    TransferPeer peer;
    QVERIFY(peer.connectTo(server->serverPort()));
    peer.sendMetadata({ fileEntry(QStringLiteral("sub/a.txt"), 10) });
    QVERIFY(acceptOffer());
    QCOMPARE(peer.nextMessage(), QByteArray(R"({"response":1})"));
    QPointer<ProgressBarUI> receiver = receiverWindow();
    QTRY_COMPARE(subfolders(downloads()).size(), 1);
    peer.socket->disconnectFromHost();
    QTRY_VERIFY(!errorShownBy(receiver).isEmpty());
    QCOMPARE(subfolders(downloads()), QStringList());
}

void TestSession::cancelButtonOnEitherSide_data()
{
    QTest::addColumn<bool>("bySender");
    QTest::addColumn<bool>("byClosing");
    QTest::addRow("sender's button") << true << false;
    QTest::addRow("receiver's button") << false << false;
    QTest::addRow("receiver's window closed") << false << true;
}

void TestSession::cancelButtonOnEitherSide()
{
    QFETCH(bool, bySender);
    QFETCH(bool, byClosing);
    const QString path = source() + QStringLiteral("/big.bin");
    QVERIFY(writeFile(path, QByteArray(32 << 20, 'z')));
    const std::unique_ptr<Sender> sender = startSender({ path }, { QStringLiteral("big.bin") });
    QVERIFY(sender);
    QVERIFY(acceptOffer());
    QPointer<ProgressBarUI> receiver = receiverWindow();
    ProgressBarUI *cancelling = bySender ? sender->window.data() : receiver.data();
    auto *cancel = cancelling->findChild<QPushButton *>(QStringLiteral("cancelButton"));
    QVERIFY(cancel && cancel->isVisible());
    connect(receiver->findChild<Context *>(), &Context::updateProgressBar, cancel,
        [cancel, cancelling, byClosing](double fraction) {
            if (fraction < 0.25 || !cancel->isEnabled())
                return;
            if (byClosing)
                QTimer::singleShot(0, cancelling, &QWidget::close);
            else
                QTest::mouseClick(cancel, Qt::LeftButton);
            cancel->setEnabled(false);
        });
    // While data flows the window asks first; the user confirms.
    QMessageBox *question = nullptr;
    QTRY_VERIFY((question = cancelling->findChild<QMessageBox *>(QStringLiteral("cancelQuestion"))));
    const QList<QAbstractButton *> answers = question->buttons();
    for (QAbstractButton *answer : answers) {
        if (question->buttonRole(answer) == QMessageBox::DestructiveRole)
            answer->click();
    }
    QTRY_COMPARE(errorShownBy(bySender ? receiver.data() : sender->window.data()), QStringLiteral("对方已取消传输"));
    if (!byClosing)
        QTRY_COMPARE(errorShownBy(cancelling), QStringLiteral("已取消传输"));
    // What arrived waits, hidden, for the transfer to resume; nothing has the file's name.
    const QStringList kept = filesBelow(downloads());
    QCOMPARE(kept.size(), 2);
    QCOMPARE(kept.filter(QRegularExpression(QStringLiteral("/\\.orvex-[0-9a-f]+\\.part$"))).size(), 1);
    QCOMPARE(kept.filter(QRegularExpression(QStringLiteral("^\\.orvex-unfinished/.+\\.json$"))).size(), 1);
}

void TestSession::fileChangingSizeFailsTheSender_data()
{
    QTest::addColumn<int>("newSize");
    QTest::addColumn<int>("originalSize");
    QTest::addColumn<QStringList>("received");
    const QStringList stableOnly { QStringLiteral("stable.txt") };
    QTest::addRow("shrinks") << 100000 << 200000 << stableOnly;
    QTest::addRow("grows") << 300000 << 200000 << stableOnly;
    // The receiver makes an empty file only when the sender's stream has come to its end.
    QTest::addRow("empty file grows") << 10 << 0 << stableOnly;
    QTest::addRow("deleted") << -1 << 200000 << stableOnly;
}

void TestSession::fileChangingSizeFailsTheSender()
{
    QFETCH(int, newSize);
    QFETCH(int, originalSize);
    QFETCH(QStringList, received);
    const QString path = source() + QStringLiteral("/changing.bin");
    QVERIFY(writeFile(source() + QStringLiteral("/stable.txt"), "stable"));
    QVERIFY(writeFile(path, randomBytes(originalSize)));
    auto sender = startSender({ source() + QStringLiteral("/stable.txt"), path },
        { QStringLiteral("stable.txt"), QStringLiteral("changing.bin") });
    QVERIFY(sender);
    QTRY_VERIFY(openOffer());
    if (newSize < 0)
        QVERIFY(QFile::remove(path));
    else
        QVERIFY(writeFile(path, randomBytes(newSize)));
    QVERIFY(acceptOffer());
    QTRY_COMPARE(sender->failures->count(), 1);
    const auto failure = sender->failures->at(0).at(0).value<TransferFailure>();
    QCOMPARE(failure.kind, TransferFailure::Kind::ReadError);
    QCOMPARE(failure.detail, QStringLiteral("changing.bin"));
    QCOMPARE(sender->errors->count(), 1);
    QPointer<ProgressBarUI> receiver = receiverWindow();
    // The user closes the sending window without waiting for its error box to go.
    sender->window->close();
    QTRY_VERIFY_WITH_TIMEOUT(!receiver, 6000);
    const QString folder = downloads() + QLatin1Char('/') + subfolders(downloads()).value(0);
    QCOMPARE(filesBelow(folder), received);
    QCOMPARE(readFile(folder + QStringLiteral("/stable.txt")), QByteArray("stable"));
    if (received.contains(QStringLiteral("changing.bin")))
        QCOMPARE(QFileInfo(folder + QStringLiteral("/changing.bin")).size(), 0);
}

void TestSession::senderFramesFollowTheFiles()
{
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    const QList<int> sizes { 64000, 0, 64001, 1 };
    QStringList paths;
    QStringList names;
    for (int i = 0; i < sizes.size(); ++i) {
        names.append(QStringLiteral("f%1").arg(i));
        paths.append(source() + QLatin1Char('/') + names.last());
        QVERIFY(writeFile(paths.last(), QByteArray(sizes.at(i), static_cast<char>('a' + i))));
    }
    auto sender = startSender(paths, names, listener.serverPort());
    QVERIFY(sender);
    QTRY_VERIFY(listener.hasPendingConnections());
    TransferPeer receiver(listener.nextPendingConnection());
    QVERIFY(receiver.exchangeKeys());
    const QJsonObject offer = QJsonDocument::fromJson(receiver.nextMessage()).object();
    QCOMPARE(offer.value(QStringLiteral("device_name")).toString(), QStringLiteral("sender-pc"));
    QCOMPARE(offer.value(QStringLiteral("device_type")).toString(), QSysInfo::productType());
    const QJsonArray files = offer.value(QStringLiteral("files")).toArray();
    QCOMPARE(files.size(), sizes.size());
    for (int i = 0; i < sizes.size(); ++i)
        QCOMPARE(files.at(i).toObject(), fileEntry(names.at(i), sizes.at(i)));

    receiver.sendMessage(R"({"response":1})");
    QList<QByteArray> frames;
    while (receiver.socket->state() == QAbstractSocket::ConnectedState || receiver.socket->bytesAvailable()) {
        const QByteArray message = receiver.nextMessage(2000);
        if (message.isNull())
            break;
        frames.append(message);
    }
    QCOMPARE(frames.size(), 4);
    QCOMPARE(frames.at(0), QByteArray(64000, 'a'));
    QCOMPARE(frames.at(1), QByteArray(64000, 'c'));
    QCOMPARE(frames.at(2), QByteArray(1, 'c'));
    QCOMPARE(frames.at(3), QByteArray(1, 'd'));
    QStringList announced;
    for (const QList<QVariant> &line : qAsConst(*sender->log))
        if (line.at(0).toString().startsWith(QStringLiteral("正在传送文件")))
            announced.append(line.at(0).toString());
    QCOMPARE(announced,
        QStringList({ QStringLiteral("正在传送文件 f0 ……"), QStringLiteral("正在传送文件 f2 ……"),
            QStringLiteral("正在传送文件 f3 ……") }));
    QCOMPARE(sender->progress->last().at(0).toDouble(), 1.0);
    QCOMPARE(sender->log->last().at(0).toString(), QStringLiteral("传输完成！"));
    QVERIFY(sender->errors->isEmpty());
}

void TestSession::silentConnectionsNeverShowAWindow_data()
{
    QTest::addColumn<bool>("sendKey");
    QTest::addRow("no key") << false;
    QTest::addRow("key but no metadata") << true;
}

void TestSession::silentConnectionsNeverShowAWindow()
{
    QFETCH(bool, sendKey);
    server->setSessionTimeLimit(300);
    TransferPeer peer;
    if (sendKey) {
        QVERIFY(peer.connectTo(server->serverPort()));
    } else {
        peer.socket = new QTcpSocket;
        peer.socket->setParent(this);
        peer.socket->connectToHost(QHostAddress::LocalHost, server->serverPort());
    }
    QTRY_VERIFY(receiverWindow());
    QPointer<ProgressBarUI> receiver = receiverWindow();
    bool everShown = false;
    QTRY_VERIFY((everShown |= receiver && receiver->isVisible(), !receiver));
    QVERIFY(!everShown);
    QVERIFY(peer.waitForDisconnected());
}

void TestSession::listensOnSystemChosenPort()
{
    QVERIFY(server->serverPort() != 0);
    QTcpServer probe;
    QVERIFY(!probe.listen(QHostAddress::Any, server->serverPort()));

    Settings::setServerPort(server->serverPort());
    Server second;
    try {
        second.start();
        QFAIL("a taken port must be refused");
    } catch (const std::runtime_error &error) {
        QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("无法监听 %1 端口").arg(server->serverPort()));
    }
}

void TestSession::textFromTheEditorIsShownAndCopied()
{
    const QString text = QStringLiteral("https://example.org/a?b=1");
    DeviceInfo device { QStringLiteral("receiver"), QStringLiteral("127.0.0.1"), server->serverPort(),
        QHostAddress::LocalHost, QString() };
    SendTextWindow editor({ device }, QString());
    editor.show();
    QTest::keyClicks(editor.findChild<QPlainTextEdit *>(QStringLiteral("textEditor")), text);
    if (qEnvironmentVariableIsSet("ORVEX_SCREENSHOT_DIR"))
        editor.grab().save(qEnvironmentVariable("ORVEX_SCREENSHOT_DIR") + QStringLiteral("/send-text.png"));
    QTest::mouseClick(editor.findChild<QPushButton *>(QStringLiteral("sendTextButton")), Qt::LeftButton);
    QVERIFY(acceptOffer());
    ReceivedTextWindow *shown = nullptr;
    QTRY_VERIFY((shown = [] {
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *window = qobject_cast<ReceivedTextWindow *>(widget))
                return window;
        return static_cast<ReceivedTextWindow *>(nullptr);
    }()));
    QCOMPARE(shown->text(), text);
    QCOMPARE(shown->link(), QUrl(text));
    if (qEnvironmentVariableIsSet("ORVEX_SCREENSHOT_DIR"))
        shown->grab().save(qEnvironmentVariable("ORVEX_SCREENSHOT_DIR") + QStringLiteral("/text-from-device.png"));
    QGuiApplication::clipboard()->clear();
    QTest::mouseClick(shown->findChild<QPushButton *>(QStringLiteral("copyTextButton")), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), text);
    // Nothing was written, nothing opened by itself.
    QVERIFY(!QFileInfo::exists(downloads()));
    QVERIFY(opened->urls().isEmpty());
    delete shown;
}

ORVEX_TEST_MAIN(TestSession)
#include "tst_session.moc"
