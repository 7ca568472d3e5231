#include "config/TNamedListContainer.h"

#include <stdexcept>
#include <utility>

#include "common/AsciiCase.h"

namespace {

[[noreturn]] void IndexOutOfBounds(int index) {
  throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
}

}  // namespace

std::string TNamedListContainer::StorageIdentifier(int index) const {
  return GetName(index);
}

void TNamedListContainer::AddFromStorage(const std::string& identifier,
                                         std::unique_ptr<TStoreableObject> item) {
  Add(identifier, std::move(item));
}

int TNamedListContainer::GetCount() const {
  return static_cast<int>(items_.size());
}

TStoreableObject* TNamedListContainer::GetObjectByIndex(int index) const {
  if (index < 0 || index >= GetCount()) {
    return nullptr;
  }
  return items_[static_cast<std::size_t>(index)].second.get();
}

void TNamedListContainer::Delete(int index) {
  if (index < 0 || index >= GetCount()) {
    IndexOutOfBounds(index);
  }
  items_.erase(items_.begin() + index);
}

std::string TNamedListContainer::GetName(int index) const {
  if (index < 0 || index >= GetCount()) {
    IndexOutOfBounds(index);
  }
  return items_[static_cast<std::size_t>(index)].first;
}

TStoreableObject* TNamedListContainer::GetObjectByName(std::string_view name) const {
  return GetObjectByIndex(IndexOf(name));
}

void TNamedListContainer::Add(const std::string& name, std::unique_ptr<TStoreableObject> item) {
  items_.emplace_back(name, std::move(item));
}

void TNamedListContainer::SetName(int index, const std::string& name) {
  if (index < 0 || index >= GetCount()) {
    IndexOutOfBounds(index);
  }
  items_[static_cast<std::size_t>(index)].first = name;
}

int TNamedListContainer::IndexOf(std::string_view name) const {
  for (int i = 0; i < GetCount(); ++i) {
    if (caseInsensitiveEquals(items_[static_cast<std::size_t>(i)].first, name)) {
      return i;
    }
  }
  return -1;
}
