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

    void trayApplicationNeedsADisplayAndKnownOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("display");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        // In either language, the way on.
        const QString noDisplay = QStringLiteral("orvex --help");
        QTest::addRow("no display") << QStringList() << QString() << 1 << noDisplay;
        QTest::addRow("files without a display")
            << QStringList { QCoreApplication::applicationFilePath() } << QString() << 1 << noDisplay;
        QTest::addRow("unknown short option")
            << QStringList { QStringLiteral("-V") } << QString() << 2 << QStringLiteral("-V");
        // The display is not reached: the option is refused before.
        QTest::addRow("unknown option on a desktop")
            << QStringList { QStringLiteral("--frob") } << QStringLiteral(":99") << 2 << QStringLiteral("--frob");
        QTest::addRow("unknown option after one of Qt's")
            << QStringList { QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--frob") }
            << QString() << 2 << QStringLiteral("--frob");
    }

    void trayApplicationNeedsADisplayAndKnownOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, display);
        QFETCH(int, status);
        QFETCH(QString, said);
        OrvexProcess orvex;
        if (!display.isEmpty()) {
            QProcessEnvironment environment = orvex.processEnvironment();
            environment.insert(QStringLiteral("DISPLAY"), display);
            orvex.setProcessEnvironment(environment);
        }
        orvex.run(arguments);
        QCOMPARE(orvex.waitForExit(), status);
        QVERIFY2(orvex.errors().contains(said), qPrintable(orvex.errors()));
    }

    void eachCommandTakesItsOwnArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("absent");
        QTest::addRow("help names the command")
            << QStringList { QStringLiteral("send"), QStringLiteral("--help") } << 0
            << QStringLiteral("用法：orvex send [选项] 路径...") << QStringLiteral("--dir");
        QTest::addRow("devices has no download folder")
            << QStringList { QStringLiteral("devices"), QStringLiteral("--help") } << 0
            << QStringLiteral("--discovery-port") << QStringLiteral("--name");
        QTest::addRow("share has no transfer port") << QStringList { QStringLiteral("share"), QStringLiteral("--help") }
                                                    << 0 << QStringLiteral("--web-port") << QStringLiteral("--port <");
        QTest::addRow("Qt's help options hidden")
            << QStringList { QStringLiteral("receive"), QStringLiteral("--help-all") } << 2
            << QStringLiteral("help-all") << QString();
        QTest::addRow("option of another command") << QStringList { QStringLiteral("devices"), QStringLiteral("--name"),
            QStringLiteral("Foo"), QStringLiteral("--save") }
                                                   << 2 << QStringLiteral("name") << QString();
        QTest::addRow("argument where none is taken")
            << QStringList { QStringLiteral("receive"), QStringLiteral("extra-arg") } << 2
            << QStringLiteral("extra-arg") << QString();
        QTest::addRow("Qt's parser speaks Chinese")
            << QStringList { QStringLiteral("devices"), QStringLiteral("--frob") } << 2 << QStringLiteral("未知选项")
            << QStringLiteral("Unknown option");
        QTest::addRow("download folder not writable")
            << QStringList { QStringLiteral("receive"), QStringLiteral("--dir"), QStringLiteral("/proc/self/fd"),
                   QStringLiteral("--port"), QStringLiteral("0") }
            << 1 << QStringLiteral("无法写入下载目录 /proc/self/fd：") << QString();
    }

    void eachCommandTakesItsOwnArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, said);
        QFETCH(QString, absent);
        // The language of the test environment (Chinese), whatever an earlier case stored.
        QSettings(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Orvex/Orvex.conf"), QSettings::IniFormat)
            .remove(QStringLiteral("language"));
        OrvexProcess orvex;
        orvex.run(arguments);
        QCOMPARE(orvex.waitForExit(), status);
        const QString printed = orvex.output() + orvex.errors();
        QVERIFY2(printed.contains(said), qPrintable(printed));
        QVERIFY2(absent.isEmpty() || !printed.contains(absent), qPrintable(printed));
        // No stray warnings of Qt's own.
        QVERIFY2(!orvex.errors().contains(QLatin1String("QCommandLineParser")), qPrintable(orvex.errors()));
    }

    void saveSaysWhatItKept()
    {
        OrvexProcess orvex;
        orvex.run({ QStringLiteral("devices"), QStringLiteral("--wait"), QStringLiteral("0"),
            QStringLiteral("--discovery-port"), QStringLiteral("52999"), QStringLiteral("--save") });
        orvex.waitForExit();
        QVERIFY2(orvex.output().contains(QStringLiteral("discoveryPort = 52999")), qPrintable(orvex.output()));
        QSettings settings(
            qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Orvex/Orvex.conf"), QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("discoveryPort")).toInt(), 52999);
        settings.remove(QStringLiteral("discoveryPort"));
    }
};

ORVEX_TEST_MAIN(TestRunCommand)
#include "tst_runcommand.moc"
