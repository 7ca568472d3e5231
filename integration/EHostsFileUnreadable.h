#pragma once

#include <filesystem>
#include <string>

#include "integration/EHostsFileException.h"
#include "platform/QuotedPath.h"

// The hosts file exists and could not be read (permission denied, an I/O error, a folder in
// its place): "Cannot read the hosts file '<file>': <cause>". Nothing was changed.
class EHostsFileUnreadable : public EHostsFileException {
 public:
  EHostsFileUnreadable(const std::filesystem::path& file, const std::string& cause)
      : EHostsFileException(file, "Cannot read the hosts file " + Platform::QuotedPath(file) + ": " + cause) {}
};
