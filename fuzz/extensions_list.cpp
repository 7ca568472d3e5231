// Parses arbitrary text as a stored extension list (the value comes from the settings file,
// which the user or another program may have edited) and checks what the attachment policy
// relies on: no empty extension comes out, and the joined form parses back to the same
// extensions, so a save after a load never changes a profile's rows.

#include <cstdint>
#include <string>

#include "config/TAttachmentFileType.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TAttachmentFileType parsed;
  parsed.SetExtensionsList(std::string(reinterpret_cast<const char*>(data), size));
  for (const std::string& extension : parsed.Extensions()) {
    check(!extension.empty(), "an empty extension was kept");
  }

  const std::string joined = parsed.GetExtensionsList();
  TAttachmentFileType again;
  again.SetExtensionsList(joined);
  check(again.Extensions() == parsed.Extensions(), "the joined text parses to other extensions");
  check(again.GetExtensionsList() == joined, "joining is not stable");
  for (const std::string& extension : parsed.Extensions()) {
    check(parsed.HasExtension(extension), "an extension of the row is not found");
  }
  return 0;
}
