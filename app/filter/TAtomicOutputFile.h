#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

// A file that appears whole or not at all: written to a temporary file in the same folder
// (".<name>.XXXXXX") and renamed over the target by Commit. Destroyed without a Commit, the
// temporary file is removed and an existing target stays as it was. Writes are buffered; a
// failure (disk full, no permission) is kept and raised by Commit, so that a message that
// could not be written whole is never reported as filtered. Raises EQuorixException naming
// the file and the cause.
class TAtomicOutputFile {
 public:
  // Creates the temporary file; raises if the folder cannot take it.
  explicit TAtomicOutputFile(std::filesystem::path target);
  ~TAtomicOutputFile();

  TAtomicOutputFile(const TAtomicOutputFile&) = delete;
  TAtomicOutputFile& operator=(const TAtomicOutputFile&) = delete;

  [[nodiscard]] std::FILE* Stream() const noexcept { return stream_; }
  void Write(std::string_view bytes) noexcept;
  // Flushes, syncs and renames the temporary file over the target.
  void Commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::FILE* stream_ = nullptr;
  int error_ = 0;  // the first errno of a failed write
};

// Writes `bytes` to the file named `file` as TAtomicOutputFile does.
void WriteFileAtomically(const std::filesystem::path& file, std::string_view bytes);
