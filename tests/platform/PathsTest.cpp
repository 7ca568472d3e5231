#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "support/ScratchFolder.h"
#include "common/EQuorixException.h"
#include "platform/Paths.h"
#include "platform/TRegistryStore.h"

namespace {

TEST(Paths, FollowTheXdgVariablesAndFallBackBelowHome) {
  struct Case {
    std::optional<std::string> configHome, dataHome, registry;
    std::string expectedConfig, expectedData, expectedRegistry;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt, std::nullopt, "/home/ren/.config", "/home/ren/.local/share",
       "/home/ren/.config/quorix/registry.reg"},
      {"/xdg/config", "/xdg/data", std::nullopt, "/xdg/config", "/xdg/data",
       "/xdg/config/quorix/registry.reg"},
      {"relative/config", "", "", "/home/ren/.config", "/home/ren/.local/share",
       "/home/ren/.config/quorix/registry.reg"},  // relative and empty values are ignored
      {"/xdg/config", std::nullopt, "/elsewhere/settings.reg", "/xdg/config", "/home/ren/.local/share",
       "/elsewhere/settings.reg"},
  };
  for (const Case& c : cases) {
    ScopedEnvironment environment;
    environment.Set("HOME", "/home/ren");
    environment.Set("XDG_CONFIG_HOME", c.configHome);
    environment.Set("XDG_DATA_HOME", c.dataHome);
    environment.Set("QUORIX_REGISTRY", c.registry);
    EXPECT_EQ(Platform::ConfigHomeDirectory(), c.expectedConfig);
    EXPECT_EQ(Platform::DataHomeDirectory(), c.expectedData);
    EXPECT_EQ(Platform::RegistryFilePath(), c.expectedRegistry);
  }
}

TEST(Paths, HomeComesFromThePasswordDatabaseWithoutHOME) {
  ScopedEnvironment environment;
  environment.Set("HOME", std::nullopt);
  const std::filesystem::path home = Platform::HomeDirectory();
  EXPECT_TRUE(home.is_absolute()) << home;
  environment.Set("HOME", "/home/ren");
  EXPECT_EQ(Platform::HomeDirectory(), "/home/ren");
  EXPECT_EQ(TRegistryStore::DefaultMimeTypeFiles(),
            (std::vector<std::filesystem::path>{"/etc/mime.types", "/home/ren/.mime.types"}));
}

TEST(Paths, ExecutablePathIsThisTestProgram) {
  EXPECT_EQ(std::filesystem::canonical(Platform::ExecutablePath()),
            std::filesystem::canonical(QUORIX_TEST_BINARY));
}

// After a package upgrade the running program's file is gone and /proc/self/exe reads
// "<path> (deleted)"; the autostart entry written from it must name the path itself. The
// test runs copies of this test program that ask for their own path after deleting their
// file; a copy given QUORIX_TEST_OWN_PATH_TO plays that part instead of the test.
TEST(Paths, ExecutablePathNeverCarriesTheDeletedMark) {
  constexpr const char* kOutputVariable = "QUORIX_TEST_OWN_PATH_TO";
  if (const char* output = std::getenv(kOutputVariable)) {
    if (std::getenv("QUORIX_TEST_DELETE_SELF") != nullptr) {
      std::filesystem::remove(std::filesystem::read_symlink("/proc/self/exe"));
    }
    WriteWholeFile(output, Platform::ExecutablePath().string());
    return;
  }
  struct Case {
    std::string FileName;
    bool Deleted;
  };
  const Case cases[] = {
      {"quorix", true},
      {"quorix (deleted)", false},  // really named so: the name stays
      {"quorix (deleted)", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.FileName + (c.Deleted ? ", deleted" : ""));
    ScratchFolder scratch;
    const std::filesystem::path copy = scratch / c.FileName;
    const std::filesystem::path output = scratch / "own-path.txt";
    std::filesystem::copy_file(QUORIX_TEST_BINARY, copy);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const int quiet = open("/dev/null", O_WRONLY);
      dup2(quiet, STDOUT_FILENO);
      setenv(kOutputVariable, output.c_str(), 1);
      if (c.Deleted) {
        setenv("QUORIX_TEST_DELETE_SELF", "1", 1);
      }
      execl(copy.c_str(), copy.c_str(), "--gtest_filter=Paths.ExecutablePathNeverCarriesTheDeletedMark",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_EQ(std::filesystem::exists(copy), !c.Deleted);
    EXPECT_EQ(ReadWholeFile(output), copy.string());
  }
}

}  // namespace
