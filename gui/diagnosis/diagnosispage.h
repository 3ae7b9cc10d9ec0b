#pragma once

#include "discovery/networkdiagnosis.h"

#include <QPointer>
#include <QWidget>

class DiscoveryService;
class QListWidget;
class QPushButton;
class WebServer;

// The main window's "网络诊断" page: runs a NetworkDiagnosis on request and lists its findings,
// one line per finding with its verdict and, where there is something to do, what to do.
class DiagnosisPage : public QWidget
{
    Q_OBJECT

public:
    // Roles of a line's item: the finding's Kind and Verdict, as ints.
    static constexpr int kindRole = Qt::UserRole;
    static constexpr int verdictRole = Qt::UserRole + 1;

    explicit DiagnosisPage(QWidget *parent = nullptr);

    // The running servers whose ports the diagnosis checks; without them, the settings' ports.
    void useRunningServers(DiscoveryService *discovery, WebServer *webServer);
    // Starts a diagnosis with the running servers' ports, asking also the known addresses.
    void diagnose();

signals:
    // The diagnosis ended; its lines are all shown.
    void diagnosed();

private:
    void showFinding(const NetworkDiagnosis::Finding &finding);
    void showSection(NetworkDiagnosis::Section section);

    QPushButton *startButton;
    QListWidget *lines;
    NetworkDiagnosis *diagnosis = nullptr;
    QPointer<DiscoveryService> runningDiscovery;
    QPointer<WebServer> runningWebServer;
};
