// The settings-file parser on arbitrary bytes. Whatever it accepts must survive a write and
// a second read unchanged: the same tree, and the same text when written again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "platform/ERegistryException.h"
#include "platform/RegFileFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TRegKey tree;
  try {
    tree = RegFileFormat::Parse(text, "fuzz.reg");
  } catch (const ERegistryException&) {
    return 0;
  }
  const std::string written = RegFileFormat::Format(tree);
  const TRegKey reread = RegFileFormat::Parse(written, "fuzz.reg");  // throwing here is a fault too
  check(reread == tree && RegFileFormat::Format(reread) == written, "a written file reads back the same");
  return 0;
}
