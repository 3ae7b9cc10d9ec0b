#pragma once

#include <QObject>

class QIODevice;

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

    // Called in the connection's thread once the request line and headers of a request with a
    // body have arrived, before any of the body is read and before "100 Continue" is sent. A
    // handler that refuses the request writes its whole answer to response and returns false:
    // the connection is then closed without reading the body, so a client that may not send
    // one cannot hold the connection's thread with it. The base accepts every body.
    virtual bool acceptsBody(HttpRequest &request, HttpResponse &response);

    // Called in the connection's thread when the data of a multipart file part is about to
    // arrive; the request line, the headers and the form fields sent before this part are known.
    // A handler that wants the bytes straight at their destination, rather than copied there
    // from a temporary file afterwards, returns a device open for writing. The request writes
    // the part's data to it (a failed write aborts the request), owns it, and hands it to
    // service() through uploadedDevice(). A request that ends before service() (cut off,
    // aborted) deletes the device unseen, so the device must undo its writes unless service()
    // has accepted them. The base returns null: the data goes to a temporary file. May run in
    // several threads at once, like service().
    virtual QIODevice *uploadDevice(const HttpRequest &request, const QByteArray &fieldName);

    // The same for a body that is not multipart, asked once the header block of a request with
    // such a body has arrived (before acceptsBody()); the query's parameters are known. With a
    // device the body may be as large as multipart bodies (not only "maxRequestSize"); the
    // request writes all of it there and hands the device to service() through bodyDevice().
    // A FileBodyDevice may get the bytes straight from the socket by the kernel. The base
    // returns null: the body is kept in memory.
    virtual QIODevice *bodyDevice(const HttpRequest &request);
};

} // namespace tarsel
