#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "integration/ApplyHostsFileChanges.h"
#include "integration/EHostsFileNotWritable.h"
#include "integration/EHostsFileUnreadable.h"
#include "integration/HostsFilePath.h"
#include "integration/HostsTestSupport.h"
#include "integration/THostsManager.h"

namespace {

namespace fs = std::filesystem;
using HostsTest::AccountsFor;
using HostsTest::Ours;
using ::testing::HasSubstr;

constexpr uid_t kNobody = 65534;

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAll(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

// A scratch hosts folder that QUORIX_HOSTS_DIR points at for the test's length.
class HostsFileSave : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quorix-hosts-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
    ::chmod(folder_.c_str(), 0755);
    ::setenv("QUORIX_HOSTS_DIR", folder_.c_str(), 1);
    file_ = folder_ / "hosts";
  }
  void TearDown() override {
    ::unsetenv("QUORIX_HOSTS_DIR");
    ::chmod(folder_.c_str(), 0755);
    fs::remove_all(folder_);
  }

  static void Update(const std::vector<std::string>& servers) {
    auto hosts = THostsManager::OpenQuorixHostsFile();
    ApplyHostsFileChanges(*hosts, AccountsFor(servers));
    hosts->save();
  }

  // Runs `body` in a child process as a user without privileges (when the test runs as
  // root) and returns what it wrote to the pipe.
  static std::string AsUnprivilegedUser(const std::function<std::string()>& body) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
      return "no pipe";
    }
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(pipeFds[0]);
      std::string result;
      if (::geteuid() == 0 && (::setresgid(kNobody, kNobody, kNobody) != 0 || ::setgroups(0, nullptr) != 0 ||
                               ::setresuid(kNobody, kNobody, kNobody) != 0)) {
        result = "cannot drop privileges";
      } else {
        try {
          result = body();
        } catch (const std::exception& error) {
          result = std::string("unexpected: ") + error.what();
        }
      }
      (void)!::write(pipeFds[1], result.data(), result.size());
      ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string result;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
      result.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return result;
  }

  fs::path folder_;
  fs::path file_;
};

TEST_F(HostsFileSave, HostsFileComesFromTheEnvironmentOrEtc) {
  EXPECT_EQ(Platform::HostsFilePath(), file_);
  ::setenv("QUORIX_HOSTS_DIR", "", 1);
  EXPECT_EQ(Platform::HostsFilePath(), fs::path("/etc/hosts"));
}

TEST_F(HostsFileSave, WritesTheBlockAndKeepsModeOwnerAndEverythingElse) {
  const std::string before = std::string("127.0.0.1 localhost\r\n# keep me   \r\n\xFF\x00 odd", 41);
  WriteAll(file_, before);
  ::chmod(file_.c_str(), 0640);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(file_.c_str(), 1234, 4321), 0);
  }
  Update({"pop.a.org"});
  EXPECT_EQ(ReadAll(file_), before + "\r\n\r\n# Begin QX\r\n" + Ours("127.84.3.1", "pop.a.org.qx", "\r\n") + "# End QX\r\n");
  struct stat status {};
  ASSERT_EQ(::stat(file_.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640U);
  if (root) {
    EXPECT_EQ(status.st_uid, 1234U);
    EXPECT_EQ(status.st_gid, 4321U);
  }
  for (const auto& entry : fs::directory_iterator(folder_)) {
    EXPECT_EQ(entry.path().filename(), "hosts") << "left behind";
  }
}

TEST_F(HostsFileSave, AMissingFileIsCreatedAndAnUnchangedOneIsNotRewritten) {
  Update({});
  EXPECT_FALSE(fs::exists(file_)) << "nothing to write, so nothing written";
  Update({"pop.a.org"});
  struct stat first {};
  ASSERT_EQ(::stat(file_.c_str(), &first), 0);
  EXPECT_EQ(first.st_mode & 07777, 0644U);
  Update({"pop.a.org"});
  struct stat second {};
  ASSERT_EQ(::stat(file_.c_str(), &second), 0);
  EXPECT_EQ(first.st_ino, second.st_ino) << "a second run with the same accounts replaced the file";
}

TEST_F(HostsFileSave, ALinkStaysALinkAndItsTargetIsUpdated) {
  const fs::path target = folder_ / "real-hosts";
  WriteAll(target, "127.0.0.1 localhost\n");
  fs::create_symlink("real-hosts", file_);
  Update({"pop.a.org"});
  EXPECT_TRUE(fs::is_symlink(file_));
  EXPECT_THAT(ReadAll(target), HasSubstr("pop.a.org.qx"));
}

TEST_F(HostsFileSave, AFileChangedSinceItWasReadIsNotOverwritten) {
  WriteAll(file_, "127.0.0.1 localhost\n");
  auto hosts = THostsManager::OpenQuorixHostsFile();
  ApplyHostsFileChanges(*hosts, AccountsFor({"pop.a.org"}));
  WriteAll(file_, "127.0.0.1 localhost\n10.0.0.1 added-meanwhile\n");
  EXPECT_THROW(hosts->save(), EHostsFileException);
  EXPECT_EQ(ReadAll(file_), "127.0.0.1 localhost\n10.0.0.1 added-meanwhile\n");
}

TEST_F(HostsFileSave, AFolderInPlaceOfTheFileIsUnreadable) {
  fs::create_directory(file_);
  EXPECT_THROW(THostsManager::OpenQuorixHostsFile(), EHostsFileUnreadable);
}

TEST_F(HostsFileSave, AReadOnlyFileOrFolderIsReportedAndLeftAlone) {
  const std::string before = "127.0.0.1 localhost\n";
  WriteAll(file_, before);
  const bool root = ::geteuid() == 0;
  struct Case {
    const char* name;
    mode_t fileMode;
    mode_t folderMode;
  };
  // As root the folder and file belong to root and the writer runs as nobody; otherwise we
  // take our own write permission away.
  const Case cases[] = {
      {"read-only file", root ? mode_t{0644} : mode_t{0444}, 0755},
      {"read-only folder", root ? mode_t{0666} : mode_t{0644}, root ? mode_t{0755} : mode_t{0555}},
      // A rename would go through here; the file's own permission must still hold.
      {"read-only file in a writable folder", root ? mode_t{0644} : mode_t{0444}, 0777},
  };
  for (const Case& c : cases) {
    ::chmod(file_.c_str(), c.fileMode);
    ::chmod(folder_.c_str(), c.folderMode);
    if (!root && (::access(file_.c_str(), W_OK) == 0) == (c.fileMode == 0444)) {
      GTEST_SKIP() << "permissions do not bind this user (a capability?), so nothing is read-only";
    }
    const std::string result = AsUnprivilegedUser([] {
      try {
        Update({"pop.a.org"});
        return std::string("written");
      } catch (const EHostsFileNotWritable& error) {
        return std::string("not writable: ") + error.what() + " | " + error.File().string();
      }
    });
    EXPECT_THAT(result, HasSubstr("not writable: Cannot write the hosts file '" + file_.string() + "'")) << c.name;
    EXPECT_THAT(result, HasSubstr("| " + file_.string())) << c.name;
    EXPECT_EQ(ReadAll(file_), before) << c.name;
    ::chmod(folder_.c_str(), 0755);
    for (const auto& entry : fs::directory_iterator(folder_)) {
      EXPECT_EQ(entry.path().filename(), "hosts") << c.name << ": left behind";
    }
  }
}

TEST_F(HostsFileSave, AFileThisUserMayNotReadIsUnreadableNotDamaged) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "needs root to make a file that another user cannot read";
  }
  WriteAll(file_, "127.0.0.1 localhost\n");
  ::chmod(file_.c_str(), 0600);
  const std::string result = AsUnprivilegedUser([] {
    try {
      (void)THostsManager::OpenQuorixHostsFile();
      return std::string("read");
    } catch (const EHostsFileUnreadable& error) {
      return std::string(error.what());
    }
  });
  EXPECT_THAT(result, HasSubstr("Cannot read the hosts file '" + file_.string() + "': cannot open it: Permission denied"));
}

// The name we write, resolved as a mail client and the proxy's reverse lookup resolve it.
class HostsFileResolves : public HostsFileSave {
 protected:
  static std::string Run(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
      return output;
    }
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
      output += buffer;
    }
    ::pclose(pipe);
    return output;
  }
};

TEST_F(HostsFileResolves, ThroughGetaddrinfoUnderNssWrapper) {
  const char* const candidates[] = {"/usr/lib/x86_64-linux-gnu/libnss_wrapper.so", "/usr/lib/aarch64-linux-gnu/libnss_wrapper.so",
                                    "/usr/lib64/libnss_wrapper.so", "/usr/lib/libnss_wrapper.so"};
  std::string library;
  for (const char* candidate : candidates) {
    if (::access(candidate, R_OK) == 0) {
      library = candidate;
      break;
    }
  }
  if (library.empty()) {
    GTEST_SKIP() << "libnss_wrapper.so is not installed (Debian package libnss-wrapper)";
  }
  WriteAll(file_, "127.0.0.1 localhost\n");
  Update({"pop.example.org", "mail.example.net"});
  const fs::path wrapped = folder_ / "hosts.nss_wrapper";
  WriteAll(wrapped, HostsTest::ForNssWrapper(ReadAll(file_)));
  const std::string env = "LD_PRELOAD=" + library + " NSS_WRAPPER_HOSTS=" + wrapped.string() + " ";
  EXPECT_THAT(Run(env + "getent ahostsv4 mail.example.net.qx 2>&1"), HasSubstr("127.84.3.2      STREAM mail.example.net.qx"));
  EXPECT_THAT(Run(env + "getent hosts 127.84.3.1 2>&1"), HasSubstr("pop.example.org.qx"));
}

TEST_F(HostsFileResolves, ThroughTheSystemResolverInAPrivateMountNamespace) {
  // The real resolver reads the file as we wrote it, markers and comments included.
  if (::geteuid() != 0 || Run("command -v unshare").empty()) {
    GTEST_SKIP() << "needs root and unshare(1) to put a scratch file over /etc/hosts in a private mount namespace";
  }
  WriteAll(file_, "127.0.0.1 localhost\n# a comment\n");
  Update({"pop.example.org", "mail.example.net"});
  const std::string output = Run("unshare -m sh -c 'mount --bind " + file_.string() +
                                 " /etc/hosts && getent ahostsv4 mail.example.net.qx && getent hosts 127.84.3.1' 2>&1");
  if (output.find("mount") != std::string::npos && output.find("STREAM") == std::string::npos) {
    GTEST_SKIP() << "cannot mount in a private namespace here: " << output;
  }
  EXPECT_THAT(output, HasSubstr("127.84.3.2      STREAM mail.example.net.qx"));
  EXPECT_THAT(output, HasSubstr("pop.example.org.qx"));
}

}  // namespace
