#include "core/autostart.h"
#include "core/localipv4addresses.h"
#include "core/settings.h"
#include "discovery/discoveryservice.h"
#include "gui/diagnosis/diagnosispage.h"
#include "gui/discovery/onlinedeviceitem.h"
#include "gui/mainui.h"
#include "tests/support/freeport.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/testmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUdpSocket>

using testsupport::freeTcpPort;
using testsupport::freeUdpPort;

namespace {

const QString highlighted = QStringLiteral("QLabel{background-color:rgb(17,150,238);color:rgb(255,255,255);}");
const QString plain = QStringLiteral("QLabel{background-color:rgb(255,255,255);color:rgb(0,0,0);}");
const QString formatError = QStringLiteral("%1的设置格式有误！\n（所有项目不能为空，端口号范围为0~65535）");

QMap<QString, QVariant> storedSettings()
{
    QSettings settings;
    QMap<QString, QVariant> values;
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys)
        values.insert(key, settings.value(key));
    return values;
}

} // namespace

class TestMainUI : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings().clear();
        // Every window sends a discovery request at once: never to the real discovery port.
        discoveryPort = freeUdpPort();
        QVERIFY(discoveryPort != 0);
        Settings::setDiscoveryPort(discoveryPort);
        // Every window runs a web server.
        webPort = freeTcpPort();
        QVERIFY(webPort != 0);
        Settings::setWebPort(webPort);
        Settings::setDeviceName(QStringLiteral("书房"));
        Settings::setDownloadPath(downloads.path() + QStringLiteral("/Orvex"));
    }

    void showsLocalIdentity()
    {
        Settings::setServerPort(4567);
        DiscoveryService service;
        MainUI window(&service);

        QCOMPARE(label(window, "nickname_label")->text(), QStringLiteral("书房"));
        QString addresses;
        const QStringList texts = localIPv4Addresses();
        for (const QString &text : texts)
            addresses += text + QLatin1Char('\n');
        QCOMPARE(label(window, "ip_label")->text(), addresses);
        QCOMPARE(label(window, "ip_hint_label")->text(), QStringLiteral("LAN地址"));
        QCOMPARE(label(window, "port_label")->text(), QStringLiteral("4567"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Orvex-局域网跨平台文件传输解决方案"));
    }

    void showsTheRunningServersPort_data()
    {
        QTest::addColumn<int>("setting");
        QTest::addRow("the system chooses it") << 0;
        QTest::addRow("another saved since") << 5555;
    }

    void showsTheRunningServersPort()
    {
        QFETCH(int, setting);
        DiscoveryService service;
        service.start(41234);
        Settings::setServerPort(static_cast<quint16>(setting));
        MainUI window(&service);
        QCOMPARE(label(window, "port_label")->text(), QStringLiteral("41234"));
    }

    void longNicknamesAreElided()
    {
        const QString longName(60, QChar(0x540d));
        Settings::setDeviceName(longName);
        DiscoveryService service;
        MainUI window(&service);
        const QString shown = label(window, "nickname_label")->text();
        QVERIFY(shown.endsWith(QChar(0x2026)));
        QVERIFY(shown.size() < longName.size());
    }

    void menuSwitchesPages()
    {
        DiscoveryService service;
        MainUI window(&service);
        window.show();
        auto *stack = window.findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
        QCOMPARE(stack->currentIndex(), 0);
        QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("online"));
        QCOMPARE(menuStyles(window), (QStringList { highlighted, QString(), QString(), QString(), QString() }));
        QCOMPARE(menuTexts(window),
            (QStringList { QStringLiteral("在线设备"), QStringLiteral("WEB传输"), QStringLiteral("系统设置"),
                QStringLiteral("网络诊断"), QStringLiteral("已配对的设备") }));

        // The entry already highlighted: nothing changes, not even the other entries' style.
        QTest::mouseClick(menuLabel(window, 0), Qt::LeftButton);
        QCOMPARE(menuStyles(window), (QStringList { highlighted, QString(), QString(), QString(), QString() }));

        QTest::mouseClick(menuLabel(window, 2), Qt::LeftButton);
        QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("setting"));
        QCOMPARE(menuStyles(window), (QStringList { plain, plain, highlighted, plain, plain }));

        QTest::mouseClick(menuLabel(window, 1), Qt::LeftButton);
        QCOMPARE(stack->currentIndex(), 1);
        QCOMPARE(menuStyles(window), (QStringList { plain, highlighted, plain, plain, plain }));
    }

    // Keys go to whatever has the focus, as a user's keyboard would; a Ctrl+digit included.
    void menuAnswersTheKeyboard_data()
    {
        QTest::addColumn<QVector<int>>("keys");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("focusedEntry");

        const int ctrl = int(Qt::ControlModifier);
        QTest::addRow("opens on the first entry") << QVector<int> {} << 0 << 0;
        QTest::addRow("arrows move the focus only") << QVector<int> { Qt::Key_Down, Qt::Key_Right } << 0 << 2;
        QTest::addRow("enter opens the focused entry") << QVector<int> { Qt::Key_Down, Qt::Key_Return } << 1 << 1;
        QTest::addRow("up wraps to the last") << QVector<int> { Qt::Key_Up, Qt::Key_Space } << 4 << 4;
        QTest::addRow("down wraps to the first") << QVector<int> { Qt::Key_Up, Qt::Key_Down, Qt::Key_Enter } << 0 << 0;
        QTest::addRow("ctrl+digit from anywhere")
            << QVector<int> { Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, ctrl | Qt::Key_3 } << 2 << 2;
        QTest::addRow("ctrl+digit beyond the menu") << QVector<int> { ctrl | Qt::Key_2, ctrl | Qt::Key_9 } << 1 << 1;
        // -1: the focus is on the page shown, not in the menu.
        QTest::addRow("tab leaves the menu for the page") << QVector<int> { ctrl | Qt::Key_3, Qt::Key_Tab } << 2 << -1;
        QTest::addRow("back tab returns to the entry in use")
            << QVector<int> { ctrl | Qt::Key_3, Qt::Key_Tab, int(Qt::ShiftModifier) | Qt::Key_Backtab } << 2 << 2;
    }

    void menuAnswersTheKeyboard()
    {
        QFETCH(QVector<int>, keys);
        QFETCH(int, page);
        QFETCH(int, focusedEntry);

        DiscoveryService service;
        MainUI window(&service);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        for (const int key : qAsConst(keys)) {
            QWidget *target = QApplication::focusWidget();
            QVERIFY(target);
            QTest::keyClick(target, Qt::Key(key & ~Qt::KeyboardModifierMask),
                Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
        }
        const auto *stack = window.findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
        QCOMPARE(stack->currentIndex(), page);
        if (focusedEntry < 0)
            QVERIFY(stack->currentWidget()->isAncestorOf(QApplication::focusWidget()));
        else
            QCOMPARE(QApplication::focusWidget(), menuLabel(window, focusedEntry));
    }

    void switchPageKeepsToTheRange_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("shown");
        QTest::addColumn<bool>("outOfRange");

        QTest::addRow("settings") << 2 << 2 << false;
        QTest::addRow("web") << 1 << 1 << false;
        QTest::addRow("network diagnosis") << 3 << 3 << false;
        QTest::addRow("paired devices") << 4 << 4 << false;
        QTest::addRow("one past the end") << 5 << 0 << true;
        QTest::addRow("negative") << -1 << 0 << true;
    }

    void switchPageKeepsToTheRange()
    {
        QFETCH(int, index);
        QFETCH(int, shown);
        QFETCH(bool, outOfRange);

        DiscoveryService service;
        MainUI window(&service);
        if (outOfRange)
            QTest::ignoreMessage(QtWarningMsg, "页数超过范围！");
        window.switchPage(index);
        QCOMPARE(window.findChild<QStackedWidget *>(QStringLiteral("stackedWidget"))->currentIndex(), shown);
        QCOMPARE(menuStyles(window).indexOf(highlighted), shown);
    }

    void diagnosisPageListsTheFindings()
    {
        QTcpServer transferServer;
        QVERIFY(transferServer.listen(QHostAddress::LocalHost));
        DiscoveryService service;
        service.start(transferServer.serverPort());
        MainUI window(&service);
        // Ports saved since the servers started: the diagnosis checks those that run.
        Settings::setDiscoveryPort(freeUdpPort());
        Settings::setWebPort(freeTcpPort());
        window.show();
        QTest::mouseClick(menuLabel(window, 3), Qt::LeftButton);
        auto *stack = window.findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
        QCOMPARE(stack->currentWidget()->objectName(), QStringLiteral("diagnosis_page"));
        auto *page = qobject_cast<DiagnosisPage *>(stack->currentWidget());
        QSignalSpy diagnosed(page, &DiagnosisPage::diagnosed);
        QTest::mouseClick(page->findChild<QPushButton *>(QStringLiteral("diagnose_btn")), Qt::LeftButton);
        QVERIFY(diagnosed.wait(10000));
        // Each finding of the engine has its line; headings carry none.
        QVector<int> kinds;
        auto *lines = page->findChild<QListWidget *>(QStringLiteral("diagnosis_list"));
        for (int i = 0; i < lines->count(); ++i) {
            const QVariant kind = lines->item(i)->data(DiagnosisPage::kindRole);
            if (kind.isValid())
                kinds.append(kind.toInt());
        }
        // This process holds the discovery port, its transfer server listens, this window's own
        // web server holds the web port.
        QVERIFY(kinds.contains(int(NetworkDiagnosis::Kind::DiscoveryPortHeld)));
        QVERIFY(kinds.contains(int(NetworkDiagnosis::Kind::TransferPortListening)));
        QVERIFY(kinds.contains(int(NetworkDiagnosis::Kind::WebPortHeld)));
        QCOMPARE(kinds.constLast(), int(NetworkDiagnosis::Kind::NoDevice));
    }

    void settingsPageShowsTheStoredValues()
    {
        Settings::setServerPort(5555);
        Settings::setDiscoverable(false);
        DiscoveryService service;
        MainUI window(&service);

        QCOMPARE(edit(window, "set_devicename")->text(), QStringLiteral("书房"));
        QCOMPARE(edit(window, "set_transfer_port")->text(), QStringLiteral("5555"));
        QCOMPARE(edit(window, "set_discovery_port")->text(), QString::number(discoveryPort));
        QCOMPARE(edit(window, "set_web_port")->text(), QString::number(webPort));
        QCOMPARE(edit(window, "set_download_path")->text(), downloads.path() + QStringLiteral("/Orvex"));
        QVERIFY(!window.findChild<QCheckBox *>(QStringLiteral("set_visable_checkbox"))->isChecked());
    }

    void refusesInvalidSettings_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("transferPort");
        QTest::addColumn<QString>("webPortText");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("invalidItems");

        const QString path = QStringLiteral("/tmp/x");
        QTest::addRow("empty name and port above range")
            << QString() << QStringLiteral("70000") << QStringLiteral("3000") << path
            << QStringLiteral("设备名称，传输端口");
        QTest::addRow("nine digits") << QStringLiteral("a") << QStringLiteral("000000080") << QStringLiteral("3000")
                                     << path << QStringLiteral("传输端口");
        QTest::addRow("one past the range") << QStringLiteral("a") << QStringLiteral("1") << QStringLiteral("65536")
                                            << path << QStringLiteral("web端口");
        QTest::addRow("empty port") << QStringLiteral("a") << QString() << QStringLiteral("3000") << path
                                    << QStringLiteral("传输端口");
        QTest::addRow("sign") << QStringLiteral("a") << QStringLiteral("+80") << QStringLiteral("-1") << path
                              << QStringLiteral("传输端口，web端口");
        QTest::addRow("spaces") << QStringLiteral("a") << QStringLiteral(" 80") << QStringLiteral("3000") << path
                                << QStringLiteral("传输端口");
        QTest::addRow("full-width digits") << QStringLiteral("a") << QStringLiteral("８０") << QStringLiteral("3000")
                                           << path << QStringLiteral("传输端口");
        QTest::addRow("everything") << QString() << QStringLiteral("x") << QString() << QString()
                                    << QStringLiteral("设备名称，传输端口，web端口，下载路径");
    }

    void refusesInvalidSettings()
    {
        QFETCH(QString, name);
        QFETCH(QString, transferPort);
        QFETCH(QString, webPortText);
        QFETCH(QString, path);
        QFETCH(QString, invalidItems);

        DiscoveryService service;
        MainUI window(&service);
        window.show();
        window.switchPage(2);
        const QMap<QString, QVariant> before = storedSettings();
        edit(window, "set_devicename")->setText(name);
        edit(window, "set_transfer_port")->setText(transferPort);
        edit(window, "set_web_port")->setText(webPortText);
        edit(window, "set_download_path")->setText(path);

        testsupport::ModalAnswerer answerer;
        QTest::mouseClick(button(window, "set_save_btn"), Qt::LeftButton);

        QCOMPARE(answerer.texts(), QStringList { formatError.arg(invalidItems) });
        QCOMPARE(answerer.titles(), QStringList { QStringLiteral("提示信息") });
        QCOMPARE(storedSettings(), before);
    }

    void savesValidPorts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("stored");

        QTest::addRow("zero") << QStringLiteral("0") << 0;
        QTest::addRow("leading zeros") << QStringLiteral("00080") << 80;
        QTest::addRow("eight digits") << QStringLiteral("00000080") << 80;
        QTest::addRow("top of the range") << QStringLiteral("65535") << 65535;
    }

    void savesValidPorts()
    {
        QFETCH(QString, text);
        QFETCH(int, stored);

        Settings::setServerPort(1234);
        DiscoveryService service;
        MainUI window(&service);
        window.show();
        window.switchPage(2);
        edit(window, "set_transfer_port")->setText(text);

        testsupport::ModalAnswerer answerer;
        QTest::mouseClick(button(window, "set_save_btn"), Qt::LeftButton);

        QCOMPARE(answerer.texts(), QStringList { QStringLiteral("设置保存成功！\n传输端口的设置将在下次重启生效！") });
        QCOMPARE(int(Settings::serverPort()), stored);
    }

    void restartNoteNamesTheChangedPorts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QString>("transferPort");
        QTest::addColumn<QString>("discoveryPortText");
        QTest::addColumn<QString>("webPortText");
        QTest::addColumn<QString>("message");

        const QString done = QStringLiteral("设置保存成功");
        const QString note = QStringLiteral("设置保存成功！\n%1的设置将在下次重启生效！");
        // %1 stands for the port stored before, so "%1" leaves it unchanged.
        QTest::addRow("nothing changed") << QStringLiteral("书房") << true << QStringLiteral("0")
                                         << QStringLiteral("%1") << QStringLiteral("%1") << done;
        QTest::addRow("name only") << QStringLiteral("客厅") << true << QStringLiteral("0") << QStringLiteral("%1")
                                   << QStringLiteral("%1") << done;
        QTest::addRow("visibility only") << QStringLiteral("书房") << false << QStringLiteral("0")
                                         << QStringLiteral("%1") << QStringLiteral("%1") << done;
        QTest::addRow("same ports written with zeros") << QStringLiteral("书房") << true << QStringLiteral("000")
                                                       << QStringLiteral("0%1") << QStringLiteral("00%1") << done;
        QTest::addRow("transfer port") << QStringLiteral("书房") << true << QStringLiteral("6000")
                                       << QStringLiteral("%1") << QStringLiteral("%1")
                                       << note.arg(QStringLiteral("传输端口"));
        QTest::addRow("discovery and web port")
            << QStringLiteral("书房") << true << QStringLiteral("0") << QStringLiteral("6001") << QStringLiteral("8080")
            << note.arg(QStringLiteral("发现端口，web端口"));
        QTest::addRow("all three ports and the name")
            << QStringLiteral("客厅") << true << QStringLiteral("6000") << QStringLiteral("6001")
            << QStringLiteral("8080") << note.arg(QStringLiteral("传输端口，发现端口，web端口"));
    }

    void restartNoteNamesTheChangedPorts()
    {
        QFETCH(QString, name);
        QFETCH(bool, visible);
        QFETCH(QString, transferPort);
        QFETCH(QString, discoveryPortText);
        QFETCH(QString, webPortText);
        QFETCH(QString, message);
        if (discoveryPortText.contains(QLatin1String("%1")))
            discoveryPortText = discoveryPortText.arg(discoveryPort);
        if (webPortText.contains(QLatin1String("%1")))
            webPortText = webPortText.arg(webPort);

        DiscoveryService service;
        MainUI window(&service);
        window.show();
        window.switchPage(2);
        edit(window, "set_devicename")->setText(name);
        window.findChild<QCheckBox *>(QStringLiteral("set_visable_checkbox"))->setChecked(visible);
        edit(window, "set_transfer_port")->setText(transferPort);
        edit(window, "set_discovery_port")->setText(discoveryPortText);
        edit(window, "set_web_port")->setText(webPortText);

        testsupport::ModalAnswerer answerer;
        QTest::mouseClick(button(window, "set_save_btn"), Qt::LeftButton);

        QCOMPARE(answerer.texts(), QStringList { message });
        QCOMPARE(answerer.titles(), QStringList { QStringLiteral("提示信息") });
        QCOMPARE(Settings::deviceName(), name);
        QCOMPARE(label(window, "nickname_label")->text(), name);
        QCOMPARE(Settings::discoverable(), visible);
        QCOMPARE(Settings::serverPort(), quint16(transferPort.toUInt()));
        QCOMPARE(Settings::discoveryPort(), quint16(discoveryPortText.toUInt()));
        QCOMPARE(Settings::webPort(), quint16(webPortText.toUInt()));
        // Defaults that did not change are not written.
        QCOMPARE(QSettings().contains(QStringLiteral("serverPort")), transferPort.toUInt() != 0);
        QCOMPARE(QSettings().contains(QStringLiteral("discoverable")), !visible);
    }

    void autostartEntryIsWrittenAndRemoved()
    {
        DiscoveryService service;
        MainUI window(&service);
        window.show();
        window.switchPage(2);
        auto *box = window.findChild<QCheckBox *>(QStringLiteral("set_autostart_checkbox"));
        QVERIFY(!box->isChecked());
        QVERIFY(Autostart::entryPath().startsWith(QDir::homePath()));

        for (const bool enabled : { true, false }) {
            box->setChecked(enabled);
            testsupport::ModalAnswerer answerer;
            QTest::mouseClick(button(window, "set_save_btn"), Qt::LeftButton);
            QCOMPARE(answerer.texts(), QStringList { QStringLiteral("设置保存成功") });
            QCOMPARE(QFile::exists(Autostart::entryPath()), enabled);
        }
        box->setChecked(true);
        testsupport::ModalAnswerer answerer;
        QTest::mouseClick(button(window, "set_save_btn"), Qt::LeftButton);
        QSettings entry(Autostart::entryPath(), QSettings::IniFormat);
        // The INI reader takes the quotes off the program's path.
        QCOMPARE(entry.value(QStringLiteral("Desktop Entry/Exec")).toString(), QCoreApplication::applicationFilePath());
        QVERIFY(Autostart::setEnabled(false));
    }

    void languageChoiceIsStoredForTheNextStart()
    {
        DiscoveryService service;
        {
            MainUI window(&service);
            window.show();
            window.switchPage(2);
            auto *choice = window.findChild<QComboBox *>(QStringLiteral("set_language_combo"));
            QCOMPARE(choice->currentText(), QStringLiteral("跟随系统"));
            choice->setCurrentIndex(2);
            testsupport::ModalAnswerer answerer;
            QTest::mouseClick(button(window, "set_save_btn"), Qt::LeftButton);
            QCOMPARE(answerer.texts(), QStringList { QStringLiteral("设置保存成功！\n语言的设置将在下次重启生效！") });
            QCOMPARE(Settings::language(), QStringLiteral("en"));
        }
        MainUI window(&service);
        QCOMPARE(window.findChild<QComboBox *>(QStringLiteral("set_language_combo"))->currentText(),
            QStringLiteral("English"));
    }

    void savingCreatesTheDownloadFolderOneLevelDeep()
    {
        DiscoveryService service;
        MainUI window(&service);
        window.show();
        window.switchPage(2);
        const QString oneLevel = downloads.path() + QStringLiteral("/new");
        const QString twoLevels = downloads.path() + QStringLiteral("/missing/deeper");

        testsupport::ModalAnswerer answerer;
        edit(window, "set_download_path")->setText(oneLevel);
        QTest::mouseClick(button(window, "set_save_btn"), Qt::LeftButton);
        QVERIFY(QDir(oneLevel).exists());
        QCOMPARE(Settings::downloadPath(), oneLevel);

        edit(window, "set_download_path")->setText(twoLevels);
        QTest::mouseClick(button(window, "set_save_btn"), Qt::LeftButton);
        QVERIFY(!QDir(twoLevels).exists());
        QCOMPARE(Settings::downloadPath(), twoLevels);
        QCOMPARE(answerer.texts(), (QStringList { QStringLiteral("设置保存成功"), QStringLiteral("设置保存成功") }));
    }

    void failedFolderCreationIsReported_data()
    {
        // %1 stands for a fresh folder holding the regular file "file".
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("portChanged");
        QTest::addRow("below a regular file") << "%1/file/Orvex"
                                              << "%1/file 不是文件夹" << false;
        QTest::addRow("two levels below a regular file") << "%1/file/sub/Orvex"
                                                         << "%1/file 不是文件夹" << false;
        QTest::addRow("a regular file itself") << "%1/file"
                                               << "已有同名的文件" << false;
        QTest::addRow("with a port change") << "%1/file/Orvex"
                                            << "%1/file 不是文件夹" << true;
        QTest::addRow("unwritable parent") << "%1/locked/Orvex"
                                           << "没有在 %1/locked 中创建文件夹的权限" << false;
    }

    void failedFolderCreationIsReported()
    {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        QFETCH(bool, portChanged);
        QTemporaryDir base;
        QVERIFY(base.isValid());
        QFile file(base.path() + QStringLiteral("/file"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString locked = base.path() + QStringLiteral("/locked");
        QVERIFY(QDir().mkdir(locked));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (path.contains(QLatin1String("locked")) && QFileInfo(locked).isWritable())
            QSKIP("this user may write into any folder");
        path = path.arg(base.path());
        reason = reason.arg(base.path());

        DiscoveryService service;
        MainUI window(&service);
        window.show();
        window.switchPage(2);
        edit(window, "set_download_path")->setText(path);
        if (portChanged)
            edit(window, "set_transfer_port")->setText(QStringLiteral("6000"));
        testsupport::ModalAnswerer answerer;
        QTest::mouseClick(button(window, "set_save_btn"), Qt::LeftButton);
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

        QString expected
            = QStringLiteral("无法创建下载目录 %1：%2。\n设置已保存，请另选一个可用的下载路径。").arg(path, reason);
        if (portChanged)
            expected += QStringLiteral("\n传输端口的设置将在下次重启生效！");
        // Only the failure: no box claims that all went well.
        QCOMPARE(answerer.texts(), QStringList { expected });
        QCOMPARE(answerer.titles(), QStringList { QStringLiteral("提示信息") });
        QVERIFY(!QFileInfo(path).isDir());
        // What was saved stays saved.
        QCOMPARE(Settings::downloadPath(), path);
        QCOMPARE(Settings::serverPort(), quint16(portChanged ? 6000 : 0));
    }

    void cancelRestoresTheFields()
    {
        DiscoveryService service;
        MainUI window(&service);
        window.show();
        window.switchPage(2);
        const QMap<QString, QVariant> before = storedSettings();
        edit(window, "set_devicename")->setText(QStringLiteral("别的名字"));
        edit(window, "set_transfer_port")->setText(QStringLiteral("abc"));
        edit(window, "set_discovery_port")->setText(QStringLiteral("1"));
        edit(window, "set_web_port")->setText(QString());
        edit(window, "set_download_path")->setText(QStringLiteral("/elsewhere"));
        window.findChild<QCheckBox *>(QStringLiteral("set_visable_checkbox"))->setChecked(false);

        testsupport::ModalAnswerer answerer;
        QTest::mouseClick(button(window, "set_cancle_btn"), Qt::LeftButton);

        QCOMPARE(answerer.texts(), QStringList { QStringLiteral("设置已还原！") });
        QCOMPARE(answerer.titles(), QStringList { QStringLiteral("提示信息") });
        QCOMPARE(edit(window, "set_devicename")->text(), QStringLiteral("书房"));
        QCOMPARE(edit(window, "set_transfer_port")->text(), QStringLiteral("0"));
        QCOMPARE(edit(window, "set_discovery_port")->text(), QString::number(discoveryPort));
        QCOMPARE(edit(window, "set_web_port")->text(), QString::number(webPort));
        QCOMPARE(edit(window, "set_download_path")->text(), downloads.path() + QStringLiteral("/Orvex"));
        QVERIFY(window.findChild<QCheckBox *>(QStringLiteral("set_visable_checkbox"))->isChecked());
        QCOMPARE(storedSettings(), before);
    }

    void webButtonsOpenOneWindowPerClick_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("title");

        QTest::addRow("send") << QStringLiteral("web_send_btn") << QStringLiteral("WebSend")
                              << QStringLiteral("发送文件");
        QTest::addRow("receive") << QStringLiteral("web_receive_btn") << QStringLiteral("WebReceive")
                                 << QStringLiteral("接收文件");
    }

    void webButtonsOpenOneWindowPerClick()
    {
        QFETCH(QString, button);
        QFETCH(QString, className);
        QFETCH(QString, title);

        DiscoveryService service;
        MainUI window(&service);
        window.show();
        window.switchPage(1);
        auto *pushButton = window.findChild<QPushButton *>(button);
        QCOMPARE(pushButton->focusPolicy(), Qt::StrongFocus);
        QTest::mouseClick(pushButton, Qt::LeftButton);
        QTest::mouseClick(pushButton, Qt::LeftButton);

        QList<QWidget *> opened;
        const QWidgetList widgets = QApplication::topLevelWidgets();
        for (QWidget *widget : widgets) {
            if (QLatin1String(widget->metaObject()->className()) == className && widget->isVisible())
                opened.append(widget);
        }
        QCOMPARE(opened.size(), 2);
        for (QWidget *widget : qAsConst(opened)) {
            QCOMPARE(widget->windowTitle(), title);
            QPointer<QWidget> guard(widget);
            widget->close();
            QTRY_VERIFY(guard.isNull());
        }
    }

    void closingEmitsCloseWindow()
    {
        DiscoveryService service;
        MainUI window(&service);
        window.show();
        QSignalSpy spy(&window, &MainUI::closeWindow);
        QVERIFY(window.close());
        QCOMPARE(spy.size(), 1);
    }

    void listsDevicesThatAnswer()
    {
        DiscoveryService service;
        service.start(4321);
        MainUI window(&service);
        window.show();
        // A peer on another loopback address announces itself to our discovery port.
        QUdpSocket peer;
        QVERIFY(peer.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
        peer.writeDatagram(QByteArray("{\"device_name\":\"笔记本\",\"device_type\":\"debian\",\"port\":5000,"
                                      "\"request\":false}"),
            QHostAddress::LocalHost, discoveryPort);

        auto *list = window.findChild<QWidget *>(QStringLiteral("devices_list_widget"));
        QTRY_COMPARE(list->findChildren<OnlineDeviceItem *>().size(), 1);
        OnlineDeviceItem *row = list->findChildren<OnlineDeviceItem *>().first();
        QCOMPARE(row->findChild<QLabel *>(QStringLiteral("device_name_label"))->text(), QStringLiteral("笔记本"));
        QCOMPARE(row->findChild<QLabel *>(QStringLiteral("device_ip_label"))->text(), QStringLiteral("127.0.0.2"));
        QCOMPARE(row->findChild<QLabel *>(QStringLiteral("device_port_label"))->text(), QStringLiteral("5000"));
    }

private:
    static QLabel *label(const MainUI &window, const char *name)
    {
        return window.findChild<QLabel *>(QLatin1String(name));
    }
    static QLineEdit *edit(const MainUI &window, const char *name)
    {
        return window.findChild<QLineEdit *>(QLatin1String(name));
    }
    static QPushButton *button(const MainUI &window, const char *name)
    {
        return window.findChild<QPushButton *>(QLatin1String(name));
    }
    static QLabel *menuLabel(const MainUI &window, int index)
    {
        return window.findChild<QLabel *>(QStringLiteral("menu_label_%1").arg(index));
    }
    static QStringList menuStyles(const MainUI &window)
    {
        QStringList styles;
        for (int i = 0; menuLabel(window, i); ++i)
            styles.append(menuLabel(window, i)->styleSheet());
        return styles;
    }
    static QStringList menuTexts(const MainUI &window)
    {
        QStringList texts;
        for (int i = 0; menuLabel(window, i); ++i)
            texts.append(menuLabel(window, i)->text());
        return texts;
    }

    QTemporaryDir downloads;
    quint16 discoveryPort = 0;
    quint16 webPort = 0;
};

ORVEX_TEST_MAIN(TestMainUI)
#include "tst_mainui.moc"
