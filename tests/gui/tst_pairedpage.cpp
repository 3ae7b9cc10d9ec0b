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

namespace {

const QByteArray studyKey(PairedDevices::identityKeyBytes, 's');
const QByteArray laptopKey(PairedDevices::identityKeyBytes, 'l');

QTableWidget *table(PairedPage &page)
{
    return page.findChild<QTableWidget *>(QStringLiteral("paired_table"));
}

// The widget named name in the row of the device with this key.
template <typename Widget> Widget *inRow(PairedPage &page, const QByteArray &key, const char *name)
{
    QTableWidget *rows = table(page);
    for (int row = 0; row < rows->rowCount(); ++row) {
        if (rows->item(row, PairedPage::FingerprintColumn)->text() == PairedDevices::fingerprintOf(key)) {
            for (int column : { PairedPage::AutoAcceptColumn, PairedPage::ActionsColumn }) {
                QWidget *cell = rows->cellWidget(row, column);
                if (cell->objectName() == QLatin1String(name))
                    return qobject_cast<Widget *>(cell);
                if (auto *found = cell->findChild<Widget *>(QLatin1String(name)))
                    return found;
            }
        }
    }
    return nullptr;
}

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
    }

    void listsThePairedDevices()
    {
        PairedPage page;
        page.resize(860, 260);
        page.show();
        QCOMPARE(table(page)->rowCount(), 2);
        QCOMPARE(table(page)->item(0, PairedPage::NameColumn)->text(), QStringLiteral("书房"));
        QCOMPARE(table(page)->item(0, PairedPage::AddressColumn)->text(), QStringLiteral("192.168.2.7:52637"));
        QVERIFY(!inRow<QCheckBox>(page, studyKey, "paired_auto_accept")->isChecked());
        if (qEnvironmentVariableIsSet("ORVEX_SCREENSHOT_DIR")) {
            QVERIFY(QTest::qWaitForWindowExposed(&page));
            page.grab().save(QDir(qEnvironmentVariable("ORVEX_SCREENSHOT_DIR")).filePath("paired-devices.png"));
        }
    }

    void autoAcceptAndUnpairChangeTheStoreAtOnce()
    {
        PairedPage page;
        page.show();
        QTest::mouseClick(inRow<QCheckBox>(page, studyKey, "paired_auto_accept"), Qt::LeftButton);
        QVERIFY(PairedDevices::find(studyKey)->autoAccept);
        QVERIFY(!PairedDevices::find(laptopKey)->autoAccept);

        QTest::mouseClick(inRow<QPushButton>(page, studyKey, "paired_unpair"), Qt::LeftButton);
        QVERIFY(!PairedDevices::find(studyKey));
        QVERIFY(PairedDevices::find(laptopKey));
        QTRY_COMPARE(table(page)->rowCount(), 1);
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
        PairedPage page;
        page.show();
        QTest::mouseClick(inRow<QPushButton>(page, studyKey, "paired_rename"), Qt::LeftButton);
        QPointer<QLineEdit> editor = table(page)->viewport()->findChild<QLineEdit *>();
        QVERIFY(editor);
        editor->selectAll();
        editor->insert(typed);
        QTest::keyClick(editor, Qt::Key_Return);
        // The view commits what was typed on its next turn, and closes the editor.
        QTRY_VERIFY(!editor);
        QCOMPARE(PairedDevices::find(studyKey)->name, stored);
        QTRY_COMPARE(table(page)->item(0, PairedPage::NameColumn)->text(), stored);
    }
};

ORVEX_TEST_MAIN(TestPairedPage)
#include "tst_pairedpage.moc"
