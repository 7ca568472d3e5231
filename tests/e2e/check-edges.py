#!/usr/bin/env python3
"""The POP3 dialogue through Quorix against a real Dovecot, where only a real server shows
it: the capabilities Quorix must hide, STLS answered locally, the setup failures (a foreign
local address, an address without a host name, an unknown account, a server that refuses)
as an "-ERR" line and an error status line in the same words, a "-ERR" reply to RETR, TOP n 0,
dot-stuffing both ways and an empty message.

usage: check-edges.py QUORIX DATA_DIR
"""

import argparse
import os
import sys
import time

import harness as H
from harness import check, failures


def raw_multiline(client, command):
    """The status line and the lines exactly as they came, dot-stuffing and all."""
    status = client.command(command)
    lines = []
    if status.startswith(b"+OK"):
        while (line := client.line()) != b".\r\n":
            lines.append(line)
    return status, lines


def capabilities(client):
    status, lines = raw_multiline(client, "CAPA")
    return status, {line.split()[0].upper().decode() for line in lines if line.strip()}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("quorix")
    parser.add_argument("data")
    args = parser.parse_args()
    H.require_peers("dovecot", "mpop")
    ssl = H.find_program("openssl") is not None

    with H.Harness() as h:
        read = lambda *p: open(os.path.join(args.data, *p), "rb").read()  # noqa: E731
        dovecot = H.Dovecot(h, ssl=ssl)
        dovecot.add_user("ann", [("m1-plain", read("engine", "read-receipt.eml")),
                                 ("m2-dots", read("e2e", "dot-lines.eml")),
                                 ("m3-empty", b"")])
        # Big enough that a client can hang up in the middle of it.
        big = (b"From: big@example.org\nTo: bob@example.org\nSubject: A long letter\n"
               b"Message-ID: <long@example.org>\n\n" + b"All work and no play.\n" * 150000)
        dovecot.add_user("bob", [("m1-long", big)])
        dovecot.start()

        closed_port = H.free_port()  # nothing listens there
        quorix = H.Quorix(h, args.quorix)
        with open(quorix.hosts_file, "a") as hosts:
            hosts.write("127.0.0.1\tclosed.test nameless.test renamed.test\n")
        for server, port in (("pop.test", dovecot.port), ("closed.test", closed_port),
                             ("nameless.test", dovecot.port), ("renamed.test", dovecot.port)):
            quorix.add_account(server, port)
        names = quorix.local_names()
        # Quorix listens on every address of its hosts block, but resolves names through
        # nss_wrapper: in its view one address has no name and one a name no account has.
        quorix_view = quorix.nss_hosts("quorix-view", drop=lambda line: "nameless.test.qx" in line)
        with open(quorix_view) as f:
            text = f.read().replace("renamed.test.qx", "stranger.qx")
        with open(quorix_view, "w") as f:
            f.write(text)
        quorix.start(hosts=quorix_view)
        good = names["pop.test.qx"]

        # The server's own capabilities, so that what Quorix hides is known to be there.
        with H.POP3("127.0.0.1", dovecot.port) as direct:
            _, offered = capabilities(direct)
        check("PIPELINING" in offered, "Dovecot advertises PIPELINING", str(offered))
        if ssl:
            check("STLS" in offered, "Dovecot advertises STLS", str(offered))

        with H.POP3(good, quorix.port) as client:
            check(client.greeting.startswith(b"+OK"), "greeting through Quorix", repr(client.greeting))
            status, seen = capabilities(client)
            check(status.startswith(b"+OK") and "TOP" in seen and "UIDL" in seen,
                  "CAPA through Quorix keeps the other capabilities", f"{status!r} {seen}")
            check("PIPELINING" not in seen and "STLS" not in seen,
                  "CAPA through Quorix lacks PIPELINING and STLS", str(seen))
            reply = client.command("stls")
            check(reply == b"-ERR STLS command blocked by qx\r\n", "STLS in any case is answered locally",
                  repr(reply))
            # Had STLS reached Dovecot, it would now expect a TLS handshake.
            client.login("ann")
            check(True, "plain login after STLS")

            reply = client.command("RETR 99")
            check(reply.startswith(b"-ERR") and b"(processed by QX)" in reply,
                  "RETR of a message that does not exist gets the server's -ERR, marked", repr(reply))
            check(client.command("NOOP").startswith(b"+OK"), "the session goes on after the -ERR")

            status, lines = raw_multiline(client, "TOP 1 0")
            reply = b"".join(lines)
            header, _, after = reply.partition(b"\r\n\r\n")
            # The engine ends every plain message with its footer, a header-only one too;
            # nothing of the message's own body may come.
            footer = (b"----------------------------------------------------\r\n"
                      b"This message has been processed by Vantorell Quorix.\r\n")
            check(status.startswith(b"+OK") and b"Subject:" in header and after in (b"", footer),
                  "TOP 1 0 gives the (filtered) header and none of the body", repr(reply[-300:]))
            check(b"by qx" in header, "TOP's header went through the engine", repr(header[:300]))

            status, lines = raw_multiline(client, "RETR 2")
            stuffed = all(line.startswith(b"..") for line in lines if line.startswith(b"."))
            check(status.startswith(b"+OK") and stuffed, "lines beginning with '.' are stuffed towards the client",
                  repr([line for line in lines if line.startswith(b".")]))
            body = b"".join(line[1:] if line.startswith(b".") else line for line in lines)
            want = (b".one leading dot\r\n..two leading dots\r\n.\r\na line after a lone dot\r\n"
                    b". a dot and a space\r\n...\r\nthe end\r\n")
            check(want in body, "a message whose lines begin with '.' arrives intact", repr(body[-300:]))

            status, lines = raw_multiline(client, "RETR 3")
            check(status.startswith(b"+OK"), "an empty message is answered and ends", repr(status))
            check(client.command("QUIT").startswith(b"+OK"), "QUIT through Quorix")

        # Setup failures: one -ERR line, then the connection closes; the same words as an
        # error status line.
        cases = [
            ("127.0.0.1", "Connections are allowed only from the local host (127.0.0.1 is not a local address)"),
            (names["nameless.test.qx"], f"Can't find host name for '{names['nameless.test.qx']}' - "
                                        "please check your account settings in the Options dialog"),
            (names["renamed.test.qx"], "Can't find the account for 'stranger.qx' - "
                                       "please check your account settings in the Options dialog"),
            (names["closed.test.qx"], "Can't make outgoing connection to 'closed.test"),
        ]
        for address, text in cases:
            with H.POP3(address, quorix.port) as client:
                line = client.greeting
                try:
                    client.line()
                    closed = False
                except (EOFError, ConnectionError):
                    closed = True
            check(line.startswith(b"-ERR " + text.encode()) and closed,
                  f"{address}: -ERR {text}... and the connection closes", repr(line))
            status = quorix.wait_for_line(text, "error", timeout=5)
            check(status is not None, f"{address}: an error status line says it too", quorix.output()[-1500:])
        # A client hanging up in the middle of a message: nothing is logged for it, the server
        # connection closes, and Quorix serves the next client.
        with H.POP3(good, quorix.port) as client:
            client.login("bob")
            client.send("RETR 1")
            for _ in range(20):
                client.line()
        def bob_disconnected():
            return any("pop3(bob)" in line and "Disconnected" in line for line in dovecot.log().splitlines())
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and not bob_disconnected():
            time.sleep(0.1)
        logged = [r["subject"] for r in H.read_message_logs(quorix.log_dir)]
        check("A long letter" not in logged, "a message the client hung up on is not logged", str(logged))
        check(bob_disconnected(), "the server connection of a client that hung up closes", dovecot.log()[-800:])
        with H.POP3(good, quorix.port) as client:
            client.login("bob")
            check(client.command("QUIT").startswith(b"+OK"), "Quorix serves the next client after a hang-up")

        refused = quorix.wait_for_line("Can't make outgoing connection to 'closed.test", "error", 1) or ""
        check("Connection refused" in refused, "a refused connection says 'Connection refused'", refused)

        code = quorix.stop()
        check(code == 0, "quorix exits 0 on SIGTERM", str(code))
        if failures:
            print(quorix.output()[-3000:])
            sys.exit(f"{len(failures)} check(s) failed: " + "; ".join(failures))


if __name__ == "__main__":
    main()
