#include "app/filter/TAtomicOutputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "common/EQuorixException.h"

namespace {

std::string quoted(const std::filesystem::path& file) { return "'" + file.string() + "'"; }

[[noreturn]] void fail(const std::filesystem::path& file, int error) {
  throw EQuorixException("Cannot write " + quoted(file) + ": " + std::strerror(error));
}

}  // namespace

TAtomicOutputFile::TAtomicOutputFile(std::filesystem::path target) : target_(std::move(target)) {
  std::filesystem::path folder = target_.parent_path();
  if (folder.empty()) folder = ".";
  std::string pattern = (folder / ("." + target_.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) fail(target_, errno);
  temporary_ = pattern;
  // mkstemp makes the file 0600; the result should get the permissions any new file gets.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  static_cast<void>(::fchmod(fd, 0666 & ~mask));
  stream_ = ::fdopen(fd, "wb");
  if (stream_ == nullptr) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporary_.c_str());
    fail(target_, error);
  }
  static_cast<void>(std::setvbuf(stream_, nullptr, _IOFBF, 1 << 16));
}

TAtomicOutputFile::~TAtomicOutputFile() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    ::unlink(temporary_.c_str());
  }
}

void TAtomicOutputFile::Write(std::string_view bytes) noexcept {
  // An empty view may hold a null pointer, which fwrite must not be given.
  if (bytes.empty()) return;
  if (error_ == 0 && std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) {
    error_ = errno != 0 ? errno : EIO;
  }
}

void TAtomicOutputFile::Commit() {
  if (error_ == 0 && std::fflush(stream_) != 0) error_ = errno;
  if (error_ == 0 && ::fsync(::fileno(stream_)) != 0) error_ = errno;
  std::FILE* stream = stream_;
  stream_ = nullptr;
  if (std::fclose(stream) != 0 && error_ == 0) error_ = errno;
  if (error_ == 0 && std::rename(temporary_.c_str(), target_.c_str()) != 0) error_ = errno;
  if (error_ != 0) {
    ::unlink(temporary_.c_str());
    fail(target_, error_);
  }
}

void WriteFileAtomically(const std::filesystem::path& file, std::string_view bytes) {
  TAtomicOutputFile out(file);
  out.Write(bytes);
  out.Commit();
}
