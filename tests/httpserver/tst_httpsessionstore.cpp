#include "httpserver/httplistener.h"
#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"
#include "httpserver/httpsessionstore.h"
#include "tests/httpserver/responsereader.h"
#include "tests/httpserver/testhandler.h"
#include "tests/support/testmain.h"

#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>

#include <memory>

using tarsel::HttpListener;
using tarsel::HttpRequest;
using tarsel::HttpResponse;
using tarsel::HttpSession;
using tarsel::HttpSessionStore;

namespace {

constexpr int responseTimeoutMs = 20000;

// Answers with the id of the request's session, or "null"; "?create=no" forbids creating one.
// Every request also counts its visits in the session.
class SessionHandler : public tarsel::HttpRequestHandler
{
public:
    explicit SessionHandler(HttpSessionStore *sessionStore)
        : store(sessionStore)
    {
    }
    void service(HttpRequest &request, HttpResponse &response) override
    {
        HttpSession session = store->getSession(request, response, request.parameter("create") != "no");
        if (session.isNull()) {
            response.write("null", true);
            return;
        }
        session.set("visits", session.get("visits").toInt() + 1);
        response.write(session.id(), true);
    }

private:
    HttpSessionStore *store;
};

} // namespace

class TestHttpSessionStore : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void issuesCookieForNewSession_data();
    void issuesCookieForNewSession();
    void keepsKnownSession();
    void treatsUnknownIdAsNone_data();
    void treatsUnknownIdAsNone();
    void expiresUntouchedSessions();
    void keepsSessionsWithinExpirationTime();

private:
    void start(const QVariantMap &storeValues = {});
    ParsedResponse fetchOnce(const QByteArray &request);

    std::unique_ptr<httptest::TestSettings> storeSettings;
    std::unique_ptr<HttpSessionStore> store;
    std::unique_ptr<SessionHandler> handler;
    std::unique_ptr<httptest::TestSettings> listenerSettings;
    std::unique_ptr<HttpListener> listener;
};

void TestHttpSessionStore::cleanup()
{
    listener.reset();
    handler.reset();
    store.reset();
    listenerSettings.reset();
    storeSettings.reset();
}

void TestHttpSessionStore::start(const QVariantMap &storeValues)
{
    storeSettings = std::make_unique<httptest::TestSettings>(storeValues);
    store = std::make_unique<HttpSessionStore>(storeSettings->settings());
    handler = std::make_unique<SessionHandler>(store.get());
    listenerSettings = std::make_unique<httptest::TestSettings>();
    listener = std::make_unique<HttpListener>(listenerSettings->settings(), handler.get());
    QVERIFY(listener->isListening());
}

ParsedResponse TestHttpSessionStore::fetchOnce(const QByteArray &request)
{
    httptest::Client client(listener->serverPort());
    client.send(request);
    ParsedResponse response;
    int offset = 0;
    if (!QTest::qWaitFor(
            [&] { return readResponse(client.received, client.closed, &offset, &response); }, responseTimeoutMs))
        qWarning("no complete response to %s", request.constData());
    return response;
}

static QByteArray get(const QByteArray &target, const QByteArray &cookie = {})
{
    return "GET " + target + " HTTP/1.1\r\nHost: localhost\r\n" + (cookie.isEmpty() ? "" : "Cookie: " + cookie + "\r\n")
        + "\r\n";
}

void TestHttpSessionStore::issuesCookieForNewSession_data()
{
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<QString>("cookie");

    QTest::addRow("defaults") << QVariantMap {} << "sessionid=%1; Max-Age=3600; SameSite=Lax; Version=1";
    QTest::addRow("configured") << QVariantMap { { "cookieName", "sid" }, { "expirationTime", 90000 },
        { "cookiePath", "/app" }, { "cookieComment", "login" }, { "cookieDomain", "example.test" } }
                                << "sid=%1; Comment=login; Domain=example.test; Max-Age=90; Path=/app; SameSite=Lax; "
                                   "Version=1";
}

void TestHttpSessionStore::issuesCookieForNewSession()
{
    QFETCH(QVariantMap, settings);
    QFETCH(QString, cookie);

    start(settings);
    const ParsedResponse response = fetchOnce(get("/"));
    QCOMPARE(response.status, 200);
    const QByteArray id = response.body;
    QVERIFY2(QRegularExpression(QStringLiteral("^\\{[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}\\}$"))
                 .match(QString::fromLatin1(id))
                 .hasMatch(),
        id.constData());
    QCOMPARE(response.setCookies, QList<QByteArray> { cookie.arg(QString::fromLatin1(id)).toLatin1() });

    const HttpSession session = store->getSession(id);
    QVERIFY(!session.isNull());
    QCOMPARE(session.id(), id);
    QCOMPARE(session.get("visits").toInt(), 1);

    // Each browser gets a session of its own.
    const QByteArray otherId = fetchOnce(get("/")).body;
    QVERIFY(!otherId.isEmpty());
    QVERIFY(otherId != id);
}

void TestHttpSessionStore::keepsKnownSession()
{
    start();
    const QByteArray id = fetchOnce(get("/")).body;
    const qint64 created = store->getSession(id).lastAccess();
    QTRY_VERIFY(QDateTime::currentMSecsSinceEpoch() > created);

    const ParsedResponse response = fetchOnce(get("/", "theme=dark; sessionid=" + id));
    QCOMPARE(response.body, id);
    QCOMPARE(response.setCookies.size(), 1);
    QVERIFY(response.setCookies.first().startsWith("sessionid=" + id + ";"));
    const HttpSession session = store->getSession(id);
    QCOMPARE(session.get("visits").toInt(), 2);
    QVERIFY(session.lastAccess() > created);
}

void TestHttpSessionStore::treatsUnknownIdAsNone_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<bool>("created");

    QTest::addRow("creating") << QByteArray("/") << true;
    QTest::addRow("not creating") << QByteArray("/?create=no") << false;
}

void TestHttpSessionStore::treatsUnknownIdAsNone()
{
    QFETCH(QByteArray, target);
    QFETCH(bool, created);

    start();
    const QByteArray unknown = "{00000000-0000-4000-8000-000000000000}";
    httptest::LogCapture log;
    const ParsedResponse response = fetchOnce(get(target, "sessionid=" + unknown));
    QCOMPARE(log.count("HttpSessionStore: received invalid session cookie with ID " + unknown), 1);
    QVERIFY(response.body != unknown);
    QVERIFY(store->getSession(unknown).isNull());
    if (created) {
        QVERIFY(!store->getSession(response.body).isNull());
        QCOMPARE(response.setCookies.size(), 1);
        QVERIFY(response.setCookies.first().startsWith("sessionid=" + response.body + ";"));
    } else {
        QCOMPARE(response.body, QByteArray("null"));
        QVERIFY(response.setCookies.isEmpty());
    }
}

// The cleanup runs once a minute; the test calls it directly rather than waiting for it.
void TestHttpSessionStore::expiresUntouchedSessions()
{
    start({ { "expirationTime", 1 } });
    QSignalSpy deleted(store.get(), &HttpSessionStore::sessionDeleted);
    const QByteArray id = fetchOnce(get("/")).body;
    HttpSession handle = store->getSession(id);
    QVERIFY(!handle.isNull());

    QTRY_VERIFY((QMetaObject::invokeMethod(store.get(), "sessionTimerEvent"), deleted.count() == 1));
    QCOMPARE(deleted.first().first().toByteArray(), id);
    QVERIFY(store->getSession(id).isNull());
    // A handle still in use keeps its data.
    QCOMPARE(handle.get("visits").toInt(), 1);

    // The browser's old cookie now names no session.
    const QByteArray newId = fetchOnce(get("/", "sessionid=" + id)).body;
    QVERIFY(newId != id);
    QVERIFY(!store->getSession(newId).isNull());
}

void TestHttpSessionStore::keepsSessionsWithinExpirationTime()
{
    start();
    QSignalSpy deleted(store.get(), &HttpSessionStore::sessionDeleted);
    const QByteArray id = fetchOnce(get("/")).body;
    QVERIFY(QMetaObject::invokeMethod(store.get(), "sessionTimerEvent"));
    QCOMPARE(deleted.count(), 0);
    QVERIFY(!store->getSession(id).isNull());
}

ORVEX_TEST_MAIN(TestHttpSessionStore)
#include "tst_httpsessionstore.moc"
