#pragma once

#include <filesystem>
#include <string>

#include "integration/EHostsFileException.h"
#include "platform/QuotedPath.h"

// This user may not replace the hosts file (the file or its folder is not writable for it, or
// the file system is read-only): "Cannot write the hosts file '<file>': <cause>". Nothing
// was changed; running the same step with administrator rights would succeed.
class EHostsFileNotWritable : public EHostsFileException {
 public:
  EHostsFileNotWritable(const std::filesystem::path& file, const std::string& cause)
      : EHostsFileException(file, "Cannot write the hosts file " + Platform::QuotedPath(file) + ": " + cause) {}
};
