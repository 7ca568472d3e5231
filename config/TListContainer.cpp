#include "config/TListContainer.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

std::string TListContainer::StorageIdentifier(int index) const {
  char identifier[16];
  std::snprintf(identifier, sizeof identifier, "%.8d", index);
  return identifier;
}

void TListContainer::AddFromStorage(const std::string& /*identifier*/,
                                    std::unique_ptr<TStoreableObject> item) {
  Add(std::move(item));
}

int TListContainer::GetCount() const {
  return static_cast<int>(items_.size());
}

TStoreableObject* TListContainer::GetObjectByIndex(int index) const {
  if (index < 0 || index >= GetCount()) {
    return nullptr;
  }
  return items_[static_cast<std::size_t>(index)].get();
}

void TListContainer::Delete(int index) {
  if (index < 0 || index >= GetCount()) {
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  }
  items_.erase(items_.begin() + index);
}

int TListContainer::Add(std::unique_ptr<TStoreableObject> item) {
  items_.push_back(std::move(item));
  return GetCount() - 1;
}
