#pragma once

#include "cli/command.h"
#include "transfer/filemetadata.h"
#include "transfer/outgoingtransfer.h"
#include "transfer/sendlist.h"

#include <QHostAddress>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <memory>

class DeviceList;
class DiscoveryService;
class ProgressLine;
class SenderContext;

// "orvex send": sends files and folders (or, with --text, a text) to one device after another,
// as the send-file window does: the same send list (SendList), the same check that the list fits in one offer,
// the same outgoing transfer with its connection limit, and the same sessions. Prints the verification code as
// soon as the keys are exchanged, then the progress.
class SendCommand : public Command
{
    Q_OBJECT

public:
    // How long a device named by --to may take to answer discovery, unless --wait says otherwise.
    static constexpr int defaultWaitSeconds = 5;
    static constexpr int maxWaitSeconds = 3600;

    explicit SendCommand(QObject *parent = nullptr);
    ~SendCommand() override;

    void addOptions(CommandOptions &parser) const override;
    RunOptions::Choices settings() const override { return RunOptions::Name | RunOptions::DiscoveryPort; }
    int start(const QCommandLineParser &parser) override;
    void interrupt(int signalNumber) override;

    // "HOST:PORT" or "[IPv6]:PORT" gives host and port; otherwise host is the whole text and
    // port 0.
    static void splitTarget(const QString &target, QString *host, quint16 *port);

private:
    int addPaths(const QStringList &paths);
    bool offerFitsInOneFrame();
    void findAddress(const OutgoingTransfer::Target &target);
    void lookUp();
    void connectFailed(const TransferFailure &failure);
    void sessionStarted(SenderContext *session);
    // No device of the name answered in time: says so, with the names close to it.
    void notFound();
    void endTarget(int targetStatus);

    SendList sendList;
    QPointer<OutgoingTransfer> outgoing;
    DiscoveryService *discovery = nullptr;
    DeviceList *devices = nullptr;
    QTimer lookUpTimer;
    QPointer<SenderContext> context;
    std::unique_ptr<ProgressLine> progress;
    QStringList targets;
    QString lookUpHost;
    int waitSeconds = defaultWaitSeconds;
    QVector<FileMetadata> files;
    bool keysAgreed = false;
    // --pair: each receiver that accepts and proves its key is remembered.
    bool pairReceivers = false;
    bool pairedThisTarget = false;
    PeerIdentity receiverPeer;
    int status = 0;
};
