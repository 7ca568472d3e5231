#pragma once

#include <memory>
#include <string>

#include "config/TStoreableObject.h"

// A persisted list of owned settings objects, each item stored in a subkey of the list's key
// named by StorageIdentifier. The container has no published properties of its own.
class TListContainerBase : public TStoreableObject {
 public:
  explicit TListContainerBase(TStoreableObjectClass itemClass);
  ~TListContainerBase() override;

  [[nodiscard]] TStoreableObjectClass ItemClass() const noexcept { return itemClass_; }

  // The subkey name of item `index`.
  [[nodiscard]] virtual std::string StorageIdentifier(int index) const = 0;
  // Takes ownership of an item read from storage under `identifier`.
  virtual void AddFromStorage(const std::string& identifier, std::unique_ptr<TStoreableObject> item) = 0;
  [[nodiscard]] virtual int GetCount() const = 0;
  // The item at `index`, or null when the index is out of range.
  [[nodiscard]] virtual TStoreableObject* GetObjectByIndex(int index) const = 0;
  // Deletes the last item until the list is empty.
  virtual void Clear();
  // Removes and frees the item at `index`.
  virtual void Delete(int index) = 0;

  // From another list container: Clear, then for every source item in order a new item of
  // ItemClass, assigned from it and added under the source's StorageIdentifier. Otherwise as
  // TStoreableObject::Assign.
  void Assign(const TStoreableObject& source) override;

  // Saves item i to key + "\" + StorageIdentifier(i), then deletes every subkey of `key`
  // that no item was saved to. The previous current key is reopened afterwards. Nothing is
  // written if CheckCanBeStored() fails.
  void SaveToRegistry(TExtRegistry& registry, const std::string& key) override;

  // Every StorageIdentifier must be one key name (not empty, no "\", no line break) and
  // differ from the others ignoring letter case, as key names do; then every item is checked.
  // Otherwise ERegistryException::UnstorableKeyName names the first identifier that fails.
  void CheckCanBeStored() const override;

  // Clears the list, then creates one item per subkey of `key` in the registry's enumeration
  // order, loads it from that subkey and adds it with AddFromStorage. True if `key` had at
  // least one subkey.
  bool LoadFromRegistry(TExtRegistry& registry, const std::string& key) override;

 private:
  TStoreableObjectClass itemClass_;
};
