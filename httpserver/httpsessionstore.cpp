#include "httpsessionstore.h"

#include "httpserver/annotatedlocker.h"
#include "httpserver/httpcookie.h"
#include "httpserver/httplogging.h"
#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"

#include <QDateTime>
#include <QSettings>

namespace tarsel {

namespace {
constexpr int cleanupIntervalMs = 60000;
}

HttpSessionStore::HttpSessionStore(const QSettings *settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
{
    connect(&m_cleanupTimer, &QTimer::timeout, this, &HttpSessionStore::sessionTimerEvent);
    m_cleanupTimer.start(cleanupIntervalMs);
    m_cookieName = settings->value(QStringLiteral("cookieName"), QStringLiteral("sessionid")).toByteArray();
    m_expirationTime = settings->value(QStringLiteral("expirationTime"), 3600000).toInt();
    qCDebug(lcHttp, "HttpSessionStore: Sessions expire after %i milliseconds", m_expirationTime);
}

HttpSessionStore::~HttpSessionStore()
{
    m_cleanupTimer.stop();
}

// Called with the mutex held.
QByteArray HttpSessionStore::lookupSessionId(HttpRequest &request, HttpResponse &response) const
{
    // A cookie issued earlier during this request wins over the one the browser sent.
    QByteArray id = response.cookies().value(m_cookieName).value();
    if (id.isEmpty())
        id = request.cookie(m_cookieName);
    if (!id.isEmpty() && !m_sessions.contains(id)) {
        qCDebug(lcHttp, "HttpSessionStore: received invalid session cookie with ID %s", id.constData());
        id.clear();
    }
    return id;
}

void HttpSessionStore::setSessionCookie(HttpResponse &response, const QByteArray &id) const
{
    // The cookie attributes are read afresh for every cookie issued.
    response.setCookie(HttpCookie(m_cookieName, id, m_expirationTime / 1000,
        m_settings->value(QStringLiteral("cookiePath")).toByteArray(),
        m_settings->value(QStringLiteral("cookieComment")).toByteArray(),
        m_settings->value(QStringLiteral("cookieDomain")).toByteArray(), false, false, QByteArrayLiteral("Lax")));
}

QByteArray HttpSessionStore::sessionId(HttpRequest &request, HttpResponse &response)
{
    MutexLocker locker(&m_mutex);
    return lookupSessionId(request, response);
}

HttpSession HttpSessionStore::getSession(HttpRequest &request, HttpResponse &response, bool allowCreate)
{
    MutexLocker locker(&m_mutex);
    const QByteArray id = lookupSessionId(request, response);
    if (!id.isEmpty()) {
        HttpSession session = m_sessions.value(id);
        if (!session.isNull()) {
            setSessionCookie(response, id);
            session.setLastAccess();
            return session;
        }
    }
    if (!allowCreate)
        return HttpSession();
    HttpSession session(true);
    qCDebug(lcHttp, "HttpSessionStore: create new session with ID %s", session.id().constData());
    m_sessions.insert(session.id(), session);
    setSessionCookie(response, session.id());
    return session;
}

HttpSession HttpSessionStore::getSession(const QByteArray &id)
{
    MutexLocker locker(&m_mutex);
    HttpSession session = m_sessions.value(id);
    if (!session.isNull())
        session.setLastAccess();
    return session;
}

void HttpSessionStore::sessionTimerEvent()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QList<QByteArray> expired;
    {
        MutexLocker locker(&m_mutex);
        for (auto it = m_sessions.begin(); it != m_sessions.end();) {
            if (now - it.value().lastAccess() > m_expirationTime) {
                qCDebug(lcHttp, "HttpSessionStore: session %s expired", it.key().constData());
                expired.append(it.key());
                it = m_sessions.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Emitted without the lock, so that a receiver may use the store again.
    for (const QByteArray &id : expired)
        emit sessionDeleted(id);
}

} // namespace tarsel
