// Reads arbitrary bytes as a binary wide string (other mail programs write these values) and
// checks that the text can be written back in the same format and then reads as the same
// text; values the reader refuses must be refused with the registry error.

#include <cstdint>
#include <string>
#include <vector>

#include "config/TExtRegistry.h"
#include "fuzz/FuzzCheck.h"
#include "platform/ERegistryException.h"
#include "platform/TRegistryStore.h"

namespace {

// Never flushed: the store lives in memory only.
TRegistryStore& Store() {
  static TRegistryStore store("/nonexistent-quorix-fuzz/registry.reg", {});
  return store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TExtRegistry registry(Store());
  check(registry.OpenKey("\\Fuzz", true), "cannot open the key");
  registry.WriteBinaryData("In", std::vector<std::uint8_t>(data, data + size));

  std::string text;
  try {
    text = registry.ReadBinaryWidestring("In");
  } catch (const ERegistryException&) {
    check(size > 514, "a value that fits the buffer was refused");
    return 0;
  }
  check(size <= 514, "a value longer than the buffer was read");

  // The one value that reads but cannot be written back: a full buffer without the NUL
  // holds 257 characters, one more than the format allows; it is refused, not cut.
  const bool fullWithoutNul = size == 514 && (data[512] != 0 || data[513] != 0);
  try {
    registry.WriteBinaryWidestring("Out", text);
  } catch (const ERegistryException&) {
    check(fullWithoutNul, "a text that was read cannot be written back");
    return 0;
  }
  check(!fullWithoutNul, "257 characters were written");
  check(registry.ReadBinaryWidestring("Out") == text, "the text does not read back as written");
  return 0;
}
