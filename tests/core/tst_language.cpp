#include "core/language.h"
#include "tests/support/testmain.h"

Q_DECLARE_METATYPE(Language)

class TestLanguage : public QObject
{
    Q_OBJECT

private slots:
    void followsTheLocaleUnlessTheSettingNamesOne_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QStringList>("uiLanguages");
        QTest::addColumn<Language>("expected");
        const QStringList chinese { QStringLiteral("zh-CN"), QStringLiteral("zh-Hans-CN"), QStringLiteral("zh") };
        const QStringList english { QStringLiteral("en-US"), QStringLiteral("en") };
        QTest::addRow("Chinese locale") << QStringLiteral("system") << chinese << Language::Chinese;
        QTest::addRow("Taiwan") << QStringLiteral("system") << QStringList { QStringLiteral("zh-TW") }
                                << Language::Chinese;
        QTest::addRow("English locale") << QStringLiteral("system") << english << Language::English;
        QTest::addRow("the first preference decides")
            << QStringLiteral("system") << QStringList { QStringLiteral("de-DE"), QStringLiteral("zh-CN") }
            << Language::English;
        QTest::addRow("C locale") << QStringLiteral("system") << QStringList { QStringLiteral("C") }
                                  << Language::English;
        QTest::addRow("no locale") << QString() << QStringList() << Language::English;
        QTest::addRow("set to Chinese") << QStringLiteral("zh") << english << Language::Chinese;
        QTest::addRow("set to English") << QStringLiteral("en") << chinese << Language::English;
        QTest::addRow("unknown setting") << QStringLiteral("fr") << chinese << Language::Chinese;
    }

    void followsTheLocaleUnlessTheSettingNamesOne()
    {
        QFETCH(QString, setting);
        QFETCH(QStringList, uiLanguages);
        QFETCH(Language, expected);
        QCOMPARE(chooseLanguage(setting, uiLanguages), expected);
    }
};

ORVEX_TEST_MAIN(TestLanguage)
#include "tst_language.moc"
