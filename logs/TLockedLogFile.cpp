#include "logs/TLockedLogFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

#include "platform/QuotedPath.h"

namespace {

constexpr int kReopenAttempts = 100;  // each one means another process replaced the file meanwhile

[[noreturn]] void ThrowErrno(int error, const std::string& step, const std::filesystem::path& path) {
  throw std::system_error(error, std::generic_category(), step + " " + Platform::QuotedPath(path));
}

}  // namespace

std::optional<TLockedLogFile> TLockedLogFile::Open(const std::filesystem::path& path, TMode mode) {
  const int flags = mode == TMode::Read ? O_RDONLY : (mode == TMode::Append ? O_RDWR : O_RDWR | O_CREAT);
  for (int attempt = 0; attempt < kReopenAttempts; ++attempt) {
    // O_NONBLOCK: opening a pipe put in place of a log must not hang; regular files ignore it.
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
      if (errno == ENOENT && mode != TMode::Create) {
        return std::nullopt;
      }
      ThrowErrno(errno, mode == TMode::Create ? "cannot open or create" : "cannot open", path);
    }
    int locked = 0;
    do {
      locked = ::flock(fd, mode == TMode::Read ? LOCK_SH : LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    struct stat opened {};
    if (locked != 0 || ::fstat(fd, &opened) != 0) {
      const int error = errno;
      ::close(fd);
      ThrowErrno(error, "cannot lock", path);
    }
    if (!S_ISREG(opened.st_mode)) {
      // A folder, a device or a pipe in place of a log: reading one may never end.
      ::close(fd);
      ThrowErrno(S_ISDIR(opened.st_mode) ? EISDIR : EINVAL, "cannot use (not a regular file)", path);
    }
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
      return TLockedLogFile(path, fd, opened);
    }
    ::close(fd);  // replaced or removed while we waited: start over on what the name means now
  }
  ThrowErrno(EAGAIN, "cannot lock (it keeps being replaced)", path);
}

TLockedLogFile::TLockedLogFile(std::filesystem::path path, int fd, const struct stat& status) noexcept
    : path_(std::move(path)), fd_(fd), status_(status) {}

TLockedLogFile::TLockedLogFile(TLockedLogFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)), status_(other.status_) {}

TLockedLogFile& TLockedLogFile::operator=(TLockedLogFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    path_ = std::move(other.path_);
    fd_ = std::exchange(other.fd_, -1);
    status_ = other.status_;
  }
  return *this;
}

TLockedLogFile::~TLockedLogFile() {
  if (fd_ >= 0) {
    ::close(fd_);  // also releases the lock
  }
}

std::string TLockedLogFile::ReadFrom(std::size_t offset, std::size_t length) const {
  std::string contents;
  char buffer[65536];
  auto at = static_cast<off_t>(offset);
  while (contents.size() < length) {
    const ssize_t got = ::pread(fd_, buffer, std::min(sizeof buffer, length - contents.size()), at);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      ThrowErrno(errno, "cannot read", path_);
    }
    if (got == 0) {
      return contents;
    }
    contents.append(buffer, static_cast<std::size_t>(got));
    at += got;
  }
  return contents;
}

void TLockedLogFile::WriteAt(std::size_t offset, std::string_view data) {
  auto at = static_cast<off_t>(offset);
  while (!data.empty()) {
    const ssize_t written = ::pwrite(fd_, data.data(), data.size(), at);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      const int error = errno;
      if (::ftruncate(fd_, status_.st_size) != 0) {
        // Nothing more to do: the next append trims what a reader would see as cut short.
      }
      ThrowErrno(error, "cannot write to", path_);
    }
    data.remove_prefix(static_cast<std::size_t>(written));
    at += written;
  }
  if (at > status_.st_size) {
    status_.st_size = at;
  }
}

void TLockedLogFile::Truncate(std::size_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    ThrowErrno(errno, "cannot cut back", path_);
  }
  status_.st_size = static_cast<off_t>(size);
}
