#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/THKey.h"
#include "platform/TRegDataType.h"

class TRegistryStore;

// Registry access in the shape the settings code expects: a root key, one current key and
// typed reads and writes of its values. Borrows a TRegistryStore (by default the process's).
//
// Paths given to OpenKey, KeyExists and DeleteKey that begin with "\" are taken from the root
// key; any other path is relative to the current key (or the root when no key is open). One
// trailing "\" is ignored; "\" alone opens the root itself (CurrentPath() ""). DeleteKey
// removes the key with all its subkeys; it and DeleteValue return false through a key
// opened read-only. With no key open, GetKeyNames and GetValueNames are empty, ValueExists
// is false and reads find no value.
//
// Errors are ERegistryException with these texts (the value name in place of %s):
//  - "Invalid data type for '%s'": the value exists but has the wrong type (a ReadFloat of a
//    binary value that is not 8 bytes long, a ReadBinaryData longer than the buffer).
//  - "Failed to get data for '%s'": ReadInteger, ReadFloat or ReadBinaryData of a missing value.
//  - "Failed to set data for '%s'": a write with no key open, or to a read-only root.
// ReadString of a missing value returns "".
class TRegistry {
 public:
  explicit TRegistry(TRegistryStore& store);
  TRegistry();  // uses TRegistryStore::Instance()
  virtual ~TRegistry();

  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  [[nodiscard]] THKey RootKey() const noexcept;
  // Closes the current key.
  void SetRootKey(THKey root);
  // The current key's path below the root, without a leading backslash; "" when none is open.
  [[nodiscard]] const std::string& CurrentPath() const noexcept;
  [[nodiscard]] bool HasCurrentKey() const noexcept;
  [[nodiscard]] TRegistryStore& Store() const noexcept;

  // Makes the key current; creates it (and its parents) when canCreate. False if it does not
  // exist and was not created; the current key is then unchanged.
  bool OpenKey(std::string_view path, bool canCreate);
  // As OpenKey without creating; writes through this key then fail.
  bool OpenKeyReadOnly(std::string_view path);
  void CloseKey();

  [[nodiscard]] bool KeyExists(std::string_view path) const;
  bool DeleteKey(std::string_view path);
  // Direct subkeys of the current key, in the registry's enumeration order.
  [[nodiscard]] std::vector<std::string> GetKeyNames() const;
  [[nodiscard]] std::vector<std::string> GetValueNames() const;

  [[nodiscard]] bool ValueExists(std::string_view name) const;
  bool DeleteValue(std::string_view name);
  [[nodiscard]] TRegDataType GetDataType(std::string_view name) const;
  // Size in bytes: the binary data's length, 4 for an integer, a string's length + 1 (its
  // terminating NUL); -1 if the value does not exist.
  [[nodiscard]] int GetDataSize(std::string_view name) const;

  [[nodiscard]] std::int32_t ReadInteger(std::string_view name) const;
  [[nodiscard]] std::string ReadString(std::string_view name) const;  // REG_SZ or REG_EXPAND_SZ
  [[nodiscard]] double ReadFloat(std::string_view name) const;        // REG_BINARY, exactly 8 bytes
  [[nodiscard]] std::vector<std::uint8_t> ReadBinaryData(std::string_view name, std::size_t bufferSize) const;

  void WriteInteger(std::string_view name, std::int32_t value);
  void WriteString(std::string_view name, std::string_view value);
  void WriteExpandString(std::string_view name, std::string_view value);
  void WriteFloat(std::string_view name, double value);  // 8-byte little-endian IEEE 754
  void WriteBinaryData(std::string_view name, const std::vector<std::uint8_t>& data);

  // Writes pending changes of the store to disk (TRegistryStore::Flush).
  void Flush();

  // Why `name` cannot be the name of one key, or "" if it can; OpenKey and CreateKey refuse
  // a path with such a part.
  [[nodiscard]] static std::string_view KeyNameProblem(std::string_view name) noexcept;

 private:
  // The path below the root that `path` names: from the root if it begins with "\", else
  // from the current key (the root when none is open); one trailing "\" is ignored.
  [[nodiscard]] std::string Resolve(std::string_view path) const;
  // The value of the current key; nothing if no key is open or there is no such value.
  [[nodiscard]] std::optional<TRegValue> Value(std::string_view name) const;
  void Write(std::string_view name, TRegValue value);

  TRegistryStore* store_;
  THKey root_ = THKey::HKEY_CURRENT_USER;
  std::string currentPath_;
  bool hasCurrentKey_ = false;
  bool readOnly_ = false;
};
