#include "app/singleinstance.h"
#include "tests/support/testmain.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// How the test makes the runtime folder before the instance looks at it.
enum Folder { Absent, Private, OpenToOthers, LinkToPrivate, OthersOwn };

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        qputenv("XDG_RUNTIME_DIR", isolatedRuntime);
        qputenv("TMPDIR", temporaryFolder);
    }

    void secondLaunchHandsOverItsFilesAndEnds()
    {
        SingleInstance first;
        QVERIFY(first.listen());
        QSignalSpy handed(&first, &SingleInstance::filesHandedOver);

        // It needs no tray to hand over; relative paths reach the instance as absolute ones.
        QCOMPARE(runSecond({ QStringLiteral("bin"), QStringLiteral("/etc/hostname") }), 0);
        QCOMPARE(handed.count(), 1);
        QCOMPARE(handed.at(0).at(0).toStringList(),
            QStringList({ QStringLiteral("/usr/bin"), QStringLiteral("/etc/hostname") }));
    }

    void leftoverSocketIsReplaced()
    {
        SingleInstance instance;
        // A socket file that nobody listens on, as a crashed instance leaves it.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        const QByteArray path = instance.socketPath().toLocal8Bit();
        qstrncpy(address.sun_path, path.constData(), sizeof(address.sun_path));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
        ::close(fd);

        QVERIFY(!instance.handOver({}));
        QVERIFY(instance.listen());
        // A launch without files only asks the running instance to show its window.
        QSignalSpy handed(&instance, &SingleInstance::filesHandedOver);
        QCOMPARE(runSecond({}), 0);
        QCOMPARE(handed.count(), 1);
        QCOMPARE(handed.at(0).at(0).toStringList(), QStringList());
    }

    void keepsItsSocketInAPrivateFolderOnly_data()
    {
        QTest::addColumn<bool>("fallback");
        QTest::addColumn<int>("folder");
        QTest::addColumn<bool>("usable");
        QTest::addRow("private runtime folder") << false << int(Private) << true;
        QTest::addRow("runtime folder open to others") << false << int(OpenToOthers) << false;
        QTest::addRow("runtime folder is a link") << false << int(LinkToPrivate) << false;
        QTest::addRow("runtime folder of another user") << false << int(OthersOwn) << false;
        QTest::addRow("fallback made on first use") << true << int(Absent) << true;
        QTest::addRow("fallback made by another user") << true << int(OthersOwn) << false;
    }

    void keepsItsSocketInAPrivateFolderOnly()
    {
        QFETCH(bool, fallback);
        QFETCH(int, folder);
        QFETCH(bool, usable);
        if (folder == OthersOwn && ::geteuid() != 0)
            QSKIP("giving a folder to another user needs root");
        QTemporaryDir temporary;
        qputenv("TMPDIR", QFile::encodeName(temporary.path()));
        const QString runtime = temporary.filePath(fallback
                ? QStringLiteral("runtime-") + QFile::decodeName(::getpwuid(::geteuid())->pw_name)
                : QStringLiteral("run"));
        if (fallback)
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        const QByteArray made
            = QFile::encodeName(folder == LinkToPrivate ? temporary.filePath(QStringLiteral("real")) : runtime);
        if (folder != Absent)
            QCOMPARE(::mkdir(made.constData(), folder == OpenToOthers ? 0755 : 0700), 0);
        if (folder == LinkToPrivate)
            QVERIFY(QFile::link(QFile::decodeName(made), runtime));
        if (folder == OthersOwn)
            QCOMPARE(::chown(made.constData(), 65534, 65534), 0);

        SingleInstance instance(QStringLiteral("probe"));
        QCOMPARE(instance.socketPath(), usable ? runtime + QStringLiteral("/probe") : QString());
        QCOMPARE(instance.listen(), usable);
    }

    void dropsSilentAndOversizedClients_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addRow("silent") << qint64(0);
        QTest::addRow("line never ended") << qint64(100);
        QTest::addRow("longer than a message") << SingleInstance::maxMessageBytes;
    }

    void dropsSilentAndOversizedClients()
    {
        QFETCH(qint64, bytes);
        SingleInstance instance;
        QVERIFY(instance.listen());
        QSignalSpy handed(&instance, &SingleInstance::filesHandedOver);
        QLocalSocket client;
        client.connectToServer(instance.socketPath());
        QVERIFY(client.waitForConnected(5000));
        client.write(QByteArray(bytes, '['));
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QLocalSocket::UnconnectedState, 3 * SingleInstance::answerTimeoutMs);
        QCOMPARE(handed.count(), 0);
    }

private:
    // The test process's own runtime folder (testsupport::isolateEnvironment); an empty TMPDIR
    // stands for /tmp.
    const QByteArray isolatedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray temporaryFolder = qgetenv("TMPDIR");

    // Runs the real program as the file manager starts it, with arguments; returns its exit code.
    static int runSecond(const QStringList &arguments)
    {
        QProcess second;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        second.setProcessEnvironment(environment);
        second.setWorkingDirectory(QStringLiteral("/usr"));
        second.start(qEnvironmentVariable("ORVEX_EXECUTABLE"), arguments);
        // The answer needs this process's event loop.
        if (!QTest::qWaitFor([&second] { return second.state() == QProcess::NotRunning; }, 10000))
            return -1;
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
    }
};

ORVEX_TEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
