// libFuzzer target: the handling of one discovery datagram. The first byte chooses the kind of
// sender address (0: IPv4 from the next 4 bytes, 1: the same IPv4-mapped, 2: IPv6 from the
// next 16 bytes, 3: 127.0.0.x with x the next byte), the next 2 bytes are the sender port and
// the rest is the payload. Reported names go through what the device list shows. Run it in a
// network namespace with only loopback: answers to other addresses then go nowhere.
#include "core/deviceinfo.h"
#include "core/peertext.h"
#include "core/settings.h"
#include "discovery/discoveryservice.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

DiscoveryService *service = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("OrvexFuzz"));
    Settings::setDeviceName(QStringLiteral("fuzz"));
    service = new DiscoveryService;
    QObject::connect(
        service, &DiscoveryService::newHost, service, [](const QString &deviceName, const QHostAddress &addr, ushort) {
            elideMiddle(peerText(deviceName), 256);
            deviceAddressText(addr);
        });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    size_t at = 1;
    QHostAddress sender;
    switch (data[0] % 4) {
    case 0:
    case 1: {
        quint32 ipv4 = 0;
        for (int i = 0; i < 4; ++i)
            ipv4 = (ipv4 << 8) | (at < size ? data[at++] : 0);
        sender = data[0] % 4 == 0 ? QHostAddress(ipv4)
                                  : QHostAddress(QStringLiteral("::ffff:%1").arg(QHostAddress(ipv4).toString()));
        break;
    }
    case 2: {
        Q_IPV6ADDR ipv6 {};
        for (quint8 &byte : ipv6.c)
            byte = at < size ? data[at++] : 0;
        sender = QHostAddress(ipv6);
        break;
    }
    default:
        sender = QHostAddress(QStringLiteral("127.0.0.%1").arg(at < size ? data[at++] : 0));
        break;
    }
    quint16 port = 0;
    for (int i = 0; i < 2; ++i)
        port = static_cast<quint16>((port << 8) | (at < size ? data[at++] : 0));
    const QByteArray payload(
        reinterpret_cast<const char *>(data + std::min(at, size)), static_cast<int>(size - std::min(at, size)));
    service->handleDatagram(payload, sender, port);
    return 0;
}
