#include "tests/cli/orvexprocess.h"
#include "tests/support/testmain.h"

#include <QProcessEnvironment>
#include <QSettings>

class TestRunCommand : public QObject
{
    Q_OBJECT

private slots:
    void speaksTheLocaleOrTheSetLanguage_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("usage");
        const QString chinese = QStringLiteral("用法：orvex [命令] [选项]");
        const QString english = QStringLiteral("Usage: orvex [command] [options]");
        QTest::addRow("Chinese locale") << QStringLiteral("zh_CN") << QStringLiteral("system") << chinese;
        QTest::addRow("English locale") << QStringLiteral("en_US") << QStringLiteral("system") << english;
        QTest::addRow("German locale") << QStringLiteral("de_DE") << QString() << english;
        QTest::addRow("set to Chinese") << QStringLiteral("en_US") << QStringLiteral("zh") << chinese;
        QTest::addRow("set to English") << QStringLiteral("zh_CN") << QStringLiteral("en") << english;
    }

    void speaksTheLocaleOrTheSetLanguage()
    {
        QFETCH(QString, locale);
        QFETCH(QString, setting);
        QFETCH(QString, usage);
        // The child's settings file, below the test's private XDG_CONFIG_HOME.
        QSettings settings(
            qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Orvex/Orvex.conf"), QSettings::IniFormat);
        if (setting.isEmpty())
            settings.remove(QStringLiteral("language"));
        else
            settings.setValue(QStringLiteral("language"), setting);
        settings.sync();

        OrvexProcess orvex;
        QProcessEnvironment environment = orvex.processEnvironment();
        environment.insert(QStringLiteral("LANGUAGE"), locale);
        orvex.setProcessEnvironment(environment);
        orvex.run({ QStringLiteral("--help") });
        QCOMPARE(orvex.waitForExit(), 0);
        QVERIFY2(orvex.output().startsWith(usage), qPrintable(orvex.output()));
    }
};

ORVEX_TEST_MAIN(TestRunCommand)
#include "tst_runcommand.moc"
