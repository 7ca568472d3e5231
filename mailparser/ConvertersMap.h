#pragma once

#include <map>
#include <string>
#include <string_view>

// The table from charset names to decoders.

namespace MailParser {

// A decoder takes the bytes and its converter's parameter (a table or a mode, each decoder
// knows which) and returns the wide text; it never fails.
using DecoderFunction = std::u16string (*)(std::string_view bytes, const void* parameter);

struct Converter {
  DecoderFunction decode = nullptr;
  const void* parameter = nullptr;

  [[nodiscard]] std::u16string operator()(std::string_view bytes) const { return decode(bytes, parameter); }
};

// Built once, on first use, and read-only afterwards, so any number of threads may read it.
class ConvertersMap {
 public:
  using Map = std::map<std::string, Converter, std::less<>>;

  [[nodiscard]] static const ConvertersMap& instance();

  // The converter of a lower-case, trimmed name; null for a name it does not know.
  [[nodiscard]] const Converter* find(std::string_view name) const;
  // The decoder of unknown and missing names (windows-1252).
  [[nodiscard]] const Converter& fallback() const noexcept { return fallback_; }
  [[nodiscard]] const Map& converters() const noexcept { return map_; }

 private:
  ConvertersMap();

  Map map_;
  Converter fallback_;
};

}  // namespace MailParser
