"""Python's http.client against the test server: keep-alive, chunked, forms, redirect, cookies."""
import http.client
import socket
import sys

host, port = sys.argv[1], int(sys.argv[2])


def check(condition, message):
    if not condition:
        print("FAIL:", message)
        sys.exit(1)


conn = http.client.HTTPConnection(host, port, timeout=10)
conn.request("GET", "/length")
first = conn.getresponse()
check(first.status == 200 and first.getheader("Content-Length") == "3", "length headers")
check(first.read() == b"abc", "length body")
sock = conn.sock

conn.request("GET", "/chunked")
response = conn.getresponse()
check(response.chunked, "chunked response not chunked")
check(response.read() == b"abcde", "chunked body")

conn.request("POST", "/echo", body="x=posted+value%21",
             headers={"Content-Type": "application/x-www-form-urlencoded"})
check(conn.getresponse().read() == b"posted value!", "form body")

conn.request("GET", "/redirect")
response = conn.getresponse()
check(response.status == 303 and response.reason == "See Other", "redirect status")
check(response.getheader("Location") == "/x" and response.read() == b"Redirect", "redirect location")

conn.request("GET", "/headers")
response = conn.getresponse()
response.read()
check(response.msg.get_all("Set-Cookie") == ["a=2; Max-Age=60; Path=/; Version=1", "s=1; Version=1"], "cookies")

conn.request("GET", "/nothing")
response = conn.getresponse()
check(response.status == 200 and response.read() == b"", "empty response")

conn.request("GET", "/stream?n=250000")
check(conn.getresponse().read() == b"x" * 250000, "streamed body")
check(conn.sock is sock, "connection was not kept alive")

conn.request("GET", "/raw")
response = conn.getresponse()
check(response.read() == b"abcde", "raw body")
check(response.will_close, "raw response should close")
conn.close()

# Two pipelined requests in one packet come back in order.
with socket.create_connection((host, port), timeout=10) as raw:
    raw.sendall(b"GET /echo?x=one HTTP/1.1\r\n\r\nGET /echo?x=two HTTP/1.1\r\nConnection: close\r\n\r\n")
    data = b""
    while True:
        part = raw.recv(65536)
        if not part:
            break
        data += part
check(data == b"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\none"
      b"HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 3\r\n\r\ntwo", "pipelined: %r" % data)
print("python http.client passed")
