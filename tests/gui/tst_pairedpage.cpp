#include "core/paireddevices.h"
#include "gui/pairing/pairedpage.h"
#include "tests/support/testmain.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>

#include <memory>

namespace {

const QByteArray studyKey(PairedDevices::identityKeyBytes, 's');
const QByteArray laptopKey(PairedDevices::identityKeyBytes, 'l');

} // namespace

class TestPairedPage : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings().remove(QStringLiteral("pairedDevices"));
        QVERIFY(PairedDevices::pair(studyKey, QStringLiteral("书房")));
        QVERIFY(PairedDevices::pair(laptopKey, QStringLiteral("笔记本")));
        PairedDevices::setLastAddress(
            PairedDevices::fingerprintOf(studyKey), KnownAddress::parse(QStringLiteral("192.168.2.7:52637")));
        page.reset(new PairedPage);
        page->resize(860, 260);
        page->show();
        table = page->findChild<QTableWidget *>(QStringLiteral("paired_table"));
    }

    // Rows in the order paired: 书房 first.
    void autoAcceptAndUnpairChangeTheStoreAtOnce()
    {
        QCOMPARE(table->item(0, PairedPage::AddressColumn)->text(), QStringLiteral("192.168.2.7:52637"));
        if (qEnvironmentVariableIsSet("ORVEX_SCREENSHOT_DIR")) {
            QVERIFY(QTest::qWaitForWindowExposed(page.get()));
            page->grab().save(QDir(qEnvironmentVariable("ORVEX_SCREENSHOT_DIR")).filePath("paired-devices.png"));
        }
        QTest::mouseClick(
            qobject_cast<QCheckBox *>(table->cellWidget(0, PairedPage::AutoAcceptColumn)), Qt::LeftButton);
        QVERIFY(PairedDevices::find(studyKey)->autoAccept);
        QVERIFY(!PairedDevices::find(laptopKey)->autoAccept);

        QTest::mouseClick(button(0, "paired_unpair"), Qt::LeftButton);
        QVERIFY(!PairedDevices::find(studyKey));
        QVERIFY(PairedDevices::find(laptopKey));
        QTRY_COMPARE(table->rowCount(), 1);
    }

    void renamesInPlace_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::addRow("new name") << " 客厅 "
                                  << "客厅";
        QTest::addRow("emptied") << "  "
                                 << "书房";
    }

    void renamesInPlace()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QTest::mouseClick(button(0, "paired_rename"), Qt::LeftButton);
        QPointer<QLineEdit> editor = table->viewport()->findChild<QLineEdit *>();
        QVERIFY(editor);
        editor->selectAll();
        editor->insert(typed);
        QTest::keyClick(editor, Qt::Key_Return);
        // The view commits what was typed on its next turn, and closes the editor.
        QTRY_VERIFY(!editor);
        QCOMPARE(PairedDevices::find(studyKey)->name, stored);
        QTRY_COMPARE(table->item(0, PairedPage::NameColumn)->text(), stored);
    }

private:
    QPushButton *button(int row, const char *name)
    {
        return table->cellWidget(row, PairedPage::ActionsColumn)->findChild<QPushButton *>(QLatin1String(name));
    }

    std::unique_ptr<PairedPage> page;
    QTableWidget *table = nullptr;
};

ORVEX_TEST_MAIN(TestPairedPage)
#include "tst_pairedpage.moc"
