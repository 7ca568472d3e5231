#include "integration/HostsFileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "integration/EHostsFileNotWritable.h"
#include "integration/EHostsFileUnreadable.h"
#include "platform/FileIO.h"
#include "platform/QuotedPath.h"

namespace HostsFileIO {
namespace {

constexpr mode_t kNewFileMode = 0644;
constexpr mode_t kPermissionBits = 07777;

bool IsPermissionError(int error) noexcept { return error == EACCES || error == EPERM || error == EROFS; }

[[noreturn]] void Fail(const std::filesystem::path& file, int error, const std::string& step) {
  const std::string cause = step + ": " + std::strerror(error);  // NOLINT(concurrency-mt-unsafe)
  if (IsPermissionError(error)) {
    throw EHostsFileNotWritable(file, cause);
  }
  throw EHostsFileException(file, "Cannot write the hosts file " + Platform::QuotedPath(file) + ": " + cause);
}

class TemporaryFile {
 public:
  TemporaryFile(const std::filesystem::path& file, const std::filesystem::path& folder) : file_(file) {
    std::string pattern = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    fd_ = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd_ < 0) {
      Fail(file_, errno, "cannot create a temporary file in " + Platform::QuotedPath(folder));
    }
    path_ = buffer.data();
  }
  ~TemporaryFile() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    if (!renamed_) {
      ::unlink(path_.c_str());
    }
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  void Write(std::string_view contents) {
    while (!contents.empty()) {
      const ssize_t written = ::write(fd_, contents.data(), contents.size());
      if (written < 0) {
        if (errno == EINTR) {
          continue;
        }
        Fail(file_, errno, "cannot write " + Platform::QuotedPath(path_));
      }
      contents.remove_prefix(static_cast<std::size_t>(written));
    }
  }

  void TakeOver(mode_t mode, uid_t owner, gid_t group) {
    if (::fchmod(fd_, mode) != 0) {
      Fail(file_, errno, "cannot set the permissions of " + Platform::QuotedPath(path_));
    }
    struct stat status {};
    if (::fstat(fd_, &status) != 0) {
      Fail(file_, errno, "cannot look at " + Platform::QuotedPath(path_));
    }
    // Only where it differs: changing the owner needs privileges even when nothing changes
    // on some file systems.
    if ((status.st_uid != owner || status.st_gid != group) && ::fchown(fd_, owner, group) != 0) {
      Fail(file_, errno, "cannot give the new file the owner of the old one");
    }
  }

  void FlushAndRenameOver(const std::filesystem::path& target) {
    if (::fsync(fd_) != 0) {
      Fail(file_, errno, "cannot flush " + Platform::QuotedPath(path_) + " to disk");
    }
    const int result = ::close(fd_);
    fd_ = -1;
    if (result != 0) {
      Fail(file_, errno, "cannot write " + Platform::QuotedPath(path_));
    }
    if (::rename(path_.c_str(), target.c_str()) != 0) {
      Fail(file_, errno, "cannot replace it by " + Platform::QuotedPath(path_));
    }
    renamed_ = true;
  }

 private:
  std::filesystem::path file_;
  std::string path_;
  int fd_ = -1;
  bool renamed_ = false;
};

}  // namespace

std::optional<std::string> Read(const std::filesystem::path& file) {
  try {
    return Platform::ReadFileIfExists(file);
  } catch (const std::system_error& error) {
    throw EHostsFileUnreadable(file, error.what());
  }
}

void Replace(const std::filesystem::path& file, std::string_view contents) {
  std::filesystem::path target;
  try {
    target = Platform::FinalLinkTarget(file);
  } catch (const std::system_error& error) {
    throw EHostsFileException(file, "Cannot write the hosts file " + Platform::QuotedPath(file) + ": " + error.what());
  }
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";

  mode_t mode = kNewFileMode;
  uid_t owner = ::geteuid();
  gid_t group = ::getegid();
  struct stat status {};
  if (::stat(target.c_str(), &status) == 0) {
    if (!S_ISREG(status.st_mode)) {
      throw EHostsFileException(file, "Cannot write the hosts file " + Platform::QuotedPath(file) +
                                          ": it is not a regular file");
    }
    mode = status.st_mode & kPermissionBits;
    owner = status.st_uid;
    group = status.st_gid;
    // Renaming over a file that is read-only for us would succeed wherever the folder is
    // writable; a file its owner made read-only must stay as it is.
    if (::access(target.c_str(), W_OK) != 0) {
      Fail(file, errno, "the file is not writable for this user");
    }
  } else if (errno != ENOENT) {
    Fail(file, errno, "cannot look at it");
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    Fail(file, errno, "cannot create files in its folder " + Platform::QuotedPath(folder));
  }

  TemporaryFile temporary(target, folder);
  temporary.Write(contents);
  temporary.TakeOver(mode, owner, group);
  temporary.FlushAndRenameOver(target);

  // Only durability is at stake here; the new file is already in place.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
}

}  // namespace HostsFileIO
