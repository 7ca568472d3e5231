#!/usr/bin/env python3
"""POP3 downloads with real peers: mpop fetching from a private Dovecot directly and
through Quorix (profile "Medium"), in the same run, alternating, and Quorix's memory during
the biggest download; over plain text and over TLS.

Build the Release tree first, then run from the repository root:

    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
    cmake --build build/release -j2 --target quorix
    python3 bench/pop3-bench.py [--quorix build/release/app/quorix] [--runs 5] [--variant plain|tls|both]

Two mailboxes: one generated 50 MB message (text, HTML and a base64 attachment) and the
corpus (tests/data/corpus). Each run fetches each mailbox once directly and once through
Quorix, the order swapped from run to run; the table shows the medians and their ratio
(goal: at most 1.10). The TLS variant has a Dovecot with ssl = required and a certificate
from a scratch CA: mpop fetches directly over TLS (trusting that CA) and, through Quorix, in
plain text over loopback while Quorix reaches the server over implicit TLS (goal: at most
1.15). Quorix's resident memory is sampled every 5 ms from /proc during each
50 MB download; "above idle" is the peak less the value just before the download (goal: at
most 20 MB). Needs dovecot-pop3d, mpop, openssl and libnss-wrapper (bash scripts/quorix.sh test
installs them). Not part of ctest: times depend on the machine.
"""

import argparse
import base64
import contextlib
import os
import random
import shutil
import statistics
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness as H  # noqa: E402

WORDS = ("the of and to in is that for it as was with be by on not he this are or his from at "
         "which but have an they you were her she there been one all we their has would when if "
         "so no will can more about said what out up them some into only time could new other "
         "quarterly invoice shipment account statement payment meeting schedule report project "
         "delivery customer order attached review budget figures numbers agreed").split()


def big_message(size):
    """A multipart/mixed message of about `size` bytes: plain text, its HTML alternative and
    a base64 attachment making up the rest. Deterministic."""
    rng = random.Random(50)

    def paragraph():
        words = [rng.choice(WORDS) for _ in range(rng.randint(40, 120))]
        words[0] = words[0].capitalize()
        lines, line = [], ""
        for word in words:
            if len(line) + len(word) + 1 > 72:
                lines.append(line)
                line = word
            else:
                line = f"{line} {word}" if line else word
        lines.append(line + ".")
        return "\r\n".join(lines)
    text = []
    while sum(len(p) for p in text) < size // 20:
        text.append(paragraph())
    plain = "\r\n\r\n".join(text)
    html = "<html><body>\r\n" + "\r\n".join(
        f"<p style=\"margin:0 0 8px\">{p} <a href=\"https://example.com/r/{i}\">more</a></p>"
        for i, p in enumerate(text)) + "\r\n</body></html>"
    head = ("From: Reports <reports@example.com>\r\nTo: ann@example.org\r\n"
            "Subject: Quarterly figures with the full archive\r\n"
            "Date: Tue, 30 Apr 2024 16:02:11 +0000\r\nMessage-ID: <bench-50mb@example.com>\r\n"
            "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"outer\"\r\n\r\n"
            "--outer\r\nContent-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n"
            "--alt\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n" + plain +
            "\r\n--alt\r\nContent-Type: text/html; charset=us-ascii\r\n\r\n" + html +
            "\r\n--alt--\r\n--outer\r\nContent-Type: application/pdf; name=\"archive.pdf\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment; filename=\"archive.pdf\"\r\n\r\n").encode()
    tail = b"\r\n--outer--\r\n"
    room = size - len(head) - len(tail)
    raw = rng.randbytes(room * 57 // 78)
    encoded = base64.encodebytes(raw).replace(b"\n", b"\r\n")
    return head + encoded + tail


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


class Sampler:
    """Samples a process's resident memory until stopped; keeps the peak."""

    def __init__(self, pid, interval=0.005):
        self.pid, self.interval = pid, interval
        self.peak = 0
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)

    def _run(self):
        while not self._stop.is_set():
            self.peak = max(self.peak, rss_kib(self.pid))
            time.sleep(self.interval)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()
        self.peak = max(self.peak, rss_kib(self.pid))


GOALS = {"plain": 1.10, "tls": 1.15}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quorix", default=os.path.join(ROOT, "build", "release", "app", "quorix"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--size-mb", type=int, default=50)
    parser.add_argument("--variant", choices=("plain", "tls", "both"), default="both")
    args = parser.parse_args()
    if not os.access(args.quorix, os.X_OK):
        sys.exit(f"no quorix at {args.quorix}: build it first (see the header of {__file__})")
    missing = [p for p in ("dovecot", "mpop", "openssl") if not H.find_program(p)]
    if missing or not H.nss_wrapper_library():
        sys.exit(f"missing: {', '.join(missing) or 'libnss-wrapper'}")
    variants = ("plain", "tls") if args.variant == "both" else (args.variant,)

    with H.Harness(prefix="quorix-bench-") as h:
        message = big_message(args.size_mb * 1000 * 1000)
        corpus = H.corpus_files(os.path.join(ROOT, "tests", "data", "corpus"))
        mailboxes = [("big", [("big", message)]),
                     ("corpus", [(f"c{i:04d}", open(f, "rb").read()) for i, f in enumerate(corpus)])]
        quorix = H.Quorix(h, args.quorix)
        routes = {}  # (variant, route): (host, port, CA file for mpop's TLS or None)
        if "plain" in variants:
            dovecot = H.Dovecot(h)
            for user, messages in mailboxes:
                dovecot.add_user(user, messages)
            dovecot.start()
            quorix.add_account(H.SERVER_NAME, dovecot.port)
            routes[("plain", "direct")] = (H.SERVER_NAME, dovecot.port, None)
            routes[("plain", "quorix")] = (H.SERVER_NAME + ".qx", None, None)
        if "tls" in variants:
            # Its own server name, so that one Quorix serves both variants; ssl = required, so
            # neither route can fall back to plain text.
            name = "pop-tls.test"
            pki = H.TestPki(h.sub("pki"))
            secure = H.Dovecot(h, certificate=pki.issue("server", name), name="dovecot-tls")
            for user, messages in mailboxes:
                secure.add_user(user, messages)
            secure.start()
            quorix.add_server_name(name)
            quorix.add_account(name, secure.tls_port, tls="implicit", ca_file=pki.ca)
            routes[("tls", "direct")] = (name, secure.tls_port, pki.ca)
            routes[("tls", "quorix")] = (name + ".qx", None, None)
        del message, mailboxes
        quorix.start()
        hosts = quorix.nss_hosts()
        pid = quorix.process.pid

        def fetch(user, variant, route, sample=False):
            host, port, trust = routes[(variant, route)]
            box = os.path.join(h.path, f"box-{user}-{variant}-{route}")
            shutil.rmtree(box, ignore_errors=True)
            idle = rss_kib(pid)
            started = time.monotonic()
            with Sampler(pid) if sample else contextlib.nullcontext() as sampler:
                result = H.run_mpop(h, host, port or quorix.port, user, box, hosts, timeout=600,
                                    tls_trust_file=trust)
            elapsed = time.monotonic() - started
            if result.returncode != 0:
                sys.exit(f"mpop {variant}/{route} {user} failed: {result.stderr}\n{quorix.output()[-2000:]}")
            shutil.rmtree(box, ignore_errors=True)
            return elapsed, (sampler.peak - idle if sample else None)

        print(f"Quorix {args.quorix}; {args.size_mb} MB message, corpus of {len(corpus)} "
              f"messages ({sum(os.path.getsize(f) for f in corpus) / 1e6:.1f} MB); {args.runs} runs; "
              f"{' and '.join(variants)}", flush=True)
        users = ("big", "corpus")
        for variant in variants:  # warm-up: page cache, Dovecot's indexes
            for user in users:
                fetch(user, variant, "direct")
                fetch(user, variant, "quorix")
        times = {(v, u, r): [] for v in variants for u in users for r in ("direct", "quorix")}
        memory = {v: [] for v in variants}
        for run in range(args.runs):
            order = ("direct", "quorix") if run % 2 == 0 else ("quorix", "direct")
            for variant in variants:
                for user in users:
                    for route in order:
                        elapsed, above = fetch(user, variant, route,
                                               sample=(user == "big" and route == "quorix"))
                        times[(variant, user, route)].append(elapsed)
                        if above is not None:
                            memory[variant].append(above)
            print(f"  run {run + 1}: " + ", ".join(f"{v}/{u}/{r} {times[(v, u, r)][-1]:.2f} s"
                                                  for v in variants for u in users
                                                  for r in ("direct", "quorix")), flush=True)
        idle_end = rss_kib(pid)
        code = quorix.stop()

    print()
    print("| server leg | mailbox | direct (median) | through Quorix (median) | ratio | goal |")
    print("|---|---|---:|---:|---:|---|")
    for variant in variants:
        goal = GOALS[variant]
        for user, label in (("big", f"{args.size_mb} MB message"), ("corpus", f"corpus ({len(corpus)})")):
            direct = statistics.median(times[(variant, user, "direct")])
            through = statistics.median(times[(variant, user, "quorix")])
            ratio = through / direct
            print(f"| {variant} | {label} | {direct:.3f} s | {through:.3f} s | {ratio:.2f}× | ≤ {goal:.2f}× "
                  f"{'met' if ratio <= goal else 'NOT met'} |")
    print()
    for variant in variants:
        peak = statistics.median(memory[variant]) / 1024
        largest = max(memory[variant]) / 1024
        print(f"Quorix's memory above idle during the {args.size_mb} MB download ({variant}): median "
              f"{peak:.1f} MB, largest {largest:.1f} MB (goal ≤ 20 MB: {'met' if largest <= 20 else 'NOT met'})")
    print(f"Resident at the end {idle_end / 1024:.1f} MB")
    if code != 0:
        sys.exit(f"quorix exited with {code}")


if __name__ == "__main__":
    main()
