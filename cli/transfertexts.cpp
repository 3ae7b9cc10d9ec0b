#include "transfertexts.h"

#include "cli/exitcode.h"
#include "core/paireddevices.h"
#include "core/peertext.h"

QString TransferTexts::failureText(const TransferFailure &failure, Side side, bool keysAgreed)
{
    using Kind = TransferFailure::Kind;
    const bool sending = side == Side::Sending;
    switch (failure.kind) {
    case Kind::Declined:
        return sending ? tr("接收设备拒绝接收文件！") : QString();
    case Kind::Unanswered:
        return sending ? tr("接收设备无人回答，已自动拒绝！") : QString();
    case Kind::TimedOut:
        if (!keysAgreed)
            return tr("握手失败！");
        return sending ? tr("未收到接收方的确认") : tr("等待文件信息超时！");
    case Kind::CancelledHere:
        return tr("已取消传输");
    case Kind::CancelledByPeer:
        return tr("对方已取消传输");
    case Kind::UnsafeName:
        return tr("发送方给出的文件名不安全，已拒绝接收：\"%1\"").arg(failure.detail);
    case Kind::DiskFull:
        return tr("磁盘空间不足");
    case Kind::WriteError:
        return tr("写入%1失败！").arg(failure.detail);
    case Kind::ReadError:
        return tr("读取文件 %1 失败或文件已改变，传输已中止！").arg(failure.detail);
    case Kind::Network:
        if (!keysAgreed)
            return tr("握手失败！");
        return failure.detail.isEmpty() ? tr("连接已断开") : failure.detail;
    case Kind::Tampered:
        return tr("传输数据被篡改或损坏");
    case Kind::Protocol:
        return failure.detail.isEmpty() ? tr("对方发送的数据不符合传输协议")
                                        : tr("对方发送的数据不符合传输协议：\"%1\"").arg(failure.detail);
    case Kind::PeerFailed:
        return failure.detail.isEmpty() ? tr("对方已中止传输") : failure.detail;
    case Kind::TextRefused:
        return tr("对方发送的文字超过 1 MiB 或不是有效的 UTF-8 文本，已拒绝接收");
    }
    return QString();
}

int TransferTexts::exitStatus(const TransferFailure &failure)
{
    switch (failure.kind) {
    case TransferFailure::Kind::Declined:
        return exitcode::refused;
    case TransferFailure::Kind::Unanswered:
        return exitcode::unanswered;
    default:
        return exitcode::failure;
    }
}

QString TransferTexts::resumeNote(const TransferOffer &offer)
{
    if (offer.heldBytes == 0)
        return QString();
    const int percent = offer.totalBytes > 0 ? static_cast<int>(offer.heldBytes * 100 / offer.totalBytes) : 0;
    return tr("继续上次未完成的传输（已收到 %1%）").arg(percent);
}

QString TransferTexts::refusalText(const SendRefusal &refusal)
{
    const QString path = peerText(refusal.path);
    switch (refusal.kind) {
    case SendRefusal::Kind::Unreadable:
        return tr("%1：无法打开所选文件！").arg(path);
    case SendRefusal::Kind::NotARegularFile:
        return tr("%1：所选文件格式不支持！").arg(path);
    case SendRefusal::Kind::UnreadableFolder:
        return tr("无法读取文件夹 %1").arg(path);
    case SendRefusal::Kind::LinkOutsideFolder:
        return tr("已跳过指向所选文件夹之外的链接：%1").arg(path);
    }
    return path;
}

QString TransferTexts::standingNote(const PeerIdentity &peer)
{
    switch (peer.standing) {
    case PeerIdentity::Standing::Paired:
        return tr("已配对：%1").arg(peerText(peer.pairedName));
    case PeerIdentity::Standing::NotThePairedDevice:
        return tr("注意：此设备使用了一台已配对设备的名称，但无法证明它就是那台设备（也可能那台设备重装过，"
                  "需要重新配对）。请务必核对验证码。");
    case PeerIdentity::Standing::Unproven:
    case PeerIdentity::Standing::Unpaired:
        break;
    }
    return QString();
}

QJsonObject TransferTexts::peerFields(const PeerIdentity &peer)
{
    static const char *const standings[] = { "unproven", "paired", "unpaired", "not-the-paired-device" };
    QJsonObject fields { { QStringLiteral("standing"), QLatin1String(standings[static_cast<int>(peer.standing)]) } };
    if (!peer.key.isEmpty())
        fields.insert(QStringLiteral("fingerprint"), PairedDevices::fingerprintOf(peer.key));
    if (peer.standing == PeerIdentity::Standing::Paired)
        fields.insert(QStringLiteral("name"), peer.pairedName);
    return fields;
}
