#pragma once

#include <filesystem>

namespace Platform {

// The hosts file: "hosts" in $QUORIX_HOSTS_DIR if that is set and not empty, else
// /etc/hosts. Tests point the variable at a scratch folder so that they never touch the
// system's file.
[[nodiscard]] std::filesystem::path HostsFilePath();

}  // namespace Platform
