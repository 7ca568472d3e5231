#include "integration/HostsFilePath.h"

#include <cstdlib>

namespace Platform {

std::filesystem::path HostsFilePath() {
  const char* folder = std::getenv("QUORIX_HOSTS_DIR");  // NOLINT(concurrency-mt-unsafe): read once per save
  if (folder != nullptr && *folder != '\0') {
    return std::filesystem::path(folder) / "hosts";
  }
  return "/etc/hosts";
}

}  // namespace Platform
