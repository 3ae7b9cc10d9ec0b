#include "portholder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Columns of /proc/net/{tcp,udp}{,6}: sl local_address rem_address st ... uid timeout inode.
constexpr int localColumn = 1;
constexpr int stateColumn = 3;
constexpr int uidColumn = 7;
constexpr int inodeColumn = 9;
constexpr int tcpListening = 0x0A;
constexpr int udpUnconnected = 0x07;

bool findSocket(const QString &table, int wantedState, quint16 port, uint *uid, QByteArray *inode)
{
    QFile file(table);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() <= inodeColumn)
            continue;
        const QByteArray local = fields.at(localColumn);
        bool ok = false;
        if (local.mid(local.indexOf(':') + 1).toUInt(&ok, 16) != port || !ok)
            continue;
        if (fields.at(stateColumn).toInt(&ok, 16) != wantedState || !ok)
            continue;
        *uid = fields.at(uidColumn).toUInt();
        *inode = fields.at(inodeColumn);
        return true;
    }
    return false;
}

} // namespace

PortHolder PortHolder::find(Protocol protocol, quint16 port)
{
    PortHolder holder;
    const bool tcp = protocol == Protocol::Tcp;
    const QString base = tcp ? QStringLiteral("/proc/net/tcp") : QStringLiteral("/proc/net/udp");
    QByteArray inode;
    for (const QString &table : { base, base + QLatin1Char('6') }) {
        if (findSocket(table, tcp ? tcpListening : udpUnconnected, port, &holder.uid, &inode))
            break;
    }
    if (inode.isEmpty())
        return holder;
    holder.found = true;
    const QByteArray target = "socket:[" + inode + ']';
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &process : processes) {
        bool numeric = false;
        const qint64 pid = process.toLongLong(&numeric);
        if (!numeric)
            continue;
        const QString fdFolder = QStringLiteral("/proc/%1/fd").arg(process);
        const QStringList fds = QDir(fdFolder).entryList(QDir::System | QDir::NoDotAndDotDot);
        for (const QString &fd : fds) {
            if (QFile::symLinkTarget(fdFolder + QLatin1Char('/') + fd).endsWith(QString::fromLatin1(target))) {
                QFile comm(QStringLiteral("/proc/%1/comm").arg(process));
                holder.pid = pid;
                if (comm.open(QIODevice::ReadOnly))
                    holder.program = QString::fromLocal8Bit(comm.readAll().trimmed());
                return holder;
            }
        }
    }
    return holder;
}
