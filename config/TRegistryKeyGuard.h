#pragma once

#include <string>
#include <string_view>

class TExtRegistry;

// Makes a settings key current for the length of one save or load and puts the registry
// object's previous key back afterwards, also when an exception propagates, so that a caller
// working in some key can save or load a sub-object without losing its place.
//
// The constructor remembers the current key as an absolute path, closes it and opens `key`
// (creating it if absent). If `key` cannot be opened, the previous key is restored and
// ERegistryException "Cannot open the registry key '%s'" is raised: going on with no key
// open would read or, for a list, delete keys below the root instead.
// The destructor reopens the remembered path (creating it if it vanished meanwhile); if no
// key was open before, it leaves none open. It never throws.
class TRegistryKeyGuard {
 public:
  TRegistryKeyGuard(TExtRegistry& registry, std::string_view key);
  ~TRegistryKeyGuard();

  TRegistryKeyGuard(const TRegistryKeyGuard&) = delete;
  TRegistryKeyGuard& operator=(const TRegistryKeyGuard&) = delete;

 private:
  void Restore() noexcept;

  TExtRegistry& registry_;
  bool hadKey_;
  std::string rememberedPath_;
};
