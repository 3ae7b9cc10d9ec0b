#pragma once

#include <QObject>

namespace tarsel {

class HttpRequest;
class HttpResponse;

// Base of every controller. One object serves all connections: service() runs in the
// connection's own thread, several calls at once, so subclasses keep no per-request state in
// the object without their own locking.
class HttpRequestHandler : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(HttpRequestHandler)

public:
    explicit HttpRequestHandler(QObject *parent = nullptr);
    ~HttpRequestHandler() override;

    // Called once per complete request. The base answers 501.
    virtual void service(HttpRequest &request, HttpResponse &response);
};

} // namespace tarsel
