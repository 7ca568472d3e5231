#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "platform/ERegistryException.h"
#include "platform/QuotedPath.h"

// The settings file was read, and its text is not a settings file: "Cannot read the settings
// file '<file>': line <n>: <what was wrong>". Only such a file may be set aside
// (TRegistryStore::SetAsideDamagedFile); retrying will not help.
class ERegistryFileDamaged : public ERegistryException {
 public:
  ERegistryFileDamaged(const std::filesystem::path& file, std::size_t lineNumber, const std::string& what)
      : ERegistryException("Cannot read the settings file " + Platform::QuotedPath(file) + ": line " +
                           std::to_string(lineNumber) + ": " + what) {}
};
