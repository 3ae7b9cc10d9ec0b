#include "app/singleinstance.h"
#include "tests/support/testmain.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
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

private:
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
