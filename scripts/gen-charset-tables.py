#!/usr/bin/env python3
"""Writes the charset mapping tables of mailparser/ from the published mappings.

    python3 scripts/gen-charset-tables.py

The source of every table is glibc's iconv on this machine, reached through ctypes, so the
tests can check our decoders against the very same oracle. The few code pages glibc does not
carry come from Python's codecs (generated from the Unicode Consortium's mapping files) or,
for Mac Hebrew, from Perl's Encode (generated from Apple's mapping file).

Output (never edit by hand; the build does not run this script):
    mailparser/SingleByteTables.cpp   one 256-entry table per single-byte code page
    mailparser/DoubleByteTables.cpp   GBK with GB 18030's four-byte codes, Big5, Big5-HKSCS,
                                      unified Hangul, JIS X 0208 (Windows), JIS X 0212
"""

import ctypes
import ctypes.util
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
REPLACEMENT = 0xFFFD

libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
libc.iconv_open.restype = ctypes.c_void_p
libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
libc.iconv.restype = ctypes.c_size_t
libc.iconv.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t),
                       ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t)]
libc.iconv_close.argtypes = [ctypes.c_void_p]


class Iconv:
    """Decodes one short byte string at a time; None when iconv refuses all of it."""

    def __init__(self, charset):
        self.cd = libc.iconv_open(b"UTF-32LE", charset.encode())
        if self.cd in (None, ctypes.c_void_p(-1).value):
            sys.exit(f"glibc iconv does not know {charset}")

    def decode(self, data):
        libc.iconv(self.cd, None, None, None, None)
        inbuf = ctypes.create_string_buffer(data, len(data))
        outbuf = ctypes.create_string_buffer(64)
        inptr = ctypes.c_char_p(ctypes.addressof(inbuf))
        outptr = ctypes.c_char_p(ctypes.addressof(outbuf))
        inleft = ctypes.c_size_t(len(data))
        outleft = ctypes.c_size_t(64)
        result = libc.iconv(self.cd, ctypes.byref(inptr), ctypes.byref(inleft), ctypes.byref(outptr),
                            ctypes.byref(outleft))
        if result == ctypes.c_size_t(-1).value or inleft.value != 0:
            return None
        # Code pages with combining marks (1255, 1258) hold the last character back until
        # the end of the input, to compose it with a mark that may follow.
        if libc.iconv(self.cd, None, None, ctypes.byref(outptr), ctypes.byref(outleft)) == ctypes.c_size_t(-1).value:
            return None
        produced = 64 - outleft.value
        return [int.from_bytes(outbuf.raw[i:i + 4], "little") for i in range(0, produced, 4)]


def one_unit(values):
    """The table entry for a decoding: one code unit, else the replacement character."""
    if values is None or len(values) != 1 or values[0] > 0xFFFF or 0xD800 <= values[0] <= 0xDFFF:
        return REPLACEMENT
    return values[0]


def iconv_single_byte(charset):
    decoder = Iconv(charset)
    return [one_unit(decoder.decode(bytes([b]))) for b in range(256)]


def python_single_byte(codec):
    table = []
    for b in range(256):
        try:
            text = bytes([b]).decode(codec)
        except UnicodeDecodeError:
            text = None
        table.append(one_unit(None if text is None else [ord(c) for c in text]))
    return table


def perl_single_byte(encoding):
    script = ("use Encode; binmode STDOUT; for my $b (0..255) { my $s = decode('%s', chr($b), "
              "Encode::FB_QUIET); print pack('V', length($s) == 1 ? ord($s) : 0xFFFD); }" % encoding)
    raw = subprocess.run(["perl", "-e", script], check=True, capture_output=True).stdout
    return [one_unit([int.from_bytes(raw[i:i + 4], "little")]) for i in range(0, 1024, 4)]


def windows_1252():
    # glibc leaves 0x81, 0x8D, 0x8F, 0x90 and 0x9D undefined; browsers decode them as the C1
    # controls of the same value, which keeps Latin-1 text that uses them intact.
    table = iconv_single_byte("CP1252")
    return [b if unit == REPLACEMENT and 0x80 <= b <= 0x9F else unit for b, unit in enumerate(table)]


# (C++ name, where it comes from). The order is the order in the generated file.
SINGLE_BYTE = [
    ("windows1252", windows_1252),
    ("iso8859_2", lambda: iconv_single_byte("ISO-8859-2")),
    ("iso8859_3", lambda: iconv_single_byte("ISO-8859-3")),
    ("iso8859_4", lambda: iconv_single_byte("ISO-8859-4")),
    ("iso8859_5", lambda: iconv_single_byte("ISO-8859-5")),
    ("iso8859_6", lambda: iconv_single_byte("ISO-8859-6")),
    ("iso8859_7", lambda: iconv_single_byte("ISO-8859-7")),
    ("iso8859_8", lambda: iconv_single_byte("ISO-8859-8")),
    ("iso8859_9", lambda: iconv_single_byte("ISO-8859-9")),
    ("iso8859_10", lambda: iconv_single_byte("ISO-8859-10")),
    ("iso8859_13", lambda: iconv_single_byte("ISO-8859-13")),
    ("iso8859_14", lambda: iconv_single_byte("ISO-8859-14")),
    ("iso8859_15", lambda: iconv_single_byte("ISO-8859-15")),
    ("iso8859_16", lambda: iconv_single_byte("ISO-8859-16")),
    ("windows874", lambda: iconv_single_byte("CP874")),
    ("windows1250", lambda: iconv_single_byte("CP1250")),
    ("windows1251", lambda: iconv_single_byte("CP1251")),
    ("windows1253", lambda: iconv_single_byte("CP1253")),
    ("windows1254", lambda: iconv_single_byte("CP1254")),
    ("windows1255", lambda: iconv_single_byte("CP1255")),
    ("windows1256", lambda: iconv_single_byte("CP1256")),
    ("windows1257", lambda: iconv_single_byte("CP1257")),
    ("windows1258", lambda: iconv_single_byte("CP1258")),
    ("ibm437", lambda: iconv_single_byte("IBM437")),
    ("ibm850", lambda: iconv_single_byte("IBM850")),
    ("ibm852", lambda: iconv_single_byte("IBM852")),
    ("ibm857", lambda: iconv_single_byte("IBM857")),
    ("ibm860", lambda: iconv_single_byte("IBM860")),
    ("ibm861", lambda: iconv_single_byte("IBM861")),
    ("ibm862", lambda: iconv_single_byte("IBM862")),
    ("ibm863", lambda: iconv_single_byte("IBM863")),
    ("ibm864", lambda: iconv_single_byte("IBM864")),
    ("ibm865", lambda: iconv_single_byte("IBM865")),
    ("ibm866", lambda: iconv_single_byte("IBM866")),
    ("ibm869", lambda: iconv_single_byte("IBM869")),
    ("ibm424", lambda: iconv_single_byte("IBM424")),
    ("ibm737", lambda: python_single_byte("cp737")),
    ("ibm775", lambda: iconv_single_byte("IBM775")),
    ("macintosh", lambda: iconv_single_byte("MACINTOSH")),
    ("macArabic", lambda: python_single_byte("mac_arabic")),
    ("macCentralEurope", lambda: iconv_single_byte("MAC-CENTRALEUROPE")),
    ("macCyrillic", lambda: iconv_single_byte("CP10007")),
    ("macGreek", lambda: python_single_byte("mac_greek")),
    ("macHebrew", lambda: perl_single_byte("MacHebrew")),
    ("macIcelandic", lambda: iconv_single_byte("MAC-IS")),
    ("macTurkish", lambda: python_single_byte("mac_turkish")),
    ("koi8r", lambda: iconv_single_byte("KOI8-R")),
    ("koi8u", lambda: iconv_single_byte("KOI8-U")),
]


class Rows:
    """A double-byte table cut into one row per lead byte: only the trail bytes from the
    first to the last defined one are stored, so a lookup is one range check and one load."""

    def __init__(self, name, first_lead, last_lead, first_trail, last_trail, decode):
        self.name = name
        self.first_lead = first_lead
        self.last_lead = last_lead
        self.rows = []
        self.units = []
        for lead in range(first_lead, last_lead + 1):
            values = [decode(lead, trail) for trail in range(first_trail, last_trail + 1)]
            defined = [i for i, v in enumerate(values) if v != REPLACEMENT]
            if not defined:
                self.rows.append((0, 1, 0))
                continue
            lo, hi = defined[0], defined[-1]
            self.rows.append((len(self.units), first_trail + lo, first_trail + hi))
            self.units.extend(values[lo:hi + 1])


def pair_decoder(charset):
    decoder = Iconv(charset)
    return lambda lead, trail: one_unit(decoder.decode(bytes([lead, trail])))


def jis_windows():
    # JIS X 0208 rows and cells as Windows extends them (NEC row 13, the NEC-selected IBM
    # rows 89..92, the private rows and the IBM rows reached only through Shift_JIS), read
    # from code page 932 by converting each row and cell to its Shift_JIS bytes. Lead
    # 0x21 + row - 1, trail 0x21 + cell - 1; rows 1..120.
    decode = pair_decoder("CP932")

    def at(lead, trail):
        row, cell = lead - 0x20, trail - 0x20
        first = (row + 1) // 2 + (0x80 if row <= 62 else 0xC0)
        if row % 2:
            second = cell + (0x3F if cell <= 63 else 0x40)
        else:
            second = cell + 0x9E
        return decode(first, second)

    return Rows("jisX0208Windows", 0x21, 0x20 + 120, 0x21, 0x7E, at)


def unified_hangul():
    # Code page 949, completed with what KS X 1001 has added since glibc's table was made
    # (U+327E at 0xA2E8), as browsers decode it.
    cp949 = pair_decoder("CP949")
    euc_kr = pair_decoder("EUC-KR")

    def at(lead, trail):
        unit = cp949(lead, trail)
        if unit == REPLACEMENT and lead >= 0xA1 and trail >= 0xA1:
            unit = euc_kr(lead, trail)
        return unit

    return Rows("unifiedHangul", 0x81, 0xFE, 0x41, 0xFE, at)


def jis_x0212():
    # JIS X 0212 by row and cell (lead and trail 0x21..0x7E), read as EUC-JP's three-byte
    # codes 0x8F row cell with the Windows-compatible mapping that the JIS X 0208 table uses.
    decoder = Iconv("EUC-JP-MS")
    return Rows("jisX0212", 0x21, 0x7E, 0x21, 0x7E,
                lambda lead, trail: one_unit(decoder.decode(bytes([0x8F, lead | 0x80, trail | 0x80]))))


# Big5-HKSCS has characters that are no single code unit: those above U+FFFF and four that
# are a letter and a combining mark. The table gives each of them a marker in the surrogate
# range, 0xD800 + k, which indexes entry k of the extras (two code points, the second 0 when
# there is one); surrogates are never characters, so a marker cannot be mistaken for one.
HKSCS_EXTRAS = []


def big5_hkscs():
    decoder = Iconv("BIG5-HKSCS")

    def at(lead, trail):
        values = decoder.decode(bytes([lead, trail]))
        if values is None:
            return REPLACEMENT
        if len(values) == 1 and values[0] <= 0xFFFF:
            return values[0]
        assert len(values) <= 2 and len(HKSCS_EXTRAS) < 0x800
        HKSCS_EXTRAS.append((values + [0])[:2])
        return 0xD800 + len(HKSCS_EXTRAS) - 1

    return Rows("big5HKSCS", 0x81, 0xFE, 0x40, 0xFE, at)


def gb18030_ranges():
    """The four-byte codes of GB 18030 below U+10000 as runs of consecutive code points:
    (first linear index, first code point), code point 0 for a run of undefined codes. The
    linear index of b1 b2 b3 b4 is ((b1-0x81)*10 + b2-0x30)*1260 + (b3-0x81)*10 + b4-0x30."""
    decoder = Iconv("GB18030")
    ranges = []
    previous = None
    for index in range(0, 39420):
        b1, rest = divmod(index, 12600)
        b2, rest = divmod(rest, 1260)
        b3, b4 = divmod(rest, 10)
        values = decoder.decode(bytes([0x81 + b1, 0x30 + b2, 0x81 + b3, 0x30 + b4]))
        code = values[0] if values and len(values) == 1 and values[0] <= 0xFFFF else 0
        if code == REPLACEMENT:
            code = 0
        expected = None if previous is None else (0 if previous == 0 else previous + 1)
        if code != expected:
            ranges.append((index, code))
        previous = code
    return ranges


DOUBLE_BYTE = [
    lambda: Rows("gbk", 0x81, 0xFE, 0x40, 0xFE, pair_decoder("CP936")),
    lambda: Rows("big5", 0x81, 0xFE, 0x40, 0xFE, pair_decoder("CP950")),
    unified_hangul,
    jis_windows,
    jis_x0212,
    big5_hkscs,
]

HEADER = ("// Generated by scripts/gen-charset-tables.py from glibc iconv; regenerate with "
          "`python3 scripts/gen-charset-tables.py`, do not edit.\n")


def hex_lines(values, indent="  "):
    lines = []
    for i in range(0, len(values), 12):
        lines.append(indent + ", ".join("0x%04X" % v for v in values[i:i + 12]) + ",")
    return "\n".join(lines)


def write(path, text):
    with open(os.path.join(ROOT, path), "w", encoding="ascii", newline="\n") as out:
        out.write(text)


def main():
    parts = [HEADER, "// clang-format off\n", '#include "mailparser/SingleByteTables.h"\n\n',
             "namespace MailParser::SingleByteTables {\n\n"]
    for name, source in SINGLE_BYTE:
        table = source()
        assert len(table) == 256
        parts.append("const SingleByteTable %s = {{\n%s\n}};\n\n" % (name, hex_lines(table)))
    parts.append("}  // namespace MailParser::SingleByteTables\n")
    write("mailparser/SingleByteTables.cpp", "".join(parts))

    parts = [HEADER, "// clang-format off\n", '#include "mailparser/DoubleByteTables.h"\n\n',
             "namespace MailParser::DoubleByteTables {\n\nnamespace {\n\n"]
    tables = [make() for make in DOUBLE_BYTE]
    for t in tables:
        parts.append("constexpr DoubleByteRow %sRows[] = {\n" % t.name)
        for i in range(0, len(t.rows), 6):
            parts.append("  " + " ".join("{%d, 0x%02X, 0x%02X}," % r for r in t.rows[i:i + 6]) + "\n")
        parts.append("};\n\nconstexpr char16_t %sUnits[] = {\n%s\n};\n\n" % (t.name, hex_lines(t.units)))
    parts.append("}  // namespace\n\n")
    parts.append("const char32_t big5HKSCSExtras[][2] = {\n")
    for i in range(0, len(HKSCS_EXTRAS), 6):
        parts.append("  " + " ".join("{0x%05X, 0x%04X}," % tuple(e) for e in HKSCS_EXTRAS[i:i + 6]) + "\n")
    parts.append("};\n\n")
    ranges = gb18030_ranges()
    parts.append("const GB18030Range gb18030Ranges[] = {\n")
    for i in range(0, len(ranges), 6):
        parts.append("  " + " ".join("{%d, 0x%04X}," % r for r in ranges[i:i + 6]) + "\n")
    parts.append("};\n\nconst std::size_t gb18030RangeCount = %d;\n\n" % len(ranges))
    for t in tables:
        parts.append("const DoubleByteTable %s = {0x%02X, 0x%02X, %sRows, %sUnits};\n" %
                     (t.name, t.first_lead, t.last_lead, t.name, t.name))
    parts.append("\n}  // namespace MailParser::DoubleByteTables\n")
    write("mailparser/DoubleByteTables.cpp", "".join(parts))


if __name__ == "__main__":
    main()
