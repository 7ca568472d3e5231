#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/TRegDataType.h"
#include "platform/TRegNameLess.h"

// One key of the registry tree: named values and named subkeys. Names are looked up
// ignoring ASCII letter case and keep the spelling they were first created with; both maps
// iterate in the registry's enumeration order (TRegNameLess). The value name "" is the
// key's default value. A key owns its subkeys.
//
// The tree does not check names; the store and the file parser decide what a name may hold.
class TRegKey {
 public:
  using ValueMap = std::map<std::string, TRegValue, TRegNameLess>;
  using SubkeyMap = std::map<std::string, std::unique_ptr<TRegKey>, TRegNameLess>;

  TRegKey() = default;
  TRegKey(const TRegKey& other);
  TRegKey& operator=(const TRegKey& other);
  TRegKey(TRegKey&&) noexcept = default;
  TRegKey& operator=(TRegKey&&) noexcept = default;
  ~TRegKey() = default;

  [[nodiscard]] const ValueMap& Values() const noexcept { return values_; }
  [[nodiscard]] const SubkeyMap& Subkeys() const noexcept { return subkeys_; }

  // Null if there is no such value.
  [[nodiscard]] const TRegValue* FindValue(std::string_view name) const;
  // Adds or replaces the value; only the member that matches its type is kept, so equal
  // settings compare equal. True if the stored value changed.
  bool SetValue(std::string_view name, TRegValue value);
  bool DeleteValue(std::string_view name);

  // Null if there is no such direct subkey.
  [[nodiscard]] TRegKey* FindSubkey(std::string_view name);
  [[nodiscard]] const TRegKey* FindSubkey(std::string_view name) const;
  // The direct subkey of that name, created if absent.
  TRegKey& AddSubkey(std::string_view name);
  bool DeleteSubkey(std::string_view name);

  [[nodiscard]] bool Empty() const noexcept { return values_.empty() && subkeys_.empty(); }

  // Same names (spelled exactly alike), same values and the same subkeys, all the way down.
  friend bool operator==(const TRegKey& a, const TRegKey& b);

 private:
  ValueMap values_;
  SubkeyMap subkeys_;
};
