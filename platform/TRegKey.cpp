#include "platform/TRegKey.h"

#include <utility>

namespace {

// Drops the members that do not belong to the value's type, which callers may have left
// filled in.
TRegValue Normalized(TRegValue value) {
  switch (value.Type) {
    case TRegDataType::rdString:
    case TRegDataType::rdExpandString:
      value.Dword = 0;
      value.Binary.clear();
      break;
    case TRegDataType::rdInteger:
      value.Text.clear();
      value.Binary.clear();
      break;
    case TRegDataType::rdBinary:
      value.Text.clear();
      value.Dword = 0;
      break;
    case TRegDataType::rdUnknown:
      value = TRegValue{};
      break;
  }
  return value;
}

}  // namespace

TRegKey::TRegKey(const TRegKey& other) : values_(other.values_) {
  for (const auto& [name, subkey] : other.subkeys_) {
    subkeys_.emplace(name, std::make_unique<TRegKey>(*subkey));
  }
}

TRegKey& TRegKey::operator=(const TRegKey& other) {
  if (this != &other) {
    TRegKey copy(other);
    *this = std::move(copy);
  }
  return *this;
}

const TRegValue* TRegKey::FindValue(std::string_view name) const {
  const auto it = values_.find(name);
  return it == values_.end() ? nullptr : &it->second;
}

bool TRegKey::SetValue(std::string_view name, TRegValue value) {
  value = Normalized(std::move(value));
  const auto it = values_.find(name);
  if (it == values_.end()) {
    values_.emplace(std::string(name), std::move(value));
    return true;
  }
  if (it->second == value) {
    return false;
  }
  it->second = std::move(value);
  return true;
}

bool TRegKey::DeleteValue(std::string_view name) {
  const auto it = values_.find(name);
  if (it == values_.end()) {
    return false;
  }
  values_.erase(it);
  return true;
}

TRegKey* TRegKey::FindSubkey(std::string_view name) {
  const auto it = subkeys_.find(name);
  return it == subkeys_.end() ? nullptr : it->second.get();
}

const TRegKey* TRegKey::FindSubkey(std::string_view name) const {
  const auto it = subkeys_.find(name);
  return it == subkeys_.end() ? nullptr : it->second.get();
}

TRegKey& TRegKey::AddSubkey(std::string_view name) {
  auto it = subkeys_.find(name);
  if (it == subkeys_.end()) {
    it = subkeys_.emplace(std::string(name), std::make_unique<TRegKey>()).first;
  }
  return *it->second;
}

bool TRegKey::DeleteSubkey(std::string_view name) {
  const auto it = subkeys_.find(name);
  if (it == subkeys_.end()) {
    return false;
  }
  subkeys_.erase(it);
  return true;
}

bool operator==(const TRegKey& a, const TRegKey& b) {
  if (a.values_ != b.values_ || a.subkeys_.size() != b.subkeys_.size()) {
    return false;
  }
  auto ia = a.subkeys_.begin();
  auto ib = b.subkeys_.begin();
  for (; ia != a.subkeys_.end(); ++ia, ++ib) {
    if (ia->first != ib->first || !(*ia->second == *ib->second)) {
      return false;
    }
  }
  return true;
}
