#include "platform/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace Platform {
namespace {

[[noreturn]] void ThrowErrno(int error, const std::string& step) {
  throw std::system_error(error, std::generic_category(), step);
}

std::string Quoted(const std::filesystem::path& path) {
  return "'" + path.string() + "'";
}

// Closes the descriptor and removes the temporary file unless the replacement went through.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::filesystem::path& folder, const std::string& baseName) {
    std::string pattern = (folder / ("." + baseName + ".XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    fd_ = mkostemp(buffer.data(), O_CLOEXEC);
    if (fd_ < 0) {
      ThrowErrno(errno, "cannot create a temporary file in " + Quoted(folder));
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
      ThrowErrno(errno, "cannot write " + Quoted(path));
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

void ReplaceFileAtomically(const std::filesystem::path& file, std::string_view contents, mode_t mode) {
  const std::filesystem::path folder =
      file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    throw std::system_error(ec, "cannot create the folder " + Quoted(folder));
  }
  if (!std::filesystem::is_directory(folder, ec)) {
    ThrowErrno(ENOTDIR, "cannot create the folder " + Quoted(folder));
  }

  TemporaryFile temporary(folder, file.filename().string());
  WriteAll(temporary.Descriptor(), contents, temporary.Path());
  if (::fchmod(temporary.Descriptor(), mode) != 0) {
    ThrowErrno(errno, "cannot set the permissions of " + Quoted(temporary.Path()));
  }
  if (::fsync(temporary.Descriptor()) != 0) {
    ThrowErrno(errno, "cannot flush " + Quoted(temporary.Path()) + " to disk");
  }
  if (temporary.Close() != 0) {
    ThrowErrno(errno, "cannot write " + Quoted(temporary.Path()));
  }
  if (::rename(temporary.Path().c_str(), file.c_str()) != 0) {
    ThrowErrno(errno, "cannot replace it by " + Quoted(temporary.Path()));
  }
  temporary.Commit();

  // Only durability is at stake here; the new file is already in place.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
}

}  // namespace Platform
