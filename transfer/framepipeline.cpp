#include "framepipeline.h"

#include "transfer/sealedstream.h"

#include <QThread>

FramePipeline::FramePipeline(SealedStream &sealedStream, Direction way, int frames, QObject *parent)
    : QObject(parent)
    , stream(sealedStream)
    , direction(way)
    , depth(frames)
{
    thread.reset(QThread::create([this] { work(); }));
    thread->start();
}

FramePipeline::~FramePipeline()
{
    {
        QMutexLocker locked(&lock);
        stopping = true;
        wake.wakeAll();
    }
    thread->wait();
}

FramePipeline::Frame FramePipeline::take(int bytes, bool beyondDepth)
{
    QMutexLocker locked(&lock);
    if (out >= depth && !beyondDepth)
        return {};
    ++out;
    Frame frame;
    if (!spare.isEmpty())
        frame.bytes = spare.takeLast();
    // Grown to the largest frame seen and never shrunk: later frames reuse the memory.
    if (frame.bytes.size() < bytes)
        frame.bytes.resize(bytes);
    return frame;
}

bool FramePipeline::hasRoom() const
{
    QMutexLocker locked(&lock);
    return out < depth;
}

qint64 FramePipeline::pendingBytes() const
{
    QMutexLocker locked(&lock);
    return bytesPending;
}

void FramePipeline::submit(Frame frame)
{
    QMutexLocker locked(&lock);
    bytesPending += frame.size;
    waiting.append(std::move(frame));
    wake.wakeAll();
}

QVector<FramePipeline::Frame> FramePipeline::finished()
{
    QMutexLocker locked(&lock);
    QVector<Frame> taken;
    taken.swap(done);
    return taken;
}

void FramePipeline::recycle(Frame frame)
{
    QMutexLocker locked(&lock);
    --out;
    spare.append(std::move(frame.bytes));
}

void FramePipeline::drain()
{
    QMutexLocker locked(&lock);
    while (!waiting.isEmpty() || busy)
        settled.wait(&lock);
}

void FramePipeline::waitForOne()
{
    QMutexLocker locked(&lock);
    while (done.isEmpty() && (!waiting.isEmpty() || busy))
        settled.wait(&lock);
}

void FramePipeline::work()
{
    for (;;) {
        Frame frame;
        {
            QMutexLocker locked(&lock);
            while (waiting.isEmpty() && !stopping)
                wake.wait(&lock);
            if (stopping)
                return;
            frame = waiting.takeFirst();
            busy = true;
        }
        // The cipher runs outside the lock; only this thread uses this direction of the stream.
        if (direction == Direction::Seal) {
            stream.sealInto(frame.message(), frame.size, frame.message());
            frame.opened = true;
        } else {
            frame.opened = stream.openInPlace(frame.message(), frame.size);
        }
        bool first = false;
        {
            QMutexLocker locked(&lock);
            bytesPending -= frame.size;
            first = done.isEmpty();
            done.append(std::move(frame));
            busy = false;
            settled.wakeAll();
        }
        // One notice for a run of frames: the owner takes all that are done at once.
        if (first)
            QMetaObject::invokeMethod(this, &FramePipeline::ready, Qt::QueuedConnection);
    }
}
