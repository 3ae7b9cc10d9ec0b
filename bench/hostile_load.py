#!/usr/bin/env python3
"""Hostile load against a running bench_web_server on loopback, for bench/hostile_load.sh.

For DURATION seconds at once: normal clients fetching pages and downloading shared files, slow
clients trickling request bodies, slow uploads without a key from several addresses, downloads
reset midway, garbage requests, oversized fields and
headers. Then it waits SETTLE seconds and reports the normal clients' success rate and latency and
the server's resident memory and thread count before, during (peak) and after.

Usage: hostile_load.py PID PORT [--duration 60] [--settle 30] [--normal 4] [--slow 50] [--resets 20]
                        [--garbage 20] [--oversized 5]     (rates per second; 0 leaves a kind out)
                        [--keyless 25] [--keyless-addresses 4] [--keyless-rate 1100]
Loopback only; every loop is bounded by the duration, and every socket has a time-out.
"""

import argparse
import json
import os
import random
import socket
import struct
import threading
import time
from urllib.parse import quote

HOST = "127.0.0.1"
# The normal clients are one device and the attackers another: the server shares its handlers
# out per client address.
NORMAL_SOURCE = "127.0.0.2"
# The phones that cancel their downloads hold the link too, from an address of their own.
CANCELLING_SOURCE = "127.0.0.3"
# Slow uploads without a key come from addresses of their own, 127.0.0.4 on: several devices, so
# that together they could take every handler of the pool.
KEYLESS_SOURCE = "127.0.0.{}"
NORMAL_TIMEOUT_S = 10.0


def process_figures(pid):
    rss_kib = threads = None
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                rss_kib = int(line.split()[1])
            elif line.startswith("Threads:"):
                threads = int(line.split()[1])
    return rss_kib / 1024.0, threads


def connect(port, timeout, source=None):
    sock = socket.create_connection((HOST, port), timeout=timeout, source_address=(source, 0) if source else None)
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return sock


def reset(sock):
    # Linger zero: close() sends a reset, as a phone cancelling a download does.
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()


def get(port, target):
    return f"GET {target} HTTP/1.1\r\nHost: {HOST}:{port}\r\nConnection: close\r\n\r\n".encode()


def exchange(port, request, timeout=NORMAL_TIMEOUT_S):
    """Sends request as a normal client, reads until the server closes; returns (status, body length ok)."""
    deadline = time.monotonic() + timeout
    with connect(port, timeout, NORMAL_SOURCE) as sock:
        sock.sendall(request)
        chunks = []
        while True:
            sock.settimeout(max(0.01, deadline - time.monotonic()))
            data = sock.recv(1 << 20)
            if not data:
                break
            chunks.append(data)
    raw = b"".join(chunks)
    head, _, body = raw.partition(b"\r\n\r\n")
    status = int(head.split(b" ", 2)[1])
    length = None
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip())
    return status, length is None or length == len(body)


class Stats:
    def __init__(self):
        self.lock = threading.Lock()
        self.latencies = []
        self.ok = 0
        self.overloaded = 0
        self.failed = 0
        self.failures = {}
        self.counts = {}
        self.keyless_seconds = []
        self.keyless_body_bytes = 0

    def keyless_held(self, seconds, body_bytes):
        with self.lock:
            self.keyless_seconds.append(seconds)
            self.keyless_body_bytes += body_bytes

    def count(self, what, n=1):
        with self.lock:
            self.counts[what] = self.counts.get(what, 0) + n

    def normal(self, latency, status, complete, error=None):
        with self.lock:
            if error is None and status == 200 and complete:
                self.ok += 1
                self.latencies.append(latency)
            elif error is None and status == 503:
                self.overloaded += 1
            else:
                self.failed += 1
                key = error or f"status {status}" + ("" if complete else ", short body")
                self.failures[key] = self.failures.get(key, 0) + 1


def normal_client(port, stop, stats, seed, keys):
    rng = random.Random(seed)
    listing = json.dumps([{"filename": "small.bin", "size": 102400}, {"filename": "medium.bin", "size": 4194304}])
    # With the keys of the links, as the phone that scanned the codes has them.
    share, receive = keys
    targets = [
        f"/s/{share}",
        f"/list?key={share}&files=" + quote(listing, safe=""),
        f"/file?key={receive}",
        f"/hugefile?key={receive}",
        f"/download/small.bin?key={share}",
        f"/download/medium.bin?key={share}",
        "/nothing-here",
    ]
    while not stop.is_set():
        target = rng.choice(targets)
        start = time.monotonic()
        try:
            status, complete = exchange(port, get(port, target))
            if target == "/nothing-here" and status == 404:
                status = 200  # the not-found page is the right answer there
            stats.normal(time.monotonic() - start, status, complete)
            if status == 503:
                stop.wait(0.1)
        except (OSError, ValueError, IndexError) as error:
            stats.normal(time.monotonic() - start, 0, False, type(error).__name__)
            # A person would not retry in a tight loop either; nor may failures outnumber answers
            # only because they come fast.
            stop.wait(0.1)


def slow_body_client(port, stop, stats):
    """A multipart upload announced as large whose body arrives a byte a second."""
    request = (
        f"POST /file HTTP/1.1\r\nHost: {HOST}\r\nContent-Type: multipart/form-data; boundary=xyz\r\n"
        f"Content-Length: 10000000\r\n\r\n--xyz\r\nContent-Disposition: form-data; name=\"data\"; "
        f"filename=\"slow.bin\"\r\n\r\n"
    ).encode()
    while not stop.is_set():
        try:
            with connect(port, 5) as sock:
                sock.sendall(request)
                stats.count("slow connections opened")
                while not stop.wait(1.0):
                    sock.sendall(b"x")
        except OSError:
            stats.count("slow connections closed by the server")
            stop.wait(0.2)


def slow_keyless_client(port, stop, stats, source, rate):
    """A multipart upload to /file without a key, all of it coming at rate bytes a second: fast
    enough for the server's minimum body rate, far too slow to finish. Starts again once the
    server has answered or closed."""
    tick = 0.1
    piece = b"k" * max(1, int(rate * tick))
    request = (
        f"POST /file HTTP/1.1\r\nHost: {HOST}:{port}\r\nContent-Type: multipart/form-data; boundary=xyz\r\n"
        f"Content-Length: 200000000\r\n\r\n--xyz\r\nContent-Disposition: form-data; name=\"data\"; "
        f"filename=\"keyless.bin\"\r\n\r\n"
    ).encode()
    while not stop.is_set():
        started = time.monotonic()
        answer = b""
        sent = 0
        try:
            with connect(port, 5, source) as sock:
                for offset in range(0, len(request), len(piece)):
                    sock.sendall(request[offset:offset + len(piece)])
                    stop.wait(tick)
                sock.setblocking(False)
                while not stop.is_set():
                    try:
                        data = sock.recv(65536)
                        if not data:
                            break
                        answer += data
                    except BlockingIOError:
                        pass
                    try:
                        sent += sock.send(piece)
                    except BlockingIOError:
                        pass
                    stop.wait(tick)
        except OSError:
            pass  # closed by the server: its answer, if any, is in
        if answer:
            stats.count("slow keyless uploads answered " + answer.split(b"\r\n", 1)[0].decode(errors="replace"))
            stats.keyless_held(time.monotonic() - started, sent)
        elif stop.is_set():
            stats.count("slow keyless uploads still unanswered at the end")
        else:
            stats.count("slow keyless uploads closed without an answer")
        stop.wait(0.2)


def reset_download(port, stats, share):
    try:
        sock = connect(port, 5, CANCELLING_SOURCE)
        sock.sendall(get(port, f"/download/big.bin?key={share}"))
        received = 0
        while received < 256 * 1024:
            data = sock.recv(65536)
            if not data:
                break
            received += len(data)
        reset(sock)
        stats.count("downloads reset midway")
    except OSError:
        stats.count("reset downloads that failed to start")


def resetting_clients(port, stop, stats, per_second, share):
    interval = 1.0 / per_second
    next_start = time.monotonic()
    while not stop.is_set():
        threading.Thread(target=reset_download, args=(port, stats, share), daemon=True).start()
        next_start += interval
        stop.wait(max(0.0, next_start - time.monotonic()))


def garbage_requests(rng):
    return [
        bytes(rng.getrandbits(8) for _ in range(rng.randint(1, 2000))),
        b"GET\r\n\r\n",
        b"GET / HTTP/9.9\r\n\r\n",
        b"\r\n\r\n\r\n\r\n",
        b"POST /hugefile HTTP/1.1\r\nContent-Length: -5\r\n\r\n",
        b"POST /hugefile HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=\r\nContent-Length: 10\r\n\r\n0123456789",
        b"GET /download/%ZZ%00/../../etc/passwd HTTP/1.1\r\n\r\n",
        b"POST /hugefile?action=show&index=zz HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
    ]


def oversized_requests(port):
    big_header = "X-Big: " + "a" * 200000
    many_headers = "".join(f"X-H{i}: v\r\n" for i in range(5000))
    boundary = "b0undary"
    huge_field = (
        f"--{boundary}\r\nContent-Disposition: form-data; name=\"{'n' * 100000}\"\r\n\r\nvalue\r\n"
        f"--{boundary}\r\nContent-Disposition: form-data; name=\"files\"\r\n\r\n{'[' * 50000}\r\n--{boundary}--\r\n"
    )
    return [
        f"GET /{'u' * 300000} HTTP/1.1\r\nHost: x\r\n\r\n".encode(),
        f"GET / HTTP/1.1\r\n{big_header}\r\n\r\n".encode(),
        f"GET / HTTP/1.1\r\n{many_headers}\r\n".encode(),
        f"POST /list HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n".encode(),
        (
            f"POST /list HTTP/1.1\r\nContent-Type: multipart/form-data; boundary={boundary}\r\n"
            f"Content-Length: {len(huge_field)}\r\n\r\n{huge_field}"
        ).encode(),
    ]


def send_hostile(port, request, stats, what):
    try:
        with connect(port, 2) as sock:
            sock.sendall(request)
            sock.settimeout(5)
            while sock.recv(65536):
                pass
        stats.count(what)
    except OSError:
        stats.count(what + " (cut off)")


def hostile_sender(port, stop, stats, per_second, what, make):
    """Starts per_second requests a second, each on its own connection, whatever the answers take."""
    rng = random.Random(what)
    interval = 1.0 / per_second
    next_start = time.monotonic()
    while not stop.is_set():
        request = rng.choice(make(rng))
        threading.Thread(target=send_hostile, args=(port, request, stats, what), daemon=True).start()
        next_start += interval
        stop.wait(max(0.0, next_start - time.monotonic()))


def percentile(values, fraction):
    if not values:
        return float("nan")
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("pid", type=int)
    parser.add_argument("port", type=int)
    parser.add_argument("--duration", type=float, default=60)
    parser.add_argument("--settle", type=float, default=30)
    parser.add_argument("--normal", type=int, default=4)
    parser.add_argument("--slow", type=int, default=50)
    parser.add_argument("--resets", type=float, default=20)
    parser.add_argument("--garbage", type=float, default=20)
    parser.add_argument("--oversized", type=float, default=5)
    # Slow uploads without a key: this many connections from each of so many addresses of their own,
    # each body coming at this many bytes a second.
    parser.add_argument("--keyless", type=int, default=25)
    parser.add_argument("--keyless-addresses", type=int, default=4)
    parser.add_argument("--keyless-rate", type=int, default=1100)
    parser.add_argument("--share-key", required=True)
    parser.add_argument("--receive-key", required=True)
    # The handler pool shrinks back to its minimum at its cleanup, once a minute.
    parser.add_argument("--cleanup", type=float, default=70)
    args = parser.parse_args()
    keys = (args.share_key, args.receive_key)

    rss_before, threads_before = process_figures(args.pid)
    stats = Stats()
    stop = threading.Event()
    workers = [
        threading.Thread(target=normal_client, args=(args.port, stop, stats, i, keys)) for i in range(args.normal)
    ]
    workers += [threading.Thread(target=slow_body_client, args=(args.port, stop, stats)) for _ in range(args.slow)]
    workers += [
        threading.Thread(target=slow_keyless_client,
                         args=(args.port, stop, stats, KEYLESS_SOURCE.format(4 + address), args.keyless_rate))
        for address in range(args.keyless_addresses) for _ in range(args.keyless)
    ]
    senders = [
        (resetting_clients, (args.resets, args.share_key)),
        (hostile_sender, (args.garbage, "garbage requests", garbage_requests)),
        (hostile_sender, (args.oversized, "oversized requests", lambda _rng, made=oversized_requests(args.port): made)),
    ]
    for target, extra in senders:
        if extra[0] > 0:
            workers.append(threading.Thread(target=target, args=(args.port, stop, stats) + extra))
    for worker in workers:
        worker.start()

    rss_peak, threads_peak = rss_before, threads_before
    end = time.monotonic() + args.duration
    while time.monotonic() < end:
        time.sleep(1)
        rss, threads = process_figures(args.pid)
        rss_peak, threads_peak = max(rss_peak, rss), max(threads_peak, threads)
    stop.set()
    for worker in workers:
        worker.join(timeout=15)
    time.sleep(args.settle)
    rss_after, threads_after = process_figures(args.pid)
    time.sleep(max(0.0, args.cleanup - args.settle))
    _, threads_cleaned = process_figures(args.pid)

    total = stats.ok + stats.overloaded + stats.failed
    print(f"normal requests            {total}")
    print(f"  answered 200             {stats.ok} ({100.0 * stats.ok / max(total, 1):.2f} %)")
    print(f"  answered 503 (overload)  {stats.overloaded}")
    print(f"  failed                   {stats.failed} {stats.failures if stats.failures else ''}")
    print(f"  latency p50 / p99 / max  {percentile(stats.latencies, 0.5) * 1000:.0f} / "
          f"{percentile(stats.latencies, 0.99) * 1000:.0f} / {max(stats.latencies, default=float('nan')) * 1000:.0f} ms")
    if stats.keyless_seconds:
        print(f"slow keyless uploads: answered after p50 / max {percentile(stats.keyless_seconds, 0.5) * 1000:.0f} / "
              f"{max(stats.keyless_seconds) * 1000:.0f} ms, {stats.keyless_body_bytes} body bytes sent in all")
    for what, count in sorted(stats.counts.items()):
        print(f"{what:<38} {count}")
    print(f"server resident memory     before {rss_before:.1f} MiB, peak {rss_peak:.1f} MiB, "
          f"{args.settle:.0f} s after {rss_after:.1f} MiB ({rss_after - rss_before:+.1f} MiB)")
    print(f"server threads             before {threads_before}, peak {threads_peak}, "
          f"{args.settle:.0f} s after {threads_after}, {args.cleanup:.0f} s after {threads_cleaned}")


if __name__ == "__main__":
    main()
