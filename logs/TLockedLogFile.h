#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// A log file held open under flock, so that other processes logging to the same folder
// append and rewrite one at a time. A rewrite renames a new file over the old one; whoever
// was waiting for the old file's lock then holds the lock of a file nobody will read again,
// so Open checks after locking that the path still names the file it has open, and starts
// over if not.
// Failures are std::system_error whose what() reads "<step> '<path>': <reason>".
class TLockedLogFile {
 public:
  enum class TMode { Read, Append, Create };

  // Read: shared lock, the file must exist (nullopt if it does not). Append: exclusive lock,
  // the file must exist (nullopt if it does not). Create: exclusive lock, created (mode
  // 0600) if missing; never nullopt.
  [[nodiscard]] static std::optional<TLockedLogFile> Open(const std::filesystem::path& path, TMode mode);

  TLockedLogFile(TLockedLogFile&& other) noexcept;
  TLockedLogFile& operator=(TLockedLogFile&& other) noexcept;
  TLockedLogFile(const TLockedLogFile&) = delete;
  TLockedLogFile& operator=(const TLockedLogFile&) = delete;
  ~TLockedLogFile();

  [[nodiscard]] const std::filesystem::path& Path() const noexcept { return path_; }
  [[nodiscard]] const struct stat& Status() const noexcept { return status_; }
  [[nodiscard]] std::size_t Size() const noexcept { return static_cast<std::size_t>(status_.st_size); }

  // The bytes from `offset` to the end, or at most `length` of them.
  [[nodiscard]] std::string ReadFrom(std::size_t offset, std::size_t length = std::string::npos) const;
  // Writes all of `data` at `offset`. A short write (disk full) is undone by cutting the file
  // back to its old size, so that a failed append leaves no partial block behind.
  void WriteAt(std::size_t offset, std::string_view data);
  void Truncate(std::size_t size);

 private:
  TLockedLogFile(std::filesystem::path path, int fd, const struct stat& status) noexcept;

  std::filesystem::path path_;
  int fd_ = -1;
  struct stat status_ {};
};
