#include "firewallrules.h"

#include <QRegularExpression>
#include <QStringList>

#include <functional>

namespace {

QString protocolName(const FirewallRules::Port &port)
{
    return port.udp ? QStringLiteral("udp") : QStringLiteral("tcp");
}

// Whether a port list such as "52637", "{ 22, 3000 }", "3000-3010" or "22,3000:3010" holds port.
bool listHolds(const QString &list, quint16 port)
{
    static const QRegularExpression item(QStringLiteral("(\\d+)\\s*(?:[-:]\\s*(\\d+))?"));
    auto it = item.globalMatch(list);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const uint low = match.captured(1).toUInt();
        const uint high = match.captured(2).isEmpty() ? low : match.captured(2).toUInt();
        if (port >= low && port <= high)
            return true;
    }
    return false;
}

enum class Match {
    None,
    Port, // the rule names the port
    All, // the rule names no port: every packet of its protocol
    Broadcast, // only broadcasts
};

// How a rule of one of the two tools meets port. dportPattern captures the port list after the
// tool's port keyword; protocol words are the tool's.
Match ruleMatch(const QString &rule, const FirewallRules::Port &port, const QRegularExpression &dportPattern,
    const QRegularExpression &protocolPattern, const QRegularExpression &broadcastPattern)
{
    const QRegularExpressionMatch protocol = protocolPattern.match(rule);
    if (protocol.hasMatch() && protocol.captured(1) != protocolName(port))
        return Match::None;
    const QRegularExpressionMatch dport = dportPattern.match(rule);
    if (dport.hasMatch())
        return listHolds(dport.captured(1), port.number) ? Match::Port : Match::None;
    // A rule on source or destination ports alone, or on a connection state, is not about us.
    if (rule.contains(QLatin1String("sport")) || rule.contains(QLatin1String("ct state"))
        || rule.contains(QLatin1String("--state")) || rule.contains(QLatin1String("--ctstate")))
        return Match::None;
    if (broadcastPattern.match(rule).hasMatch())
        return port.udp ? Match::Broadcast : Match::None;
    return Match::All;
}

// The findings of one chain, given its rules in order: the first rule that decides a port wins.
void judgeChain(const QStringList &rules, const QString &policy, const QVector<FirewallRules::Port> &ports,
    FirewallRules::Tool tool, const std::function<QString(const FirewallRules::Port &)> &openCommand,
    const QRegularExpression &dportPattern, const QRegularExpression &protocolPattern,
    const QRegularExpression &broadcastPattern, const QRegularExpression &dropPattern,
    const QRegularExpression &acceptPattern, QVector<FirewallRules::Finding> *findings)
{
    for (const FirewallRules::Port &port : ports) {
        bool decided = false;
        for (const QString &rule : rules) {
            const bool drops = dropPattern.match(rule).hasMatch();
            const bool accepts = acceptPattern.match(rule).hasMatch();
            if (!drops && !accepts)
                continue;
            const Match match = ruleMatch(rule, port, dportPattern, protocolPattern, broadcastPattern);
            if (match == Match::None || (accepts && match != Match::Port))
                continue;
            if (drops)
                findings->append({ tool, port, rule.trimmed(), match == Match::Broadcast, openCommand(port) });
            // A broadcast rule leaves unicast to the port for the rules after it.
            if (match != Match::Broadcast) {
                decided = true;
                break;
            }
        }
        if (!decided && !policy.isEmpty())
            findings->append({ tool, port, policy, false, openCommand(port) });
    }
}

} // namespace

QVector<FirewallRules::Finding> FirewallRules::fromNftables(const QString &ruleset, const QVector<Port> &ports)
{
    static const QRegularExpression dport(QStringLiteral("\\bdport\\s+(\\{[^}]*\\}|[\\d-]+)"));
    static const QRegularExpression protocol(QStringLiteral("\\b(udp|tcp)\\b"));
    static const QRegularExpression broadcast(
        QStringLiteral("pkttype\\s+(broadcast|\\{[^}]*broadcast)|daddr\\s+255\\.255\\.255\\.255|\\.255\\b"));
    static const QRegularExpression drop(QStringLiteral("\\b(drop|reject)\\b"));
    static const QRegularExpression accept(QStringLiteral("\\baccept\\b"));
    static const QRegularExpression tableLine(QStringLiteral("^table\\s+(\\S+)\\s+(\\S+)\\s*\\{"));
    static const QRegularExpression chainLine(QStringLiteral("^chain\\s+(\\S+)\\s*\\{"));
    static const QRegularExpression hookLine(QStringLiteral("hook\\s+input\\b.*policy\\s+(\\w+)"));

    QVector<Finding> findings;
    QString family;
    QString table;
    QString chain;
    bool inputChain = false;
    QString policy;
    QStringList rules;
    const auto endChain = [&] {
        if (inputChain) {
            const auto open = [&](const Port &port) {
                return QStringLiteral("nft insert rule %1 %2 %3 %4 dport %5 accept")
                    .arg(family, table, chain, protocolName(port))
                    .arg(port.number);
            };
            judgeChain(rules, policy, ports, Tool::Nftables, open, dport, protocol, broadcast, drop, accept, &findings);
        }
        chain.clear();
        inputChain = false;
        policy.clear();
        rules.clear();
    };
    for (const QString &raw : ruleset.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        QRegularExpressionMatch match;
        if ((match = tableLine.match(line)).hasMatch()) {
            family = match.captured(1);
            table = match.captured(2);
        } else if ((match = chainLine.match(line)).hasMatch()) {
            endChain();
            chain = match.captured(1);
        } else if (chain.isEmpty()) {
            continue;
        } else if (line == QLatin1String("}")) {
            endChain();
        } else if ((match = hookLine.match(line)).hasMatch()) {
            inputChain = true;
            if (match.captured(1) == QLatin1String("drop"))
                policy = QStringLiteral("policy drop");
        } else if (!line.isEmpty()) {
            rules.append(line);
        }
    }
    return findings;
}

QVector<FirewallRules::Finding> FirewallRules::fromIptables(const QString &save, const QVector<Port> &ports)
{
    static const QRegularExpression dport(QStringLiteral("--dports?\\s+([\\d,:]+)"));
    static const QRegularExpression protocol(QStringLiteral("-p\\s+(udp|tcp)\\b"));
    static const QRegularExpression broadcast(
        QStringLiteral("--pkt-type\\s+broadcast|--dst-type\\s+BROADCAST|-d\\s+255\\.255\\.255\\.255"));
    static const QRegularExpression drop(QStringLiteral("-j\\s+(DROP|REJECT)\\b"));
    static const QRegularExpression accept(QStringLiteral("-j\\s+ACCEPT\\b"));

    QStringList rules;
    QString policy;
    bool filterTable = false;
    for (const QString &raw : save.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('*')))
            filterTable = line == QLatin1String("*filter");
        else if (filterTable && line.startsWith(QLatin1String(":INPUT DROP")))
            policy = QStringLiteral(":INPUT DROP");
        else if (filterTable && line.startsWith(QLatin1String("-A INPUT ")))
            rules.append(line);
    }
    QVector<Finding> findings;
    const auto open = [](const Port &port) {
        return QStringLiteral("iptables -I INPUT -p %1 --dport %2 -j ACCEPT").arg(protocolName(port)).arg(port.number);
    };
    judgeChain(rules, policy, ports, Tool::Iptables, open, dport, protocol, broadcast, drop, accept, &findings);
    return findings;
}

QVector<FirewallRules::Finding> FirewallRules::fromUfw(const QString &status, const QVector<Port> &ports)
{
    QVector<Finding> findings;
    if (!status.contains(QLatin1String("Status: active"))
        || !QRegularExpression(QStringLiteral("Default:\\s*(deny|reject)\\s*\\(incoming\\)")).match(status).hasMatch())
        return findings;
    for (const Port &port : ports) {
        const QRegularExpression allowed(QStringLiteral("^%1(/%2)?\\s.*ALLOW").arg(port.number).arg(protocolName(port)),
            QRegularExpression::MultilineOption);
        if (!allowed.match(status).hasMatch()) {
            findings.append({ Tool::Ufw, port, QStringLiteral("Default: deny (incoming)"), false,
                QStringLiteral("ufw allow %1/%2").arg(port.number).arg(protocolName(port)) });
        }
    }
    return findings;
}

QVector<FirewallRules::Finding> FirewallRules::fromFirewalld(const QString &openPorts, const QVector<Port> &ports)
{
    QVector<Finding> findings;
    const QStringList open = openPorts.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    for (const Port &port : ports) {
        const QString wanted = QStringLiteral("%1/%2").arg(port.number).arg(protocolName(port));
        if (!open.contains(wanted)) {
            findings.append(
                { Tool::Firewalld, port, QStringLiteral("firewall-cmd --list-ports: ") + openPorts.trimmed(), false,
                    QStringLiteral("firewall-cmd --permanent --add-port=%1 && firewall-cmd --reload").arg(wanted) });
        }
    }
    return findings;
}

QString FirewallRules::toolName(Tool tool)
{
    switch (tool) {
    case Tool::Nftables:
        return QStringLiteral("nftables");
    case Tool::Iptables:
        return QStringLiteral("iptables");
    case Tool::Ufw:
        return QStringLiteral("ufw");
    case Tool::Firewalld:
        return QStringLiteral("firewalld");
    }
    return QString();
}
