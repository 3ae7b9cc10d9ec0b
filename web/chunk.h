#pragma once

#include <QObject>
#include <QString>

// One chunk of a chunked upload, as appended to its upload's partial file.
class Chunk : public QObject
{
    Q_OBJECT

public:
    Chunk(quint32 index, const QString &fileName, qint64 size, QObject *parent = nullptr);

    quint32 index() const { return m_index; }
    QString fileName() const { return m_fileName; }
    qint64 size() const { return m_size; }

private:
    quint32 m_index;
    QString m_fileName;
    qint64 m_size;
};
