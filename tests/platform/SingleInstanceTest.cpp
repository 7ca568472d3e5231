#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "support/ChildProcess.h"
#include "support/ScratchFolder.h"
#include "common/EQuorixException.h"
#include "platform/TSingleInstance.h"

namespace {

using namespace std::chrono_literals;

bool WaitFor(const std::atomic<int>& counter, int value) {
  for (int i = 0; i < 200 && counter < value; ++i) {
    std::this_thread::sleep_for(10ms);
  }
  return counter >= value;
}

TEST(SingleInstance, ASecondStartInAnotherProcessFailsAndBringsTheFirstForward) {
  ScratchFolder scratch;
  std::atomic<int> cameForward{0};
  auto first = TSingleInstance::TryAcquire(scratch.Path(), [&] { ++cameForward; });
  ASSERT_NE(first, nullptr);

  const std::string second = RunInChild([&] {
    auto again = TSingleInstance::TryAcquire(scratch.Path(), [] {});
    if (again != nullptr) {
      return std::string("the lock was taken twice");
    }
    return std::string(TSingleInstance::AskToComeForward(scratch.Path(), 5s) ? "forwarded" : "no answer");
  });
  EXPECT_EQ(second, "forwarded");
  EXPECT_TRUE(WaitFor(cameForward, 1));

  first.reset();
  EXPECT_FALSE(std::filesystem::exists(scratch / TSingleInstance::kSocketFileName));
  EXPECT_NE(TSingleInstance::TryAcquire(scratch.Path(), nullptr), nullptr) << "the lock outlived its holder";
}

// A copy killed with SIGKILL cleans nothing up: its socket file stays, its lock goes with
// the process. The next start must take over without a word, and serve the socket itself.
TEST(SingleInstance, AKilledCopyLeavesNothingThatBlocksTheNext) {
  ScratchFolder scratch;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto instance = TSingleInstance::TryAcquire(scratch.Path(), [] {});
    const char state = instance != nullptr ? 'y' : 'n';
    (void)::write(ready[1], &state, 1);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char state = 0;
  ASSERT_EQ(::read(ready[0], &state, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(state, 'y');
  EXPECT_EQ(TSingleInstance::TryAcquire(scratch.Path(), nullptr), nullptr) << "the child's lock did not hold";
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ASSERT_TRUE(std::filesystem::exists(scratch / TSingleInstance::kSocketFileName));
  EXPECT_FALSE(TSingleInstance::AskToComeForward(scratch.Path(), 200ms)) << "a dead copy answered";

  std::atomic<int> cameForward{0};
  auto next = TSingleInstance::TryAcquire(scratch.Path(), [&] { ++cameForward; });
  ASSERT_NE(next, nullptr);
  EXPECT_TRUE(TSingleInstance::AskToComeForward(scratch.Path(), 5s));
  EXPECT_TRUE(WaitFor(cameForward, 1));
}

TEST(SingleInstance, AStrayConnectionDoesNotBlockTheService) {
  ScratchFolder scratch;
  std::atomic<int> cameForward{0};
  auto first = TSingleInstance::TryAcquire(scratch.Path(), [&] { ++cameForward; });
  ASSERT_NE(first, nullptr);
  // Connects and says the wrong thing; the next proper request still gets through.
  const int stray = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = (scratch / TSingleInstance::kSocketFileName).string();
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(::connect(stray, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::send(stray, "hello\n", 6, MSG_NOSIGNAL), 6);
  EXPECT_TRUE(TSingleInstance::AskToComeForward(scratch.Path(), 5s));
  ::close(stray);
  EXPECT_TRUE(WaitFor(cameForward, 1));
  EXPECT_EQ(cameForward, 1);
}

TEST(SingleInstance, TheDefaultFolderIsTheRuntimeFolderOrAPrivateOneInTmp) {
  ScopedEnvironment environment;
  environment.Set("XDG_RUNTIME_DIR", "/run/user/4242");
  EXPECT_EQ(TSingleInstance::DefaultFolder(), "/run/user/4242");

  environment.Set("XDG_RUNTIME_DIR", std::nullopt);
  const std::filesystem::path fallback = "/tmp/quorix-" + std::to_string(::getuid());
  const bool existed = std::filesystem::exists(fallback);
  EXPECT_EQ(TSingleInstance::DefaultFolder(), fallback);
  struct stat info {};
  ASSERT_EQ(::lstat(fallback.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700U);
  EXPECT_EQ(info.st_uid, ::getuid());
  if (!existed) {
    std::filesystem::remove(fallback);
  }
}

// The fallback's name is predictable, so another user may have made it first, or made it a
// link to a folder of theirs; it is used only when it is ours and closed to others.
TEST(SingleInstance, AFallbackFolderThatIsNotOursIsRefused) {
  ScratchFolder scratch;
  HandToUnprivilegedUser(scratch.Path());
  const std::string result = RunInChild(
      [&] {
        ScopedEnvironment environment;
        environment.Set("XDG_RUNTIME_DIR", std::nullopt);
        const std::filesystem::path fallback = "/tmp/quorix-" + std::to_string(::getuid());
        std::string outcome;
        for (const char* kind : {"open", "link"}) {
          std::filesystem::remove_all(fallback);
          if (std::string(kind) == "open") {
            std::filesystem::create_directory(fallback);
            std::filesystem::permissions(fallback, std::filesystem::perms::all);
          } else {
            std::filesystem::create_directory_symlink(scratch.Path(), fallback);
          }
          try {
            (void)TSingleInstance::DefaultFolder();
            outcome += std::string(kind) + ": accepted; ";
          } catch (const EQuorixException& error) {
            outcome += std::string(kind) + ": " + error.what() + "; ";
          }
        }
        std::filesystem::remove_all(fallback);
        return outcome;
      },
      true);
  EXPECT_EQ(result.find("accepted"), std::string::npos) << result;
  EXPECT_NE(result.find("open to others; remove it"), std::string::npos) << result;
  EXPECT_NE(result.find("is not a folder"), std::string::npos) << result;

  if (::geteuid() == 0) {  // a folder of another user under the child's name: root can make one
    const std::filesystem::path foreign = "/tmp/quorix-" + std::to_string(UnprivilegedIds().first);
    std::filesystem::remove_all(foreign);
    ASSERT_TRUE(std::filesystem::create_directory(foreign));
    std::filesystem::permissions(foreign, std::filesystem::perms::owner_all);
    const std::string foreignResult = RunInChild(
        [] {
          ScopedEnvironment environment("XDG_RUNTIME_DIR", std::nullopt);
          try {
            return "accepted " + TSingleInstance::DefaultFolder().string();
          } catch (const EQuorixException& error) {
            return std::string(error.what());
          }
        },
        true);
    std::filesystem::remove_all(foreign);
    EXPECT_EQ(foreignResult, "the folder '" + foreign.string() +
                                 "' belongs to another user or is open to others; remove it so that Quorix can make its own");
  }
}

}  // namespace
