#pragma once

#include <memory>
#include <string>
#include <vector>

#include "config/TListContainerBase.h"

// An ordered list of owned items stored in the subkeys "00000000", "00000001", ... (the
// index as eight zero-padded decimal digits), so a list of n items always occupies the first
// n identifiers and a list that shrank deletes the subkeys beyond its end on save.
class TListContainer : public TListContainerBase {
 public:
  using TListContainerBase::TListContainerBase;

  [[nodiscard]] std::string StorageIdentifier(int index) const override;
  // Appends; the identifier is ignored.
  void AddFromStorage(const std::string& identifier, std::unique_ptr<TStoreableObject> item) override;
  [[nodiscard]] int GetCount() const override;
  [[nodiscard]] TStoreableObject* GetObjectByIndex(int index) const override;
  void Delete(int index) override;

  // Appends the item, taking ownership; returns its index.
  virtual int Add(std::unique_ptr<TStoreableObject> item);

 private:
  std::vector<std::unique_ptr<TStoreableObject>> items_;
};
