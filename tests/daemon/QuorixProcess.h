#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "support/ChildProcess.h"
#include "support/ScratchFolder.h"

extern char** environ;  // NOLINT(readability-redundant-declaration)

// The real quorix executable in a child process of its own, its output in files, killed if
// it is still running when the test ends however the test ends.
class QuorixProcess {
 public:
  using Environment = std::map<std::string, std::string>;

  QuorixProcess(const std::vector<std::string>& arguments, const Environment& environment,
                const std::filesystem::path& outputFolder, bool unprivileged = false)
      : out_(outputFolder / ("out-" + std::to_string(counter_) + ".txt")),
        err_(outputFolder / ("err-" + std::to_string(counter_) + ".txt")) {
    ++counter_;
    std::vector<std::string> words{QUORIX_BINARY};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      const std::size_t equals = text.find('=');
      variables[text.substr(0, equals)] = equals == std::string::npos ? "" : text.substr(equals + 1);
    }
    for (const auto& [name, value] : environment) {
      variables[name] = value;
    }
    std::vector<std::string> pairs;
    for (const auto& [name, value] : variables) {
      pairs.push_back(name + "=" + value);
    }
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& pair : pairs) envp.push_back(pair.data());
    envp.push_back(nullptr);
    const std::pair<uid_t, gid_t> ids = unprivileged && ::geteuid() == 0 ? UnprivilegedIds() : std::pair<uid_t, gid_t>{0, 0};

    pid_ = ::fork();
    if (pid_ < 0) {
      throw std::system_error(errno, std::generic_category(), "fork");
    }
    if (pid_ == 0) {
      const int out = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      const int err = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      const int in = ::open("/dev/null", O_RDONLY);
      if (out < 0 || err < 0 || in < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::dup2(in, 0) < 0) {
        ::_exit(126);
      }
      if (ids.first != 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(ids.second, ids.second, ids.second) != 0 ||
                             ::setresuid(ids.first, ids.first, ids.first) != 0)) {
        ::_exit(125);
      }
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
  }
  ~QuorixProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
  }
  QuorixProcess(const QuorixProcess&) = delete;
  QuorixProcess& operator=(const QuorixProcess&) = delete;

  [[nodiscard]] pid_t Pid() const noexcept { return pid_; }
  [[nodiscard]] std::string Out() const { return ReadIfThere(out_); }
  [[nodiscard]] std::string Err() const { return ReadIfThere(err_); }

  void Signal(int signal) const { ::kill(pid_, signal); }

  // True once standard output holds `text`; false after `limit` or when the process ended.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Out().find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline || HasExited()) {
        return Out().find(text) != std::string::npos;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  // The exit status, or -1 after killing a process that was still running after `limit`
  // (or -2 for one that died of a signal).
  int Wait(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!HasExited()) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
        exited_ = true;
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -2;
  }

  // Runs quorix to its end; the exit status.
  static int Run(const std::vector<std::string>& arguments, const Environment& environment,
                 const std::filesystem::path& outputFolder, std::string* out = nullptr, std::string* err = nullptr,
                 bool unprivileged = false) {
    QuorixProcess process(arguments, environment, outputFolder, unprivileged);
    const int status = process.Wait();
    if (out != nullptr) *out = process.Out();
    if (err != nullptr) *err = process.Err();
    return status;
  }

 private:
  bool HasExited() {
    if (!exited_ && ::waitpid(pid_, &status_, WNOHANG) == pid_) {
      exited_ = true;
    }
    return exited_;
  }
  static std::string ReadIfThere(const std::filesystem::path& file) {
    std::error_code error;
    return std::filesystem::exists(file, error) ? ReadWholeFile(file) : std::string();
  }

  static inline int counter_ = 0;
  std::filesystem::path out_;
  std::filesystem::path err_;
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
};
