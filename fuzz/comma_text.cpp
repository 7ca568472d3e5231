// The comma-text reader of stored lists on arbitrary bytes: it must finish on every text, and
// what it reads must survive joining and splitting again. The input read as a list (the
// first byte separates its items) must also come back from the text it joins to.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/CommaText.h"
#include "fuzz/FuzzCheck.h"

namespace {

std::vector<std::string> SplitAt(std::string_view text, char separator) {
  std::vector<std::string> items;
  while (true) {
    const std::size_t end = text.find(separator);
    items.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) {
      return items;
    }
    text.remove_prefix(end + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> items = SplitCommaText(text);
  check(items.size() <= text.size() + 1, "every item takes at least one byte of the text");
  check(SplitCommaText(JoinCommaText(items)) == items, "a split list joins and splits back the same");
  if (!text.empty()) {
    const std::vector<std::string> list = SplitAt(text.substr(1), text.front());
    check(SplitCommaText(JoinCommaText(list)) == list, "any list joins and splits back the same");
  }
  return 0;
}
