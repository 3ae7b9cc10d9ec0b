#include "core/settings.h"
#include "gui/mainui.h"
#include "gui/orvextray.h"
#include "gui/web/websend.h"
#include "tests/support/freeport.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/testmain.h"
#include "tests/support/urlopencapture.h"
#include "tests/transfer/transferpeer.h"
#include "tests/web/httpexchange.h"
#include "transfer/identity.h"

#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QStyle>
#include <QSysInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>

#include <memory>

using testsupport::freeTcpPort;
using testsupport::freeUdpPort;

namespace {

// Main windows that are open, not those waiting for their deferred deletion.
QList<MainUI *> openMainWindows()
{
    QList<MainUI *> windows;
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        if (auto *window = qobject_cast<MainUI *>(widget); window && window->isVisible())
            windows.append(window);
    }
    return windows;
}

int allMainWindows()
{
    int count = 0;
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets)
        count += qobject_cast<MainUI *>(widget) ? 1 : 0;
    return count;
}

QAction *entry(OrvexTray &tray, const QString &text)
{
    const QList<QAction *> actions = tray.contextMenu()->actions();
    for (QAction *action : actions) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QByteArray hostInfo(const QString &name, int port)
{
    return QStringLiteral("{\"device_name\":\"%1\",\"device_type\":\"%2\",\"features\":[\"cancel\",\"checked-resume\","
                          "\"identity\",\"list\",\"receipt\",\"sealed\",\"text\",\"wide-frames\"],"
                          "\"fingerprint\":\"%3\",\"port\":%4,\"request\":false}")
        .arg(name, QSysInfo::productType(), Identity::own().fingerprint())
        .arg(port)
        .toUtf8();
}

QStringList filesBelow(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next());
    return found;
}

int shownPage(MainUI *window)
{
    return window->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"))->currentIndex();
}

} // namespace

class TestOrvexTray : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings().clear();
        discoveryPort = freeUdpPort();
        QVERIFY(discoveryPort != 0);
        Settings::setDiscoveryPort(discoveryPort);
        // Every main window runs a web server.
        const quint16 webPort = freeTcpPort();
        QVERIFY(webPort != 0);
        Settings::setWebPort(webPort);
        Settings::setDownloadPath(home.path() + QStringLiteral("/Orvex"));
    }

    void cleanup() { QTRY_COMPARE(allMainWindows(), 0); }

    void menuEntriesInOrderWithTheRealPort()
    {
        OrvexTray tray(qApp);
        const QList<QAction *> actions = tray.contextMenu()->actions();
        QStringList texts;
        QList<bool> separators;
        for (QAction *action : actions) {
            if (!action->isVisible())
                continue;
            texts.append(action->text());
            separators.append(action->isSeparator());
        }
        QCOMPARE(texts.size(), 9);
        QVERIFY(texts.first().startsWith(QStringLiteral("端口: ")));
        QCOMPARE(texts.mid(1),
            (QStringList { QString(), QStringLiteral("传文件"), QStringLiteral("发送剪贴板"),
                QStringLiteral("发送文字…"), QStringLiteral("下载目录"), QStringLiteral("设置"), QString(),
                QStringLiteral("退出") }));
        QCOMPARE(separators, (QList<bool> { false, true, false, false, false, false, false, true, false }));
        QVERIFY(!actions.first()->isEnabled());
        // Nothing is shared on the web yet.
        QCOMPARE(tray.toolTip(), QStringLiteral("Orvex"));

        // Setting 0 means a port of the system's choice; the entry shows the one really used.
        const QString portText = texts.first().mid(QStringLiteral("端口: ").size());
        bool isNumber = false;
        const quint16 port = portText.toUShort(&isNumber);
        QVERIFY(isNumber);
        QVERIFY(port != 0);
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(probe.waitForConnected(5000));
    }

    // A web share outlives its window: the tray tells of it until "停止共享" ends its key.
    // Without an icon theme the question mark of the offer box is drawn at any size, not
    // enlarged from a small picture on a screen at scale 2.
    void questionMarkHasEverySize()
    {
        QIcon::setThemeSearchPaths({});
        OrvexTray tray(qApp);
        const QIcon question = QApplication::style()->standardIcon(QStyle::SP_MessageBoxQuestion);
        QCOMPARE(question.pixmap(QSize(128, 128)).size(), QSize(128, 128));
        QCOMPARE(question.actualSize(QSize(128, 128)), QSize(128, 128));
    }

    void webShareShownInTrayUntilStopped()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("report.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("shared") == 6);
        const QString path = file.fileName();
        OrvexTray tray(qApp);
        QAction *stop = entry(tray, QStringLiteral("停止共享"));
        QVERIFY(stop && !stop->isVisible());

        const QList<MainUI *> windows = openMainWindows();
        QCOMPARE(windows.size(), 1);
        QTest::mouseClick(windows.first()->findChild<QPushButton *>(QStringLiteral("web_send_btn")), Qt::LeftButton);
        QPointer<WebSend> send = qobject_cast<WebSend *>(QApplication::activeModalWidget());
        QVERIFY(send);
        send->setFileChooser([path](QWidget *) { return QStringList { path }; });
        testsupport::ModalAnswerer answerer;
        for (const char *button : { "selectFileBtn", "generateCodeBtn", "copyButton" })
            QTest::mouseClick(send->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
        QTRY_COMPARE(answerer.count(), 1);
        const QString link = QGuiApplication::clipboard()->text();
        const auto download = [&link] {
            const QByteArray target = "/download/report.txt?key=" + testsupport::keyOf(link).toLatin1();
            return testsupport::exchange(Settings::webPort(), testsupport::getRequest(target))->status;
        };
        send->close();
        QTRY_VERIFY(!send);
        QCOMPARE(download(), 200);
        QVERIFY(stop->isVisible());
        QVERIFY(tray.toolTip() != QStringLiteral("Orvex"));

        stop->trigger();
        QCOMPARE(download(), 403);
        QVERIFY(!stop->isVisible());
        QCOMPARE(tray.toolTip(), QStringLiteral("Orvex"));
    }

    void startsWithTheMainWindowOnTheDevicePage()
    {
        OrvexTray tray(qApp);
        const QList<MainUI *> windows = openMainWindows();
        QCOMPARE(windows.size(), 1);
        QCOMPARE(shownPage(windows.first()), 0);
    }

    void sendEntryOnlyRaisesAnOpenWindow()
    {
        OrvexTray tray(qApp);
        MainUI *first = openMainWindows().value(0);
        QVERIFY(first);
        entry(tray, QStringLiteral("传文件"))->trigger();
        entry(tray, QStringLiteral("传文件"))->trigger();
        emit tray.activated(QSystemTrayIcon::DoubleClick);
        QCOMPARE(openMainWindows(), QList<MainUI *> { first });
        QCOMPARE(allMainWindows(), 1);
    }

    void settingsEntrySwitchesTheOpenWindow()
    {
        OrvexTray tray(qApp);
        MainUI *first = openMainWindows().value(0);
        entry(tray, QStringLiteral("设置"))->trigger();
        QCOMPARE(openMainWindows(), QList<MainUI *> { first });
        QCOMPARE(shownPage(first), 2);
    }

    void settingsAfterClosingOpensANewWindowOnTheSettingsPage()
    {
        OrvexTray tray(qApp);
        QPointer<MainUI> first = openMainWindows().value(0);
        QVERIFY(first->close());
        QTRY_VERIFY(first.isNull());
        QCOMPARE(allMainWindows(), 0);

        entry(tray, QStringLiteral("设置"))->trigger();
        const QList<MainUI *> windows = openMainWindows();
        QCOMPARE(windows.size(), 1);
        QCOMPARE(shownPage(windows.first()), 2);
        QCOMPARE(windows.first()->findChild<QLabel *>(QStringLiteral("menu_label_2"))->styleSheet(),
            QStringLiteral("QLabel{background-color:rgb(17,150,238);color:rgb(255,255,255);}"));
    }

    void onlyADoubleClickReopensTheWindow()
    {
        OrvexTray tray(qApp);
        QPointer<MainUI> first = openMainWindows().value(0);
        QVERIFY(first->close());
        QTRY_VERIFY(first.isNull());

        emit tray.activated(QSystemTrayIcon::Trigger);
        emit tray.activated(QSystemTrayIcon::Context);
        emit tray.activated(QSystemTrayIcon::MiddleClick);
        QCOMPARE(allMainWindows(), 0);

        emit tray.activated(QSystemTrayIcon::DoubleClick);
        QCOMPARE(openMainWindows().size(), 1);
        QCOMPARE(shownPage(openMainWindows().first()), 0);
    }

    void downloadFolderIsMadeOneLevelAtStartAndFullyOnRequest()
    {
        const QString nested = home.path() + QStringLiteral("/missing/parent/Orvex");
        Settings::setDownloadPath(nested);
        testsupport::UrlOpenCapture capture;
        OrvexTray tray(qApp);
        QVERIFY(!QDir(nested).exists());

        entry(tray, QStringLiteral("下载目录"))->trigger();
        QVERIFY(QDir(nested).exists());
        QCOMPARE(capture.urls(), QList<QUrl> { QUrl::fromLocalFile(nested) });
    }

    void startCreatesAMissingDownloadFolder()
    {
        const QString folder = home.path() + QStringLiteral("/fresh");
        Settings::setDownloadPath(folder);
        OrvexTray tray(qApp);
        QVERIFY(QDir(folder).exists());
    }

    void reportsOnlyADownloadFolderThatCannotBeMade_data()
    {
        // %1 stands for a fresh folder holding the regular file "file" and the folder "there".
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::addRow("below a regular file") << "%1/file/Orvex"
                                              << "无法创建下载目录 %1/file/Orvex：%1/file 不是文件夹。";
        QTest::addRow("deeper below a regular file") << "%1/file/a/Orvex"
                                                     << "无法创建下载目录 %1/file/a/Orvex：%1/file 不是文件夹。";
        QTest::addRow("a regular file itself") << "%1/file"
                                               << "无法创建下载目录 %1/file：已有同名的文件。";
        QTest::addRow("missing parent") << "%1/missing/Orvex" << QString();
        QTest::addRow("existing folder") << "%1/there" << QString();
    }

    // At start (one level) and again on "下载目录" (the whole path).
    void reportsOnlyADownloadFolderThatCannotBeMade()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        QTemporaryDir base;
        QVERIFY(base.isValid());
        QFile file(base.path() + QStringLiteral("/file"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(QDir().mkdir(base.path() + QStringLiteral("/there")));
        path = path.arg(base.path());
        message = message.arg(base.path());
        Settings::setDownloadPath(path);
        const QStringList expected = message.isEmpty() ? QStringList() : QStringList { message };

        testsupport::UrlOpenCapture capture;
        testsupport::ModalAnswerer answerer;
        OrvexTray tray(qApp);
        QCOMPARE(answerer.texts(), expected);
        QCOMPARE(answerer.titles(), message.isEmpty() ? QStringList() : QStringList { QStringLiteral("提示信息") });
        // A missing parent is left for later.
        QCOMPARE(QFileInfo(path).isDir(), path.endsWith(QLatin1String("/there")));

        entry(tray, QStringLiteral("下载目录"))->trigger();
        QCOMPARE(answerer.texts(), expected + expected);
        QCOMPARE(QFileInfo(path).isDir(), message.isEmpty());
        // A folder that is not there is not handed to the file manager.
        QCOMPARE(capture.urls(), message.isEmpty() ? QList<QUrl> { QUrl::fromLocalFile(path) } : QList<QUrl>());
    }

    void refusesToStartWhenTheTransferPortIsTaken()
    {
        QTcpServer occupant;
        QVERIFY(occupant.listen(QHostAddress::Any, 0));
        Settings::setServerPort(occupant.serverPort());
        try {
            OrvexTray tray(qApp);
            QFAIL("the tray started on a port in use");
        } catch (const std::runtime_error &error) {
            QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("无法监听 %1 端口").arg(occupant.serverPort()));
        }
        QCOMPARE(allMainWindows(), 0);
    }

    void exitSendsLeaveAndEndsTheEventLoop()
    {
        // Holds the discovery port, so the tray warns and goes on from a port of its own; its
        // broadcasts still reach the discovery port.
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress::AnyIPv4, discoveryPort));
        Settings::setDeviceName(QStringLiteral("书房"));
        testsupport::ModalAnswerer answerer;
        OrvexTray tray(qApp);
        // The notice names the port, and then what holds it: here the test itself.
        QCOMPARE(answerer.texts().size(), 1);
        QVERIFY(answerer.texts().at(0).startsWith(
            QStringLiteral("无法监听端口 %1.\n你的设备无法被发现").arg(discoveryPort)));
        QCOMPARE(openMainWindows().size(), 1);
        QTRY_VERIFY(listener.hasPendingDatagrams());
        // The announcement at start carries the transfer port of the menu entry.
        const QString portText = tray.contextMenu()->actions().first()->text().mid(QStringLiteral("端口: ").size());
        QCOMPARE(listener.receiveDatagram().data(), hostInfo(QStringLiteral("书房"), portText.toInt()));

        QTimer::singleShot(0, &tray, [&tray] { entry(tray, QStringLiteral("退出"))->trigger(); });
        QCOMPARE(QCoreApplication::exec(), 0);

        QByteArray last;
        QTRY_VERIFY(listener.hasPendingDatagrams());
        while (listener.hasPendingDatagrams())
            last = listener.receiveDatagram().data();
        QCOMPARE(last, hostInfo(QStringLiteral("书房"), 0));
    }

    void quittingMidTransferLeavesNoPartialFile()
    {
        Settings::setServerPort(0);
        testsupport::UrlOpenCapture opened;
        auto tray = std::make_unique<OrvexTray>(qApp);
        const QString portText = tray->contextMenu()->actions().first()->text().mid(QStringLiteral("端口: ").size());
        TransferPeer peer;
        QVERIFY(peer.connectTo(quint16(portText.toUInt())));
        peer.sendMetadata({ QJsonObject {
            { QStringLiteral("filename"), QStringLiteral("big.bin") }, { QStringLiteral("size"), 100000 } } });
        QMessageBox *offer = nullptr;
        QTRY_VERIFY(offer = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
        QTest::mouseClick(offer->button(QMessageBox::Yes), Qt::LeftButton);
        QCOMPARE(peer.nextMessage(), QByteArray(R"({"response":1})"));
        peer.sendMessage(QByteArray(1000, 'x'));
        QTRY_COMPARE(filesBelow(Settings::downloadPath()).size(), 1);

        tray.reset();
        QCOMPARE(filesBelow(Settings::downloadPath()), QStringList());
    }

private:
    QTemporaryDir home;
    quint16 discoveryPort = 0;
};

ORVEX_TEST_MAIN(TestOrvexTray)
#include "tst_orvextray.moc"
