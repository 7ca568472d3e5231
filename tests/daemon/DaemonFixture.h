#pragma once

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "daemon/QuorixProcess.h"
#include "platform/TTcpListener.h"
#include "support/ScratchFolder.h"

// A scratch world for quorix: its own runtime folder, settings file, hosts folder and data
// folders, so that nothing the tests do reaches the machine's files or another test's copy.
class DaemonFixture : public ::testing::Test {
 protected:
  DaemonFixture() {
    std::filesystem::create_directories(RuntimeFolder());
    ::chmod(RuntimeFolder().c_str(), 0700);
    std::filesystem::create_directories(HostsFolder());
  }

  [[nodiscard]] std::filesystem::path RuntimeFolder() const { return scratch_ / "run"; }
  [[nodiscard]] std::filesystem::path HostsFolder() const { return scratch_ / "etc"; }
  [[nodiscard]] std::filesystem::path HostsFile() const { return HostsFolder() / "hosts"; }
  [[nodiscard]] std::filesystem::path Registry() const { return scratch_ / "config" / "registry.reg"; }
  [[nodiscard]] std::filesystem::path Output() const { return scratch_.Path(); }

  [[nodiscard]] QuorixProcess::Environment Environment() const {
    return {{"XDG_RUNTIME_DIR", RuntimeFolder().string()},
            {"QUORIX_REGISTRY", Registry().string()},
            {"QUORIX_HOSTS_DIR", HostsFolder().string()},
            {"XDG_DATA_HOME", (scratch_ / "data").string()},
            {"XDG_CONFIG_HOME", (scratch_ / "xdg-config").string()},
            {"HOME", (scratch_ / "home").string()}};
  }

  // A settings file with only the listen port (the rest takes the defaults).
  void WriteSettings(int port) const {
    char line[64];
    std::snprintf(line, sizeof line, "\"ListenPort\"=dword:%08x\r\n", port);
    WriteWholeFile(Registry(), std::string("Windows Registry Editor Version 5.00\r\n\r\n"
                                           "[HKEY_CURRENT_USER\\Software\\Vantorell\\Quorix\\Config]\r\n") +
                                   line + "\"KeepLogsForDays\"=dword:0000001c\r\n");
  }

  int Account(const std::vector<std::string>& words, std::string* out = nullptr, std::string* err = nullptr) const {
    std::vector<std::string> arguments{"account"};
    arguments.insert(arguments.end(), words.begin(), words.end());
    return QuorixProcess::Run(arguments, Environment(), Output(), out, err);
  }

  static std::uint16_t FreePort() {
    const TTcpListener probe("127.0.0.1", 0);
    return probe.Address().Port;
  }

  ScratchFolder scratch_;
};
