#!/usr/bin/python3
"""Load and fault test of kedo serve on 127.0.0.1.

Sends N requests at a given concurrency, mixing good recordings, bad audio,
oversized bodies and empty sentences; checks that every request gets its
right answer (status and kind) and none is lost; that the memory of the
process after the run is within 10 % of its memory after the first 50
requests; that /api/health still answers; then fuzzes the service with
malformed multipart bodies and headers and checks that it still answers.
Prints throughput and p50/p95 latency.

Usage: load_test.py KEDO_BINARY SOURCE_DIR [--requests N] [--concurrency C]
                    [--workers W] [--fuzz F]
"""
import argparse
import http.client
import os
import random
import re
import shutil
import signal
import socket
import tempfile
import time
import sys
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from kedo_serve import start_service  # noqa: E402

SENTENCE = "i like to read a good book"
MAX_BODY_MB = 1


def multipart(fields, boundary="kedoLoadBoundary"):
    out = b""
    for name, value, filename in fields:
        disp = 'form-data; name="%s"' % name + ('; filename="%s"' % filename if filename else "")
        out += b"--" + boundary.encode() + b"\r\nContent-Disposition: " + disp.encode() + b"\r\n"
        if filename:
            out += b"Content-Type: application/octet-stream\r\n"
        out += b"\r\n" + value + b"\r\n"
    return out + b"--" + boundary.encode() + b"--\r\n", "multipart/form-data; boundary=" + boundary


def rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))


def request(port, body, ctype, path="/api/assess"):
    t = time.monotonic()
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=120)
    try:
        conn.request("POST", path, body=body, headers={"Content-Type": ctype})
        res = conn.getresponse()
        data = res.read().decode("utf-8", "replace")
        return res.status, data, time.monotonic() - t
    except (ConnectionResetError, BrokenPipeError) as e:
        return -1, str(e), time.monotonic() - t
    finally:
        conn.close()


def cases(source):
    wav = open(os.path.join(source, "tests", "data", "toy", "kedoData", "samples", "english.wav"), "rb").read()
    good = multipart([("audio", wav, "take.wav"), ("sentence", SENTENCE.encode(), None), ("lang", b"en", None)])
    bad = multipart([("audio", b"RIFF\x10\x00\x00\x00WAVEjunk" * 20, "bad.wav"),
                     ("sentence", SENTENCE.encode(), None)])
    big = multipart([("audio", os.urandom(MAX_BODY_MB * 1024 * 1024 + 4096), "big.webm"),
                     ("sentence", SENTENCE.encode(), None)])
    empty = multipart([("audio", wav, "take.wav"), ("sentence", b"  ", None)])
    # (name, body, content type, expected status, expected kind, weight)
    return [("good", good[0], good[1], 200, None, 6), ("bad audio", bad[0], bad[1], 400, "bad_audio", 2),
            ("oversized", big[0], big[1], 413, "too_large", 1), ("empty sentence", empty[0], empty[1], 400,
                                                                   "bad_input", 1)]


def check(kind, status, body, want_status, want_kind):
    if status != want_status:
        return "%s: status %d, wanted %d: %s" % (kind, status, want_status, body[:200])
    if want_kind and '"kind":"%s"' % want_kind not in body:
        return "%s: kind missing in %s" % (kind, body[:200])
    if want_status == 200 and '"words": [{"text": "i"' not in body:
        return "%s: no words in %s" % (kind, body[:200])
    return None


def fuzz(port, rounds, seed):
    rng = random.Random(seed)
    heads = [b"POST /api/assess HTTP/1.1\r\nHost: x\r\n", b"POST /api/recog HTTP/1.1\r\nHost: x\r\n",
             b"GET /api/health HTTP/1.1\r\n", b"POST / HTTP/1.0\r\n", b"\x00\xff garbage\r\n"]
    types = [b"multipart/form-data; boundary=abc", b"multipart/form-data", b"multipart/form-data; boundary=",
             b"multipart/form-data; boundary=" + b"a" * 5000, b"text/plain", b""]
    parts = [b"--abc\r\nContent-Disposition: form-data; name=\"audio\"; filename=\"../../x\"\r\n\r\nRIFF\r\n",
             b"--abc\r\nContent-Disposition: form-data\r\n\r\n", b"--abc--\r\n", b"--abc\r\n\r\n\r\n",
             b"--abc\r\nContent-Disposition: form-data; name=\"sentence\"\r\n\r\nhello\r\n", b"\r\n" * 50,
             os.urandom(64), b"--abc\r\nContent-Disposition: form-data; name=\"audio\"; filename=\"a\"\r\n"]
    for _ in range(rounds):
        body = b"".join(rng.choice(parts) for _ in range(rng.randint(0, 6)))
        length = rng.choice([len(body), len(body) + 10, max(0, len(body) - 3), 99999999999, -1])
        head = rng.choice(heads) + b"Content-Type: " + rng.choice(types) + b"\r\n"
        if rng.random() < 0.5:
            head += b"Content-Length: " + str(length).encode() + b"\r\n"
        if rng.random() < 0.2:
            head += b"Transfer-Encoding: chunked\r\n"
        if rng.random() < 0.2:
            head += b"X-Long: " + b"y" * rng.randint(1, 20000) + b"\r\n"
        data = head + b"\r\n" + body
        if rng.random() < 0.3:
            data = data[: rng.randint(0, len(data))]
        s = socket.create_connection(("127.0.0.1", port), timeout=10)
        try:
            s.sendall(data)
            s.shutdown(socket.SHUT_WR)
            while s.recv(65536):
                pass
        except OSError:
            pass
        finally:
            s.close()


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(round(p / 100 * (len(values) - 1))))]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("kedo")
    ap.add_argument("source")
    ap.add_argument("--requests", type=int, default=500)
    ap.add_argument("--concurrency", type=int, default=8)
    ap.add_argument("--workers", type=int, default=1)
    ap.add_argument("--fuzz", type=int, default=300)
    args = ap.parse_args()
    work = tempfile.mkdtemp(prefix="kedo-load-")
    proc, port, log = start_service(args.kedo, args.source, work, "--workers", str(args.workers), "--max-queue",
                                    "8", "--max-body-mb", str(MAX_BODY_MB), "--max-seconds", "10", "--timeout", "5")
    failures = []
    try:
        kinds = cases(args.source)
        rng = random.Random(18)
        plan = [rng.choices(kinds, weights=[k[5] for k in kinds])[0] for _ in range(args.requests)]
        results = [None] * len(plan)
        memory = {}

        def one(i):
            name, body, ctype, want, kind, _ = plan[i]
            status, text, seconds = request(port, body, ctype)
            # An oversized body may be cut off before its answer is read.
            if name == "oversized" and status == -1:
                status, text = 413, '"kind":"too_large"'
            results[i] = (name, status, seconds, check(name, status, text, want, kind))

        first = min(50, len(plan))
        with ThreadPoolExecutor(args.concurrency) as pool:
            list(pool.map(one, range(first)))
        memory["after first"] = rss_kb(proc.pid)
        start_time = time.monotonic()
        with ThreadPoolExecutor(args.concurrency) as pool:
            list(pool.map(one, range(first, len(plan))))
        elapsed = time.monotonic() - start_time
        memory["after all"] = rss_kb(proc.pid)
        lost = [i for i, r in enumerate(results) if r is None]
        failures += ["request %d lost" % i for i in lost]
        failures += [r[3] for r in results if r and r[3]]
        growth = (memory["after all"] - memory["after first"]) / memory["after first"]
        # Under AddressSanitizer freed memory waits in a quarantine, so the
        # process grows by design there; the figure is still printed.
        if growth > 0.10 and "ASAN_OPTIONS" not in os.environ:
            failures.append("memory grew by %.1f %% (%s)" % (growth * 100, memory))
        good = [r[2] for r in results if r and r[0] == "good"]
        print("workers %d, %d requests at concurrency %d: %.1f requests/s; good recordings p50 %.0f ms, "
              "p95 %.0f ms; memory %d kB after %d, %d kB after all (%+.1f %%)"
              % (args.workers, len(plan), args.concurrency, (len(plan) - first) / elapsed,
                 percentile(good, 50) * 1000, percentile(good, 95) * 1000, memory["after first"], first,
                 memory["after all"], growth * 100))
        fuzz(port, args.fuzz, 18)
        if proc.poll() is not None:
            failures.append("the service ended during the fuzz run")
        else:
            status, text, _ = request(port, b"", "text/plain", "/api/health")
            conn = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
            conn.request("GET", "/api/health")
            res = conn.getresponse()
            if res.status != 200 or b'"status":"ok"' not in res.read():
                failures.append("health does not answer after the run")
            status, text, _ = request(port, kinds[0][1], kinds[0][2])
            if status != 200:
                failures.append("a good request fails after the fuzz run: %d %s" % (status, text[:200]))
        print("fuzz: %d malformed requests, service %s" % (args.fuzz, "alive" if proc.poll() is None else "dead"))
    finally:
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            proc.wait(timeout=60)
        shutil.rmtree(work, ignore_errors=True)
    for f in failures[:20]:
        print("FAIL", f)
    if failures:
        raise SystemExit(1)
    print("load test passed")


if __name__ == "__main__":
    main()
