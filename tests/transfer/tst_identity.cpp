#include "tests/support/testmain.h"
#include "transfer/identity.h"

#include <QFile>
#include <QTemporaryDir>

class TestIdentity : public QObject
{
    Q_OBJECT

private slots:
    void createdOnceOnlyForTheUser()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("config/identity.key"));
        const Identity first(path);
        QVERIFY(first.isValid());
        QCOMPARE(
            QFile::permissions(path) & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
            QFile::Permissions());
        const Identity again(path);
        QCOMPARE(again.publicKey(), first.publicKey());
        QCOMPARE(again.fingerprint().size(), 16);

        const QByteArray message("both ephemeral keys");
        const QByteArray signature = again.sign(message);
        QVERIFY(Identity::verify(first.publicKey(), message, signature));
        QVERIFY(!Identity::verify(first.publicKey(), message + 'x', signature));
        QVERIFY(!Identity::verify(Identity(dir.filePath(QStringLiteral("other.key"))).publicKey(), message, signature));
    }

    void damagedFileIsKeptAndProvesNothing_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addRow("empty") << QByteArray();
        QTest::addRow("short") << QByteArray(63, 'a');
        QTest::addRow("public half not the seed's") << QByteArray(64, 'a');
    }

    void damagedFileIsKeptAndProvesNothing()
    {
        QFETCH(QByteArray, contents);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("identity.key"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
        file.close();
        const Identity identity(path);
        QVERIFY(!identity.isValid());
        QVERIFY(identity.sign("x").isEmpty());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), contents);
    }
};

ORVEX_TEST_MAIN(TestIdentity)
#include "tst_identity.moc"
