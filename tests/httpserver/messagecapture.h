#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Records every message of the Qt message logger while it exists, from any thread, so that a
// test can count log lines (a "trying file" line means the disk was touched). Messages other
// than debug lines are passed on to the previous handler as well.
class MessageCapture
{
public:
    MessageCapture()
    {
        QMutexLocker locker(&mutex());
        instance() = this;
        previous = qInstallMessageHandler(&MessageCapture::handle);
    }
    ~MessageCapture()
    {
        QMutexLocker locker(&mutex());
        qInstallMessageHandler(previous);
        instance() = nullptr;
    }

    // Number of recorded messages that start with prefix.
    int count(const QString &prefix) const
    {
        QMutexLocker locker(&mutex());
        int n = 0;
        for (const QString &message : messages) {
            if (message.startsWith(prefix))
                ++n;
        }
        return n;
    }
    QStringList all() const
    {
        QMutexLocker locker(&mutex());
        return messages;
    }
    void clear()
    {
        QMutexLocker locker(&mutex());
        messages.clear();
    }

private:
    static QMutex &mutex()
    {
        static QMutex m;
        return m;
    }
    static MessageCapture *&instance()
    {
        static MessageCapture *current = nullptr;
        return current;
    }
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        QtMessageHandler forward = nullptr;
        {
            QMutexLocker locker(&mutex());
            if (MessageCapture *capture = instance()) {
                capture->messages.append(message);
                if (type != QtDebugMsg)
                    forward = capture->previous;
            }
        }
        if (forward)
            forward(type, context, message);
    }

    QtMessageHandler previous = nullptr;
    QStringList messages;
};
