#pragma once

#include "core/knownaddress.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVector>

#include <optional>

// A device this installation paired with: both users compared the code of a session in which the
// device proved its identity key, and the user here chose to remember it.
struct PairedDevice
{
    // The device's 32-byte identity public key: what makes it this device, whatever it calls
    // itself.
    QByteArray identityKey;
    // The name the user knows it by: the device's name at pairing, or what the user renamed it
    // to. Shown instead of whatever name the device announces later.
    QString name;
    // Offers from this device are accepted without asking (off unless the user turns it on).
    bool autoAccept = false;
    // Where the device was last reached: its address and discovery port, asked directly when
    // broadcasts do not bring it.
    KnownAddress lastAddress;
    QDateTime pairedAt;

    QString fingerprint() const;
};

// The store of paired devices, in the user's settings under "pairedDevices". Every call reads
// or writes the store itself, so an unpairing is seen by the next offer at once, in this
// process and in any other. Safe on any thread: one process-wide lock orders the
// read-modify-write of the changes.
// Tells this process that the store of paired devices changed, from the event loop after the
// change: a device row shows its mark as soon as the device is paired or unpaired.
class PairedDevicesNotifier : public QObject
{
    Q_OBJECT

signals:
    void changed();
};

class PairedDevices
{
public:
    PairedDevices() = delete;

    static PairedDevicesNotifier &notifier();

    // The fingerprint of an identity key as announced in discovery and shown to users: the first
    // 8 bytes of the key's SHA-256 as 16 lowercase hexadecimal digits.
    static QString fingerprintOf(const QByteArray &identityKey);

    static QVector<PairedDevice> all();
    static std::optional<PairedDevice> find(const QByteArray &identityKey);
    // By fingerprint, as announced by a device (untrusted: a hint for the device list only, never
    // a reason to accept anything).
    static std::optional<PairedDevice> findByFingerprint(const QString &fingerprint);
    // Whether some paired device is known by this name (compared as the user sees it): a device
    // that announces it without proving that device's key is not that device.
    static bool isPairedName(const QString &name);

    // Pairs, or renews the pairing of, the device with this key (name and auto-accept of an
    // existing pair are kept unless given). false for a key that is not 32 bytes.
    static bool pair(const QByteArray &identityKey, const QString &name);
    // By fingerprint; false when no paired device has it.
    static bool rename(const QString &fingerprint, const QString &name);
    static bool unpair(const QString &fingerprint);
    static bool setAutoAccept(const QString &fingerprint, bool on);
    static bool setLastAddress(const QString &fingerprint, const KnownAddress &address);

    // Keeps the store in this settings file from now on, whatever QSettings' paths say later:
    // the commands move the default settings out of the user's reach for a run, and pairs made
    // or changed there must still reach the user's file.
    static void keepStoreIn(const QString &settingsFile);

    // Most devices one installation keeps; pairing another drops the one paired earliest.
    static constexpr int maxPairedDevices = 64;
    static constexpr int identityKeyBytes = 32;
};
