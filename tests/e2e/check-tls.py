#!/usr/bin/env python3
"""Quorix reaching a real Dovecot over TLS, its certificate issued by a scratch CA.

corpus:   the whole corpus fetched with mpop through Quorix from Dovecot over implicit TLS
          and over STLS equals what the same fetch over plain text gives, byte for byte apart
          from the time in the program's Received field. The mail program talks plain POP3
          to Quorix; only the leg from Quorix to Dovecot is encrypted.
refusals: one table of servers that must not get the password: a bad certificate (expired,
          another host's, self-signed, from an unknown CA), a server without STLS when it is
          required, a server that cuts the handshake off or answers it with garbage. The
          client gets "-ERR" with the reason, Quorix an error status line in the same words,
          and the server never sees USER or PASS, even from a client that sends them anyway.

usage: check-tls.py corpus QUORIX CORPUS_DIR
       check-tls.py refusals QUORIX
"""

import argparse
import concurrent.futures
import contextlib
import datetime
import difflib
import re
import socket
import sys
import threading
import time

import harness as H
from harness import check, failures


def corpus(args):
    files = H.corpus_files(args.corpus)
    if H.sanitized():
        files = files[::8]
    messages = [(f"c{i:04d}", open(f, "rb").read()) for i, f in enumerate(files)]
    with H.Harness() as h:
        pki = H.TestPki(h.sub("pki"))
        secure = H.Dovecot(h, certificate=pki.issue("server", H.SERVER_NAME), name="dovecot-tls")
        secure.add_user("ann", messages)
        secure.start()
        plain = H.Dovecot(h, name="dovecot-plain")
        plain.add_user("ann", messages)
        plain.start()

        # One Quorix per mode, each with its account for the same server name, so that the
        # messages (the Received field names the server) may only differ in the time.
        modes = {"none": plain.port, "implicit": secure.tls_port, "stls": secure.port}
        quorixes = {}
        for mode, port in modes.items():
            quorix = H.Quorix(h, args.quorix, name=f"quorix-{mode}")
            quorix.add_account(H.SERVER_NAME, port, tls=mode, ca_file=None if mode == "none" else pki.ca)
            quorixes[mode] = quorix.start()

        started = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)

        def fetch(mode):
            quorix = quorixes[mode]
            box = h.sub(f"box-{mode}")
            result = H.run_mpop(h, H.SERVER_NAME + ".qx", quorix.port, "ann", box, quorix.nss_hosts(),
                                name=f"mpoprc-{mode}", timeout=180)
            return mode, result, H.maildir_messages(box)
        with concurrent.futures.ThreadPoolExecutor(len(modes)) as pool:
            fetched = {mode: (result, boxed) for mode, result, boxed in pool.map(fetch, modes)}
        finished = datetime.datetime.now(datetime.timezone.utc)

        for mode, (result, boxed) in fetched.items():
            check(result.returncode == 0 and len(boxed) == len(files),
                  f"mpop fetched all {len(files)} messages through Quorix, server leg {mode}",
                  f"exit {result.returncode}, {len(boxed)} messages: {result.stderr}\n"
                  f"{quorixes[mode].output()[-2000:]}")
        reference = [open(p, "rb").read() for p in fetched["none"][1]]
        unfiltered = sum(1 for message in reference if not H.processing_times_masked(message)[1])
        check(reference and not unfiltered, "every message fetched went through the filter (its Received field)",
              f"{unfiltered} without")
        for mode in ("implicit", "stls"):
            differing = []
            for position, path in enumerate(fetched[mode][1][:len(reference)]):
                got = open(path, "rb").read()
                reason = H.compare_filtered(reference[position], got, started, finished)
                if reason:
                    diff = difflib.unified_diff(reference[position].decode("utf-8", "replace").splitlines(),
                                                got.decode("utf-8", "replace").splitlines(),
                                                "plain", mode, lineterm="", n=1)
                    differing.append(f"message {position + 1}: {reason}\n" + "\n".join(list(diff)[:20]))
            check(not differing and len(fetched[mode][1]) == len(reference),
                  f"{mode}: every message equals the plain-text fetch apart from the Received time",
                  f"{len(differing)} differ:\n" + "\n".join(differing[:3]))

        # Dovecot's own word that both sessions logged in over TLS (it allows nothing else).
        logins = [line for line in secure.log().splitlines() if "Login: user=<ann>" in line]
        check(len(logins) == 2 and all(", TLS" in line for line in logins),
              "Dovecot saw two logins, both over TLS", "\n".join(logins) or secure.log()[-2000:])
        for mode, quorix in quorixes.items():
            code = quorix.stop()
            errors = quorix.errors()
            check(code == 0 and not errors, f"quorix ({mode}) reported no error and stopped cleanly",
                  f"exit {code}: " + "\n".join(errors[:10]))
            warned = [t for _, _, t in quorix.lines if "unencrypted" in t]
            check(bool(warned) == (mode == "none"),
                  f"quorix ({mode}) warns of an unencrypted password {'once' if mode == 'none' else 'never'}",
                  "\n".join(warned))
            connected = [t for _, _, t in quorix.lines if "info  Connected to " in t and "(TLSv1." in t]
            check(bool(connected) == (mode != "none"),
                  f"quorix ({mode}) {'names' if mode != 'none' else 'names no'} the TLS version it connected with",
                  "\n".join(connected) or quorix.output()[-1500:])
    return 1 if failures else 0


class BrokenServer:
    """A listener that is no TLS server: "close" accepts and closes at once, "garbage"
    answers the handshake with text. Keeps every byte it was sent."""

    def __init__(self, behaviour):
        self.behaviour = behaviour
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.received = b""
        self.connections = 0
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def _serve(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            self.connections += 1
            with connection:
                connection.settimeout(2)
                if self.behaviour == "garbage":
                    with contextlib.suppress(OSError):
                        self.received += connection.recv(65536)
                        connection.sendall(b"+OK this is no TLS\r\n" + bytes(range(256)) * 8)
                # What the client sends after the cut (if anything) is kept too.
                with contextlib.suppress(OSError):
                    while data := connection.recv(65536):
                        self.received += data
                        if self.behaviour == "close":
                            break

    def close(self):
        with contextlib.suppress(OSError):
            self.listener.shutdown(socket.SHUT_RDWR)
        self.listener.close()
        self._thread.join(5)


# A password that reached the server shows in its log as an auth attempt or a user name
# (auth_verbose); a connection that went nowhere shows as user=<>.
LEAK = re.compile(r"user=<[^>]+>|Login:|auth(?:-worker)?: |plaintext auth")


def refusals(args):
    # (row, account's TLS mode, server, words the reason must contain)
    rows = [
        ("expired", "implicit", "expired", "certificate has expired"),
        ("wronghost", "implicit", "wronghost", "hostname mismatch"),
        ("selfsigned", "implicit", "selfsigned", "self-signed certificate"),
        ("unknownca", "implicit", "unknownca", "unable to get local issuer certificate"),
        ("expired-stls", "stls", "expired", "certificate has expired"),
        ("nostls", "stls", "plain", "does not start TLS"),
        ("cutoff", "implicit", "close", "handshake"),
        ("garbage", "implicit", "garbage", "handshake"),
    ]
    with H.Harness() as h:
        pki = H.TestPki(h.sub("pki"))
        quorix = H.Quorix(h, args.quorix)
        servers = {}  # row: (Dovecot or BrokenServer, port)
        for row, mode, kind, _ in rows:
            name = f"{row}.test"
            if kind in ("close", "garbage"):
                server = BrokenServer(kind)
                servers[row] = (server, server.port)
            else:
                certificate = {
                    "expired": lambda: pki.issue(row, name, expired=True),
                    "wronghost": lambda: pki.issue(row, "other.example"),
                    "selfsigned": lambda: pki.self_signed(row, name),
                    "unknownca": lambda: pki.issue(row, name, ca="otherca"),
                    "plain": lambda: None,
                }[kind]()
                dovecot = H.Dovecot(h, certificate=certificate, name=f"dovecot-{row}", verbose=True)
                dovecot.add_user("ann")
                dovecot.start()
                servers[row] = (dovecot, dovecot.tls_port if mode == "implicit" else dovecot.port)
            quorix.add_server_name(name)
            quorix.add_account(name, servers[row][1], tls=mode, ca_file=pki.ca)
        quorix.start()
        local = quorix.local_names()

        try:
            for row, mode, kind, reason in rows:
                server, _ = servers[row]
                name = f"{row}.test"
                sent_anyway = []
                started = time.monotonic()
                with H.POP3(local[name + ".qx"], quorix.port, timeout=40) as client:
                    reply = client.greeting
                    # A client that ignores the refusal: nothing of it may reach the server.
                    for command in ("USER ann", f"PASS {H.USER_PASSWORD}"):
                        try:
                            sent_anyway.append(client.command(command))
                        except (OSError, EOFError):
                            break
                took = time.monotonic() - started
                text = reply.decode("utf-8", "replace").rstrip()
                print(f"   {row}: {text}" + (f" / then {sent_anyway!r}" if sent_anyway else ""))
                check(text.startswith("-ERR") and reason in text and name in text,
                      f"{row}: the client gets -ERR naming {name} and '{reason}'", text)
                check(all(r.startswith(b"-ERR") for r in sent_anyway),
                      f"{row}: USER and PASS sent anyway get -ERR", repr(sent_anyway))
                status = quorix.wait_for_line(name, level="error", timeout=5)
                check(status is not None and reason in status,
                      f"{row}: an error status line with the same reason", status or quorix.output()[-1500:])
                check(took < 30, f"{row}: refused within the connect time-out ({took:.1f} s)")
                if isinstance(server, BrokenServer):
                    check(server.connections >= 1 and b"USER" not in server.received
                          and H.USER_PASSWORD.encode() not in server.received,
                          f"{row}: the server was reached and got no USER or PASS",
                          f"{server.connections} connections, received {server.received[:200]!r}")
                else:
                    log = wait_for_disconnect(server)
                    leaks = [line for line in log.splitlines() if LEAK.search(line)]
                    check("Disconnected" in log and not leaks,
                          f"{row}: Dovecot's log shows the connection and no USER, PASS or login",
                          "\n".join(leaks) or log[-1500:])

            # The log check itself: a USER and PASS sent in clear show in the same log.
            control = servers["nostls"][0]
            with H.POP3("127.0.0.1", control.port) as client:
                client.command("USER ann")
                client.command(f"PASS {H.USER_PASSWORD}")
                client.command("QUIT")
            log = wait_for_disconnect(control, count=2)
            check(any(LEAK.search(line) for line in log.splitlines()),
                  "control: a login sent directly shows in Dovecot's log", log[-1500:])
        finally:
            for server, _ in servers.values():
                if isinstance(server, BrokenServer):
                    server.close()
        code = quorix.stop()
        check(code == 0, f"quorix stopped cleanly (exit {code})")
    return 1 if failures else 0


def wait_for_disconnect(dovecot, count=1, timeout=5.0):
    """Dovecot's log once its login process has logged `count` ended connections."""
    deadline = time.monotonic() + timeout
    while True:
        log = dovecot.log()
        if log.count("Disconnected") + log.count("Login:") >= count or time.monotonic() > deadline:
            return log
        time.sleep(0.05)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=("corpus", "refusals"))
    parser.add_argument("quorix")
    parser.add_argument("corpus", nargs="?")
    args = parser.parse_args()
    H.require_peers("dovecot", "mpop", "openssl")
    code = corpus(args) if args.mode == "corpus" else refusals(args)
    if failures:
        print(f"{len(failures)} check(s) failed: " + "; ".join(failures))
    sys.exit(code)


if __name__ == "__main__":
    main()
