#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/TListContainerBase.h"

// Owned items with a name each, kept in insertion order; each item is stored in a subkey
// named after it. Name lookups ignore ASCII letter case. The list does not reject a
// duplicate name: callers check names before adding; lookups find the first. A save refuses
// a list whose names are not distinct key names (CheckCanBeStored), before writing anything.
class TNamedListContainer : public TListContainerBase {
 public:
  using TListContainerBase::TListContainerBase;

  // The item's name.
  [[nodiscard]] std::string StorageIdentifier(int index) const override;
  // Add(identifier, item).
  void AddFromStorage(const std::string& identifier, std::unique_ptr<TStoreableObject> item) override;
  [[nodiscard]] int GetCount() const override;
  [[nodiscard]] TStoreableObject* GetObjectByIndex(int index) const override;
  void Delete(int index) override;

  [[nodiscard]] virtual std::string GetName(int index) const;
  // The first item of that name (letter case ignored), or null.
  [[nodiscard]] virtual TStoreableObject* GetObjectByName(std::string_view name) const;
  // Appends the item under `name`, taking ownership.
  virtual void Add(const std::string& name, std::unique_ptr<TStoreableObject> item);

  // Renames item `index`; the next save moves it to a subkey of the new name.
  void SetName(int index, const std::string& name);
  // Index of the first item of that name (letter case ignored), -1 if absent.
  [[nodiscard]] int IndexOf(std::string_view name) const;

 private:
  std::vector<std::pair<std::string, std::unique_ptr<TStoreableObject>>> items_;
};
