#pragma once

#include <QIODevice>

namespace tarsel {

// A device for a request body (HttpRequestHandler::bodyDevice) that writes into an open file.
// The connection may move the body's bytes from the socket into that file itself, by the kernel
// (splice on Linux, through a pipe), without passing them through writeData(); it tells the
// device each time how many bytes it placed. Bytes it cannot move that way (those already read
// by the parser, a TLS connection) still come through write().
class FileBodyDevice : public QIODevice
{
    Q_OBJECT

public:
    using QIODevice::QIODevice;

    // The descriptor of the file, or -1 while bytes must come through write() (the device has
    // failed, or takes no more).
    virtual int fileDescriptor() const = 0;
    // Where in the file the next byte of the body belongs.
    virtual qint64 fileOffset() const = 0;
    // size bytes of the body are in the file at fileOffset().
    virtual void bytesPlaced(qint64 size) = 0;
    // Placing bytes failed (a full disk): the body is not whole; the rest of it is passed over.
    virtual void placingFailed() = 0;
};

} // namespace tarsel
