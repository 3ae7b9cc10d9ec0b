#include "tests/support/testmain.h"
#include "transfer/outgoingtransfer.h"
#include "transfer/sendercontext.h"
#include "transfer/sendlist.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>

#include <memory>

using Kind = TransferFailure::Kind;

class TestOutgoingTransfer : public QObject
{
    Q_OBJECT

private slots:
    // Each device in turn: a listening one gets a session, a closed port is a network failure
    // reported at once, a name asks for its address; after the last, finished.
    void walksTheDevicesInTurn()
    {
        QTemporaryDir folder;
        QFile file(folder.filePath(QStringLiteral("a.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("a") == 1);
        file.close();
        SendList files;
        QVERIFY(!files.addFile(file.fileName(), QString()));
        QTcpServer listening;
        QVERIFY(listening.listen(QHostAddress::LocalHost));
        quint16 closedPort = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            closedPort = probe.serverPort();
        }
        const QString loopback = QStringLiteral("127.0.0.1");
        OutgoingTransfer outgoing(&files,
            { { QStringLiteral("here"), loopback, listening.serverPort() },
                { QStringLiteral("gone"), loopback, closedPort },
                { QStringLiteral("客厅"), QStringLiteral("客厅"), 0 } },
            nullptr);
        QSignalSpy started(&outgoing, &OutgoingTransfer::sessionStarted);
        QSignalSpy failed(&outgoing, &OutgoingTransfer::connectFailed);
        QSignalSpy asked(&outgoing, &OutgoingTransfer::addressNeeded);
        QSignalSpy finished(&outgoing, &OutgoingTransfer::finished);

        outgoing.next();
        QVERIFY(started.wait());
        std::unique_ptr<SenderContext> session(started.at(0).at(0).value<SenderContext *>());
        QVERIFY(session && !session->parent());
        QCOMPARE(session->fileCount(), 1);
        QCOMPARE(outgoing.currentTarget().name, QStringLiteral("here"));

        outgoing.next();
        QVERIFY(failed.wait());
        QCOMPARE(failed.at(0).at(0).value<TransferFailure>().kind, Kind::Network);
        QVERIFY(!failed.at(0).at(0).value<TransferFailure>().detail.isEmpty());

        outgoing.next();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.at(0).at(0).value<OutgoingTransfer::Target>().name, QStringLiteral("客厅"));
        outgoing.connectTo(loopback, listening.serverPort());
        QVERIFY(started.wait());
        delete started.at(1).at(0).value<SenderContext *>();
        QCOMPARE(outgoing.currentTarget().port, listening.serverPort());

        QVERIFY(finished.isEmpty() && !outgoing.hasNext());
        outgoing.next();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(failed.size(), 1);
    }
};

ORVEX_TEST_MAIN(TestOutgoingTransfer)
#include "tst_outgoingtransfer.moc"
