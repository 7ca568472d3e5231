#include "platform/TSingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "common/EQuorixException.h"
#include "platform/SocketWait.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kRequest = "come-forward\n";
constexpr std::string_view kAnswer = "ok\n";
// A client that connects and then says nothing must not hold the server thread for long.
constexpr std::chrono::milliseconds kRequestTimeout{2000};

std::string SystemText(int error) { return std::strerror(error); }

sockaddr_un SocketAddress(const std::filesystem::path& file) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string text = file.string();
  if (text.size() >= sizeof address.sun_path) {
    throw EQuorixException("the path of the single-instance socket '" + text + "' is longer than " +
                           std::to_string(sizeof address.sun_path - 1) + " bytes; set XDG_RUNTIME_DIR to a shorter folder");
  }
  std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
  return address;
}

// Reads until `expected` has arrived whole, a mismatch, the deadline or the stop.
bool ReceiveExactly(int fd, std::string_view expected, Clock::time_point deadline, const TStopSignal* stop) {
  std::string received;
  while (received.size() < expected.size()) {
    char chunk[64];
    const ssize_t count = ::recv(fd, chunk, std::min(sizeof chunk, expected.size() - received.size()), 0);
    if (count > 0) {
      received.append(chunk, static_cast<std::size_t>(count));
      if (!expected.starts_with(received)) {
        return false;
      }
      continue;
    }
    if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
      return false;
    }
    if (errno == EAGAIN && Platform::WaitForSocket(fd, POLLIN, deadline, stop) != Platform::TWaitResult::Ready) {
      return false;
    }
  }
  return true;
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

void CheckPrivateFolder(const std::filesystem::path& folder) {
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) {
    throw EQuorixException("cannot use the folder '" + folder.string() + "': " + SystemText(errno));
  }
  if (!S_ISDIR(info.st_mode)) {
    throw EQuorixException("'" + folder.string() + "' is not a folder; remove it so that Quorix can make its own");
  }
  if (info.st_uid != ::getuid() || (info.st_mode & 077) != 0) {
    throw EQuorixException("the folder '" + folder.string() +
                           "' belongs to another user or is open to others; remove it so that Quorix can make its own");
  }
}

}  // namespace

std::filesystem::path TSingleInstance::DefaultFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    return runtime;
  }
  std::filesystem::path folder = "/tmp/quorix-" + std::to_string(::getuid());
  // mkdir is atomic: if the name is taken by then, the checks below judge what took it.
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    throw EQuorixException("cannot create the folder '" + folder.string() + "': " + SystemText(errno));
  }
  CheckPrivateFolder(folder);
  return folder;
}

std::unique_ptr<TSingleInstance> TSingleInstance::TryAcquire(const std::filesystem::path& folder,
                                                             TComeForward onComeForward) {
  const std::filesystem::path lockFile = folder / kLockFileName;
  const std::filesystem::path socketFile = folder / kSocketFileName;
  const sockaddr_un address = SocketAddress(socketFile);

  const int lockFd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lockFd < 0) {
    throw EQuorixException("cannot open the lock file '" + lockFile.string() + "': " + SystemText(errno));
  }
  while (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == EINTR) {
      continue;
    }
    ::close(lockFd);
    if (error == EWOULDBLOCK) {
      return nullptr;
    }
    throw EQuorixException("cannot lock '" + lockFile.string() + "': " + SystemText(error));
  }

  const auto fail = [&](const std::string& step, int error, int socketFd) -> std::unique_ptr<TSingleInstance> {
    if (socketFd >= 0) {
      ::close(socketFd);
    }
    ::close(lockFd);
    throw EQuorixException(step + " '" + socketFile.string() + "': " + SystemText(error));
  };
  if (::unlink(socketFile.c_str()) != 0 && errno != ENOENT) {
    return fail("cannot remove the old socket", errno, -1);
  }
  const int socketFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (socketFd < 0) {
    return fail("cannot create the socket", errno, -1);
  }
  if (::bind(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(socketFd, 8) != 0) {
    return fail("cannot listen on the socket", errno, socketFd);
  }
  return std::unique_ptr<TSingleInstance>(new TSingleInstance(folder, lockFd, socketFd, std::move(onComeForward)));
}

TSingleInstance::TSingleInstance(std::filesystem::path folder, int lockFd, int socketFd, TComeForward onComeForward)
    : folder_(std::move(folder)), lockFd_(lockFd), socketFd_(socketFd), onComeForward_(std::move(onComeForward)) {
  server_ = std::thread([this] { Serve(); });
}

TSingleInstance::~TSingleInstance() {
  stop_.Request();
  server_.join();
  ::close(socketFd_);
  // Removed before the lock goes, so that the next holder never finds ours.
  ::unlink((folder_ / kSocketFileName).c_str());
  ::close(lockFd_);
}

void TSingleInstance::Serve() {
  while (!stop_.IsRequested()) {
    if (Platform::WaitForSocket(socketFd_, POLLIN, Clock::time_point::max(), &stop_) != Platform::TWaitResult::Ready) {
      return;
    }
    const int client = ::accept4(socketFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0) {
      continue;
    }
    // The folder is private, but a request is honoured only from this user all the same.
    ucred peer{};
    socklen_t length = sizeof peer;
    const bool ours = ::getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == ::getuid();
    if (ours && ReceiveExactly(client, kRequest, Clock::now() + kRequestTimeout, &stop_)) {
      if (onComeForward_) {
        try {
          onComeForward_();
        } catch (...) {  // NOLINT(bugprone-empty-catch): a failing callback must not end the service
        }
      }
      (void)SendAll(client, kAnswer);
    }
    ::close(client);
  }
}

bool TSingleInstance::AskToComeForward(const std::filesystem::path& folder, std::chrono::milliseconds timeout) {
  const sockaddr_un address = SocketAddress(folder / kSocketFileName);
  const auto deadline = Clock::now() + timeout;
  // The first copy binds its socket right after it takes the lock; a start in that gap
  // finds no socket yet, so connecting is retried until the deadline.
  for (;;) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      return false;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
        (errno == EINPROGRESS || errno == EAGAIN)) {
      // A Unix-domain connect completes at once or when the backlog has room again.
      bool answered = false;
      if (Platform::WaitForSocket(fd, POLLOUT, deadline, nullptr) == Platform::TWaitResult::Ready) {
        answered = SendAll(fd, kRequest) && ReceiveExactly(fd, kAnswer, deadline, nullptr);
      }
      ::close(fd);
      return answered;
    }
    ::close(fd);
    if (Clock::now() + std::chrono::milliseconds(50) >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}
