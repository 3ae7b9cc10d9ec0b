#pragma once

#include <QIODevice>

// A write-only device that drops everything written to it: where the file part of a request
// that may not upload goes, so that its bytes land nowhere, not even in a temporary file.
class DiscardDevice : public QIODevice
{
    Q_OBJECT

public:
    explicit DiscardDevice(QObject *parent = nullptr);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;
};
