#include "transferpeer.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

TransferPeer::TransferPeer(QTcpSocket *accepted)
    : socket(accepted)
{
}

TransferPeer::~TransferPeer()
{
    if (owned)
        delete socket;
}

bool TransferPeer::connectTo(quint16 port, const QHostAddress &from)
{
    socket = new QTcpSocket;
    owned = true;
    if (!from.isNull() && !socket->bind(from))
        return false;
    socket->connectToHost(QHostAddress::LocalHost, port);
    if (!QTest::qWaitFor([this] { return socket->state() == QAbstractSocket::ConnectedState; }, 5000))
        return false;
    return exchangeKeys();
}

bool TransferPeer::exchangeKeys()
{
    write(crypto.publicKey);
    if (!QTest::qWaitFor(
            [this] {
                buffer += socket->readAll();
                return buffer.size() >= Crypto::keyBytes;
            },
            5000))
        return false;
    peerKey = buffer.left(Crypto::keyBytes);
    crypto.computeSessionKey(peerKey);
    buffer.remove(0, Crypto::keyBytes);
    return true;
}

void TransferPeer::seal(bool asSender, bool wide)
{
    sealed.open(crypto, peerKey, asSender);
    lengthBytes = wide ? 4 : 2;
}

QByteArray TransferPeer::frame(const QByteArray &plaintext)
{
    QByteArray message;
    if (sealed.isOpen()) {
        message.resize(plaintext.size() + SealedStream::tagBytes);
        sealed.sealInto(plaintext.constData(), plaintext.size(), message.data());
    } else {
        sealed.recordOutgoing(plaintext);
        message = crypto.encrypt(plaintext);
    }
    QByteArray out;
    for (int i = lengthBytes - 1; i >= 0; --i)
        out.append(static_cast<char>(static_cast<quint32>(message.size()) >> (8 * i)));
    return out + message;
}

void TransferPeer::write(const QByteArray &bytes)
{
    socket->write(bytes);
    socket->flush();
}

void TransferPeer::sendMetadata(const QJsonArray &files, const QString &deviceName)
{
    const QJsonObject offer { { QStringLiteral("device_name"), deviceName },
        { QStringLiteral("device_type"), QStringLiteral("test") }, { QStringLiteral("files"), files } };
    sendMessage(QJsonDocument(offer).toJson(QJsonDocument::Compact));
}

bool TransferPeer::takeMessage(QByteArray *message)
{
    buffer += socket->readAll();
    if (buffer.size() < lengthBytes)
        return false;
    int length = 0;
    for (int i = 0; i < lengthBytes; ++i)
        length = (length << 8) | static_cast<uchar>(buffer.at(i));
    if (buffer.size() < lengthBytes + length)
        return false;
    if (sealed.isOpen()) {
        sealed.openInto(buffer.constData() + lengthBytes, length, *message);
    } else {
        *message = crypto.decrypt(buffer.mid(lengthBytes, length));
        sealed.recordIncoming(*message);
    }
    buffer.remove(0, lengthBytes + length);
    return true;
}

QByteArray TransferPeer::nextMessage(int timeoutMsec)
{
    QByteArray message;
    if (!QTest::qWaitFor([&] { return takeMessage(&message); }, timeoutMsec))
        return QByteArray();
    return message.isNull() ? QByteArray("") : message;
}

bool TransferPeer::waitForDisconnected(int timeoutMsec)
{
    return QTest::qWaitFor(
        [this] {
            buffer += socket->readAll();
            return socket->state() == QAbstractSocket::UnconnectedState;
        },
        timeoutMsec);
}

QList<QByteArray> TransferPeer::messagesUntilClosed(int timeoutMsec)
{
    QList<QByteArray> messages;
    static_cast<void>(QTest::qWaitFor(
        [&] {
            for (QByteArray message; takeMessage(&message);)
                messages.append(message);
            return socket->state() == QAbstractSocket::UnconnectedState && socket->bytesAvailable() == 0;
        },
        timeoutMsec));
    return messages;
}
