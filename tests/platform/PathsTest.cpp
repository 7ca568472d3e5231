#include <gtest/gtest.h>

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

}  // namespace
