#include "core/jsontext.h"
#include "tests/support/testmain.h"

class TestJsonText : public QObject
{
    Q_OBJECT

private slots:
    void refusesRepeatedKeysOnly_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("refused");
        QTest::addRow("plain") << QByteArray("{\"a\":1,\"b\":[1,{\"c\":null}]}") << false;
        QTest::addRow("same key in two objects") << QByteArray("{\"a\":{\"x\":1},\"b\":{\"x\":2}}") << false;
        QTest::addRow("objects in an array") << QByteArray("[{\"a\":1},{\"a\":2}]") << false;
        QTest::addRow("value spelled like a key") << QByteArray("{\"a\":\"a\",\"b\":\"a\"}") << false;
        QTest::addRow("quotes and braces in strings") << QByteArray("{\"a\":\"}{\\\",\\\"a\\\":\",\"b\":\"\\\\\"}") << false;
        QTest::addRow("repeated key") << QByteArray("{\"a\":[1],\"a\":1}") << true;
        QTest::addRow("repeated in a nested object") << QByteArray("[{\"o\":{\"k\":1,\"k\":{}}}]") << true;
        QTest::addRow("repeated after a nested object") << QByteArray("{\"k\":{\"k\":1},\"k\":2}") << true;
        QTest::addRow("repeated through an escape") << QByteArray("{\"a\":1,\"\\u0061\":[2]}") << true;
    }

    void refusesRepeatedKeysOnly()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, refused);
        const QJsonDocument document = parseJson(text);
        QCOMPARE(document.isNull(), refused);
        if (!refused)
            QCOMPARE(document, QJsonDocument::fromJson(text));
    }

    void malformedTextStaysRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addRow("cut") << QByteArray("{\"a\":");
        QTest::addRow("open string") << QByteArray("{\"a\":\"\\\"");
        QTest::addRow("closing first") << QByteArray("}]{\"a\":1}");
    }

    void malformedTextStaysRefused()
    {
        QFETCH(QByteArray, text);
        QVERIFY(parseJson(text).isNull());
    }
};

ORVEX_TEST_MAIN(TestJsonText)
#include "tst_jsontext.moc"
