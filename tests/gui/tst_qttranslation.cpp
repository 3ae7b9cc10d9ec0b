#include "core/settings.h"
#include "discovery/discoveryservice.h"
#include "gui/mainui.h"
#include "gui/qttranslation.h"
#include "tests/support/freeport.h"
#include "tests/support/testmain.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

Q_DECLARE_METATYPE(Language)

class TestQtTranslation : public QObject
{
    Q_OBJECT

private slots:
    void qtDialogsSpeakTheWindowsLanguage()
    {
        QDialogButtonBox before(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(before.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));

        QVERIFY2(loadQtTranslation(QLocale(QLocale::Chinese, QLocale::China)), "Qt's translations are not installed");
        QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(buttons.button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
        // Qt's own file dialog, as "打开 ..." shows it where the desktop has none of its own.
        QFileDialog dialog(nullptr, QString(), QDir::tempPath());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        QCOMPARE(dialog.labelText(QFileDialog::LookIn), QStringLiteral("查找范围："));
    }

    void windowsSpeakTheChosenLanguage_data()
    {
        QTest::addColumn<Language>("language");
        QTest::addColumn<QStringList>("texts");
        // Window title, a menu entry, a settings label, a button; a message box's button and a
        // file dialog label from Qt.
        const QStringList english { QStringLiteral("Orvex - file transfer across the local network"),
            QStringLiteral("Settings"), QStringLiteral("Language"), QStringLiteral("Save"), QStringLiteral("OK"),
            QStringLiteral("Look in:") };
        QTest::addRow("English") << Language::English << english;
        QTest::addRow("Chinese") << Language::Chinese
                                 << QStringList { QStringLiteral("Orvex-局域网跨平台文件传输解决方案"),
                                        QStringLiteral("系统设置"), QStringLiteral("语言"), QStringLiteral("保    存"),
                                        QStringLiteral("确定"), QStringLiteral("查找范围：") };
        // Qt's Chinese texts must go again.
        QTest::addRow("English after Chinese") << Language::English << english;
    }

    void windowsSpeakTheChosenLanguage()
    {
        QFETCH(Language, language);
        QFETCH(QStringList, texts);
        useLanguage(language);
        Settings::setDiscoveryPort(testsupport::freeUdpPort());
        Settings::setWebPort(testsupport::freeTcpPort());
        DiscoveryService discovery;
        MainUI window(&discovery);
        QMessageBox box(QMessageBox::Information, QString(), QString(), QMessageBox::Ok);
        QFileDialog dialog(nullptr, QString(), QDir::tempPath());
        dialog.setOption(QFileDialog::DontUseNativeDialog);

        const QStringList shown { window.windowTitle(), window.findChild<QLabel *>("menu_label_2")->text(),
            window.findChild<QLabel *>("set_language_label")->text(),
            window.findChild<QPushButton *>("set_save_btn")->text(), box.button(QMessageBox::Ok)->text(),
            dialog.labelText(QFileDialog::LookIn) };
        QCOMPARE(shown, texts);
        // The language choice names each language in itself.
        const auto *choice = window.findChild<QComboBox *>("set_language_combo");
        QCOMPARE(choice->itemText(2), QStringLiteral("English"));
        QCOMPARE(choice->itemText(1), QStringLiteral("中文"));
    }
};

ORVEX_TEST_MAIN(TestQtTranslation)
#include "tst_qttranslation.moc"
