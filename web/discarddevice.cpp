#include "discarddevice.h"

DiscardDevice::DiscardDevice(QObject *parent)
    : QIODevice(parent)
{
    open(QIODevice::WriteOnly);
}

qint64 DiscardDevice::readData(char *, qint64)
{
    return -1;
}

qint64 DiscardDevice::writeData(const char *, qint64 size)
{
    return size;
}
