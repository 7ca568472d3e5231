#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include "common/CaseInsensitiveLess.h"

namespace MailParser {

// The longest line a parameter is written on (with the TAB that folds it and the ";" after
// it): the limit to which the message header's lines are cut. A longer value is written in
// numbered RFC 2231 pieces rather than cut. A 70-character boundary stays on one line.
inline constexpr std::size_t MaxParameterLineLength = 255;

// A structured field value: a main value followed by ";"-separated name=value parameters.
// Parameter names compare ignoring letter case.
//
// Each parameter holds its one logical value, the one a mail program shows: RFC 2231 pieces
// and extended values are put together and decoded, encoded words in file names decoded (see
// ParameterAssembler.h), and the result is UTF-8 where its charset is known here. So an
// attachment rule that reads parameters["filename"] sees the name the user will see.
class ContentField {
 public:
  using Parameters = std::map<std::string, std::string, caseinsensitive_string_less>;

  ContentField() = default;
  ContentField(const ContentField&) = default;
  ContentField& operator=(const ContentField&) = default;
  ContentField(ContentField&&) noexcept = default;
  ContentField& operator=(ContentField&&) noexcept = default;
  virtual ~ContentField();

  // Replaces the main value and the parameters with those of `value` (comments already
  // stripped). Never fails: parameters read before a malformed one are kept and nothing after
  // it is read. Quoted values hold 8-bit bytes; they end at the closing quote or at a line
  // break that is not a fold. No value holds a control byte.
  virtual void parse(std::string_view value);

  // mainValue(), then ";\r\n\t" and one parameter for every parameter, in name order: quoted
  // when its value is printable ASCII, in the RFC 2231 form "name*=UTF-8''..." when it is
  // other UTF-8 (or under its rawCharsets entry), in numbered pieces when its line would be
  // longer than MaxParameterLineLength. Never as a quoted extended value. RFC2231.h
  // (appendParameter) has the details.
  [[nodiscard]] virtual std::string toString() const;

  virtual void parseMainValue(std::string_view text) = 0;
  [[nodiscard]] virtual std::string mainValue() const = 0;

  Parameters parameters;

  // Parameters whose charset is not converted here (for example "koi8-r"), by name: their
  // value in `parameters` is the decoded bytes of that charset, not UTF-8, and this map names
  // the charset, so toString writes them back under the label they came with. Code that
  // moves such a value to another parameter moves its entry too; code that puts a value of
  // its own under that name removes the entry.
  Parameters rawCharsets;
};

}  // namespace MailParser
