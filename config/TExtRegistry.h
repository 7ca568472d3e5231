#pragma once

#include <string>
#include <string_view>

#include "platform/TRegistry.h"

// Registry access for the settings: reads with defaults and the binary UTF-16 string format
// that other programs' settings use.
class TExtRegistry : public TRegistry {
 public:
  using TRegistry::TRegistry;

  // The stored value if a value of that name exists in the current key, else `defaultValue`.
  // A Boolean is read as an integer, non-zero meaning true. A value of the wrong type raises
  // ERegistryException "Invalid data type for '%s'".
  [[nodiscard]] bool ReadBoolDefault(std::string_view name, bool defaultValue) const;
  [[nodiscard]] int ReadIntegerDefault(std::string_view name, int defaultValue) const;
  [[nodiscard]] std::string ReadStringDefault(std::string_view name, const std::string& defaultValue) const;

  // A REG_BINARY value of UTF-16LE code units ending in one NUL unit, at most 514 bytes,
  // returned as a narrow (UTF-8) string. A longer value or one of another type raises
  // "Invalid data type for '%s'"; a missing one "Failed to get data for '%s'".
  [[nodiscard]] std::string ReadBinaryWidestring(std::string_view name) const;
  [[nodiscard]] std::string ReadBinaryWidestringDefault(std::string_view name, const std::string& defaultValue) const;
  // Writes `value` (narrow, UTF-8) as UTF-16LE plus a terminating NUL unit, REG_BINARY.
  void WriteBinaryWidestring(std::string_view name, std::string_view value);
};
