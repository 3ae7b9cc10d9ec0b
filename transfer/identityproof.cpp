#include "identityproof.h"

#include "core/paireddevices.h"
#include "transfer/identity.h"

#include <QJsonValue>

namespace {

const QString keyName = QStringLiteral("key");
const QString proofName = QStringLiteral("proof");

} // namespace

QByteArray IdentityProof::signedMessage(Role role, const QByteArray &senderKey, const QByteArray &receiverKey)
{
    QByteArray message(label, sizeof label);
    message += role == Role::Sender ? QByteArrayLiteral("sender") : QByteArrayLiteral("receiver");
    message += '\0';
    return message + senderKey + receiverKey;
}

QJsonObject IdentityProof::make(
    const Identity &identity, Role role, const QByteArray &senderKey, const QByteArray &receiverKey)
{
    if (!identity.isValid())
        return {};
    const QByteArray proof = identity.sign(signedMessage(role, senderKey, receiverKey));
    if (proof.size() != Identity::signatureBytes)
        return {};
    return { { keyName, QString::fromLatin1(identity.publicKey().toBase64()) },
        { proofName, QString::fromLatin1(proof.toBase64()) } };
}

IdentityProof::Checked IdentityProof::check(
    const QJsonValue &value, Role role, const QByteArray &senderKey, const QByteArray &receiverKey)
{
    if (value.isUndefined() || value.isNull())
        return {};
    const QJsonObject object = value.toObject();
    const auto decoded = [&object](const QString &name) {
        const QByteArray text = object.value(name).toString().toLatin1();
        const auto result = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
        return result ? result.decoded : QByteArray();
    };
    const QByteArray key = decoded(keyName);
    const QByteArray proof = decoded(proofName);
    if (key.size() != Identity::publicKeyBytes || proof.size() != Identity::signatureBytes
        || !Identity::verify(key, signedMessage(role, senderKey, receiverKey), proof))
        return { QByteArray(), true };
    return { key, false };
}

PeerIdentity IdentityProof::standing(const QByteArray &provenKey, const QString &name)
{
    PeerIdentity peer;
    if (!provenKey.isEmpty()) {
        peer.key = provenKey;
        if (const std::optional<PairedDevice> paired = PairedDevices::find(provenKey)) {
            peer.standing = PeerIdentity::Standing::Paired;
            peer.pairedName = paired->name;
            peer.autoAccept = paired->autoAccept;
            return peer;
        }
        peer.standing = PeerIdentity::Standing::Unpaired;
    }
    // Whatever key it proved, a device that uses a paired device's name without its key is not it.
    if (PairedDevices::isPairedName(name))
        peer.standing = PeerIdentity::Standing::NotThePairedDevice;
    return peer;
}
