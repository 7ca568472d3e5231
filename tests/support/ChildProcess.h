#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <system_error>

// Tests that need a process of their own: a changed resource limit, or a user without root's
// power over permission bits. Root ignores permission bits, so a check that a folder cannot
// be written proves nothing as root; as the unprivileged user the same check holds for root
// too (the child does what `setpriv --reuid=nobody --regid=nogroup --clear-groups` does).

// The user and group such a child becomes: nobody, and nogroup (or nobody's own group).
inline std::pair<uid_t, gid_t> UnprivilegedIds() {
  const passwd* user = ::getpwnam("nobody");
  if (user == nullptr) {
    throw std::runtime_error("the system has no user 'nobody'");
  }
  const group* nogroup = ::getgrnam("nogroup");
  return {user->pw_uid, nogroup != nullptr ? nogroup->gr_gid : user->pw_gid};
}

// Makes `path` and everything below it belong to the unprivileged user, if this process is
// root, so that the child can work there; the parent (root) can still remove it.
inline void HandToUnprivilegedUser(const std::filesystem::path& path) {
  if (::geteuid() != 0) {
    return;
  }
  const auto [uid, gid] = UnprivilegedIds();
  const auto give = [uid = uid, gid = gid](const std::filesystem::path& p) {
    if (::lchown(p.c_str(), uid, gid) != 0) {
      throw std::system_error(errno, std::generic_category(), "lchown " + p.string());
    }
  };
  give(path);
  if (std::filesystem::is_directory(std::filesystem::symlink_status(path))) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
      give(entry.path());
    }
  }
}

// Runs `body` in a forked child and returns the text it returned. With `unprivileged`, a
// child of root first becomes the unprivileged user with no supplementary groups; a child
// of any other user stays that user. An exception escaping `body` comes back as
// "exception: <what>"; a child that dies otherwise throws here.
inline std::string RunInChild(const std::function<std::string()>& body, bool unprivileged = false) {
  int channel[2];
  if (::pipe(channel) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe");
  }
  std::pair<uid_t, gid_t> ids{0, 0};
  const bool dropRoot = unprivileged && ::geteuid() == 0;
  if (dropRoot) {
    ids = UnprivilegedIds();
  }
  const pid_t child = ::fork();
  if (child < 0) {
    throw std::system_error(errno, std::generic_category(), "fork");
  }
  if (child == 0) {
    ::close(channel[0]);
    std::string result;
    if (dropRoot && (::setgroups(0, nullptr) != 0 || ::setresgid(ids.second, ids.second, ids.second) != 0 ||
                     ::setresuid(ids.first, ids.first, ids.first) != 0)) {
      result = "exception: cannot become the unprivileged user";
    } else {
      try {
        result = body();
      } catch (const std::exception& error) {
        result = std::string("exception: ") + error.what();
      }
    }
    std::size_t written = 0;
    while (written < result.size()) {
      const ssize_t n = ::write(channel[1], result.data() + written, result.size() - written);
      if (n <= 0) {
        ::_exit(2);
      }
      written += static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(channel[1]);
  std::string result;
  char buffer[4096];
  ssize_t got = 0;
  while ((got = ::read(channel[0], buffer, sizeof buffer)) > 0) {
    result.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(channel[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("the child process failed, status " + std::to_string(status));
  }
  return result;
}
