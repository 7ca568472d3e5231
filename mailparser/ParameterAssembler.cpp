#include "mailparser/ParameterAssembler.h"

#include <string>

#include "mailparser/EncodedWords.h"
#include "mailparser/ParameterText.h"
#include "mailparser/RFC2231.h"

namespace MailParser {

namespace {

// "charset'language'text": the text percent-decoded, in that charset.
ParameterText extendedText(std::string_view value) {
  std::string_view charset;
  std::string_view rest;
  splitExtendedValue(value, charset, rest);
  return {percentDecode(rest), std::string(charset)};
}

}  // namespace

ParameterAssembler::Group& ParameterAssembler::groupFor(std::string_view base) {
  const auto [entry, added] = index_.try_emplace(std::string(base), groups_.size());
  if (added) {
    groups_.push_back({std::string(base), {}, {}, {}});
  }
  return groups_[entry->second];
}

void ParameterAssembler::add(std::string_view writtenName, std::string value) {
  const auto name = parseParameterName(writtenName);
  if (!name) {
    return;
  }
  Group& group = groupFor(name->base);
  if (name->section) {
    group.pieces.try_emplace(*name->section, Piece{std::move(value), name->extended});
  } else if (name->extended) {
    if (!group.extended) {
      group.extended = std::move(value);
    }
  } else {
    group.plain = std::move(value);
  }
}

void ParameterAssembler::finish(ContentField::Parameters& values, ContentField::Parameters& rawCharsets) const {
  for (const Group& group : groups_) {
    ParameterText text;
    bool extended = false;
    if (group.extended) {
      text = extendedText(*group.extended);
      extended = true;
    } else if (!group.pieces.empty() && group.pieces.begin()->first == 0) {
      std::size_t expected = 0;
      for (const auto& [number, piece] : group.pieces) {
        if (number != expected) {
          break;
        }
        ++expected;
        if (!piece.extended) {
          text.bytes += piece.text;
        } else if (number == 0) {
          text = extendedText(piece.text);
        } else {
          text.bytes += percentDecode(piece.text);
        }
        extended = extended || piece.extended;
      }
    } else if (group.plain) {
      text.bytes = *group.plain;
    } else {
      continue;
    }
    if (!extended && isFileNameParameter(group.name)) {
      // Controls go first: a word that only dropping them completes is still read.
      std::erase_if(text.bytes, [](char c) { return static_cast<unsigned char>(c) < 0x20; });
      text = decodeEncodedWords(text.bytes);
    }
    ResolvedParameter resolved = resolveParameterText(text);
    if (!resolved.rawCharset.empty()) {
      rawCharsets[group.name] = std::move(resolved.rawCharset);
    }
    values[group.name] = std::move(resolved.value);
  }
}

}  // namespace MailParser
