#include "core/settings.h"
#include "gui/desktopnotifier.h"
#include "gui/transfer/incomingsessions.h"
#include "gui/transfer/progressbarui.h"
#include "tests/support/testmain.h"
#include "tests/support/urlopencapture.h"
#include "tests/transfer/transferpeer.h"
#include "transfer/server.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonObject>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

namespace {

struct Notice
{
    uint id;
    QString summary;
    QString body;
    QStringList actions;
};

// A notification service of the test's own, on the test's own session bus: it records what it
// is asked to show and can report a click on an action.
class NotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit NotificationService(const QDBusConnection &connection)
        : bus(connection)
    {
    }

    void invoke(uint id, const QString &action)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
        signal << id << action;
        bus.send(signal);
    }

    QList<Notice> notices;

public slots:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
        const QStringList &actions, const QVariantMap &, int)
    {
        notices.append({ uint(notices.size() + 1), summary, body, actions });
        return notices.last().id;
    }
    QStringList GetCapabilities() { return { QStringLiteral("body"), QStringLiteral("actions") }; }

private:
    QDBusConnection bus;
};

QMessageBox *openOffer()
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (box && box->isVisible() && box->buttons().size() == 2)
            return box;
    }
    return nullptr;
}

QJsonObject fileEntry(const QString &name, double size)
{
    return { { QStringLiteral("filename"), name }, { QStringLiteral("size"), size } };
}

} // namespace

class TestNotices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void offerAndFinish_data();
    void offerAndFinish();
    void failedTransfer();

private:
    bool acceptOffer(TransferPeer &peer, const QString &deviceName);

    QProcess busDaemon;
    std::unique_ptr<NotificationService> service;
    std::unique_ptr<QTemporaryDir> root;
    std::unique_ptr<testsupport::UrlOpenCapture> opened;
    std::unique_ptr<Server> server;
    bool mainWindowShown = false;
};

void TestNotices::initTestCase()
{
    busDaemon.start(QStringLiteral("dbus-daemon"),
        { QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1") });
    QVERIFY2(busDaemon.waitForStarted(), "dbus-daemon is missing (Debian package dbus-daemon)");
    QTRY_VERIFY(busDaemon.canReadLine());
    const QByteArray address = busDaemon.readLine().trimmed();
    // Before anything opens the session bus: the application's notices go to this one.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLatin1(address), QStringLiteral("service"));
    QVERIFY(bus.isConnected());
    service = std::make_unique<NotificationService>(bus);
    QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    QVERIFY(bus.registerObject(
        QStringLiteral("/org/freedesktop/Notifications"), service.get(), QDBusConnection::ExportAllSlots));
    DesktopNotifier::shared();
}

void TestNotices::cleanupTestCase()
{
    busDaemon.kill();
    busDaemon.waitForFinished();
}

void TestNotices::init()
{
    root = std::make_unique<QTemporaryDir>();
    Settings::setDownloadPath(root->path() + QStringLiteral("/downloads"));
    opened = std::make_unique<testsupport::UrlOpenCapture>();
    server = std::make_unique<Server>();
    showIncomingSessions(server.get(), [this] { return mainWindowShown; });
    server->start();
    service->notices.clear();
}

void TestNotices::cleanup()
{
    QList<QPointer<ProgressBarUI>> windows;
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets)
        if (auto *window = qobject_cast<ProgressBarUI *>(widget))
            windows.append(window);
    qDeleteAll(windows);
    server.reset();
    opened.reset();
    root.reset();
}

bool TestNotices::acceptOffer(TransferPeer &peer, const QString &deviceName)
{
    if (!peer.connectTo(server->serverPort()))
        return false;
    peer.sendMetadata({ fileEntry(QStringLiteral("a.txt"), 10) }, deviceName);
    if (!QTest::qWaitFor([] { return openOffer() != nullptr; }, 5000))
        return false;
    QTest::mouseClick(openOffer()->button(QMessageBox::Yes), Qt::LeftButton);
    return peer.nextMessage() == QByteArray(R"({"response":1})");
}

// An offer is announced only while the main window is not shown; a finished receive always is,
// with an action that opens its folder. Peer text reaches the service escaped.
void TestNotices::offerAndFinish_data()
{
    QTest::addColumn<bool>("shown");
    QTest::addRow("main window shown") << true;
    QTest::addRow("main window hidden") << false;
}

void TestNotices::offerAndFinish()
{
    QFETCH(bool, shown);
    mainWindowShown = shown;
    TransferPeer peer;
    QVERIFY(acceptOffer(peer, QStringLiteral("<b>pc</b>")));
    peer.sendMessage("0123456789");
    QTRY_COMPARE(opened->urls().size(), 1);
    const QString folder = opened->urls().first().toLocalFile();

    QTRY_COMPARE(service->notices.size(), shown ? 1 : 2);
    if (!shown) {
        QCOMPARE(service->notices.first().summary, QStringLiteral("收到文件请求"));
        QCOMPARE(service->notices.first().body, QStringLiteral("&lt;b&gt;pc&lt;/b&gt; 向您分享 1 个文件"));
    }
    const Notice finished = service->notices.last();
    QCOMPARE(finished.summary, QStringLiteral("接收完成"));
    QCOMPARE(finished.actions, QStringList({ QStringLiteral("open-folder"), QStringLiteral("打开文件夹") }));
    QSignalSpy requested(&DesktopNotifier::shared(), &DesktopNotifier::folderRequested);
    service->invoke(finished.id, QStringLiteral("open-folder"));
    QVERIFY(requested.wait());
    QCOMPARE(requested.first().first().toString(), folder);
}

void TestNotices::failedTransfer()
{
    mainWindowShown = true;
    TransferPeer peer;
    QVERIFY(acceptOffer(peer, QStringLiteral("pc")));
    peer.sendMessage("012");
    peer.socket->disconnectFromHost();
    QTRY_COMPARE(service->notices.size(), 1);
    QCOMPARE(service->notices.first().summary, QStringLiteral("传输失败"));
    QVERIFY(!service->notices.first().body.isEmpty());
}

ORVEX_TEST_MAIN(TestNotices)
#include "tst_notices.moc"
