#pragma once

#include "httpserver/httpsession.h"

#include <QByteArray>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QTimer>

class QSettings;

namespace tarsel {

class HttpRequest;
class HttpResponse;

// Server-side sessions keyed by a random id that travels in a cookie ("cookieName", default
// "sessionid"). Sessions untouched for "expirationTime" milliseconds are dropped by a timer.
// Shared by all connection threads.
class HttpSessionStore : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(HttpSessionStore)

public:
    // settings is not owned and must outlive the store.
    explicit HttpSessionStore(const QSettings *settings, QObject *parent = nullptr);
    ~HttpSessionStore() override;

    // The id of a stored session named by the response's or the request's cookie, else empty.
    QByteArray sessionId(HttpRequest &request, HttpResponse &response);
    // The request's session, with its cookie set on the response; a new one when there is none
    // and allowCreate is true, otherwise a null session.
    HttpSession getSession(HttpRequest &request, HttpResponse &response, bool allowCreate = true);
    // The stored session of that id, or a null session.
    HttpSession getSession(const QByteArray &id);

signals:
    void sessionDeleted(const QByteArray &sessionId);

private slots:
    void sessionTimerEvent();

private:
    QByteArray lookupSessionId(HttpRequest &request, HttpResponse &response) const;
    void setSessionCookie(HttpResponse &response, const QByteArray &id) const;

    const QSettings *m_settings;
    QMap<QByteArray, HttpSession> m_sessions;
    QTimer m_cleanupTimer;
    QByteArray m_cookieName;
    int m_expirationTime;
    QMutex m_mutex;
};

} // namespace tarsel
