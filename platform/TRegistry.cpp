#include "platform/TRegistry.h"

#include <bit>
#include <optional>

#include "platform/ERegistryException.h"
#include "platform/RegFileFormat.h"
#include "platform/TRegistryStore.h"

TRegistry::TRegistry(TRegistryStore& store) : store_(&store) {}

TRegistry::TRegistry() : TRegistry(TRegistryStore::Instance()) {}

TRegistry::~TRegistry() = default;

THKey TRegistry::RootKey() const noexcept {
  return root_;
}

void TRegistry::SetRootKey(THKey root) {
  CloseKey();
  root_ = root;
}

const std::string& TRegistry::CurrentPath() const noexcept {
  return currentPath_;
}

bool TRegistry::HasCurrentKey() const noexcept {
  return hasCurrentKey_;
}

TRegistryStore& TRegistry::Store() const noexcept {
  return *store_;
}

std::string TRegistry::Resolve(std::string_view path) const {
  const bool absolute = path.starts_with('\\');
  if (absolute) {
    path.remove_prefix(1);
  }
  // "Software\Vantorell\" names the same key as "Software\Vantorell".
  if (path.ends_with('\\')) {
    path.remove_suffix(1);
  }
  if (absolute || !hasCurrentKey_ || currentPath_.empty()) {
    return std::string(path);
  }
  if (path.empty()) {
    return currentPath_;
  }
  return currentPath_ + "\\" + std::string(path);
}

bool TRegistry::OpenKey(std::string_view path, bool canCreate) {
  std::string resolved = Resolve(path);
  const bool exists = canCreate ? store_->CreateKey(root_, resolved) : store_->KeyExists(root_, resolved);
  if (!exists) {
    return false;
  }
  currentPath_ = std::move(resolved);
  hasCurrentKey_ = true;
  readOnly_ = false;
  return true;
}

bool TRegistry::OpenKeyReadOnly(std::string_view path) {
  if (!OpenKey(path, false)) {
    return false;
  }
  readOnly_ = true;
  return true;
}

void TRegistry::CloseKey() {
  currentPath_.clear();
  hasCurrentKey_ = false;
  readOnly_ = false;
}

bool TRegistry::KeyExists(std::string_view path) const {
  return store_->KeyExists(root_, Resolve(path));
}

bool TRegistry::DeleteKey(std::string_view path) {
  if (readOnly_) {
    return false;
  }
  return store_->DeleteKey(root_, Resolve(path));
}

std::vector<std::string> TRegistry::GetKeyNames() const {
  return hasCurrentKey_ ? store_->SubkeyNames(root_, currentPath_) : std::vector<std::string>();
}

std::vector<std::string> TRegistry::GetValueNames() const {
  return hasCurrentKey_ ? store_->ValueNames(root_, currentPath_) : std::vector<std::string>();
}

std::optional<TRegValue> TRegistry::Value(std::string_view name) const {
  if (!hasCurrentKey_) {
    return std::nullopt;
  }
  return store_->ReadValue(root_, currentPath_, name);
}

bool TRegistry::ValueExists(std::string_view name) const {
  return Value(name).has_value();
}

bool TRegistry::DeleteValue(std::string_view name) {
  if (!hasCurrentKey_ || readOnly_) {
    return false;
  }
  return store_->DeleteValue(root_, currentPath_, name);
}

TRegDataType TRegistry::GetDataType(std::string_view name) const {
  const std::optional<TRegValue> value = Value(name);
  return value ? value->Type : TRegDataType::rdUnknown;
}

int TRegistry::GetDataSize(std::string_view name) const {
  const std::optional<TRegValue> value = Value(name);
  if (!value) {
    return -1;
  }
  switch (value->Type) {
    case TRegDataType::rdString:
    case TRegDataType::rdExpandString:
      return static_cast<int>(value->Text.size() + 1);
    case TRegDataType::rdInteger:
      return 4;
    case TRegDataType::rdBinary:
      return static_cast<int>(value->Binary.size());
    case TRegDataType::rdUnknown:
      break;
  }
  return -1;
}

std::int32_t TRegistry::ReadInteger(std::string_view name) const {
  const std::optional<TRegValue> value = Value(name);
  if (!value) {
    throw ERegistryException::GetDataFailed(name);
  }
  if (value->Type != TRegDataType::rdInteger) {
    throw ERegistryException::InvalidDataType(name);
  }
  return static_cast<std::int32_t>(value->Dword);
}

std::string TRegistry::ReadString(std::string_view name) const {
  std::optional<TRegValue> value = Value(name);
  if (!value) {
    return {};
  }
  if (value->Type != TRegDataType::rdString && value->Type != TRegDataType::rdExpandString) {
    throw ERegistryException::InvalidDataType(name);
  }
  return std::move(value->Text);
}

double TRegistry::ReadFloat(std::string_view name) const {
  const std::optional<TRegValue> value = Value(name);
  if (!value) {
    throw ERegistryException::GetDataFailed(name);
  }
  if (value->Type != TRegDataType::rdBinary || value->Binary.size() != sizeof(double)) {
    throw ERegistryException::InvalidDataType(name);
  }
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < sizeof(double); ++i) {
    bits |= static_cast<std::uint64_t>(value->Binary[i]) << (8 * i);
  }
  return std::bit_cast<double>(bits);
}

std::vector<std::uint8_t> TRegistry::ReadBinaryData(std::string_view name, std::size_t bufferSize) const {
  std::optional<TRegValue> value = Value(name);
  if (!value) {
    throw ERegistryException::GetDataFailed(name);
  }
  if (value->Type != TRegDataType::rdBinary || value->Binary.size() > bufferSize) {
    throw ERegistryException::InvalidDataType(name);
  }
  return std::move(value->Binary);
}

void TRegistry::Write(std::string_view name, TRegValue value) {
  if (!hasCurrentKey_ || readOnly_ || !store_->WriteValue(root_, currentPath_, name, std::move(value))) {
    throw ERegistryException::SetDataFailed(name);
  }
}

void TRegistry::WriteInteger(std::string_view name, std::int32_t value) {
  Write(name, TRegValue{TRegDataType::rdInteger, {}, static_cast<std::uint32_t>(value), {}});
}

void TRegistry::WriteString(std::string_view name, std::string_view value) {
  Write(name, TRegValue{TRegDataType::rdString, std::string(value), 0, {}});
}

void TRegistry::WriteExpandString(std::string_view name, std::string_view value) {
  Write(name, TRegValue{TRegDataType::rdExpandString, std::string(value), 0, {}});
}

void TRegistry::WriteFloat(std::string_view name, double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  std::vector<std::uint8_t> bytes(sizeof(double));
  for (std::size_t i = 0; i < sizeof(double); ++i) {
    bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  }
  Write(name, TRegValue{TRegDataType::rdBinary, {}, 0, std::move(bytes)});
}

void TRegistry::WriteBinaryData(std::string_view name, const std::vector<std::uint8_t>& data) {
  Write(name, TRegValue{TRegDataType::rdBinary, {}, 0, data});
}

void TRegistry::Flush() {
  store_->Flush();
}

std::string_view TRegistry::KeyNameProblem(std::string_view name) noexcept {
  return RegFileFormat::KeyNameProblem(name);
}
