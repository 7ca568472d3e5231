#!/usr/bin/env python3
"""Quorix under load and under a stop, with a real Dovecot behind it.

  check-faults.py sessions QUORIX CORPUS_DIR [--sessions N]
      N sessions at once (100 by default), each its own Dovecot user with the whole corpus,
      each fetching every message; every message byte for byte as one session alone got it.
  check-faults.py sigterm QUORIX CORPUS_DIR
      a few sessions downloading, then SIGTERM: Quorix waits for them or stops them at a
      clean point, exits 0, and leaves no process behind; whatever a client received whole
      is correct.
"""

import argparse
import datetime
import os
import sys
import threading
import time

import harness as H


def now():
    return datetime.datetime.now(datetime.timezone.utc)


def start(h, quorix_binary, corpus, users, sample=1):
    files = H.corpus_files(corpus)[::sample]
    dovecot = H.Dovecot(h)
    dovecot.add_user("user0", [(f"c{i:04d}", open(f, "rb").read()) for i, f in enumerate(files)])
    for n in range(1, users):
        dovecot.add_user(f"user{n}", link_from="user0")
    dovecot.start()
    quorix = H.Quorix(h, quorix_binary)
    quorix.add_account(H.SERVER_NAME, dovecot.port)
    quorix.start()
    return files, dovecot, quorix, quorix.local_names()[H.SERVER_NAME + ".qx"]


def fetch_all(address, port, user, sink, stop_after=None):
    """Fetches every message of the user's mailbox; sink(number, bytes) gets each one that
    arrived whole. Returns (messages fetched, how it ended)."""
    fetched = 0
    number = 0
    try:
        with H.POP3(address, port, timeout=120) as client:
            client.login(user)
            count = len(client.uidls())
            for number in range(1, count + 1):
                status, body = client.multiline(f"RETR {number}")
                if body is None:
                    return fetched, f"RETR {number}: {status!r}"
                sink(number, body)
                fetched += 1
                if stop_after:
                    stop_after(fetched)
            client.command("QUIT")
            return fetched, "done"
    except (EOFError, ConnectionError, OSError) as error:
        where = f"during RETR {number}" if number > fetched else "between commands"
        return fetched, f"closed {where}: {error}"


def comparing_sink(reference, began, wrong):
    """A fetch_all sink that compares each message with what one session alone received
    and adds (number, reason) to `wrong` where they differ."""
    def sink(number, body):
        reason = H.compare_filtered(reference[number], body, began, now())
        if reason:
            wrong.append((number, reason))
    return sink


def sessions(args):
    count = args.sessions
    sample = 1
    if H.sanitized():
        # The sanitized engine is many times slower: fewer sessions on part of the corpus.
        count, sample = min(count, 20), 8
    failures = []
    with H.Harness() as h:
        files, _, quorix, address = start(h, args.quorix, args.corpus, count, sample)
        began = now().replace(microsecond=0)
        reference = {}
        done, how = fetch_all(address, quorix.port, "user0", reference.__setitem__)
        if how != "done" or done != len(files):
            sys.exit(f"one session alone: {done} of {len(files)} messages, {how}\n{quorix.output()[-3000:]}")

        results = [None] * count
        lock = threading.Lock()

        def session(n):
            wrong = []
            sink = comparing_sink(reference, began, wrong)
            fetched, ending = fetch_all(address, quorix.port, f"user{n}", sink)
            with lock:
                results[n] = (fetched, ending, wrong)

        started = time.monotonic()
        threads = [threading.Thread(target=session, args=(n,)) for n in range(count)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        elapsed = time.monotonic() - started

        for n, (fetched, ending, wrong) in enumerate(results):
            if ending != "done" or fetched != len(files):
                failures.append(f"session {n}: {fetched} of {len(files)} messages, {ending}")
            for number, reason in wrong[:3]:
                failures.append(f"session {n}, message {number} ({files[number - 1]}): {reason}")
        code = quorix.stop()
        if code != 0:
            failures.append(f"quorix exited with {code} after SIGTERM")
        if quorix.errors():
            failures.append("error status lines:\n  " + "\n  ".join(quorix.errors()[:10]))
        if failures:
            print("\n".join(failures[:40]))
            print(quorix.output()[-3000:])
            sys.exit(f"{len(failures)} failure(s) in {count} concurrent sessions")
        print(f"{count} concurrent sessions each fetched {len(files)} messages through Quorix, "
              f"all byte-equal to one session's, in {elapsed:.1f} s")


def sigterm(args):
    count = 4
    with H.Harness() as h:
        files, _, quorix, address = start(h, args.quorix, args.corpus, count + 1,
                                          8 if H.sanitized() else 1)
        began = now().replace(microsecond=0)
        reference = {}
        fetch_all(address, quorix.port, f"user{count}", reference.__setitem__)

        results = [None] * count
        downloading = threading.Semaphore(0)

        def session(n):
            wrong = []
            sink = comparing_sink(reference, began, wrong)
            results[n] = (*fetch_all(address, quorix.port, f"user{n}", sink,
                                     lambda fetched: fetched == 5 and downloading.release()), wrong)

        threads = [threading.Thread(target=session, args=(n,)) for n in range(count)]
        for thread in threads:
            thread.start()
        for _ in range(count):
            if not downloading.acquire(timeout=60):
                sys.exit("the sessions did not get going\n" + quorix.output()[-3000:])
        pid = quorix.process.pid
        quorix.process.send_signal(15)
        try:
            code = quorix.process.wait(60)
        except Exception:  # noqa: BLE001 - reported below, the harness kills it
            code = None
        for thread in threads:
            thread.join(60)

        failures = []
        if code != 0:
            failures.append(f"quorix exit status after SIGTERM: {code}")
        left = [p for p in os.listdir("/proc") if p.isdigit() and _group_of(p) == pid]
        if left:
            failures.append(f"processes left in Quorix's group: {left}")
        for n, result in enumerate(results):
            if result is None:
                failures.append(f"session {n} never ended")
                continue
            fetched, ending, wrong = result
            print(f"session {n}: {fetched} of {len(files)} messages whole, then {ending}")
            for number, reason in wrong[:3]:
                failures.append(f"session {n}, message {number}: {reason}")
        if failures:
            print("\n".join(failures))
            print(quorix.output()[-3000:])
            sys.exit(f"{len(failures)} failure(s) around SIGTERM")
        print("SIGTERM during downloads: Quorix exited 0, nothing left running, every message "
              "received whole was correct")
        print("\n".join(t for _, _, t in quorix.lines if "Closing" in t or "stopped" in t))


def _group_of(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return int(f.read().rsplit(")", 1)[1].split()[2])
    except (OSError, IndexError, ValueError):
        return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=("sessions", "sigterm"))
    parser.add_argument("quorix")
    parser.add_argument("corpus")
    parser.add_argument("--sessions", type=int, default=100)
    args = parser.parse_args()
    H.require_peers("dovecot")
    (sessions if args.check == "sessions" else sigterm)(args)


if __name__ == "__main__":
    main()
