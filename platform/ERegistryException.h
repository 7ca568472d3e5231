#pragma once

#include <string>
#include <string_view>

#include "common/EQuorixException.h"

// Raised by the registry store, TRegistry and the settings objects. The texts of the
// failures that name a value or a key are built here only, so that every layer words them
// alike; a settings file that cannot be read raises one of the two subclasses
// ERegistryFileDamaged and ERegistryFileUnreadable, and one that cannot be written this class
// with the file and the cause in its text.
class ERegistryException : public EQuorixException {
 public:
  using EQuorixException::EQuorixException;

  // "Invalid data type for '<name>'": the value exists but has the wrong type or size.
  [[nodiscard]] static ERegistryException InvalidDataType(std::string_view name) {
    return ERegistryException("Invalid data type for '" + std::string(name) + "'");
  }
  // "Failed to get data for '<name>'": a required value is missing.
  [[nodiscard]] static ERegistryException GetDataFailed(std::string_view name) {
    return ERegistryException("Failed to get data for '" + std::string(name) + "'");
  }
  // "Failed to set data for '<name>'": the value cannot be written as it is.
  [[nodiscard]] static ERegistryException SetDataFailed(std::string_view name) {
    return ERegistryException("Failed to set data for '" + std::string(name) + "'");
  }
  // "Cannot open the registry key '<key>'".
  [[nodiscard]] static ERegistryException CannotOpenKey(std::string_view key) {
    return ERegistryException("Cannot open the registry key '" + std::string(key) + "'");
  }
  // "Cannot store the name '<name>' as a registry key name: <why>": a settings item whose
  // name would not come back as the same one key.
  [[nodiscard]] static ERegistryException UnstorableKeyName(std::string_view name, std::string_view why) {
    return ERegistryException("Cannot store the name '" + std::string(name) + "' as a registry key name: " +
                              std::string(why));
  }
};
