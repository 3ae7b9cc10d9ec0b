#include "core/settings.h"
#include "discovery/discoveryservice.h"
#include "gui/discovery/devicemanager.h"
#include "gui/discovery/onlinedeviceitem.h"
#include "gui/transfer/sendfilewindow.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/testmain.h"
#include "transfer/sendfilemanager.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLayout>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QTableWidget>
#include <QUdpSocket>
#include <QVBoxLayout>

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

    void silentDevicesExpire()
    {
        constexpr int silenceLimitMs = 400;
        Page page;
        page.manager.setSilenceLimit(silenceLimitMs);
        page.manager.handleNewHost(QStringLiteral("甲"), addressA, 5001);
        QElapsedTimer sinceLastHeard;
        sinceLastHeard.start();
        page.manager.handleNewHost(QStringLiteral("乙"), addressB, 5002);
        page.tick(0);
        page.tick(1);

        // 乙 keeps answering, 甲 has gone quiet.
        QTimer answers;
        connect(&answers, &QTimer::timeout, &page.manager,
            [&page] { page.manager.handleNewHost(QStringLiteral("乙"), addressB, 5002); });
        answers.start(50);
        QTRY_COMPARE(page.names(), QStringList { QStringLiteral("乙") });
        QVERIFY(sinceLastHeard.elapsed() >= silenceLimitMs);
        QCOMPARE(page.selectedNames(), QStringList { QStringLiteral("乙") });
        QCOMPARE(page.ticked(), QStringList { QStringLiteral("乙") });

        answers.stop();
        QTRY_VERIFY(page.rows().isEmpty());
        QVERIFY(page.manager.selection().isEmpty());
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

    void startDiscoveryRequestsAtOnce()
    {
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress::AnyIPv4, 0));
        Settings::setDiscoveryPort(listener.localPort());
        DiscoveryService service;
        Page page;

        page.manager.startDiscovery(&service);
        QTRY_VERIFY(listener.hasPendingDatagrams());
        QCOMPARE(listener.receiveDatagram().data(), QByteArray("{\"request\":true}"));
    }
};

ORVEX_TEST_MAIN(TestDeviceManager)
#include "tst_devicemanager.moc"
