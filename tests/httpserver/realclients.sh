#!/usr/bin/env bash
# Real HTTP clients against the test server: curl (keep-alive, chunked, HTTP/1.0, a 100 MB
# multipart upload) and Python's http.client. Usage: realclients.sh <httptestserver> curl|python
set -euo pipefail
server=$1
client=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pid=
cleanup()
{
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

"$server" maxMultiPartSize=5368709120 readTimeout=10000 >"$work/server.out" 2>"$work/server.err" &
pid=$!
for _ in $(seq 200); do
    grep -q '^port ' "$work/server.out" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || { cat "$work/server.err"; echo "server did not start"; exit 1; }
    sleep 0.05
done
port=$(sed -n 's/^port //p' "$work/server.out")
[ -n "$port" ] || { echo "server did not report its port"; exit 1; }
base="http://127.0.0.1:$port"

fail()
{
    echo "FAIL: $*"
    exit 1
}

# A sanitizer report in the server fails the test even when every answer was right.
check_server()
{
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=
    if grep -qE 'Sanitizer|runtime error' "$work/server.err"; then
        cat "$work/server.err"
        fail "the server reported a sanitizer error"
    fi
}

if [ "$client" = python ]; then
    python3 "$here/realclients.py" 127.0.0.1 "$port"
    check_server
    exit
fi

curl_=(curl --noproxy '*' -sS)

# Keep-alive: three requests, one connection (curl counts new connections per transfer).
out=$("${curl_[@]}" -w '[%{num_connects}]' "$base/echo?x=1" "$base/length" "$base/echo?x=3")
[ "$out" = "1[1]abc[0]3[0]" ] || fail "keep-alive sequence gave '$out'"

# Chunked responses, small and streamed.
out=$("${curl_[@]}" -D "$work/headers" "$base/chunked")
[ "$out" = abcde ] || fail "chunked body '$out'"
grep -qi '^Transfer-Encoding: chunked' "$work/headers" || fail "no chunked encoding: $(cat "$work/headers")"
size=$("${curl_[@]}" "$base/stream?n=3000000" | wc -c)
[ "$size" -eq 3000000 ] || fail "streamed body of $size bytes"

# HTTP/1.0 gets the body raw and the connection closed.
out=$("${curl_[@]}" -0 -D "$work/headers10" "$base/chunked")
[ "$out" = abcde ] || fail "HTTP/1.0 body '$out'"
grep -qi '^Connection: close' "$work/headers10" || fail "HTTP/1.0 not closed: $(cat "$work/headers10")"
! grep -qi '^Transfer-Encoding' "$work/headers10" || fail "HTTP/1.0 response was chunked"

# A 100 MB file uploaded with -F arrives byte for byte.
head -c 100000000 /dev/urandom >"$work/big upload.bin"
expected="$(sha256sum "$work/big upload.bin" | cut -d' ' -f1) 100000000 big upload.bin hello"
out=$("${curl_[@]}" -F "file=@$work/big upload.bin" -F note=hello "$base/upload")
[ "$out" = "$expected" ] || fail "upload answered '$out', expected '$expected'"

# curl announces "Expect: 100-continue" for a body over 1 MiB and holds the body back until the
# interim answer comes (or until it gives up waiting): the answer must come before any body byte.
head -c 2000000 /dev/urandom >"$work/expect.bin"
out=$("${curl_[@]}" --trace-ascii "$work/trace" -F "file=@$work/expect.bin" "$base/upload")
[ "$out" = "$(sha256sum "$work/expect.bin" | cut -d' ' -f1) 2000000 expect.bin " ] || fail "expect upload answered '$out'"
grep -q 'Expect: 100-continue' "$work/trace" || fail "curl sent no Expect header"
continue_at=$(grep -n -m1 'HTTP/1.1 100 Continue' "$work/trace" | cut -d: -f1)
send_at=$(grep -n -m1 '^=> Send data' "$work/trace" | cut -d: -f1)
[ -n "$continue_at" ] && [ -n "$send_at" ] && [ "$continue_at" -lt "$send_at" ] ||
    fail "no 100 Continue before the body (100 at line '$continue_at', first data at line '$send_at')"

# Too large for a plain request: the 413 text, exactly.
out=$("${curl_[@]}" -i --data-binary "@$work/big upload.bin" -H 'Content-Type: text/plain' "$base/echo" | tr -d '\r' || true)
[ "$out" = "$(printf 'HTTP/1.1 413 entity too large\nConnection: close\n\n413 Entity too large')" ] \
    || fail "oversized plain body answered '$out'"
check_server
echo "curl clients passed"
