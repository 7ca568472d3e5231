#!/usr/bin/env python3
"""Writes tests/data/mailparser/python-file-names.tsv: Content-Disposition values with
awkward file names, and the name Python's email package (a real RFC 2231 and RFC 2047
reader) makes of each. Where the parameter code reads a value differently on purpose, the
row also gives that reading and why. Run it from the repository root; the C++ tests read
only the table.

Columns: the field value, Python's name, the name the code gives when it differs (else
empty), the reason. Bytes outside printable ASCII are written \\xNN; a missing name is "-"."""

import email
import email.policy
import pathlib

CASES = [
    # pieces, in any order
    (b'attachment; filename*0="a"; filename*1=".exe"', None),
    (b'attachment; filename*1=".exe"; filename*0="a"', None),
    (b"attachment; filename*0*=UTF-8''%C3; filename*1*=%9C.pdf", None),
    (b"attachment; filename*0*=UTF-8'en'a%20b; filename*1=\" c.pdf\"", None),
    (b'attachment; filename*0="a"; filename*2=".exe"', None),
    (b'attachment; filename*0="a"; filename*0="b"; filename*1=".exe"',
     (b"a.exe", "a repeated piece is ignored and the rest joined, as in Thunderbird; Python drops what follows")),
    (b"attachment; filename*0*=%C3%9C.txt", None),
    # extended values
    (b"attachment; filename*=UTF-8''%C3%9Cberweisung.pdf", None),
    (b"attachment; filename*=\"UTF-8''%C3%9Cberweisung.pdf\"", None),
    (b"attachment; filename*=iso-8859-1''%E9t%E9.txt", None),
    (b"attachment; filename*=''%C3%9C.txt", None),
    (b"attachment; filename*=UTF-8%C3%9C.txt", None),
    (b"attachment; filename*=koi8-r''%EC%CF.txt", (b"\xEC\xCF.txt", "koi8-r is kept as bytes until it can be converted")),
    # plain and RFC 2231 together
    (b"attachment; filename*=UTF-8''%C3%9C.pdf; filename=\"fallback.pdf\"", None),
    (b"attachment; filename=\"fallback.pdf\"; filename*=UTF-8''%C3%9C.pdf",
     ("\u00dc.pdf".encode(), "the RFC 2231 form wins wherever it stands, as in Thunderbird; Python takes the first")),
    (b'attachment; filename="plain"; filename*0="a"; filename*1=".exe"',
     (b"a.exe", "the RFC 2231 form wins wherever it stands, as in Thunderbird; Python takes the first")),
    (b'attachment; filename*1*=%C3%9C.txt', (None, "no piece 0, no value, as in Thunderbird")),
    # encoded words
    (b'attachment; filename="=?utf-8?B?w5xiZXJ3ZWlzdW5nLnBkZg==?="', None),
    (b'attachment; filename="=?utf-8?Q?=C3=9Cber_weisung.pdf?="', None),
    (b'attachment; filename="=?utf-8?Q?a?= =?utf-8?Q?b.exe?="', None),
    (b'attachment; filename="=?utf-8?Q?a?=\r\n =?utf-8?Q?b.exe?="', None),
    (b'attachment; filename="x =?utf-8?Q?a?=.exe"', None),
    # 8-bit, control bytes, input that stops early
    (b'attachment; filename="\xc3\x9cberweisung.pdf"', None),
    (b'attachment; filename=\xc3\x9cberweisung.pdf', None),
    (b'attachment; filename="a\x00b.exe"', (b"ab.exe", "control bytes never reach a value")),
    (b'attachment; filename="a\tb.exe"', (b"ab.exe", "control bytes never reach a value")),
    (b'attachment; filename="a\rb.exe"', None),
    (b"attachment; filename*=UTF-8''%C", None),
    (b'attachment; filename*0="abc', None),
    (b'attachment; filename="=?utf-8?B?w5', None),
]


def escaped(data):
    if data is None:
        return "-"
    return "".join(chr(b) if 0x20 < b < 0x7F and b != 0x5C else "\\x%02X" % b for b in data)


def main():
    rows = []
    for value, ours in CASES:
        message = email.message_from_bytes(b"Content-Disposition: " + value + b"\r\n\r\nx\r\n",
                                           policy=email.policy.default)
        name = message.get_filename()
        python = None if name is None else name.encode("utf-8", "surrogateescape")
        differs, reason = ("", "") if ours is None else (escaped(ours[0]), ours[1])
        rows.append("\t".join([escaped(value), escaped(python), differs, reason]))
    out = pathlib.Path("tests/data/mailparser/python-file-names.tsv")
    out.write_text("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
