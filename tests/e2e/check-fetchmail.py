#!/usr/bin/env python3
"""fetchmail through Quorix gets what mpop through Quorix gets: fetchmail's own Received
field aside, the same bytes for each message (a second mail program with its own POP3
habits: CAPA, UIDL, TOP probing, LIST, RETR and its own line handling).

usage: check-fetchmail.py QUORIX DATA_DIR
"""

import argparse
import datetime
import os
import re
import subprocess
import sys

import harness as H

MESSAGES = [("engine", "html-script-tracking.eml"), ("engine", "executable-attachment.eml"),
            ("engine", "read-receipt.eml"), ("e2e", "dot-lines.eml")]


def without_fetchmail_received(message):
    """fetchmail puts a Received field of its own first: it goes before comparing."""
    match = re.match(rb"Received: from [^\n]*\n(?:[ \t][^\n]*\n)*", message)
    if match and b"fetchmail" in match.group(0):
        return message[match.end():]
    return message


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("quorix")
    parser.add_argument("data")
    args = parser.parse_args()
    H.require_peers("dovecot", "mpop", "fetchmail")

    with H.Harness() as h:
        dovecot = H.Dovecot(h)
        dovecot.add_user("ann", [(f"m{i}", open(os.path.join(args.data, *m), "rb").read())
                                 for i, m in enumerate(MESSAGES)])
        dovecot.start()
        quorix = H.Quorix(h, args.quorix)
        quorix.add_account(H.SERVER_NAME, dovecot.port)
        quorix.start()
        hosts = quorix.nss_hosts()
        host = H.SERVER_NAME + ".qx"
        began = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)

        mpop_dir = h.sub("mpop")
        result = H.run_mpop(h, host, quorix.port, "ann", mpop_dir, hosts)
        if result.returncode != 0:
            sys.exit(f"mpop failed: {result.stderr}")

        fetched = h.sub("fetchmail")
        home = h.sub("fetchmail-home")
        rc = os.path.join(home, "fetchmailrc")
        with open(rc, "w") as out:
            out.write(f'poll {host} port {quorix.port} protocol POP3 auth password\n'
                      f'  user "ann" password "{H.USER_PASSWORD}"\n'
                      f'  fetchall keep norewrite\n'
                      f'  mda "cat > {fetched}/$(date +%s%N).eml"\n')
        os.chmod(rc, 0o600)
        env = h.nss_env(hosts)
        env.update(HOME=home, FETCHMAILHOME=home)
        run = subprocess.run([H.find_program("fetchmail"), "--nodetach", "--nosyslog", "-f", rc,
                              "-i", os.path.join(home, "fetchids"), "--sslproto", "", "--nosslcertck"],
                             env=env, capture_output=True, text=True, timeout=60)
        finished = datetime.datetime.now(datetime.timezone.utc)
        # 0: mail was fetched.
        if run.returncode != 0:
            sys.exit(f"fetchmail exited with {run.returncode}:\n{run.stdout}{run.stderr}\n{quorix.output()}")

        by_mpop = H.maildir_messages(mpop_dir)
        by_fetchmail = [os.path.join(fetched, n) for n in sorted(os.listdir(fetched))]
        if len(by_mpop) != len(MESSAGES) or len(by_fetchmail) != len(MESSAGES):
            sys.exit(f"mpop fetched {len(by_mpop)}, fetchmail {len(by_fetchmail)} of {len(MESSAGES)}")
        failures = []
        for name, first, second in zip(MESSAGES, by_mpop, by_fetchmail):
            mine = open(first, "rb").read()
            theirs = without_fetchmail_received(open(second, "rb").read())
            reason = H.compare_filtered(mine, theirs, began, finished)
            if reason:
                failures.append(f"{'/'.join(name)}: {reason}\n--- mpop\n{mine[:600]!r}\n--- fetchmail\n{theirs[:600]!r}")
        code = quorix.stop()
        if code != 0:
            failures.append(f"quorix exited with {code}")
        if quorix.errors():
            failures.append("error status lines: " + "; ".join(quorix.errors()))
        if failures:
            print("\n".join(failures))
            sys.exit(f"{len(failures)} failure(s)")
        print(f"fetchmail and mpop through Quorix got the same {len(MESSAGES)} messages")


if __name__ == "__main__":
    main()
