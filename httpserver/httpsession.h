#pragma once

#include <QByteArray>
#include <QMap>
#include <QReadWriteLock>
#include <QVariant>

namespace tarsel {

// Handle to one server-side session; copies share the same data, which lives until the last
// handle is gone. A default-constructed handle is a null session on which every operation does
// nothing or returns an empty result. Handles may be used from several threads.
class HttpSession
{
public:
    // With canStore true, creates a new session with a fresh random id.
    explicit HttpSession(bool canStore = false);
    HttpSession(const HttpSession &other);
    HttpSession &operator=(const HttpSession &other);
    virtual ~HttpSession();

    QByteArray id() const;
    bool isNull() const;

    void set(const QByteArray &key, const QVariant &value);
    void remove(const QByteArray &key);
    // An invalid variant when the key is absent.
    QVariant get(const QByteArray &key) const;
    bool contains(const QByteArray &key) const;

    // Milliseconds since the epoch; 0 for a null session.
    qint64 lastAccess() const;
    void setLastAccess();

private:
    struct HttpSessionData
    {
        QByteArray id;
        qint64 lastAccess = 0;
        int refCount = 0;
        QReadWriteLock lock;
        QMap<QByteArray, QVariant> values;
    };

    // Drops this handle's reference; returns true when the data is gone with it.
    static bool release(HttpSessionData *data);

    HttpSessionData *dataPtr = nullptr;
};

} // namespace tarsel
