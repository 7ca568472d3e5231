#!/usr/bin/env python3
"""Every corpus message fetched with mpop through Quorix from a real Dovecot equals what
quorix-filter makes of the same message under the same settings, apart from the time in
the program's Received field.

quorix-filter is fed the bytes Dovecot serves (fetched with mpop directly from Dovecot), so
that what the server itself changes is not counted against the proxy; those changes are
checked on their own: Dovecot may only end a last line that has no line end.

usage: check-corpus.py QUORIX QUORIX_FILTER CORPUS_DIR [--jobs N]
"""

import argparse
import concurrent.futures
import datetime
import difflib
import os
import sys

import harness as H

NOW = "2024-05-01T10:00:00+0200"
FIXED_NOW = datetime.datetime(2024, 5, 1, 10, 0, 0, tzinfo=datetime.timezone(datetime.timedelta(hours=2)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("quorix")
    parser.add_argument("filter")
    parser.add_argument("corpus")
    parser.add_argument("--jobs", type=int, default=2)
    args = parser.parse_args()
    H.require_peers("dovecot", "mpop")

    files = H.corpus_files(args.corpus)
    if H.sanitized():
        # Every eighth message: the whole corpus is hundreds of sanitized filter runs.
        files = files[::8]
    with H.Harness() as h:
        dovecot = H.Dovecot(h)
        # The UIDL (the maildir name) leads back to the corpus file.
        dovecot.add_user("ann", [(f"c{i:04d}", open(f, "rb").read()) for i, f in enumerate(files)])
        dovecot.start()

        quorix = H.Quorix(h, args.quorix)
        quorix.add_account(H.SERVER_NAME, dovecot.port)  # the default profile, "Medium"
        quorix.start()
        hosts = quorix.nss_hosts()
        local_name = H.SERVER_NAME + ".qx"
        if local_name not in quorix.local_names():
            sys.exit(f"the hosts block has no {local_name}:\n{quorix.hosts_text()}")

        # Whole seconds: the fields carry no fractions.
        started = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
        direct_dir, through_dir = h.sub("direct"), h.sub("through")
        for where, host, port in (("direct", H.SERVER_NAME, dovecot.port),
                                  ("through", local_name, quorix.port)):
            result = H.run_mpop(h, host, port, "ann", h.sub(where), hosts, name=f"mpoprc-{where}")
            if result.returncode != 0:
                sys.exit(f"mpop {where} failed ({result.returncode}): {result.stderr}\n{quorix.output()}")
        with H.POP3("127.0.0.1", dovecot.port) as client:
            client.login("ann")
            order = [int(uid[1:]) for _, uid in client.uidls()]
        finished = datetime.datetime.now(datetime.timezone.utc)
        direct = H.maildir_messages(direct_dir)
        through = H.maildir_messages(through_dir)
        if not (len(direct) == len(through) == len(files)):
            sys.exit(f"fetched {len(direct)} directly and {len(through)} through Quorix "
                     f"of {len(files)} messages")

        # What Dovecot changes by itself.
        server_changes = []
        for index, served in zip(order, direct):
            original = open(files[index], "rb").read().replace(b"\r\n", b"\n")
            got = open(served, "rb").read()
            if got != original and got != original + b"\n":
                server_changes.append(files[index])
        ended = sum(1 for i in order if not open(files[i], "rb").read().endswith(b"\n"))
        print(f"Dovecot served {len(files)} messages; it added a line end to the {ended} "
              f"whose last line had none, and changed {len(server_changes)} otherwise")

        expected_dir = h.sub("expected")

        def compare(position):
            index = order[position]
            expected = os.path.join(expected_dir, f"{position + 1:04d}.eml")
            H.run_filter(args.filter, quorix.registry, H.SERVER_NAME, NOW, direct[position], expected)
            want = open(expected, "rb").read()
            got = open(through[position], "rb").read()
            reason = H.compare_filtered(want, got, started, finished, FIXED_NOW)
            if reason is None:
                return None
            diff = difflib.unified_diff(want.decode("utf-8", "replace").splitlines(),
                                        got.decode("utf-8", "replace").splitlines(),
                                        "quorix-filter", "through Quorix", lineterm="", n=1)
            return files[index], reason + ":\n" + "\n".join(list(diff)[:30])

        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            mismatches = [m for m in pool.map(compare, range(len(files))) if m]

        code = quorix.stop()
        errors = quorix.errors()
        failed = False
        for name in server_changes:
            print(f"FAIL: Dovecot changed {name} beyond a final line end")
            failed = True
        for name, diff in mismatches[:10]:
            print(f"FAIL: {name} through Quorix differs from quorix-filter:\n{diff}")
        if mismatches:
            print(f"FAIL: {len(mismatches)} of {len(files)} messages differ")
            failed = True
        if errors:
            print("FAIL: Quorix reported errors:\n  " + "\n  ".join(errors[:20]))
            failed = True
        if code != 0:
            print(f"FAIL: quorix exited with {code} after SIGTERM")
            failed = True
        if failed:
            print(quorix.output()[-4000:])
            sys.exit(1)
        print(f"{len(files)} messages through Quorix equal quorix-filter's output")


if __name__ == "__main__":
    main()
