#pragma once

#include "cli/command.h"

#include <QList>
#include <QPointer>
#include <QTimer>

class AnswerReader;
class DiscoveryService;
class ReceiveSession;
class ReceiverContext;
class Server;

// "orvex receive": runs the transfer server and announces this device like the application.
// Each offer is shown with its sender, files and verification code and asked about on the
// terminal, one at a time; --accept answers yes (for --from NAME only to offers from that name),
// --accept-paired answers yes to paired devices that proved their key, and --pair remembers the
// sender of what the user accepts.
// Files are written by the same sessions as in the application.
class ReceiveCommand : public Command
{
    Q_OBJECT

public:
    using Command::Command;
    ~ReceiveCommand() override;

    void addOptions(CommandOptions &parser) const override;
    RunOptions::Choices settings() const override
    {
        return RunOptions::Name | RunOptions::Dir | RunOptions::Port | RunOptions::DiscoveryPort | RunOptions::Hidden;
    }
    int start(const QCommandLineParser &parser) override;
    void interrupt(int signalNumber) override;

    // "y", "yes" and "是" (any case) accept; everything else declines.
    static bool isYes(const QString &answer);

private:
    void takeSession(ReceiverContext *context);
    void offerReady(ReceiveSession *session);
    void askNext();
    // unanswered: the time ran out, which the sender learns where it can.
    void answer(bool accept, bool unanswered = false);
    void sessionEnded(ReceiveSession *session, int status);

    Server *server = nullptr;
    DiscoveryService *discovery = nullptr;
    AnswerReader *reader = nullptr;
    QList<QPointer<ReceiveSession>> sessions;
    QList<QPointer<ReceiveSession>> waiting;
    QPointer<ReceiveSession> asking;
    QTimer answerTimer;
    bool acceptAll = false;
    // Offers from devices that proved a paired key are accepted without asking.
    bool acceptPaired = false;
    // What is accepted here pairs its sender (the user compares the code).
    bool pairAccepted = false;
    QString acceptFrom;
    bool once = false;
};
