#include "core/settings.h"
#include "gui/transfer/incomingsessions.h"
#include "gui/transfer/progressbarui.h"
#include "gui/transfer/sendfilewindow.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/testmain.h"
#include "tests/support/urlopencapture.h"
#include "gui/transfer/sendfilemanager.h"
#include "transfer/server.h"

#include <QAbstractButton>
#include <QDirIterator>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTcpServer>
#include <QTemporaryDir>

#include <memory>
#include <sys/resource.h>

namespace {

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QStringList names(SendFileWindow *window)
{
    QStringList out;
    for (const auto &entry : qAsConst(window->fileManager()->sendList))
        out.append(entry.first);
    return out;
}

QStringList tableNames(SendFileWindow *window)
{
    auto *table = window->findChild<QTableWidget *>(QStringLiteral("files_table"));
    QStringList out;
    for (int row = 0; row < table->rowCount(); ++row)
        out.append(table->item(row, 0)->text());
    return out;
}

void drop(SendFileWindow *window, const QStringList &paths)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &dropped);
}

QPushButton *button(QWidget *window, const char *name)
{
    return window->findChild<QPushButton *>(QLatin1String(name));
}

QAbstractButton *offerButton(const QString &text)
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box || !box->isVisible())
            continue;
        const QList<QAbstractButton *> buttons = box->buttons();
        for (QAbstractButton *candidate : buttons)
            if (candidate->text() == text)
                return candidate;
    }
    return nullptr;
}

QMessageBox *visibleBoxWithText(const QString &text)
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets)
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible() && box->text() == text)
            return box;
    return nullptr;
}

// Lowers the soft limit of open files for one test and puts the old one back afterwards.
class OpenFileLimit
{
public:
    explicit OpenFileLimit(rlim_t soft)
    {
        getrlimit(RLIMIT_NOFILE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = qMin(soft, saved.rlim_cur);
        applied = setrlimit(RLIMIT_NOFILE, &lowered) == 0;
        current = lowered.rlim_cur;
    }
    ~OpenFileLimit() { setrlimit(RLIMIT_NOFILE, &saved); }
    OpenFileLimit(const OpenFileLimit &) = delete;
    OpenFileLimit &operator=(const OpenFileLimit &) = delete;

    bool applied = false;
    rlim_t current = 0;

private:
    rlimit saved {};
};

} // namespace

class TestSendFileWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void keyboardGoesDownTheWindow();
    void dropOfAFolder();
    void duplicateDropChangesNothing();
    void linkLoopEnds();
    void chooserEntries_data();
    void chooserEntries();
    void refusalsShareOneBox();
    void removal();
    void updateListRemovesTheRightEntries();
    void sendingNeedsFiles();
    void listBeyondOneFrameIsOffered();
    void sendsToDevicesInTurn();
    void closingAProgressWindowAbandonsTheRest();
    void folderOfMoreFilesThanMayBeOpenIsSent();
    void fileDeletedBeforeSendingFailsTheSession();

private:
    SendFileWindow *windowSendingTo(const Server &server);
    QString source() const { return root->path() + QStringLiteral("/source"); }
    QString downloads() const { return root->path() + QStringLiteral("/downloads"); }

    std::unique_ptr<QTemporaryDir> root;
    QPointer<SendFileWindow> window;
};

void TestSendFileWindow::init()
{
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(root->isValid());
    window = new SendFileWindow({});
    window->setAttribute(Qt::WA_DeleteOnClose);
}

void TestSendFileWindow::cleanup()
{
    delete window;
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets)
        if (qobject_cast<ProgressBarUI *>(widget))
            delete widget;
    root.reset();
}

// The window opens on "打开 ..."; Tab leaves each table at once and comes round again.
void TestSendFileWindow::keyboardGoesDownTheWindow()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QStringList reached { QApplication::focusWidget()->objectName() };
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached.append(QApplication::focusWidget()->objectName());
    }
    QCOMPARE(reached,
        QStringList({ QStringLiteral("select_file_btn"), QStringLiteral("manage_btn"), QStringLiteral("web_send_btn"),
            QStringLiteral("device_table"), QStringLiteral("files_table"), QStringLiteral("remove_btn"),
            QStringLiteral("select_file_btn") }));
}

void TestSendFileWindow::dropOfAFolder()
{
    QVERIFY(writeFile(source() + QStringLiteral("/photos/2020/b.jpg"), QByteArray(1536, 'b')));
    QVERIFY(writeFile(source() + QStringLiteral("/photos/a.jpg"), "a"));
    QVERIFY(writeFile(source() + QStringLiteral("/photos/.hidden"), "h"));
    QVERIFY(writeFile(source() + QStringLiteral("/photos/.cache/c.jpg"), "c"));
    QVERIFY(writeFile(source() + QStringLiteral("/single.txt"), "s"));
    drop(window, { source() + QStringLiteral("/photos/"), source() + QStringLiteral("/single.txt") });
    QCOMPARE(names(window),
        QStringList(
            { QStringLiteral("photos/a.jpg"), QStringLiteral("photos/2020/b.jpg"), QStringLiteral("single.txt") }));
    QCOMPARE(tableNames(window), names(window));
    QCOMPARE(window->fileManager()->sendList.at(1).second, QStringLiteral("1.54 KB"));
    QCOMPARE(window->fileManager()->sendFiles.size(), 3);
    // Checked when added, then held closed until a session reaches it.
    QVERIFY(!window->fileManager()->sendFiles.at(0)->isOpen());

    if (qEnvironmentVariableIsSet("ORVEX_SCREENSHOT_DIR")) {
        SendFileWindow shown({ { QStringLiteral("书房电脑"), QStringLiteral("192.168.1.23"), 40000, QHostAddress(), QString() },
            { QStringLiteral("laptop"), QStringLiteral("192.168.1.40"), 40000, QHostAddress(), QString() } });
        drop(&shown, { source() + QStringLiteral("/photos/"), source() + QStringLiteral("/single.txt") });
        shown.show();
        QVERIFY(QTest::qWaitForWindowExposed(&shown));
        QTest::qWait(200);
        shown.grab().save(qEnvironmentVariable("ORVEX_SCREENSHOT_DIR") + QStringLiteral("/sendfilewindow.png"));
    }
}

void TestSendFileWindow::duplicateDropChangesNothing()
{
    QVERIFY(writeFile(source() + QStringLiteral("/photos/a.jpg"), "a"));
    QVERIFY(writeFile(source() + QStringLiteral("/b.txt"), "b"));
    drop(window, { source() + QStringLiteral("/photos"), source() + QStringLiteral("/b.txt") });
    const QStringList before = names(window);
    testsupport::ModalAnswerer answerer;
    drop(window, { source() + QStringLiteral("/photos"), source() + QStringLiteral("/b.txt") });
    QCOMPARE(names(window), before);
    QCOMPARE(window->fileManager()->sendFiles.size(), 2);
    QCOMPARE(answerer.count(), 0);
}

void TestSendFileWindow::linkLoopEnds()
{
    QVERIFY(writeFile(source() + QStringLiteral("/top/a.txt"), "a"));
    QVERIFY(writeFile(source() + QStringLiteral("/top/sub/b.txt"), "b"));
    QVERIFY(writeFile(root->path() + QStringLiteral("/elsewhere/c.txt"), "c"));
    QVERIFY(QFile::link(source() + QStringLiteral("/top"), source() + QStringLiteral("/top/sub/back-to-top")));
    QVERIFY(QFile::link(source() + QStringLiteral("/top/sub"), source() + QStringLiteral("/top/again")));
    QVERIFY(QFile::link(root->path() + QStringLiteral("/elsewhere"), source() + QStringLiteral("/top/linked")));
    testsupport::ModalAnswerer answerer;
    drop(window, { source() + QStringLiteral("/top") });
    QStringList found = names(window);
    // Each real folder once, whichever way it was reached first; a link to a folder outside the
    // dropped one is skipped, and the user is told.
    QCOMPARE(found.filter(QStringLiteral("a.txt")).size(), 1);
    QCOMPARE(found.filter(QStringLiteral("b.txt")).size(), 1);
    QCOMPARE(found.size(), 2);
    QCOMPARE(answerer.texts(),
        QStringList({ QStringLiteral("已跳过指向所选文件夹之外的链接：%1/top/linked").arg(source()) }));
}

void TestSendFileWindow::chooserEntries_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("listed");
    QTest::addRow("files") << 0 << QStringLiteral("选择要发送的文件")
                           << QStringList({ QStringLiteral("x.txt"), QStringLiteral("y.txt") });
    QTest::addRow("folder") << 1 << QStringLiteral("选择要发送的文件夹")
                            << QStringList({ QStringLiteral("chosen/x.txt"), QStringLiteral("chosen/y.txt") });
}

// "打开 ..." offers files and a folder.
void TestSendFileWindow::chooserEntries()
{
    QFETCH(int, entry);
    QFETCH(QString, caption);
    QFETCH(QStringList, listed);
    const QString chosen = source() + QStringLiteral("/chosen");
    QVERIFY(writeFile(chosen + QStringLiteral("/x.txt"), "x"));
    QVERIFY(writeFile(chosen + QStringLiteral("/y.txt"), "y"));
    QString asked;
    window->setFolderChooser([&](QWidget *, const QString &text) {
        asked = text;
        return chosen;
    });
    window->setFilesChooser([&](QWidget *, const QString &text) {
        asked = text;
        return QStringList({ chosen + QStringLiteral("/x.txt"), chosen + QStringLiteral("/y.txt") });
    });
    QMenu *menu = button(window, "select_file_btn")->menu();
    QVERIFY(menu);
    QCOMPARE(menu->actions().size(), 2);
    menu->actions().at(entry)->trigger();
    QCOMPARE(asked, caption);
    QStringList names = tableNames(window);
    names.sort();
    QCOMPARE(names, listed);
}

// A folder with many entries that cannot be added makes one box, not one per entry.
void TestSendFileWindow::refusalsShareOneBox()
{
    const QString chosen = source() + QStringLiteral("/chosen");
    QVERIFY(QDir().mkpath(chosen));
    for (int i = 0; i < 9; ++i)
        QVERIFY(QFile::link(QStringLiteral("/"), chosen + QStringLiteral("/to-root%1").arg(i)));
    testsupport::ModalAnswerer answerer;
    window->addPaths({ chosen });
    QCOMPARE(answerer.texts().size(), 1);
    const QStringList lines = answerer.texts().first().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines.last(), QStringLiteral("……另有 4 项"));
}

void TestSendFileWindow::removal()
{
    QVERIFY(writeFile(source() + QStringLiteral("/one.txt"), "1"));
    QVERIFY(writeFile(source() + QStringLiteral("/two.txt"), "2"));
    drop(window, { source() + QStringLiteral("/one.txt"), source() + QStringLiteral("/two.txt") });
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    {
        testsupport::ModalAnswerer answerer;
        QTest::mouseClick(button(window, "remove_btn"), Qt::LeftButton);
        QCOMPARE(answerer.texts(), QStringList({ QStringLiteral("请先选中要删除的文件") }));
    }
    auto *table = window->findChild<QTableWidget *>(QStringLiteral("files_table"));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(table->item(0, 0)).center());
    QTest::mouseClick(button(window, "remove_btn"), Qt::LeftButton);
    QCOMPARE(tableNames(window), QStringList({ QStringLiteral("two.txt") }));
    QCOMPARE(window->fileManager()->sendFiles.size(), 1);
    QCOMPARE(window->fileManager()->selectedRow, -1);
}

void TestSendFileWindow::updateListRemovesTheRightEntries()
{
    QStringList paths;
    for (int i = 0; i < 5; ++i) {
        paths.append(source() + QStringLiteral("/f%1").arg(i));
        QVERIFY(writeFile(paths.last(), QByteArray::number(i)));
    }
    drop(window, paths);
    QVERIFY(QMetaObject::invokeMethod(window, "updateList", Q_ARG(QList<int>, QList<int>({ 3, 1 }))));
    QCOMPARE(tableNames(window), QStringList({ QStringLiteral("f0"), QStringLiteral("f2"), QStringLiteral("f4") }));
    QCOMPARE(window->fileManager()->sendFiles.at(1)->fileName(), paths.at(2));
}

void TestSendFileWindow::sendingNeedsFiles()
{
    testsupport::ModalAnswerer answerer;
    QTest::mouseClick(button(window, "web_send_btn"), Qt::LeftButton);
    QCOMPARE(answerer.texts(), QStringList({ QStringLiteral("请先选择要发送的文件！") }));
    QCOMPARE(answerer.titles(), QStringList({ QStringLiteral("错误提示") }));
}

void TestSendFileWindow::listBeyondOneFrameIsOffered()
{
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    delete window;
    window = new SendFileWindow(
        { { QStringLiteral("peer"), QStringLiteral("127.0.0.1"), listener.serverPort(), QHostAddress::LocalHost, QString() } });
    window->setAttribute(Qt::WA_DeleteOnClose);
    // Long names: about 450 bytes of metadata per file, so 200 files exceed one frame.
    const QString longPart = QString(200, QLatin1Char('n'));
    for (int i = 0; i < 200; ++i)
        QVERIFY(writeFile(source() + QStringLiteral("/many/%1-%2/%3.txt").arg(longPart).arg(i).arg(longPart), "x"));
    drop(window, { source() + QStringLiteral("/many") });
    QCOMPARE(window->fileManager()->sendFiles.size(), 200);

    // The offer continues over further frames, or goes in batches to an older receiver.
    testsupport::ModalAnswerer answerer;
    QTest::mouseClick(button(window, "web_send_btn"), Qt::LeftButton);
    QTRY_VERIFY(listener.hasPendingConnections());
    QCOMPARE(answerer.count(), 0);
}

void TestSendFileWindow::sendsToDevicesInTurn()
{
    testsupport::UrlOpenCapture opened;
    Settings::setDownloadPath(root->path() + QStringLiteral("/downloads"));
    Settings::setServerPort(0);
    Server server;
    showIncomingSessions(&server);
    server.start();
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    delete window;
    window = new SendFileWindow(
        { { QStringLiteral("gone"), QStringLiteral("127.0.0.1"), closedPort, QHostAddress::LocalHost, QString() },
            { QStringLiteral("here"), QStringLiteral("127.0.0.1"), server.serverPort(), QHostAddress::LocalHost, QString() } });
    window->setAttribute(Qt::WA_DeleteOnClose);
    QVERIFY(writeFile(source() + QStringLiteral("/docs/a.txt"), "alpha"));
    QVERIFY(writeFile(source() + QStringLiteral("/docs/sub/b.bin"), QByteArray(100000, 'b')));
    drop(window, { source() + QStringLiteral("/docs") });
    window->show();

    // Answers only the time-out notice; the offer and the end notice are handled below.
    QStringList timeouts;
    QTimer answerTimeouts;
    connect(&answerTimeouts, &QTimer::timeout, [&] {
        if (QMessageBox *box = visibleBoxWithText(QStringLiteral("连接超时！"))) {
            timeouts.append(box->windowTitle());
            box->button(QMessageBox::Ok)->click();
        }
    });
    answerTimeouts.start(20);

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(button(window, "web_send_btn"), Qt::LeftButton);
    QVERIFY(!button(window, "web_send_btn")->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(timeouts.size(), 1, 8000);
    // Qt may fire a coarse timer up to 5 % early.
    QVERIFY2(clock.elapsed() >= 4700, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(timeouts.first(), QStringLiteral("Orvex"));

    QTRY_VERIFY(offerButton(QStringLiteral("接收")));
    QTest::mouseClick(offerButton(QStringLiteral("接收")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(visibleBoxWithText(QStringLiteral("传输结束！")), 8000);
    QDirIterator folders(root->path() + QStringLiteral("/downloads"), QDir::Dirs | QDir::NoDotAndDotDot);
    QVERIFY(folders.hasNext());
    const QString folder = folders.next();
    QFile a(folder + QStringLiteral("/docs/a.txt"));
    QFile b(folder + QStringLiteral("/docs/sub/b.bin"));
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(a.readAll(), QByteArray("alpha"));
    QCOMPARE(b.readAll(), QByteArray(100000, 'b'));
    QCOMPARE(timeouts.size(), 1);
    // The notice goes by itself and takes the window with it.
    QTRY_VERIFY_WITH_TIMEOUT(!window, 7000);
}

void TestSendFileWindow::closingAProgressWindowAbandonsTheRest()
{
    QTcpServer first;
    QTcpServer second;
    QVERIFY(first.listen(QHostAddress::LocalHost, 0));
    QVERIFY(second.listen(QHostAddress::LocalHost, 0));
    delete window;
    window = new SendFileWindow(
        { { QStringLiteral("first"), QStringLiteral("127.0.0.1"), first.serverPort(), QHostAddress::LocalHost, QString() },
            { QStringLiteral("second"), QStringLiteral("127.0.0.1"), second.serverPort(), QHostAddress::LocalHost, QString() } });
    window->setAttribute(Qt::WA_DeleteOnClose);
    QVERIFY(writeFile(source() + QStringLiteral("/a.txt"), "a"));
    drop(window, { source() + QStringLiteral("/a.txt") });
    window->show();
    QTest::mouseClick(button(window, "web_send_btn"), Qt::LeftButton);

    QPointer<ProgressBarUI> progress;
    QTRY_VERIFY((progress = qobject_cast<ProgressBarUI *>(QApplication::activeModalWidget())));
    QTRY_VERIFY(first.hasPendingConnections());
    progress->close();
    QTRY_VERIFY(!window);
    QTRY_VERIFY(!progress);
    QTest::qWait(200);
    QVERIFY(!second.hasPendingConnections());
}

SendFileWindow *TestSendFileWindow::windowSendingTo(const Server &server)
{
    delete window;
    window = new SendFileWindow(
        { { QStringLiteral("here"), QStringLiteral("127.0.0.1"), server.serverPort(), QHostAddress::LocalHost, QString() } });
    window->setAttribute(Qt::WA_DeleteOnClose);
    return window;
}

void TestSendFileWindow::folderOfMoreFilesThanMayBeOpenIsSent()
{
    testsupport::UrlOpenCapture opened;
    Settings::setDownloadPath(downloads());
    Settings::setServerPort(0);
    Server server;
    showIncomingSessions(&server);
    server.start();
    windowSendingTo(server);

    OpenFileLimit limit(256);
    QVERIFY(limit.applied);
    const int count = static_cast<int>(limit.current) + 50;
    QMap<QString, QByteArray> contents;
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("photos/%1/img%2.jpg").arg(i % 3).arg(i);
        contents.insert(name, QByteArray::number(i).repeated(1 + i % 50));
        QVERIFY(writeFile(source() + QLatin1Char('/') + name, contents.value(name)));
    }
    {
        testsupport::ModalAnswerer answerer;
        drop(window, { source() + QStringLiteral("/photos") });
        QCOMPARE(answerer.texts(), QStringList());
    }
    QCOMPARE(window->fileManager()->sendFiles.size(), count);

    window->show();
    QTest::mouseClick(button(window, "web_send_btn"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(offerButton(QStringLiteral("接收")), 7000);
    QTest::mouseClick(offerButton(QStringLiteral("接收")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(visibleBoxWithText(QStringLiteral("传输结束！")), 30000);

    const QStringList folders = QDir(downloads()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(folders.size(), 1);
    const QString folder = downloads() + QLatin1Char('/') + folders.first();
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    int found = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = QDir(folder).relativeFilePath(path);
        QVERIFY2(contents.contains(name), qPrintable(name));
        QFile received(path);
        QVERIFY(received.open(QIODevice::ReadOnly));
        QCOMPARE(received.readAll(), contents.value(name));
        ++found;
    }
    QCOMPARE(found, count);
}

void TestSendFileWindow::fileDeletedBeforeSendingFailsTheSession()
{
    testsupport::UrlOpenCapture opened;
    Settings::setDownloadPath(downloads());
    Settings::setServerPort(0);
    Server server;
    showIncomingSessions(&server);
    server.start();
    windowSendingTo(server);
    QVERIFY(writeFile(source() + QStringLiteral("/docs/a.txt"), "alpha"));
    QVERIFY(writeFile(source() + QStringLiteral("/docs/b.bin"), QByteArray(100000, 'b')));
    drop(window, { source() + QStringLiteral("/docs") });
    QCOMPARE(window->fileManager()->sendFiles.size(), 2);
    QVERIFY(QFile::remove(source() + QStringLiteral("/docs/b.bin")));

    window->show();
    QTest::mouseClick(button(window, "web_send_btn"), Qt::LeftButton);
    QTRY_VERIFY(visibleBoxWithText(QStringLiteral("无法打开文件 docs/b.bin，传输已中止！")));
    // The failed device counts as served; the receiver was never asked and has nothing.
    QTRY_VERIFY_WITH_TIMEOUT(visibleBoxWithText(QStringLiteral("传输结束！")), 7000);
    QVERIFY(!offerButton(QStringLiteral("接收")));
    QCOMPARE(QDir(downloads()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

ORVEX_TEST_MAIN(TestSendFileWindow)
#include "tst_sendfilewindow.moc"
