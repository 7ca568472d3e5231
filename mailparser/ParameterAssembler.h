#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mailparser/ContentField.h"

namespace MailParser {

// Puts the parameters of one field together as the field's text lists them: the pieces of
// each name, in whatever order they came, become one value.
//
// For each name (letter case ignored), the first of these that exists gives the value:
//  1. an extended value "name*=charset'language'text";
//  2. numbered pieces "name*0", "name*1" or "name*1*" ..., joined in number order up to the
//     first missing number (Thunderbird and Python's email package stop there too); piece 0
//     carries the charset when it is extended;
//  3. the plain "name=value".
// So the RFC 2231 forms win over the plain one, which senders add as a fallback for readers
// that know nothing of them. A repeated plain name keeps its last value; a repeated extended
// value or piece keeps its first, as RFC 2231 readers do. The name keeps the spelling it had
// where it first appeared.
//
// Plain values (pieces included) of "name" and "filename" have their encoded words decoded;
// extended ones never do. Every value is then resolved as ParameterText.h describes.
class ParameterAssembler {
 public:
  // One parameter as written: its name (with any "*" part) and its unquoted value.
  void add(std::string_view writtenName, std::string value);

  // Stores the values into `values` and the charsets of values kept raw into `rawCharsets`.
  void finish(ContentField::Parameters& values, ContentField::Parameters& rawCharsets) const;

 private:
  struct Piece {
    std::string text;
    bool extended = false;
  };
  struct Group {
    std::string name;
    std::optional<std::string> plain;
    std::optional<std::string> extended;
    std::map<std::size_t, Piece> pieces;
  };

  Group& groupFor(std::string_view base);

  std::vector<Group> groups_;
  std::map<std::string, std::size_t, caseinsensitive_string_less> index_;
};

}  // namespace MailParser
