#include "httpsession.h"

#include "httpserver/annotatedlocker.h"
#include "httpserver/httplogging.h"

#include <QDateTime>
#include <QUuid>

namespace tarsel {

HttpSession::HttpSession(bool canStore)
{
    if (canStore) {
        dataPtr = new HttpSessionData;
        dataPtr->refCount = 1;
        dataPtr->lastAccess = QDateTime::currentMSecsSinceEpoch();
        dataPtr->id = QUuid::createUuid().toString().toLocal8Bit();
    }
}

HttpSession::HttpSession(const HttpSession &other)
    : dataPtr(other.dataPtr)
{
    if (dataPtr) {
        WriteLocker locker(&dataPtr->lock);
        ++dataPtr->refCount;
    }
}

HttpSession &HttpSession::operator=(const HttpSession &other)
{
    if (other.dataPtr == dataPtr)
        return *this;
    // Take the new reference before dropping the old one.
    if (other.dataPtr) {
        WriteLocker locker(&other.dataPtr->lock);
        ++other.dataPtr->refCount;
    }
    HttpSessionData *old = dataPtr;
    dataPtr = other.dataPtr;
    if (old && release(old))
        qCDebug(lcHttp, "HttpSession: deleting old data");
    return *this;
}

HttpSession::~HttpSession()
{
    if (dataPtr && release(dataPtr))
        qCDebug(lcHttp, "HttpSession: deleting data");
}

bool HttpSession::release(HttpSessionData *data)
{
    int remaining;
    {
        WriteLocker locker(&data->lock);
        remaining = --data->refCount;
    }
    // Only the handle that brought the count to 0 gets here, so nobody else holds the lock.
    if (remaining == 0) {
        delete data;
        return true;
    }
    return false;
}

QByteArray HttpSession::id() const
{
    return dataPtr ? dataPtr->id : QByteArray();
}

bool HttpSession::isNull() const
{
    return dataPtr == nullptr;
}

void HttpSession::set(const QByteArray &key, const QVariant &value)
{
    if (dataPtr) {
        WriteLocker locker(&dataPtr->lock);
        dataPtr->values.insert(key, value);
    }
}

void HttpSession::remove(const QByteArray &key)
{
    if (dataPtr) {
        WriteLocker locker(&dataPtr->lock);
        dataPtr->values.remove(key);
    }
}

QVariant HttpSession::get(const QByteArray &key) const
{
    if (!dataPtr)
        return QVariant();
    ReadLocker locker(&dataPtr->lock);
    return dataPtr->values.value(key);
}

bool HttpSession::contains(const QByteArray &key) const
{
    if (!dataPtr)
        return false;
    ReadLocker locker(&dataPtr->lock);
    return dataPtr->values.contains(key);
}

qint64 HttpSession::lastAccess() const
{
    if (!dataPtr)
        return 0;
    ReadLocker locker(&dataPtr->lock);
    return dataPtr->lastAccess;
}

void HttpSession::setLastAccess()
{
    if (dataPtr) {
        WriteLocker locker(&dataPtr->lock);
        dataPtr->lastAccess = QDateTime::currentMSecsSinceEpoch();
    }
}

} // namespace tarsel
