#include "gui/qttranslation.h"
#include "tests/support/testmain.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QTest>

class TestQtTranslation : public QObject
{
    Q_OBJECT

private slots:
    void qtDialogsSpeakTheWindowsLanguage()
    {
        QDialogButtonBox before(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(before.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));

        QVERIFY2(loadQtTranslation(QLocale(QLocale::Chinese, QLocale::China)), "qttranslations5-l10n is not installed");
        QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(buttons.button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
        // Qt's own file dialog, as "打开 ..." shows it where the desktop has none of its own.
        QFileDialog dialog(nullptr, QString(), QDir::tempPath());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        QCOMPARE(dialog.labelText(QFileDialog::LookIn), QStringLiteral("查找范围："));
    }
};

ORVEX_TEST_MAIN(TestQtTranslation)
#include "tst_qttranslation.moc"
