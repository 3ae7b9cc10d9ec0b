#pragma once

#include <QString>
#include <QVector>

// Reads firewall rulesets as their tools print them and finds the rules that would drop what
// arrives for Orvex's ports. It never changes a rule: it only names the one to add.
class FirewallRules
{
public:
    enum class Tool {
        Nftables,
        Iptables,
        Ufw,
        Firewalld,
    };

    struct Port
    {
        quint16 number = 0;
        bool udp = false;
    };

    struct Finding
    {
        Tool tool = Tool::Nftables;
        Port port;
        // The rule as the tool prints it, or the chain's default for a policy.
        QString rule;
        // Whether only broadcasts are dropped (unicast to the port still arrives).
        bool broadcastOnly = false;
        // The command, for root, that lets the port in ahead of the rule.
        QString openCommand;
    };

    FirewallRules() = delete;

    // The firewall's own name ("nftables", "iptables", "ufw", "firewalld").
    static QString toolName(Tool tool);

    // "nft list ruleset": rules of chains hooked on input.
    static QVector<Finding> fromNftables(const QString &ruleset, const QVector<Port> &ports);
    // "iptables-save": rules and policy of the INPUT chain of the filter table.
    static QVector<Finding> fromIptables(const QString &save, const QVector<Port> &ports);
    // "ufw status verbose": an active firewall that denies incoming traffic and allows none of ports.
    static QVector<Finding> fromUfw(const QString &status, const QVector<Port> &ports);
    // "firewall-cmd --list-ports": a running firewalld that lets none of ports in.
    static QVector<Finding> fromFirewalld(const QString &openPorts, const QVector<Port> &ports);
};
