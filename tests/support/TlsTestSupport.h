#pragma once

// A scratch certificate authority made with the openssl command line, and a POP3-ish server
// in a thread that speaks plain text or TLS (OpenSSL directly) as its script says. For the
// tests of the TLS connection and of the session's server side.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include "support/ScratchFolder.h"

// Certificates for the server at "localhost" / 127.0.0.1: one good, and one for each way
// verification must fail. Each *.pem next to its *.key; ca.pem is the CA to trust.
class TTestPki {
 public:
  TTestPki() {
    const std::string dir = folder_.Path().string();
    WriteWholeFile(folder_ / "ca.cnf",
                   "[ca]\ndefault_ca = test\n"
                   "[test]\ndatabase = " + dir + "/index.txt\nnew_certs_dir = " + dir +
                       "\nserial = " + dir + "/serial\ndefault_md = sha256\npolicy = any\nunique_subject = no\n"
                       "[any]\ncommonName = supplied\n"
                       "[localhost]\nsubjectAltName = DNS:localhost,IP:127.0.0.1\nbasicConstraints = CA:FALSE\n"
                       "[otherhost]\nsubjectAltName = DNS:other.example,IP:192.0.2.1\nbasicConstraints = CA:FALSE\n"
                       "[req]\ndistinguished_name = dn\n[dn]\n"
                       "[v3ca]\nbasicConstraints = critical,CA:TRUE\nkeyUsage = keyCertSign,cRLSign\n"
                       "subjectKeyIdentifier = hash\n");
    WriteWholeFile(folder_ / "index.txt", "");
    WriteWholeFile(folder_ / "serial", "1000\n");
    MakeCa("ca", "Quorix Test CA");
    MakeCa("otherca", "Some Other CA");
    Issue("good", "localhost", "localhost", "");
    Issue("wronghost", "other.example", "otherhost", "");
    Issue("expired", "localhost", "localhost", "-startdate 20200101000000Z -enddate 20210101000000Z");
    Issue("unknownca", "localhost", "localhost", "", "otherca");
    NewKey("selfsigned");
    Run("req -x509 -new -key " + Key("selfsigned") + " -out " + Pem("selfsigned") +
        " -days 30 -subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1", "selfsigned");
  }

  [[nodiscard]] std::string Pem(const std::string& name) const { return (folder_ / (name + ".pem")).string(); }
  [[nodiscard]] std::string Key(const std::string& name) const { return (folder_ / (name + ".key")).string(); }
  [[nodiscard]] std::string Ca() const { return Pem("ca"); }
  [[nodiscard]] const ScratchFolder& Folder() const { return folder_; }

 private:
  void Run(const std::string& arguments, const std::string& what) const {
    const std::string log = (folder_ / "openssl.log").string();
    const std::string command = "openssl " + arguments + " >" + log + " 2>&1";
    if (std::system(command.c_str()) != 0) {  // NOLINT(concurrency-mt-unsafe,cert-env33-c)
      throw std::runtime_error("openssl failed making " + what + ": " + ReadWholeFile(log));
    }
  }
  void NewKey(const std::string& name) const {
    Run("genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out " + Key(name), name + " key");
  }
  void MakeCa(const std::string& name, const std::string& subject) const {
    NewKey(name);
    Run("req -x509 -new -key " + Key(name) + " -out " + Pem(name) + " -days 30 -subj '/CN=" + subject +
            "' -config " + (folder_ / "ca.cnf").string() + " -extensions v3ca",
        name);
  }
  void Issue(const std::string& name, const std::string& commonName, const std::string& extensions,
             const std::string& dates, const std::string& ca = "ca") const {
    NewKey(name);
    const std::string csr = (folder_ / (name + ".csr")).string();
    Run("req -new -key " + Key(name) + " -out " + csr + " -subj /CN=" + commonName, name + " request");
    Run("ca -batch -notext -config " + (folder_ / "ca.cnf").string() + " -cert " + Pem(ca) + " -keyfile " + Key(ca) +
            " -extensions " + extensions + " -in " + csr + " -out " + Pem(name) +
            (dates.empty() ? std::string(" -days 30") : " " + dates),
        name);
  }

  ScratchFolder folder_;
};

// The server end of one test connection, for the server's script: plain lines first, then
// TLS once StartTls() succeeded. Every line the client sent is kept in the transcript.
class TTestTlsPeer {
 public:
  TTestTlsPeer(int fd, SSL_CTX* context) : fd_(fd), context_(context) {}
  ~TTestTlsPeer() { SSL_free(ssl_); }
  TTestTlsPeer(const TTestTlsPeer&) = delete;
  TTestTlsPeer& operator=(const TTestTlsPeer&) = delete;

  // The handshake; false (and the connection unusable) when the client refused it.
  bool StartTls() {
    ssl_ = SSL_new(context_);
    SSL_set_fd(ssl_, fd_);
    if (SSL_accept(ssl_) != 1) {
      ERR_clear_error();
      return false;
    }
    return true;
  }
  void Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const int sent = ssl_ != nullptr ? SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()))
                                       : static_cast<int>(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL));
      if (sent <= 0) {
        return;
      }
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
  }
  void SendLine(std::string_view text) { Send(std::string(text) + "\r\n"); }
  // The next line without its line end; false when the client closed (or 5 s passed).
  bool ReadLine(std::string& line) {
    line.clear();
    char c = 0;
    for (;;) {
      const int got = ssl_ != nullptr ? SSL_read(ssl_, &c, 1) : static_cast<int>(::recv(fd_, &c, 1, 0));
      if (got <= 0) {
        return false;
      }
      if (c == '\n') {
        break;
      }
      line.push_back(c);
    }
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    const std::lock_guard lock(transcriptMutex_);
    transcript_ += line + "\n";
    return true;
  }
  // Waits until the client has sent nothing for a moment and drops it: what a server that
  // goes away in mid-handshake looks like, with no reset for unread bytes.
  void DrainAndClose() {
    char buffer[4096];
    pollfd wait{fd_, POLLIN, 0};
    while (::poll(&wait, 1, 200) > 0 && ::recv(fd_, buffer, sizeof buffer, 0) > 0) {
    }
    ::shutdown(fd_, SHUT_RDWR);
  }
  // Takes what the client sends and answers nothing until it goes (or 5 s pass).
  void Stall() {
    char buffer[4096];
    while (::recv(fd_, buffer, sizeof buffer, 0) > 0) {
    }
  }
  [[nodiscard]] std::string Transcript() const {
    const std::lock_guard lock(transcriptMutex_);
    return transcript_;
  }
  [[nodiscard]] int Fd() const { return fd_; }

 private:
  int fd_;
  SSL_CTX* context_;
  SSL* ssl_ = nullptr;
  mutable std::mutex transcriptMutex_;
  std::string transcript_;
};

// Accepts one connection on 127.0.0.1 (a free port) and runs `script` on it in a thread.
// The destructor cuts the connection and joins the thread, also when a test failed early.
class TTestTlsServer {
 public:
  using TScript = std::function<void(TTestTlsPeer&)>;

  TTestTlsServer(const std::string& certificate, const std::string& key, TScript script) {
    ::signal(SIGPIPE, SIG_IGN);  // the script may write to a client that has given up
    context_ = SSL_CTX_new(TLS_server_method());
    if (context_ == nullptr || SSL_CTX_use_certificate_chain_file(context_, certificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context_, key.c_str(), SSL_FILETYPE_PEM) != 1) {
      throw std::runtime_error("the test server cannot load " + certificate);
    }
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("the test server cannot listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, script = std::move(script)] {
      pollfd wait{listener_, POLLIN, 0};
      if (::poll(&wait, 1, 10000) <= 0) {
        return;
      }
      const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) {
        return;
      }
      const timeval limit{5, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
      ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
      {
        const std::lock_guard lock(peerMutex_);
        peer_ = std::make_unique<TTestTlsPeer>(fd, context_);
      }
      script(*peer_);
      ::shutdown(fd, SHUT_RDWR);
    });
  }
  ~TTestTlsServer() {
    ::shutdown(listener_, SHUT_RDWR);
    {
      const std::lock_guard lock(peerMutex_);
      if (peer_) {
        ::shutdown(peer_->Fd(), SHUT_RDWR);
      }
    }
    thread_.join();
    if (peer_) {
      ::close(peer_->Fd());
    }
    ::close(listener_);
    SSL_CTX_free(context_);
  }
  TTestTlsServer(const TTestTlsServer&) = delete;
  TTestTlsServer& operator=(const TTestTlsServer&) = delete;

  [[nodiscard]] std::uint16_t Port() const { return port_; }
  // What the client sent, one line per line; waits for the script to end first.
  [[nodiscard]] std::string Transcript() {
    thread_.join();
    thread_ = std::thread([] {});
    const std::lock_guard lock(peerMutex_);
    return peer_ ? peer_->Transcript() : std::string();
  }

 private:
  SSL_CTX* context_ = nullptr;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::mutex peerMutex_;
  std::unique_ptr<TTestTlsPeer> peer_;
  std::thread thread_;
};
