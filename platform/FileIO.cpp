#include "platform/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include "platform/QuotedPath.h"

namespace Platform {
namespace {

[[noreturn]] void ThrowErrno(int error, const std::string& step) {
  throw std::system_error(error, std::generic_category(), step);
}

constexpr int kMaxLinksInARow = 40;  // as the kernel's own limit for a path
constexpr std::string_view kTemporarySuffix = "XXXXXX";

std::string TemporaryPrefix(const std::filesystem::path& file) {
  return "." + file.filename().string() + ".";
}

bool IsTemporaryName(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix) || name.size() != prefix.size() + kTemporarySuffix.size()) {
    return false;
  }
  for (const char c : name.substr(prefix.size())) {
    const bool alphanumeric = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!alphanumeric) {
      return false;
    }
  }
  return true;
}

// Closes the descriptor and removes the temporary file unless the replacement went through.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::filesystem::path& file) {
    const std::filesystem::path folder = file.parent_path();
    std::string pattern = (folder / (TemporaryPrefix(file) + std::string(kTemporarySuffix))).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    fd_ = mkostemp(buffer.data(), O_CLOEXEC);
    if (fd_ < 0) {
      ThrowErrno(errno, "cannot create a temporary file in " + QuotedPath(folder));
    }
    path_ = buffer.data();
  }

  ~TemporaryFile() {
    Close();
    if (!committed_) {
      ::unlink(path_.c_str());
    }
  }

  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  [[nodiscard]] int Descriptor() const noexcept { return fd_; }
  [[nodiscard]] const std::string& Path() const noexcept { return path_; }

  // Closes and reports the error close() gives: on some file systems a failed write shows
  // only there.
  int Close() noexcept {
    if (fd_ < 0) {
      return 0;
    }
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

  void Commit() noexcept { committed_ = true; }

 private:
  int fd_ = -1;
  std::string path_;
  bool committed_ = false;
};

void WriteAll(int fd, std::string_view contents, const std::string& path) {
  while (!contents.empty()) {
    const ssize_t written = ::write(fd, contents.data(), contents.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      ThrowErrno(errno, "cannot write " + QuotedPath(path));
    }
    contents.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

std::optional<std::string> ReadFileIfExists(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      return std::nullopt;
    }
    ThrowErrno(errno, "cannot open it");
  }
  std::string contents;
  int error = 0;
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    error = errno;
  } else if (S_ISDIR(status.st_mode)) {
    error = EISDIR;
  } else {
    char buffer[65536];
    while (true) {
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got < 0) {
        if (errno == EINTR) {
          continue;
        }
        error = errno;
        break;
      }
      if (got == 0) {
        break;
      }
      contents.append(buffer, static_cast<std::size_t>(got));
    }
  }
  ::close(fd);
  if (error != 0) {
    ThrowErrno(error, "cannot read it");
  }
  return contents;
}

std::filesystem::path FinalLinkTarget(const std::filesystem::path& file) {
  std::filesystem::path current = file;
  for (int links = 0;; ++links) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, ec))) {
      return current;  // also when it cannot be looked at: opening it will say why
    }
    if (links == kMaxLinksInARow) {
      ThrowErrno(ELOOP, "cannot follow the links of " + QuotedPath(file));
    }
    const std::filesystem::path target = std::filesystem::read_symlink(current, ec);
    if (ec) {
      throw std::system_error(ec, "cannot read the link " + QuotedPath(current));
    }
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
}

void ReplaceFileAtomically(const std::filesystem::path& file, std::string_view contents, mode_t mode) {
  std::filesystem::path target = FinalLinkTarget(file);
  if (!target.has_parent_path()) {
    target = std::filesystem::path(".") / target;
  }
  const std::filesystem::path folder = target.parent_path();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    throw std::system_error(ec, "cannot create the folder " + QuotedPath(folder));
  }
  if (!std::filesystem::is_directory(folder, ec)) {
    ThrowErrno(ENOTDIR, "cannot create the folder " + QuotedPath(folder));
  }

  TemporaryFile temporary(target);
  WriteAll(temporary.Descriptor(), contents, temporary.Path());
  if (::fchmod(temporary.Descriptor(), mode) != 0) {
    ThrowErrno(errno, "cannot set the permissions of " + QuotedPath(temporary.Path()));
  }
  if (::fsync(temporary.Descriptor()) != 0) {
    ThrowErrno(errno, "cannot flush " + QuotedPath(temporary.Path()) + " to disk");
  }
  if (temporary.Close() != 0) {
    ThrowErrno(errno, "cannot write " + QuotedPath(temporary.Path()));
  }
  if (::rename(temporary.Path().c_str(), target.c_str()) != 0) {
    ThrowErrno(errno, "cannot replace it by " + QuotedPath(temporary.Path()));
  }
  temporary.Commit();

  // Only durability is at stake here; the new file is already in place.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
}

void RemoveStaleTemporaryFiles(const std::filesystem::path& file, std::chrono::seconds age) {
  std::filesystem::path target;
  try {
    target = FinalLinkTarget(file);
  } catch (const std::system_error&) {
    return;  // the load that follows reports the broken link
  }
  std::error_code ec;
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  const std::string prefix = TemporaryPrefix(target);
  const auto limit = std::filesystem::file_time_type::clock::now() - age;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code entryError;
    if (IsTemporaryName(it->path().filename().string(), prefix) && it->is_regular_file(entryError) &&
        !it->is_symlink(entryError) && it->last_write_time(entryError) < limit && !entryError) {
      ::unlink(it->path().c_str());
    }
  }
}

}  // namespace Platform
