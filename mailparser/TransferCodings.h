#pragma once

#include <string>
#include <string_view>

#include "mailparser/TransferEncoding.h"

// Decoding and encoding of entity bodies, and the recognition of UUencoded "begin" lines.
//
// A body block is the entity's body lines joined, each followed by CR LF. Every function here
// is pure: bytes in, bytes out, nothing kept between calls, and 8-bit bytes pass unchanged
// wherever the coding does not give them a meaning.
//
// The decoders never reject malformed input: quoted-printable copies what it cannot decode,
// base64 skips foreign bytes and drops an incomplete last group, uudecode pads short lines.

namespace MailParser {

// Dispatches on the encoding: QuotedPrintable, Base64 and UUEncode go to their decoders;
// SevenBit, EightBit and Unknown return the block unchanged (for Unknown, the raw text is the
// best that can be offered).
[[nodiscard]] std::string decodeBody(TransferEncoding encoding, std::string_view block);

// Decodes a quoted-printable block.
// - "=XX" with two hexadecimal digits (either letter case) is the byte they encode.
// - "=" followed by optional spaces and TABs and CR LF is a soft line break and yields nothing.
// - Any other "=" (last byte, "=4" at the end, "=G1", "=4x") is copied as a literal "=" and
//   the bytes after it are decoded normally.
// - Spaces and TABs directly before a CR LF are dropped; elsewhere they are kept.
// - The CR LF that ends the block is dropped: it closed the last body line and is not data.
//   Every other CR, LF or CR LF is copied.
// The result is never longer than the block.
[[nodiscard]] std::string decodeQuotedPrintable(std::string_view block);

// Decodes a base64 block (alphabet A-Z, a-z, 0-9, "+", "/"; "=" is padding).
// - Bytes outside the alphabet and "=" are skipped wherever they are.
// - Each group of four characters yields its first byte always, its second byte when fewer
//   than two of the four are "=", and its third when none is; "=" counts as zero bits.
// - A "=" group in the middle does not end the data: decoding goes on after it.
// - A final group of fewer than four characters is dropped.
// Because groups are counted over alphabet and "=" characters only, the decoding of a block
// equals the concatenation of the decodings of pieces cut after every fourth such character.
[[nodiscard]] std::string decodeBase64(std::string_view block);

// Decodes a UUencoded block line by line: each line that ends in CR LF is decoded on its own
// and the results are concatenated; an empty line and a last line without CR LF yield nothing.
// The first byte of a line gives the byte count ((byte - 32) AND 63; 0 yields nothing), a
// line shorter than the count needs is read as if padded with spaces, and the characters
// beyond what the count needs are ignored. "begin" and "end" lines get no special treatment:
// they decode to a few meaningless bytes, as any other line would.
// Throws std::runtime_error("iterated past end of input line doing uudecode!") if a line's
// groups ran past its padded end; the padding makes that impossible, so it marks a bug here.
[[nodiscard]] std::string decodeUUEncoded(std::string_view block);

// Encodes bytes as quoted-printable. Printable ASCII other than "=" stays as it is, CR LF
// stays a line break, and every other byte ("=", controls, a lone CR or LF, 8-bit bytes)
// becomes "=XX" with upper-case digits. A space or TAB is encoded where it could otherwise
// end a line (at the end of the input, before a CR, or two bytes before an LF), except that
// one directly followed by just one last byte stays literal. A soft line break "=" CR LF is
// inserted once a line has reached 72 characters, so no output line is longer than 75
// characters including the "=".
// The result ends in CR LF only if the input does. Decoding the result followed by CR LF,
// the way it travels as body lines, gives back the input exactly; decoding the result alone
// does too when the input does not end in CR LF.
[[nodiscard]] std::string encodeQuotedPrintable(std::string_view bytes);

// True for the "begin" line of a UUencoded file: the line starts with "begin" in lower case,
// then at least one space, TAB, CR or LF, and the first byte after that run is a decimal digit
// (the file mode). "begin 644 report.exe" is one; "beginning 644", "begin now", "Begin 644 x"
// and " begin 644 x" are not.
[[nodiscard]] bool isUUEncodeBeginLine(std::string_view line) noexcept;

// Returns the line with one space in front. Mail programs do not take a "begin" line that
// starts with a space as the start of a UUencoded file, so the file is not extracted and its
// data lines stay in the text.
[[nodiscard]] std::string neutraliseBeginLine(std::string_view line);

}  // namespace MailParser
