#pragma once

#include <QByteArray>
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QVector>

// Digests of the first bytes of files, which both ends of a resumed transfer compare before the
// held bytes are trusted. Reading a large prefix takes a while: it is done on a worker thread,
// and ready reports the digests in the order asked.
class PrefixDigests : public QObject
{
    Q_OBJECT

public:
    static constexpr int digestBytes = 32;

    struct Prefix
    {
        QString path;
        quint64 bytes;
    };

    explicit PrefixDigests(QObject *parent = nullptr);
    ~PrefixDigests() override;

    // BLAKE2b-256 of the first bytes of the file at path; an empty array when the file is
    // shorter or cannot be read.
    static QByteArray digest(const QString &path, quint64 bytes);
    void start(QVector<Prefix> prefixes);

signals:
    void ready(QVector<QByteArray> digests);

private:
    QFutureWatcher<QVector<QByteArray>> watcher;
};
