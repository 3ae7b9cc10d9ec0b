#pragma once

#include "cli/command.h"
#include "transfer/filemetadata.h"

#include <QHostAddress>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <memory>

class DeviceList;
class DiscoveryService;
class ProgressLine;
class QTcpSocket;
class SendFileManager;
class SenderContext;

// "orvex send": sends files and folders to one device after another, as the send-file window
// does: the same send list (SendFileManager), the same check that the list fits in one offer,
// the same five-second connection limit and the same sessions. Prints the verification code as
// soon as the keys are exchanged, then the progress.
class SendCommand : public Command
{
    Q_OBJECT

public:
    // How long a device named by --to may take to answer discovery, unless --wait says otherwise.
    static constexpr int defaultWaitSeconds = 5;
    static constexpr int maxWaitSeconds = 3600;
    // As the send-file window: a device that does not accept the connection by then is skipped.
    static constexpr int connectTimeoutMsec = 5000;

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
    void nextTarget();
    void lookUp();
    void connectTo(const QString &host, quint16 port);
    void socketConnected();
    void connectFailed(const QString &reason);
    // No device of the name answered in time: says so, with the names close to it.
    void notFound();
    void endTarget(int targetStatus);

    SendFileManager *manager = nullptr;
    DiscoveryService *discovery = nullptr;
    DeviceList *devices = nullptr;
    QTimer lookUpTimer;
    QTimer connectTimer;
    QPointer<QTcpSocket> socket;
    QPointer<SenderContext> context;
    std::unique_ptr<ProgressLine> progress;
    QStringList targets;
    QString currentTarget;
    QString lookUpHost;
    int waitSeconds = defaultWaitSeconds;
    QVector<FileMetadata> files;
    // The status should the session fail: refused or unanswered once the receiver declined.
    int refusalStatus = 0;
    bool offerShown = false;
    int status = 0;
};
