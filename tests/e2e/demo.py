#!/usr/bin/env python3
"""The demo behind `bash scripts/quorix.sh demo`: a private Dovecot with a few messages,
Quorix in front of it, mpop fetching through Quorix, then what Quorix changed in each
message (from its message log) and where the fetched files are. Everything runs in one
scratch folder, which is kept for a look; every process is stopped at the end.

usage: demo.py QUORIX DATA_DIR
"""

import argparse
import email
import email.header
import email.policy
import os
import sys

import harness as H

MESSAGES = [
    ("html-script-tracking.eml", "HTML with a script and a remote tracking image"),
    ("executable-attachment.eml", "an invoice with an executable attachment"),
    ("read-receipt.eml", "a plain message that asks for a read receipt"),
]


def say(text=""):
    print(text, flush=True)


def subject_of(path):
    with open(path, "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    return str(message.get("Subject", "(no subject)"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("quorix")
    parser.add_argument("data")
    args = parser.parse_args()
    missing = [p for p in ("dovecot", "mpop") if not H.find_program(p)]
    if missing or not H.nss_wrapper_library():
        sys.exit(f"the demo needs dovecot-pop3d, mpop and libnss-wrapper; missing: "
                 f"{', '.join(missing) or 'libnss_wrapper.so'}")

    with H.Harness(keep=True, prefix="quorix-demo-") as h:
        say(f"Everything runs in {h.path}; nothing outside it is changed.\n")
        dovecot = H.Dovecot(h)
        originals = [os.path.join(args.data, "engine", name) for name, _ in MESSAGES]
        dovecot.add_user("ann", [(f"m{i + 1}", open(p, "rb").read()) for i, p in enumerate(originals)])
        dovecot.start()
        say(f"1. Dovecot serves {len(MESSAGES)} messages to the user 'ann' on 127.0.0.1 port "
            f"{dovecot.port}, known as '{H.SERVER_NAME}':")
        for i, (name, what) in enumerate(MESSAGES, 1):
            say(f"     {i}. {what} (tests/data/engine/{name})")

        quorix = H.Quorix(h, args.quorix)
        added = quorix.add_account(H.SERVER_NAME, dovecot.port)
        say(f"\n2. $ quorix account add {H.SERVER_NAME}:{dovecot.port} --tls none   (the private Dovecot has no TLS)")
        for line in added.stdout.splitlines():
            say(f"     {line}")
        local = H.SERVER_NAME + ".qx"
        say(f"   Quorix's hosts block (in {quorix.hosts_file}, read through nss_wrapper):")
        for name, address in quorix.local_names().items():
            say(f"     {address}  {name}")

        quorix.start()
        say(f"\n3. $ quorix --headless --port {quorix.port}   (a free port for this run instead of 110)")

        inbox = h.sub("inbox")
        say(f"\n4. mpop fetches the mailbox from {local} port {quorix.port}, through Quorix:")
        fetched = H.run_mpop(h, local, quorix.port, "ann", inbox, quorix.nss_hosts(), quiet=False)
        for line in (fetched.stdout + fetched.stderr).splitlines():
            # Its progress figures go; the line they follow stays.
            say(f"     mpop: {line.split(':   0%')[0]}")
        code = quorix.stop()
        say("   Quorix's status lines:")
        for _, _, line in quorix.lines:
            say(f"     {line}")
        if fetched.returncode != 0:
            sys.exit(f"mpop failed with {fetched.returncode}")

        records = H.read_message_logs(quorix.log_dir)
        say(f"\n5. What Quorix changed, from its message log ({quorix.log_dir}):")
        for i, record in enumerate(records, 1):
            subject = str(email.header.make_header(email.header.decode_header(record["subject"])))
            say(f"     {i}. \"{subject}\" from {record['sender']}, profile {record['profile']}:")
            phrases = H.describe_counters(record["counters"])
            for phrase in phrases or ["nothing to filter (the Received field and the footer only)"]:
                say(f"          {phrase}")

        files = H.maildir_messages(inbox)
        say(f"\n6. The fetched messages are in {inbox}/new:")
        for path, original in zip(files, originals):
            say(f"     {os.path.basename(path)}  \"{subject_of(path)}\"")
            say(f"         compare: diff -u {os.path.relpath(original)} {path}")
        dovecot.stop()
        say(f"\nQuorix exited with {code}; Dovecot and Quorix are stopped. "
            f"Remove the folder when done: rm -rf {h.path}")
        if code != 0 or len(files) != len(MESSAGES) or len(records) != len(MESSAGES):
            sys.exit(f"the demo did not go through: {len(files)} messages fetched, "
                     f"{len(records)} logged, Quorix exit status {code}")


if __name__ == "__main__":
    main()
