#include "core/paireddevices.h"
#include "core/settings.h"
#include "discovery/discoveryservice.h"
#include "gui/discovery/devicemanager.h"
#include "gui/discovery/onlinedeviceitem.h"
#include "gui/transfer/sendfilemanager.h"
#include "gui/transfer/sendfilewindow.h"
#include "tests/support/freeport.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/testmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTextDocumentFragment>
#include <QThread>
#include <QUdpSocket>
#include <QVBoxLayout>

#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QHostAddress addressA(QStringLiteral("192.0.2.1"));
const QHostAddress addressB(QStringLiteral("192.0.2.2"));
const QHostAddress addressC(QStringLiteral("192.0.2.3"));

// The page of the main window that the manager fills, reduced to the three widgets it uses.
struct Page
{
    QWidget window;
    QPushButton *multiTransfer = new QPushButton(QStringLiteral("批量传送"), &window);
    QCheckBox *selectAll = new QCheckBox(QStringLiteral("全选"), &window);
    QWidget *list = new QWidget(&window);
    DeviceManager manager { multiTransfer, selectAll, list };

    Page()
    {
        multiTransfer->setObjectName(QStringLiteral("multi_transfer_btn"));
        selectAll->setObjectName(QStringLiteral("select_all"));
        list->setObjectName(QStringLiteral("devices_list_widget"));
        selectAll->setFixedSize(80, 24);
        multiTransfer->setFixedSize(80, 24);
        auto *box = new QVBoxLayout(&window);
        box->addWidget(selectAll);
        box->addWidget(multiTransfer);
        box->addWidget(list);
        manager.refreshList();
        window.show();
    }

    // The rows in the order the list shows them.
    QList<OnlineDeviceItem *> rows() const
    {
        QList<OnlineDeviceItem *> found;
        QLayout *layout = list->layout();
        for (int i = 0; layout && i < layout->count(); ++i) {
            if (auto *row = qobject_cast<OnlineDeviceItem *>(layout->itemAt(i)->widget()))
                found.append(row);
        }
        return found;
    }

    QStringList column(const char *objectName) const
    {
        QStringList texts;
        const QList<OnlineDeviceItem *> shown = rows();
        for (OnlineDeviceItem *row : shown)
            texts.append(row->findChild<QLabel *>(QLatin1String(objectName))->text());
        return texts;
    }

    QStringList names() const { return column("device_name_label"); }

    QStringList ticked() const
    {
        QStringList texts;
        const QList<OnlineDeviceItem *> shown = rows();
        for (OnlineDeviceItem *row : shown) {
            if (row->findChild<QCheckBox *>(QStringLiteral("device_check"))->isChecked())
                texts.append(row->info().deviceName);
        }
        return texts;
    }

    QStringList selectedNames() const
    {
        QStringList texts;
        for (const DeviceInfo &device : manager.selection())
            texts.append(device.deviceName);
        return texts;
    }

    // Rows added to a shown list become visible from the event loop; click once they are.
    void tick(int row)
    {
        QCheckBox *box = rows().at(row)->findChild<QCheckBox *>(QStringLiteral("device_check"));
        QVERIFY(QTest::qWaitFor([box] { return box->isVisible(); }));
        QTest::mouseClick(box, Qt::LeftButton);
    }
};

// The device names in the target table of every open send-file window.
QList<QStringList> sendWindowTargets()
{
    QList<QStringList> targets;
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *window = qobject_cast<SendFileWindow *>(widget);
        if (!window || !window->isVisible())
            continue;
        auto *table = window->findChild<QTableWidget *>(QStringLiteral("device_table"));
        QStringList names;
        for (int row = 0; row < table->rowCount(); ++row)
            names.append(table->item(row, 0)->text());
        targets.append(names);
    }
    return targets;
}

// How many files each open send-file window lists.
QList<int> sendWindowFileCounts()
{
    QList<int> counts;
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *window = qobject_cast<SendFileWindow *>(widget);
        if (window && window->isVisible())
            counts.append(window->fileManager()->sendFiles.size());
    }
    return counts;
}

void closeSendWindows()
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        if (qobject_cast<SendFileWindow *>(widget))
            widget->close();
    }
    QVERIFY(QTest::qWaitFor([] { return sendWindowTargets().isEmpty(); }));
}

} // namespace

class TestDeviceManager : public QObject
{
    Q_OBJECT

private slots:
    void keepsOrderAndTicksAcrossRebuilds()
    {
        Page page;
        page.manager.handleNewHost(QStringLiteral("甲"), addressA, 5001);
        page.manager.handleNewHost(QStringLiteral("乙"), addressB, 5002);
        page.manager.handleNewHost(QStringLiteral("丙"), addressC, 5003);
        page.tick(1);
        QCOMPARE(page.selectedNames(), QStringList { QStringLiteral("乙") });

        // The periodic answers repeat what is known; every one rebuilds the list.
        for (int round = 0; round < 3; ++round) {
            page.manager.handleNewHost(QStringLiteral("丙"), addressC, 5003);
            page.manager.handleNewHost(QStringLiteral("乙"), addressB, 5002);
            page.manager.handleNewHost(QStringLiteral("甲"), addressA, 5001);
        }

        QCOMPARE(page.names(), (QStringList { QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙") }));
        QCOMPARE(page.column("device_ip_label"),
            (QStringList { QStringLiteral("192.0.2.1"), QStringLiteral("192.0.2.2"), QStringLiteral("192.0.2.3") }));
        QCOMPARE(page.column("device_port_label"),
            (QStringList { QStringLiteral("5001"), QStringLiteral("5002"), QStringLiteral("5003") }));
        QCOMPARE(page.ticked(), QStringList { QStringLiteral("乙") });
        QCOMPARE(page.selectedNames(), QStringList { QStringLiteral("乙") });
        QCOMPARE(page.list->findChildren<OnlineDeviceItem *>().size(), 3);
    }

    void renamesInPlace()
    {
        Page page;
        page.manager.handleNewHost(QStringLiteral("甲"), addressA, 5001);
        page.manager.handleNewHost(QStringLiteral("乙"), addressB, 5002);
        page.manager.handleNewHost(QStringLiteral("丙"), addressC, 5003);

        page.manager.handleNewHost(QStringLiteral("新名字"), addressB, 6000);

        QCOMPARE(page.names(), (QStringList { QStringLiteral("甲"), QStringLiteral("新名字"), QStringLiteral("丙") }));
        QCOMPARE(page.column("device_port_label").at(1), QStringLiteral("6000"));
    }

    void portZeroRemovesRowAndSelection()
    {
        Page page;
        page.manager.handleNewHost(QStringLiteral("甲"), addressA, 5001);
        page.manager.handleNewHost(QStringLiteral("乙"), addressB, 5002);
        page.tick(0);
        page.tick(1);

        page.manager.handleNewHost(QStringLiteral("乙"), addressB, 0);
        QCOMPARE(page.names(), QStringList { QStringLiteral("甲") });
        QCOMPARE(page.selectedNames(), QStringList { QStringLiteral("甲") });

        // Leaving devices we never listed change nothing.
        page.manager.handleNewHost(QStringLiteral("丙"), addressC, 0);
        QCOMPARE(page.names(), QStringList { QStringLiteral("甲") });
        QCOMPARE(page.ticked(), QStringList { QStringLiteral("甲") });

        // Coming back does not restore the old tick.
        page.manager.handleNewHost(QStringLiteral("乙"), addressB, 5002);
        QCOMPARE(page.ticked(), QStringList { QStringLiteral("甲") });
    }

    void mappedAddressesShowAndMatchAsIPv4()
    {
        Page page;
        page.manager.handleNewHost(QStringLiteral("甲"), QHostAddress(QStringLiteral("::ffff:192.0.2.9")), 5001);
        QCOMPARE(page.column("device_ip_label"), QStringList { QStringLiteral("192.0.2.9") });
        page.tick(0);

        page.manager.handleNewHost(QStringLiteral("甲2"), QHostAddress(QStringLiteral("192.0.2.9")), 5009);
        QCOMPARE(page.names(), QStringList { QStringLiteral("甲2") });
        QCOMPARE(page.column("device_ip_label"), QStringList { QStringLiteral("192.0.2.9") });
        QCOMPARE(page.column("device_port_label"), QStringList { QStringLiteral("5009") });
        QCOMPARE(page.ticked(), QStringList { QStringLiteral("甲2") });

        page.manager.handleNewHost(QString(), QHostAddress(QStringLiteral("192.0.2.9")), 0);
        QVERIFY(page.rows().isEmpty());
        QVERIFY(page.manager.selection().isEmpty());
    }

    void droppedDevicesLeaveRowsAndSelection()
    {
        Page page;
        page.manager.onlineDevices().setSilenceLimit(200);
        page.manager.handleNewHost(QStringLiteral("甲"), addressA, 5001);
        page.manager.handleNewHost(QStringLiteral("乙"), addressB, 5002);
        page.tick(0);
        page.tick(1);

        QTRY_VERIFY(page.rows().isEmpty());
        QVERIFY(page.manager.selection().isEmpty());
    }

    void peerNamesShowLiterally_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        QTest::addRow("rich text") << QStringLiteral("<b>pc</b><br><img src=x><!--")
                                   << QStringLiteral("<b>pc</b><br><img src=x><!--");
        QTest::addRow("bidirectional override")
            << QStringLiteral("\u202Egpj.exe\u2067x\u200E") << QStringLiteral("\uFFFDgpj.exe\uFFFDx\uFFFD");
        QTest::addRow("line break") << QStringLiteral("pc\nlaptop") << QStringLiteral("pc\uFFFDlaptop");
    }

    void peerNamesShowLiterally()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        Page page;
        page.manager.handleNewHost(name, addressA, 5001);
        auto *label = page.rows().first()->findChild<QLabel *>(QStringLiteral("device_name_label"));
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(label->text(), shown);
        // The tool tip renders to the same characters.
        QCOMPARE(QTextDocumentFragment::fromHtml(label->toolTip()).toPlainText(), shown);
        QCOMPARE(page.rows().first()->info().deviceName, name);
    }

    void pairedDevicesGoByTheirPairedName_data()
    {
        const QString paired = PairedDevices::fingerprintOf(QByteArray(PairedDevices::identityKeyBytes, 'k'));
        const QString other = PairedDevices::fingerprintOf(QByteArray(PairedDevices::identityKeyBytes, 'o'));
        QTest::addColumn<QString>("announcedName");
        QTest::addColumn<QString>("fingerprint");
        QTest::addColumn<QString>("shown");
        QTest::addRow("paired, renamed itself") << "新电脑" << paired << "书房（已配对）";
        QTest::addRow("paired name, other fingerprint") << "书房" << other << "书房";
        QTest::addRow("paired name, no fingerprint") << "书房" << QString() << "书房";
    }

    void pairedDevicesGoByTheirPairedName()
    {
        QFETCH(QString, announcedName);
        QFETCH(QString, fingerprint);
        QFETCH(QString, shown);
        QSettings().remove(QStringLiteral("pairedDevices"));
        QVERIFY(PairedDevices::pair(QByteArray(PairedDevices::identityKeyBytes, 'k'), QStringLiteral("书房")));
        Page page;
        page.manager.handleNewHost(announcedName, addressA, 5001, fingerprint);
        QCOMPARE(page.names(), QStringList { shown });
        // Unpairing shows the row as the device announces itself, without waiting for it.
        PairedDevices::unpair(PairedDevices::fingerprintOf(QByteArray(PairedDevices::identityKeyBytes, 'k')));
        QTRY_COMPARE(page.names(), QStringList { announcedName });
    }

    void repeatedReportsKeepTheRows()
    {
        Page page;
        page.manager.handleNewHost(QStringLiteral("甲"), addressA, 5001);
        page.manager.handleNewHost(QStringLiteral("乙"), addressB, 5002);
        const QList<OnlineDeviceItem *> rows = page.rows();
        const QList<QLabel *> labels = rows.at(1)->findChildren<QLabel *>();

        for (int round = 0; round < 50; ++round) {
            page.manager.handleNewHost(QStringLiteral("甲"), addressA, 5001);
            page.manager.handleNewHost(QStringLiteral("乙"), addressB, 5002);
        }
        page.manager.handleNewHost(QStringLiteral("新名字"), addressB, 6000);

        QCOMPARE(page.rows(), rows);
        QCOMPARE(rows.at(1)->findChildren<QLabel *>(), labels);
        QCOMPARE(page.names(), (QStringList { QStringLiteral("甲"), QStringLiteral("新名字") }));
        QCOMPARE(page.column("device_port_label"), (QStringList { QStringLiteral("5001"), QStringLiteral("6000") }));
    }

    void pressOnARowIsNeverLost()
    {
        Page page;
        page.manager.handleNewHost(QStringLiteral("甲"), addressA, 5001);
        page.manager.handleNewHost(QStringLiteral("乙"), addressB, 5002);
        QPointer<QCheckBox> box = page.rows().at(1)->findChild<QCheckBox *>(QStringLiteral("device_check"));
        QVERIFY(QTest::qWaitFor([&box] { return box->isVisible(); }));

        QTest::mousePress(box, Qt::LeftButton);
        // Devices come, go and report again while the button is held down.
        page.manager.handleNewHost(QStringLiteral("丙"), addressC, 5003);
        page.manager.handleNewHost(QStringLiteral("甲"), addressA, 0);
        page.manager.handleNewHost(QStringLiteral("乙"), addressB, 5002);
        QVERIFY(box);
        QTest::mouseRelease(box, Qt::LeftButton);

        QVERIFY(box->isChecked());
        QCOMPARE(page.selectedNames(), QStringList { QStringLiteral("乙") });
        QTRY_COMPARE(page.names(), (QStringList { QStringLiteral("乙"), QStringLiteral("丙") }));
        QCOMPARE(page.ticked(), QStringList { QStringLiteral("乙") });
    }

    void floodLeavesTheWindowResponsive()
    {
        // Maximum time the window may go without answering its timer while the flood lasts: a
        // third of the flood, so that a window that takes it in one go fails, while the machine's
        // other work (tests beside this one, sanitizers) may still hold it back for a while.
        constexpr int floodMs = 1500;
        constexpr qint64 maxTimerGapMs = floodMs / 3;
        constexpr int floodSources = 200;
        const quint16 port = testsupport::freeUdpPort();
        Settings::setDiscoveryPort(port);
        Page page;
        DiscoveryService service;
        connect(&service, &DiscoveryService::newHost, &page.manager, &DeviceManager::handleNewHost);
        service.start(4321);
        const QList<QHostAddress> known { QHostAddress(QStringLiteral("127.0.0.2")),
            QHostAddress(QStringLiteral("127.0.0.3")), QHostAddress(QStringLiteral("127.0.0.4")) };
        std::vector<std::unique_ptr<QUdpSocket>> devices;
        for (int i = 0; i < known.size(); ++i) {
            devices.push_back(std::make_unique<QUdpSocket>());
            QVERIFY(devices.back()->bind(known.at(i), 0));
            devices.back()->writeDatagram(
                QStringLiteral("{\"device_name\":\"d%1\",\"port\":%2,\"request\":false}").arg(i).arg(5000 + i).toUtf8(),
                QHostAddress::LocalHost, port);
        }
        QTRY_COMPARE(page.rows().size(), known.size());
        const QList<OnlineDeviceItem *> rows = page.rows();
        // The first paint loads the fonts: not part of what is measured.
        QVERIFY(QTest::qWaitForWindowExposed(&page.window));
        page.window.grab();

        // Spoofed requests from many sources, the known devices repeating themselves, as fast
        // as a thread of their own can send.
        std::unique_ptr<QThread> flood(QThread::create([port, &known] {
            // The sender yields the processor to the window it floods.
            setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
            std::vector<std::unique_ptr<QUdpSocket>> sockets;
            for (int i = 0; i < floodSources; ++i) {
                sockets.push_back(std::make_unique<QUdpSocket>());
                sockets.back()->bind(QHostAddress(QStringLiteral("127.1.%1.%2").arg(i / 200).arg(10 + i % 200)), 0);
            }
            for (int i = 0; i < known.size(); ++i) {
                sockets.push_back(std::make_unique<QUdpSocket>());
                sockets.back()->bind(known.at(i), 0);
            }
            QElapsedTimer elapsed;
            elapsed.start();
            while (!elapsed.hasExpired(floodMs)) {
                for (int i = 0; i < floodSources; ++i)
                    sockets.at(i)->writeDatagram(QByteArray("{\"request\":true}"), QHostAddress::LocalHost, port);
                for (int i = 0; i < known.size(); ++i)
                    sockets.at(floodSources + i)
                        ->writeDatagram(QStringLiteral("{\"device_name\":\"d%1\",\"port\":%2,\"request\":false}")
                                            .arg(i)
                                            .arg(5000 + i)
                                            .toUtf8(),
                            QHostAddress::LocalHost, port);
                QThread::yieldCurrentThread();
            }
        }));
        QElapsedTimer sinceTick;
        qint64 worstGap = 0;
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, this, [&] { worstGap = std::max(worstGap, sinceTick.restart()); });
        QSignalSpy finished(flood.get(), &QThread::finished);
        sinceTick.start();
        ticks.start(10);
        flood->start();
        QVERIFY(finished.wait(10000));
        ticks.stop();

        QVERIFY2(worstGap < maxTimerGapMs, qPrintable(QStringLiteral("worst gap %1 ms").arg(worstGap)));
        QCOMPARE(page.rows(), rows);
        QCOMPARE(page.names(), (QStringList { QStringLiteral("d0"), QStringLiteral("d1"), QStringLiteral("d2") }));
    }

    void selectAllOnlyTicks()
    {
        Page page;
        page.manager.handleNewHost(QStringLiteral("甲"), addressA, 5001);
        page.manager.handleNewHost(QStringLiteral("乙"), addressB, 5002);
        page.tick(1);

        QTest::mouseClick(page.selectAll, Qt::LeftButton);
        QVERIFY(page.selectAll->isChecked());
        QCOMPARE(page.ticked(), (QStringList { QStringLiteral("甲"), QStringLiteral("乙") }));
        QCOMPARE(page.selectedNames(), (QStringList { QStringLiteral("甲"), QStringLiteral("乙") }));

        QTest::mouseClick(page.selectAll, Qt::LeftButton);
        QVERIFY(!page.selectAll->isChecked());
        QCOMPARE(page.ticked(), (QStringList { QStringLiteral("甲"), QStringLiteral("乙") }));
        QCOMPARE(page.selectedNames(), (QStringList { QStringLiteral("甲"), QStringLiteral("乙") }));
    }

    void multiTransferWithNothingTickedRefuses()
    {
        Page page;
        page.manager.handleNewHost(QStringLiteral("甲"), addressA, 5001);
        const int windowsBefore = QApplication::topLevelWidgets().size();
        testsupport::ModalAnswerer answerer;

        QTest::mouseClick(page.multiTransfer, Qt::LeftButton);

        QCOMPARE(answerer.texts(), QStringList { QStringLiteral("请先选择要传输的设备！") });
        QCOMPARE(answerer.titles(), QStringList { QStringLiteral("Orvex") });
        QTRY_COMPARE(QApplication::topLevelWidgets().size(), windowsBefore);
        QVERIFY(sendWindowTargets().isEmpty());
    }

    void transferButtonsOpenASendWindowForTheirDevices()
    {
        Page page;
        page.manager.handleNewHost(QStringLiteral("甲"), addressA, 5001);
        page.manager.handleNewHost(QStringLiteral("乙"), addressB, 5002);
        page.manager.handleNewHost(QStringLiteral("丙"), addressC, 5003);

        OnlineDeviceItem *row = page.rows().at(1);
        QTRY_VERIFY(row->isVisible());
        QTest::mouseClick(row->findChild<QPushButton *>(QStringLiteral("device_send_btn")), Qt::LeftButton);
        QCOMPARE(sendWindowTargets(), QList<QStringList> { QStringList { QStringLiteral("乙") } });
        closeSendWindows();

        page.tick(2);
        page.tick(0);
        QTest::mouseClick(page.multiTransfer, Qt::LeftButton);
        QCOMPARE(
            sendWindowTargets(), QList<QStringList> { (QStringList { QStringLiteral("甲"), QStringLiteral("丙") }) });
        closeSendWindows();
    }

    void filesFromOutsideGoToTheTickedDevicesOrTheNextWindow()
    {
        Page page;
        page.manager.handleNewHost(QStringLiteral("甲"), addressA, 5001);
        page.manager.handleNewHost(QStringLiteral("乙"), addressB, 5002);
        const QString file = QCoreApplication::applicationFilePath();

        // Nothing ticked: no window yet, the files wait for the next one the user opens.
        QVERIFY(!page.manager.offerFiles({ file }));
        QVERIFY(sendWindowTargets().isEmpty());
        page.tick(1);
        QTest::mouseClick(page.multiTransfer, Qt::LeftButton);
        QCOMPARE(sendWindowTargets(), QList<QStringList> { QStringList { QStringLiteral("乙") } });
        QCOMPARE(sendWindowFileCounts(), QList<int> { 1 });
        closeSendWindows();

        // Ticked: the window opens at once, with the files; they are not offered twice.
        QVERIFY(page.manager.offerFiles({ file }));
        QCOMPARE(sendWindowFileCounts(), QList<int> { 1 });
        closeSendWindows();
        QTest::mouseClick(page.multiTransfer, Qt::LeftButton);
        QCOMPARE(sendWindowFileCounts(), QList<int> { 0 });
        closeSendWindows();
    }

    void longNamesAreElided()
    {
        Page page;
        const QString longName(200, QLatin1Char('W'));
        page.manager.handleNewHost(longName, addressA, 5001);
        const QString shown = page.names().first();
        QVERIFY(shown.endsWith(QChar(0x2026)));
        QVERIFY(shown.size() < longName.size());
        QCOMPARE(page.rows().first()->info().deviceName, longName);
    }

    void addedAddressIsKeptAndAsked()
    {
        QUdpSocket device;
        QVERIFY(device.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
        const QString entry = QStringLiteral("127.0.0.2:%1").arg(device.localPort());
        Settings::setKnownAddresses({ QStringLiteral("127.0.0.2:1"), QStringLiteral("192.0.2.9") });
        DiscoveryService service;
        Page page;
        page.manager.startDiscovery(&service);
        auto *edit = page.window.findChild<QLineEdit *>(QStringLiteral("add_device_address"));
        auto *add = page.window.findChild<QPushButton *>(QStringLiteral("add_device_btn"));
        QVERIFY(edit && add);

        testsupport::ModalAnswerer answerer;
        QTest::keyClicks(edit, QStringLiteral("studio.local"));
        QTest::mouseClick(add, Qt::LeftButton);
        QTRY_COMPARE(answerer.count(), 1);

        edit->clear();
        QTest::keyClicks(edit, entry);
        QTest::mouseClick(add, Qt::LeftButton);
        // The same address with a new port replaces its entry.
        QCOMPARE(Settings::knownAddresses(), (QStringList { QStringLiteral("192.0.2.9"), entry }));
        QTRY_VERIFY(device.hasPendingDatagrams());
        QCOMPARE(device.receiveDatagram().data(), QByteArray("{\"request\":true}"));
        Settings::setKnownAddresses({});
    }
};

ORVEX_TEST_MAIN(TestDeviceManager)
#include "tst_devicemanager.moc"
