#pragma once

#include <cstddef>
#include <cstdint>

// The double-byte mapping tables, generated from the published mappings into
// DoubleByteTables.cpp by scripts/gen-charset-tables.py.
//
// A table holds one row per lead byte; a row stores the units of the trail bytes from its
// first to its last defined one, so that a lookup is one range check and one load, while the
// unused ends of the rows (and rows with nothing at all) take no space.

namespace MailParser {

struct DoubleByteRow {
  std::uint16_t offset;  // of the first trail byte's unit in `units`
  std::uint8_t firstTrail;
  std::uint8_t lastTrail;  // below firstTrail for an empty row
};

struct DoubleByteTable {
  std::uint8_t firstLead;
  std::uint8_t lastLead;
  const DoubleByteRow* rows;  // lastLead - firstLead + 1 rows
  const char16_t* units;

  // The unit of the pair, or U+FFFD where the table defines none.
  [[nodiscard]] char16_t lookup(std::uint8_t lead, std::uint8_t trail) const noexcept {
    if (lead < firstLead || lead > lastLead) {
      return 0xFFFD;
    }
    const DoubleByteRow& row = rows[lead - firstLead];
    if (trail < row.firstTrail || trail > row.lastTrail) {
      return 0xFFFD;
    }
    return units[row.offset + (trail - row.firstTrail)];
  }
};

namespace DoubleByteTables {

// Code page 936: lead 0x81..0xFE, trail 0x40..0xFE.
extern const DoubleByteTable gbk;
// Code page 950 (the rows 0xC6A1..0xC7FE in the private use area from U+F6B1).
extern const DoubleByteTable big5;
// Code page 949, unified Hangul: lead 0x81..0xFE, trail 0x41..0xFE. Its lead and trail bytes
// 0xA1..0xFE are KS C 5601 with both high bits set, so the ISO 2022 engine uses it for that set.
extern const DoubleByteTable unifiedHangul;
// JIS X 0208 as Windows extends it (code page 932), by row and cell: lead 0x20 + row for rows
// 1..120, trail 0x20 + cell. Rows 1..94 are the 94x94 set of ISO-2022-JP and EUC-JP; the
// rows above are reached only through the Shift_JIS arrangement.
extern const DoubleByteTable jisX0208Windows;
// Big5 with the Hong Kong supplement (HKSCS-2008). A unit 0xD800 + k is no character but
// entry k of big5HKSCSExtras: a character above U+FFFF, or a letter and its combining mark.
extern const DoubleByteTable big5HKSCS;
extern const char32_t big5HKSCSExtras[][2];  // second code point 0 when there is one

// GB 18030's four-byte codes below U+10000, as runs of consecutive code points in the order
// of their linear index ((b1-0x81)*10 + b2-0x30)*1260 + (b3-0x81)*10 + b4-0x30; a run
// starting at code point 0 is undefined. Sorted by index, the first at index 0.
struct GB18030Range {
  std::uint32_t index;
  std::uint32_t code;
};
extern const GB18030Range gb18030Ranges[];
extern const std::size_t gb18030RangeCount;

// JIS X 0212 (the supplementary kanji of EUC-JP's three-byte codes), by row and cell: lead
// 0x20 + row, trail 0x20 + cell.
extern const DoubleByteTable jisX0212;

}  // namespace DoubleByteTables

}  // namespace MailParser
