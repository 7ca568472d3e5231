#pragma once

// One TPOPProxy between two memory connection pairs: the test plays the mail client on one
// end and the POP3 server on the other, and sees every status line the session posts.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "config/TAccount.h"
#include "config/TConfig.h"
#include "config/TConfigRef.h"
#include "engine/TProxyMessageProcessorInterfaceBase.h"
#include "platform/TMemoryConnection.h"
#include "platform/TStopSignal.h"
#include "proxy/TPOPProxy.h"
#include "proxy/TPOPProxyEnvironment.h"

namespace ProxyTest {

inline constexpr std::chrono::seconds kWait{10};
inline constexpr const char* kServer = "pop.example.net";
inline constexpr const char* kLocalHostname = "pop.example.net.qx";
inline constexpr const char* kAccountAddress = "127.84.3.2";

struct StatusLine {
  int Kind = 0;
  std::string Text;
  friend bool operator==(const StatusLine&, const StatusLine&) = default;
};

inline void PrintTo(const StatusLine& line, std::ostream* out) { *out << "{" << line.Kind << ", " << line.Text << "}"; }

// The status lines of a session, posted from its threads.
class StatusLog {
 public:
  void Add(int kind, std::string_view text) {
    const std::lock_guard lock(mutex_);
    lines_.push_back({kind, std::string(text)});
    changed_.notify_all();
  }
  [[nodiscard]] std::vector<StatusLine> Lines() const {
    const std::lock_guard lock(mutex_);
    return lines_;
  }
  [[nodiscard]] bool Contains(std::string_view text) const {
    const std::lock_guard lock(mutex_);
    for (const auto& line : lines_) {
      if (line.Text == text) return true;
    }
    return false;
  }
  // True once `text` has been posted (waits at most kWait).
  bool WaitFor(std::string_view text) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kWait, [&] {
      for (const auto& line : lines_) {
        if (line.Text == text) return true;
      }
      return false;
    });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<StatusLine> lines_;
};

// What a recording bridge saw; shared with the test, which outlives every bridge.
struct BridgeRecord {
  std::mutex Mutex;
  int Made = 0;
  int Destroyed = 0;
  int Finished = 0;
  std::vector<std::string> Lines;
  // Called for each line before it is passed on; may throw to fail the bridge.
  std::function<void(std::string_view)> OnLine;
  std::function<void()> OnFinish;
};

// Passes every line through unchanged and remembers what it was given.
class RecordingBridge final : public TProxyMessageProcessorInterfaceBase {
 public:
  RecordingBridge(BridgeRecord& record, TConfigRef config, const TAccount& account, TOutputLineEvent outputLine,
                  TOutputStatusEvent outputStatus, TMessageLogs* logs)
      : TProxyMessageProcessorInterfaceBase(std::move(config), account, std::move(outputLine),
                                            std::move(outputStatus), logs),
        record_(record) {
    const std::lock_guard lock(record_.Mutex);
    ++record_.Made;
  }
  ~RecordingBridge() override {
    const std::lock_guard lock(record_.Mutex);
    ++record_.Destroyed;
  }
  RecordingBridge(const RecordingBridge&) = delete;
  RecordingBridge& operator=(const RecordingBridge&) = delete;

  void ProcessLine(std::string_view line) override {
    {
      const std::lock_guard lock(record_.Mutex);
      record_.Lines.emplace_back(line);
    }
    if (record_.OnLine) record_.OnLine(line);
    OutputLine(line);
  }
  void Finish() override {
    {
      const std::lock_guard lock(record_.Mutex);
      ++record_.Finished;
    }
    if (record_.OnFinish) record_.OnFinish();
  }

 private:
  BridgeRecord& record_;
};

inline TProxyMessageProcessorInterfaceFactory RecordingFactory(BridgeRecord& record) {
  return [&record](TConfigRef config, const TAccount& account, TOutputLineEvent outputLine,
                   TOutputStatusEvent outputStatus, TMessageLogs* logs) {
    return std::make_unique<RecordingBridge>(record, std::move(config), account, std::move(outputLine),
                                             std::move(outputStatus), logs);
  };
}

// A configuration with the account pop.example.net:`port`, stored as pop.example.net.qx.
inline TConfigRef ConfigWithAccount(int port = 110) {
  TConfigRef config(new TConfig);
  config->Accounts.AddAccount(std::make_unique<TAccount>(kServer, port, "Medium"));
  return config;
}

class Session {
 public:
  // The client dialled `localAddress`; only kAccountAddress has a host name.
  explicit Session(TConfigRef config = ConfigWithAccount(), std::string localAddress = kAccountAddress)
      : config_(std::move(config)) {
    auto [client, proxyClientEnd] = TMemoryConnection::CreatePair({"127.0.0.1", 40001}, {std::move(localAddress), 110});
    auto [server, proxyServerEnd] = TMemoryConnection::CreatePair({"192.0.2.1", 110}, {"192.0.2.100", 40002});
    client_ = std::move(client);
    server_ = std::move(server);
    proxyClientEnd_ = std::move(proxyClientEnd);
    proxyServerEnd_ = std::move(proxyServerEnd);
    // The test reads long lines whole.
    client_->SetMaxLineLength(std::size_t{1} << 24);
    server_->SetMaxLineLength(std::size_t{1} << 24);
    environment.OutputStatus = [this](int kind, std::string_view text) { status.Add(kind, text); };
    environment.HostNameOf = [](const std::string& ip) { return ip == kAccountAddress ? std::string(kLocalHostname) : ""; };
    environment.ProcessorFactory = RecordingFactory(bridge);
    environment.ConnectToServer = [this](const TAccount&, const TStopSignal&) -> std::unique_ptr<IConnection> {
      ++connects;
      return std::move(proxyServerEnd_);
    };
  }
  ~Session() {
    stop.Request();
    Join();
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  TPOPProxy& Proxy() {
    if (!proxy_) proxy_ = std::make_unique<TPOPProxy>(std::move(proxyClientEnd_), stop, config_, environment);
    return *proxy_;
  }
  // Runs Execute on a thread of its own, as the listener does.
  void Start() {
    TPOPProxy& proxy = Proxy();
    thread_ = std::thread([&proxy, this] {
      proxy.Execute();
      done_.Request();
    });
  }
  // Starts the session and passes the server's greeting on.
  void StartWithGreeting() {
    Start();
    Server().Write("+OK ready\r\n");
    ASSERT_EQ(ClientLine(), "+OK ready");
  }
  // True when Execute returned within `timeout`.
  bool WaitForEnd(std::chrono::milliseconds timeout = kWait) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done_.IsRequested()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Join();
    return true;
  }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  TMemoryConnection& Client() { return *client_; }
  TMemoryConnection& Server() { return *server_; }

  // The next whole line the mail client receives (NoLine when none came).
  std::string ClientLine() { return LineFrom(*client_); }
  // The next whole line the server receives.
  std::string ServerLine() { return LineFrom(*server_); }
  // Everything the client receives until the proxy closes it.
  std::string ClientBytesUntilClosed() { return BytesUntilClosed(*client_); }
  std::string ServerBytesUntilClosed() { return BytesUntilClosed(*server_); }

  static std::string LineFrom(TMemoryConnection& end) {
    const TReadResult result = end.ReadLine(kWait);
    if (result.Status != TReadStatus::Line) return NoLine(result.Status);
    return result.Text;
  }
  // What ClientLine and ServerLine give when no line came: no POP3 line holds a NUL.
  static std::string NoLine(TReadStatus status) { return std::string(1, '\0') + "<" + StatusName(status) + ">"; }
  static bool IsNoLine(const std::string& line) { return line.starts_with('\0'); }

  static std::string BytesUntilClosed(TMemoryConnection& end) {
    std::string bytes;
    for (;;) {
      const TReadResult result = end.ReadLine(kWait);
      if (result.Status == TReadStatus::Line) {
        bytes += result.Text + "\r\n";
      } else if (result.HasText()) {
        bytes += result.Text;
      } else {
        if (result.Status != TReadStatus::Closed) bytes += "<" + StatusName(result.Status) + ">";
        return bytes;
      }
    }
  }
  static std::string StatusName(TReadStatus status) {
    switch (status) {
      case TReadStatus::Line: return "line";
      case TReadStatus::Split: return "split";
      case TReadStatus::Unterminated: return "unterminated";
      case TReadStatus::TimedOut: return "timed out";
      case TReadStatus::Closed: return "closed";
      case TReadStatus::Reset: return "reset";
      case TReadStatus::Stopped: return "stopped";
    }
    return "?";
  }

  TStopSignal stop;
  TPOPProxyEnvironment environment;
  StatusLog status;
  BridgeRecord bridge;
  std::atomic<int> connects{0};

 private:
  TConfigRef config_;
  std::unique_ptr<TMemoryConnection> client_;
  std::unique_ptr<TMemoryConnection> server_;
  std::unique_ptr<TMemoryConnection> proxyClientEnd_;
  std::unique_ptr<TMemoryConnection> proxyServerEnd_;
  std::unique_ptr<TPOPProxy> proxy_;
  TStopSignal done_;
  std::thread thread_;
};

}  // namespace ProxyTest
