#include "discovery/firewallrules.h"
#include "tests/support/testmain.h"

namespace {

using Findings = QVector<FirewallRules::Finding>;
const QVector<FirewallRules::Port> orvexPorts { { 52637, true }, { 40000, false }, { 3000, false } };

// "udp 52637 broadcast" for each finding: what is dropped, and the rule's first word.
QStringList summary(const Findings &findings)
{
    QStringList lines;
    for (const FirewallRules::Finding &finding : findings) {
        lines.append(QStringLiteral("%1 %2%3 | %4")
                         .arg(finding.port.udp ? QStringLiteral("udp") : QStringLiteral("tcp"))
                         .arg(finding.port.number)
                         .arg(finding.broadcastOnly ? QStringLiteral(" broadcast") : QString(), finding.rule));
    }
    return lines;
}

QString nftInput(const QString &policy, const QString &rules)
{
    return QStringLiteral(
        "table inet filter {\n\tchain input {\n\t\ttype filter hook input priority filter; policy %1;\n"
        "%2\t}\n\tchain output {\n\t\ttype filter hook output priority filter; policy drop;\n\t}\n}\n")
        .arg(policy, rules);
}

} // namespace

class TestFirewallRules : public QObject
{
    Q_OBJECT

private slots:
    void findsRulesThatDropOrvexPorts_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<QString>("ruleset");
        QTest::addColumn<QStringList>("dropped");
        const int nft = int(FirewallRules::Tool::Nftables);
        const int iptables = int(FirewallRules::Tool::Iptables);
        QTest::addRow("nft: open") << nft << nftInput("accept", "\t\tct state invalid drop\n\t\tudp sport 53 drop\n")
                                   << QStringList();
        QTest::addRow("nft: broadcast dropped") << nft << nftInput("accept", "\t\tmeta pkttype broadcast drop\n")
                                                << QStringList { "udp 52637 broadcast | meta pkttype broadcast drop" };
        QTest::addRow("nft: port set rejected") << nft << nftInput("accept", "\t\ttcp dport { 22, 3000-3005 } reject\n")
                                                << QStringList { "tcp 3000 | tcp dport { 22, 3000-3005 } reject" };
        QTest::addRow("nft: policy drop, discovery let in")
            << nft << nftInput("drop", "\t\tudp dport 52637 accept\n\t\ttcp dport 22 accept\n")
            << QStringList { "tcp 40000 | policy drop", "tcp 3000 | policy drop" };
        QTest::addRow("nft: accepted ahead of a drop of all udp")
            << nft << nftInput("accept", "\t\tudp dport 52637 accept\n\t\tmeta l4proto udp drop\n") << QStringList();
        QTest::addRow("nft: output chain only") << nft
                                                << "table ip t {\n\tchain out {\n\t\ttype filter hook output priority "
                                                   "0; policy accept;\n\t\tudp dport 52637 "
                                                   "drop\n\t}\n}\n"
                                                << QStringList();
        QTest::addRow("iptables: broadcast and a multiport drop")
            << iptables
            << "*nat\n-A INPUT -p tcp --dport 3000 -j DROP\nCOMMIT\n*filter\n:INPUT ACCEPT [0:0]\n"
               "-A INPUT -m pkttype --pkt-type broadcast -j DROP\n"
               "-A INPUT -p tcp -m multiport --dports 22,39000:41000 -j REJECT\nCOMMIT\n"
            << QStringList { "udp 52637 broadcast | -A INPUT -m pkttype --pkt-type broadcast -j DROP",
                   "tcp 40000 | -A INPUT -p tcp -m multiport --dports 22,39000:41000 -j REJECT" };
        QTest::addRow("iptables: policy drop, web let in")
            << iptables
            << "*filter\n:INPUT DROP [0:0]\n-A INPUT -p tcp --dport 3000 -j ACCEPT\n-A INPUT -p udp --dport 52637 -j "
               "ACCEPT\nCOMMIT\n"
            << QStringList { "tcp 40000 | :INPUT DROP" };
    }

    void findsRulesThatDropOrvexPorts()
    {
        QFETCH(int, tool);
        QFETCH(QString, ruleset);
        QFETCH(QStringList, dropped);
        const Findings findings = tool == int(FirewallRules::Tool::Nftables)
            ? FirewallRules::fromNftables(ruleset, orvexPorts)
            : FirewallRules::fromIptables(ruleset, orvexPorts);
        QCOMPARE(summary(findings), dropped);
    }

    void namesTheCommandThatOpensThePort()
    {
        const Findings nft = FirewallRules::fromNftables(nftInput("drop", QString()), { { 52637, true } });
        QCOMPARE(nft.size(), 1);
        QCOMPARE(nft.first().openCommand, QStringLiteral("nft insert rule inet filter input udp dport 52637 accept"));
        const Findings ufw = FirewallRules::fromUfw("Status: active\nDefault: deny (incoming), allow (outgoing)\n\nTo  "
                                                    "Action  From\n3000/tcp  ALLOW IN  Anywhere\n",
            { { 52637, true }, { 3000, false } });
        QCOMPARE(ufw.size(), 1);
        QCOMPARE(ufw.first().openCommand, QStringLiteral("ufw allow 52637/udp"));
        QVERIFY(FirewallRules::fromUfw("Status: inactive\n", orvexPorts).isEmpty());
        const Findings firewalld = FirewallRules::fromFirewalld("52637/udp 3000/tcp\n", orvexPorts);
        QCOMPARE(firewalld.size(), 1);
        QCOMPARE(firewalld.first().openCommand,
            QStringLiteral("firewall-cmd --permanent --add-port=40000/tcp && firewall-cmd --reload"));
    }
};

ORVEX_TEST_MAIN(TestFirewallRules)
#include "tst_firewallrules.moc"
