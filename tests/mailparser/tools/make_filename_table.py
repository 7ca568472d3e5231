#!/usr/bin/env python3
"""Writes tests/data/mailparser/corpus-filenames.tsv: the file name of every leaf part of the
corpus messages that carry one, as Python's email package (an RFC 2231 and RFC 2047 reader)
reads it. Run it from the repository root after the corpus or the reading rules change; the
C++ tests read only the table.

Columns: message (relative to tests/data/corpus), leaf part number (0-based, in message
order; message/rfc822 parts are leaves), the field ("content-disposition" for the filename
parameter, "content-type" for name), the name as UTF-8 bytes with \\xNN escapes, and the
charset label when the name stays in a charset that no decoder knows (the bytes are then in
that charset, as the code keeps them; every label of the corpus is known, so the column is
empty today)."""

import email
import email.policy
import pathlib
import sys

CORPUS = pathlib.Path("tests/data/corpus")
FOLDERS = ["gen-attachments", "gen-charsets"]
FIELDS = [("Content-Disposition", "filename"), ("Content-Type", "name")]


def leaves(part):
    if part.get_content_maintype() == "multipart" and isinstance(part.get_payload(), list):
        for child in part.get_payload():
            yield from leaves(child)
    else:
        yield part


def escaped(data):
    return "".join(chr(b) if 0x20 < b < 0x7F and b != 0x5C else "\\x%02X" % b for b in data)


def main():
    rows = []
    for folder in FOLDERS:
        for path in sorted((CORPUS / folder).glob("*.eml")):
            message = email.message_from_bytes(path.read_bytes(), policy=email.policy.default)
            for number, part in enumerate(leaves(message)):
                for field, parameter in FIELDS:
                    header = part.get(field)
                    if header is None or parameter not in header.params:
                        continue
                    name = header.params[parameter]
                    data, kept = name.encode("utf-8", "surrogateescape"), ""
                    rows.append("\t".join([str(path.relative_to(CORPUS)), str(number), field.lower(), escaped(data), kept]))
    out = pathlib.Path("tests/data/mailparser/corpus-filenames.tsv")
    out.write_text("\n".join(rows) + "\n")
    print("%d names written to %s" % (len(rows), out), file=sys.stderr)


if __name__ == "__main__":
    main()
