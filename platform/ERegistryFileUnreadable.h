#pragma once

#include <filesystem>
#include <string>

#include "platform/ERegistryException.h"
#include "platform/QuotedPath.h"

// The settings file exists but could not be read (permission denied, an I/O error, too many
// open files, a folder in its place): "Cannot read the settings file '<file>': <cause>". The
// file may be perfectly good; it is never set aside, and a later attempt may succeed.
class ERegistryFileUnreadable : public ERegistryException {
 public:
  ERegistryFileUnreadable(const std::filesystem::path& file, const std::string& cause)
      : ERegistryException("Cannot read the settings file " + Platform::QuotedPath(file) + ": " + cause) {}
};
