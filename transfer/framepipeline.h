#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QVector>
#include <QWaitCondition>

#include <memory>

class QThread;
class SealedStream;

// Seals or opens one direction of a sealed stream on a thread of its own, so that the cipher
// runs beside the socket and the files. Frames are worked on one at a time in the order they
// are given, so the stream's frame numbers stay in order; the results come back, in the same
// order, on the thread that owns the pipeline. Buffers go round: the owner takes one, fills it,
// hands it over, and gives it back once the result is used, so no frame allocates.
class FramePipeline : public QObject
{
    Q_OBJECT

public:
    enum class Direction {
        Seal,
        Open,
    };

    // One frame with its length field in front: headerBytes, then the message (for Seal the
    // plaintext with room for the tag after it, for Open the ciphertext and its tag).
    struct Frame
    {
        QByteArray bytes;
        int headerBytes = 0;
        // The message's length (for Seal: the plaintext's).
        int size = 0;
        // Open: whether the message opened; its plaintext is then at the start of the message.
        bool opened = false;

        char *message() { return bytes.data() + headerBytes; }
        const char *message() const { return bytes.constData() + headerBytes; }
    };

    // The stream's direction belongs to the pipeline's thread from here on: the owner touches
    // it no more. depth bounds the frames given and not yet given back.
    FramePipeline(SealedStream &stream, Direction direction, int depth, QObject *parent);
    ~FramePipeline() override;

    // A buffer able to hold bytes, or an empty frame when depth frames are out already (unless
    // beyondDepth: a control frame that must go now).
    Frame take(int bytes, bool beyondDepth = false);
    bool hasRoom() const;
    // Bytes given and not yet back from the thread.
    qint64 pendingBytes() const;
    void submit(Frame frame);
    // The finished frames, in order; each goes back with recycle once used.
    QVector<Frame> finished();
    void recycle(Frame frame);
    // Waits until every frame given is finished.
    void drain();
    // Waits until a frame is finished, if any is on its way.
    void waitForOne();

signals:
    // Finished frames are waiting (queued to the owner's thread).
    void ready();

private:
    void work();

    SealedStream &stream;
    const Direction direction;
    const int depth;
    // Guards everything below it. The thread takes frames from waiting and puts them in done;
    // the owner does the rest. "out" counts frames between take and recycle.
    mutable QMutex lock;
    QWaitCondition wake;
    QWaitCondition settled;
    QVector<Frame> waiting;
    QVector<Frame> done;
    QVector<QByteArray> spare;
    qint64 bytesPending = 0;
    int out = 0;
    bool busy = false;
    bool stopping = false;
    std::unique_ptr<QThread> thread;
};
