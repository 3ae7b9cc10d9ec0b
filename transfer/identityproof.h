#pragma once

#include "transfer/transferevents.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class Identity;
class QJsonValue;

// The "identity" extension: each end of a sealed session signs, with its identity key, what
// makes this connection this connection (both ephemeral X25519 keys as it saw them) and its own
// role. A relay that runs two key exchanges, or a proof copied from another session, yields a
// signature over keys that the other end never saw, and it does not verify.
namespace IdentityProof {

enum class Role {
    Sender,
    Receiver,
};

// Separates these signatures from any other use of the identity key.
inline constexpr char label[] = "orvex identity proof 1";

// label, 0, the role's name ("sender" or "receiver"), 0, S (32 bytes), R (32 bytes).
QByteArray signedMessage(Role role, const QByteArray &senderKey, const QByteArray &receiverKey);

// {"key":"<identity public key, base64>","proof":"<signature, base64>"}; empty when the
// identity is invalid.
QJsonObject make(const Identity &identity, Role role, const QByteArray &senderKey, const QByteArray &receiverKey);

// What a peer's "identity" value proves.
struct Checked
{
    // The proven identity key; empty when there was no proof or it did not verify.
    QByteArray key;
    // A proof was there but did not verify.
    bool failed = false;
};
Checked check(const QJsonValue &value, Role role, const QByteArray &senderKey, const QByteArray &receiverKey);

// The standing of a peer with this proven key (empty: none) that announces itself by name,
// looked up in the paired devices now.
PeerIdentity standing(const QByteArray &provenKey, const QString &name);

} // namespace IdentityProof
