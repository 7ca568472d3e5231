#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/THKey.h"
#include "platform/TRegDataType.h"

// The registry of this program: a tree of keys with named values, persisted as one text file
// in the registry-editor export format ("Windows Registry Editor Version 5.00").
//
// Contract:
//  - Key paths are below a root, without a leading backslash, parts separated by "\"
//    ("Software\Vantorell\Quorix\Config"); "" is the root itself; a path with an empty part
//    ("\Software", "Software\", "A\\B") names no key for every member alike: it does not
//    exist, cannot be created or deleted, and holds no values. Key and value names compare ignoring ASCII letter case and keep the case
//    they were created with; they enumerate sorted as Windows sorts them (TRegNameLess.h:
//    letters folded to upper case, so "_" sorts after the letters). The value name "" is a
//    key's default value ("@" in the file). Names the file cannot hold (a line feed in any
//    name, a "\" in a key name, keys nested deeper than 512 levels) are refused: the
//    creating or writing call returns false. The file format is in RegFileFormat.h.
//  - The file is read once, the first time the store is used. A missing file is an empty
//    store. A file that was read but cannot be parsed makes every operation throw
//    ERegistryFileDamaged naming the file, the line and what was wrong, and the file is never
//    overwritten, until the caller moves it aside with SetAsideDamagedFile() and starts from
//    an empty store. A file that exists but cannot be read (permissions, an I/O error, too
//    many open files, a folder in its place) throws ERegistryFileUnreadable naming the file
//    and the cause; that failure is not remembered: the next use tries again.
//  - Before that first read, temporary files of saves that were killed before their rename
//    (".registry.reg.XXXXXX" beside the file) are removed when they are older than a day; a
//    younger one may be another process's save in progress and is left alone.
//  - Changes stay in memory until Flush(), which replaces the file atomically (temporary
//    file in the same folder, fsync, rename): a crash or kill during a save leaves the old
//    file or the new one, never a damaged one. If the file is a symbolic link (or a chain of
//    them), the file at its end is replaced and the link stays.
//  - HKEY_CURRENT_USER is the file. HKEY_CLASSES_ROOT is a read-only view of the system MIME
//    database, built once on first use; HKEY_LOCAL_MACHINE is read-only and empty. Writes to
//    a read-only root fail.
//  - Every member is safe to call from several threads at once.
class TRegistryStore {
 public:
  // The store of this process: the file named by $QUORIX_REGISTRY, else
  // $XDG_CONFIG_HOME/quorix/registry.reg ($XDG_CONFIG_HOME defaults to ~/.config).
  static TRegistryStore& Instance();

  // The files that build the MIME view by default: /etc/mime.types, then ~/.mime.types
  // (a later file's entry for a type replaces an earlier one).
  static std::vector<std::filesystem::path> DefaultMimeTypeFiles();

  explicit TRegistryStore(std::filesystem::path file,
                          std::vector<std::filesystem::path> mimeTypeFiles = DefaultMimeTypeFiles());
  ~TRegistryStore();

  TRegistryStore(const TRegistryStore&) = delete;
  TRegistryStore& operator=(const TRegistryStore&) = delete;

  [[nodiscard]] const std::filesystem::path& FilePath() const noexcept;

  // Reads the file now if it has not been read yet; throws ERegistryFileDamaged or
  // ERegistryFileUnreadable as above.
  void Load();

  // Renames a file that was read and found damaged to "<file>.damaged-<yyyymmdd-hhmmss>"
  // (local time; "-2", "-3", ... appended if that name is taken, so an earlier damaged file
  // is never replaced; through a link, the link's target is renamed and the link stays),
  // starts from an empty store and returns the new name of the damaged file (an empty path
  // if the file has vanished meanwhile). A file that cannot be read is never moved: that
  // raises ERegistryFileUnreadable as Load() does. Throws ERegistryException if the file
  // loads without error (there is nothing to set aside) or cannot be renamed.
  std::filesystem::path SetAsideDamagedFile();

  // Writes the file if anything changed since it was read or last written; creates the
  // folder if needed. Throws ERegistryException naming the file and the cause; the changes
  // then stay in memory for a later Flush. The file gets the permissions 0600.
  void Flush();

  [[nodiscard]] bool KeyExists(THKey root, std::string_view path);
  // Creates the key and any missing parents; true if the key exists afterwards. On a
  // read-only root nothing is created: true if the key is already there.
  bool CreateKey(THKey root, std::string_view path);
  // Deletes the key with all its subkeys and values; false if it did not exist or is read-only.
  bool DeleteKey(THKey root, std::string_view path);
  // Names of the direct subkeys, sorted ignoring letter case (the order Windows enumerates).
  [[nodiscard]] std::vector<std::string> SubkeyNames(THKey root, std::string_view path);
  // Names of the key's values, sorted ignoring letter case.
  [[nodiscard]] std::vector<std::string> ValueNames(THKey root, std::string_view path);
  // The value, or nothing if the key or the value does not exist.
  [[nodiscard]] std::optional<TRegValue> ReadValue(THKey root, std::string_view path, std::string_view name);
  // Sets the value in an existing key; false if the key does not exist or the root is read-only.
  bool WriteValue(THKey root, std::string_view path, std::string_view name, TRegValue value);
  // False if the value did not exist.
  bool DeleteValue(THKey root, std::string_view path, std::string_view name);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
