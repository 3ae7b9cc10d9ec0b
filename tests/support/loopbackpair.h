#pragma once

#include <QTcpServer>
#include <QTcpSocket>

namespace testsupport {

// Two connected TCP sockets on 127.0.0.1, port chosen by the system. Both are unparented so the
// caller can hand them to objects that take ownership.
struct LoopbackPair
{
    QTcpSocket *client = nullptr;
    QTcpSocket *server = nullptr;
};

// Returns an empty pair if the connection could not be made within a few seconds.
LoopbackPair connectLoopbackPair();

} // namespace testsupport
