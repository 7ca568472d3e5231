#pragma once

// Runs the built quorix-filter as a child process with its standard input from a file (or
// /dev/null), its output and error captured, in a scratch environment of its own: HOME,
// XDG_CONFIG_HOME and XDG_DATA_HOME point into the test's folder, so no user settings or
// logs are read or written.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/ScratchFolder.h"

namespace FilterTest {

struct RunResult {
  int exitStatus = -1;
  std::string out;
  std::string err;
};

inline const std::filesystem::path FilterBinary{QUORIX_FILTER_BINARY};

// Runs `command` (argv[0] included) with standard input from `input` (empty: /dev/null) and
// `environment` ("NAME=value") added to a scratch environment below `home`.
inline RunResult Run(const std::vector<std::string>& command, const std::filesystem::path& home,
                     const std::filesystem::path& input = {}, const std::vector<std::string>& environment = {}) {
  const std::filesystem::path outFile = home / ".run-stdout";
  const std::filesystem::path errFile = home / ".run-stderr";
  std::vector<std::string> env{"PATH=/usr/bin:/bin", "HOME=" + home.string(),
                               "XDG_CONFIG_HOME=" + (home / "config").string(),
                               "XDG_DATA_HOME=" + (home / "data").string(), "LANG=C.UTF-8"};
  env.insert(env.end(), environment.begin(), environment.end());
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int in = ::open(input.empty() ? "/dev/null" : input.c_str(), O_RDONLY);
    const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::vector<char*> argv;
    for (const auto& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  RunResult result;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadWholeFile(outFile);
  result.err = ReadWholeFile(errFile);
  std::filesystem::remove(outFile);
  std::filesystem::remove(errFile);
  return result;
}

// quorix-filter with `arguments`.
inline RunResult RunFilter(const std::vector<std::string>& arguments, const std::filesystem::path& home,
                           const std::filesystem::path& input = {}, const std::vector<std::string>& environment = {}) {
  std::vector<std::string> command{FilterBinary.string()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return Run(command, home, input, environment);
}

inline constexpr const char* Now = "2024-05-01T10:00:00+0200";

}  // namespace FilterTest
