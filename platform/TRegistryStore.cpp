#include "platform/TRegistryStore.h"

#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <system_error>
#include <utility>

#include "common/EQuorixException.h"
#include "platform/ERegistryException.h"
#include "platform/ERegistryFileDamaged.h"
#include "platform/ERegistryFileUnreadable.h"
#include "platform/FileIO.h"
#include "platform/MimeTypes.h"
#include "platform/Paths.h"
#include "platform/QuotedPath.h"
#include "platform/RegFileFormat.h"
#include "platform/TRegKey.h"

namespace {

// The settings are the user's own: nobody else needs to read them.
constexpr mode_t kFileMode = 0600;
constexpr std::string_view kMimeContentTypePath[] = {"MIME", "Database", "Content Type"};
// A temporary file of a save is younger than this unless the save was killed: a running save
// takes moments, so after a day nobody is still writing it.
constexpr std::chrono::hours kStaleTemporaryFileAge{24};

// The names along a key path, none for the root (""); nothing if the path names no key
// because a part is empty ("\Software", "Software\", "A\\B"). Every member takes paths
// through this one function, so that such a path is no key for all of them alike.
std::optional<std::vector<std::string_view>> KeyPathParts(std::string_view path) {
  std::vector<std::string_view> parts;
  if (path.empty()) {
    return parts;
  }
  while (true) {
    const std::size_t separator = path.find('\\');
    const std::string_view name = path.substr(0, separator);
    if (name.empty()) {
      return std::nullopt;
    }
    parts.push_back(name);
    if (separator == std::string_view::npos) {
      return parts;
    }
    path.remove_prefix(separator + 1);
  }
}

std::string Timestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y%m%d-%H%M%S", &local);
  return buffer;
}

// Renames without replacing an existing file, so that an older damaged file kept aside is
// never lost. Returns 0 or an errno value.
int RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return errno;
  }
  // The file system cannot rename without replacing; checking first leaves only a narrow
  // race with another program choosing the very same name.
  std::error_code ec;
  if (std::filesystem::exists(to, ec)) {
    return EEXIST;
  }
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

struct TRegistryStore::Impl {
  enum class State : std::uint8_t { NotRead, Read, Damaged };

  Impl(std::filesystem::path f, std::vector<std::filesystem::path> m)
      : file(std::move(f)), mimeFiles(std::move(m)) {}

  const std::filesystem::path file;
  const std::vector<std::filesystem::path> mimeFiles;

  // Serialises whole saves (and setting the file aside), so that an older snapshot never
  // replaces a newer one; the tree itself is guarded by `mutex`, which a save releases
  // while it writes.
  std::mutex flushMutex;
  std::mutex mutex;
  State state = State::NotRead;
  // Why the file is damaged: every use raises it again until the file is set aside. A file
  // that could not be read is tried again by the next use instead.
  std::optional<ERegistryFileDamaged> damage;
  TRegKey currentUser;
  std::optional<TRegKey> classesRoot;
  const TRegKey localMachine;
  // Counts changes; the file holds the state of `savedGeneration`.
  std::uint64_t generation = 0;
  std::uint64_t savedGeneration = 0;

  [[nodiscard]] std::string QuotedFile() const { return Platform::QuotedPath(file); }

  void EnsureRead() {
    if (state == State::Read) {
      return;
    }
    if (state == State::Damaged) {
      throw *damage;
    }
    Platform::RemoveStaleTemporaryFiles(file, kStaleTemporaryFileAge);
    std::optional<std::string> text;
    try {
      text = Platform::ReadFileIfExists(file);
    } catch (const std::system_error& error) {
      throw ERegistryFileUnreadable(file, error.what());
    }
    if (text) {
      try {
        currentUser = RegFileFormat::Parse(*text, file.string());
      } catch (const ERegistryFileDamaged& error) {
        state = State::Damaged;
        damage = error;
        throw;
      }
    }
    state = State::Read;
  }

  TRegKey BuildClassesRoot() const {
    TRegKey root;
    TRegKey* contentTypes = &root;
    for (const std::string_view name : kMimeContentTypePath) {
      contentTypes = &contentTypes->AddSubkey(name);
    }
    for (const auto& [type, extension] : Platform::ReadMimeTypeFiles(mimeFiles)) {
      contentTypes->AddSubkey(type).SetValue("Extension",
                                             TRegValue{TRegDataType::rdString, extension, 0, {}});
    }
    return root;
  }

  // The tree of a root, read or built on first use; every use fails while the file is damaged.
  const TRegKey& Root(THKey root) {
    EnsureRead();
    switch (root) {
      case THKey::HKEY_CURRENT_USER:
        return currentUser;
      case THKey::HKEY_CLASSES_ROOT:
        if (!classesRoot) {
          classesRoot = BuildClassesRoot();
        }
        return *classesRoot;
      case THKey::HKEY_LOCAL_MACHINE:
        break;
    }
    return localMachine;
  }

  // Null if the key does not exist or the path names no key (an empty part).
  template <class Key>
  static Key* Descend(Key* key, std::string_view path) {
    const std::optional<std::vector<std::string_view>> parts = KeyPathParts(path);
    if (!parts) {
      return nullptr;
    }
    for (const std::string_view name : *parts) {
      key = key->FindSubkey(name);
      if (key == nullptr) {
        return nullptr;
      }
    }
    return key;
  }

  const TRegKey* Find(THKey root, std::string_view path) { return Descend(&Root(root), path); }

  // The key of HKEY_CURRENT_USER to change, or null (a read-only root, no such key).
  TRegKey* FindWritable(THKey root, std::string_view path) {
    EnsureRead();
    return root == THKey::HKEY_CURRENT_USER ? Descend(&currentUser, path) : nullptr;
  }
};

TRegistryStore& TRegistryStore::Instance() {
  static TRegistryStore store(Platform::RegistryFilePath());
  return store;
}

std::vector<std::filesystem::path> TRegistryStore::DefaultMimeTypeFiles() {
  std::vector<std::filesystem::path> files{"/etc/mime.types"};
  try {
    files.push_back(Platform::HomeDirectory() / ".mime.types");
  } catch (const EQuorixException&) {
    // Without a home folder there is no user file to add.
  }
  return files;
}

TRegistryStore::TRegistryStore(std::filesystem::path file, std::vector<std::filesystem::path> mimeTypeFiles)
    : impl_(std::make_unique<Impl>(std::move(file), std::move(mimeTypeFiles))) {}

TRegistryStore::~TRegistryStore() = default;

const std::filesystem::path& TRegistryStore::FilePath() const noexcept {
  return impl_->file;
}

void TRegistryStore::Load() {
  const std::lock_guard lock(impl_->mutex);
  impl_->EnsureRead();
}

std::filesystem::path TRegistryStore::SetAsideDamagedFile() {
  const std::lock_guard flushLock(impl_->flushMutex);
  const std::lock_guard lock(impl_->mutex);
  Impl& s = *impl_;
  if (s.state == Impl::State::NotRead) {
    try {
      s.EnsureRead();
    } catch (const ERegistryFileDamaged&) {
      // Expected: this is the failure the caller wants to get past. A file that could not
      // be read at all propagates: it may be perfectly good, so it stays where it is.
    }
  }
  if (s.state == Impl::State::Read) {
    throw ERegistryException("The settings file " + s.QuotedFile() +
                             " was read without error; there is nothing to set aside");
  }
  // Through a link, the damaged file is the link's target; the link stays, and the next
  // save writes a new target for it.
  std::filesystem::path damagedFile;
  try {
    damagedFile = Platform::FinalLinkTarget(s.file);
  } catch (const std::system_error& error) {
    throw ERegistryException("Cannot set aside the settings file " + s.QuotedFile() + ": " + error.what());
  }
  const std::string base = damagedFile.string() + ".damaged-" + Timestamp();
  std::filesystem::path target = base;
  for (int attempt = 2;; ++attempt) {
    const int error = RenameNoReplace(damagedFile, target);
    if (error == 0) {
      break;
    }
    if (error == ENOENT) {
      target.clear();  // gone meanwhile: nothing left to keep
      break;
    }
    if (error != EEXIST) {
      throw ERegistryException("Cannot set aside the settings file " + s.QuotedFile() + " as " +
                               Platform::QuotedPath(target) + ": " + std::generic_category().message(error));
    }
    target = base + "-" + std::to_string(attempt);
  }
  s.currentUser = TRegKey();
  s.state = Impl::State::Read;
  s.damage.reset();
  s.generation = 0;
  s.savedGeneration = 0;
  return target;
}

void TRegistryStore::Flush() {
  const std::lock_guard flushLock(impl_->flushMutex);
  std::string text;
  std::uint64_t generation = 0;
  {
    const std::lock_guard lock(impl_->mutex);
    impl_->EnsureRead();
    if (impl_->generation == impl_->savedGeneration) {
      return;
    }
    text = RegFileFormat::Format(impl_->currentUser);
    generation = impl_->generation;
  }
  try {
    Platform::ReplaceFileAtomically(impl_->file, text, kFileMode);
  } catch (const std::system_error& error) {
    throw ERegistryException("Cannot write the settings file " + impl_->QuotedFile() + ": " + error.what());
  }
  const std::lock_guard lock(impl_->mutex);
  impl_->savedGeneration = generation;
}

bool TRegistryStore::KeyExists(THKey root, std::string_view path) {
  const std::lock_guard lock(impl_->mutex);
  return impl_->Find(root, path) != nullptr;
}

bool TRegistryStore::CreateKey(THKey root, std::string_view path) {
  const std::lock_guard lock(impl_->mutex);
  Impl& s = *impl_;
  if (root != THKey::HKEY_CURRENT_USER) {
    return s.Find(root, path) != nullptr;
  }
  const std::optional<std::vector<std::string_view>> parts = KeyPathParts(path);
  if (!parts || parts->size() > RegFileFormat::kMaxKeyDepth) {
    return false;
  }
  for (const std::string_view name : *parts) {
    if (!RegFileFormat::IsStorableKeyName(name)) {
      return false;
    }
  }
  s.EnsureRead();
  TRegKey* key = &s.currentUser;
  bool created = false;
  for (const std::string_view name : *parts) {
    TRegKey* next = key->FindSubkey(name);
    if (next == nullptr) {
      next = &key->AddSubkey(name);
      created = true;
    }
    key = next;
  }
  if (created) {
    ++s.generation;
  }
  return true;
}

bool TRegistryStore::DeleteKey(THKey root, std::string_view path) {
  const std::lock_guard lock(impl_->mutex);
  Impl& s = *impl_;
  const std::optional<std::vector<std::string_view>> parts = KeyPathParts(path);
  if (!parts || parts->empty()) {
    s.EnsureRead();
    return false;  // no key, or a root, which cannot be deleted
  }
  const std::string_view name = parts->back();
  const std::size_t parentLength = path.size() - name.size() - (parts->size() > 1 ? 1 : 0);
  TRegKey* parent = s.FindWritable(root, path.substr(0, parentLength));
  if (parent == nullptr || !parent->DeleteSubkey(name)) {
    return false;
  }
  ++s.generation;
  return true;
}

std::vector<std::string> TRegistryStore::SubkeyNames(THKey root, std::string_view path) {
  const std::lock_guard lock(impl_->mutex);
  std::vector<std::string> names;
  if (const TRegKey* key = impl_->Find(root, path)) {
    names.reserve(key->Subkeys().size());
    for (const auto& entry : key->Subkeys()) {
      names.push_back(entry.first);
    }
  }
  return names;
}

std::vector<std::string> TRegistryStore::ValueNames(THKey root, std::string_view path) {
  const std::lock_guard lock(impl_->mutex);
  std::vector<std::string> names;
  if (const TRegKey* key = impl_->Find(root, path)) {
    names.reserve(key->Values().size());
    for (const auto& entry : key->Values()) {
      names.push_back(entry.first);
    }
  }
  return names;
}

std::optional<TRegValue> TRegistryStore::ReadValue(THKey root, std::string_view path, std::string_view name) {
  const std::lock_guard lock(impl_->mutex);
  const TRegKey* key = impl_->Find(root, path);
  const TRegValue* value = key == nullptr ? nullptr : key->FindValue(name);
  return value == nullptr ? std::nullopt : std::optional<TRegValue>(*value);
}

bool TRegistryStore::WriteValue(THKey root, std::string_view path, std::string_view name, TRegValue value) {
  const std::lock_guard lock(impl_->mutex);
  TRegKey* key = impl_->FindWritable(root, path);
  if (key == nullptr || value.Type == TRegDataType::rdUnknown || !RegFileFormat::IsStorableValueName(name)) {
    return false;
  }
  if (key->SetValue(name, std::move(value))) {
    ++impl_->generation;
  }
  return true;
}

bool TRegistryStore::DeleteValue(THKey root, std::string_view path, std::string_view name) {
  const std::lock_guard lock(impl_->mutex);
  TRegKey* key = impl_->FindWritable(root, path);
  if (key == nullptr || !key->DeleteValue(name)) {
    return false;
  }
  ++impl_->generation;
  return true;
}
