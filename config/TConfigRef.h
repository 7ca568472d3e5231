#pragma once

#include <utility>

#include "config/TConfig.h"

// Holds one reference to a TConfig for as long as it lives: AddRef on taking, Release on
// letting go, so a session or a window cannot forget to drop its reference on an early
// return or an exception. Copies hold references of their own; a moved-from holder is empty.
class TConfigRef {
 public:
  TConfigRef() noexcept = default;
  // Takes a new reference to `config` (null gives an empty holder).
  explicit TConfigRef(TConfig* config) noexcept : config_(config) {
    if (config_ != nullptr) {
      config_->AddRef();
    }
  }
  TConfigRef(const TConfigRef& other) noexcept : TConfigRef(other.config_) {}
  TConfigRef(TConfigRef&& other) noexcept : config_(std::exchange(other.config_, nullptr)) {}
  TConfigRef& operator=(TConfigRef other) noexcept {
    std::swap(config_, other.config_);
    return *this;
  }
  ~TConfigRef() { reset(); }

  // Drops the reference now (the configuration is deleted if it was the last one).
  void reset() noexcept {
    if (TConfig* config = std::exchange(config_, nullptr)) {
      config->Release();
    }
  }

  [[nodiscard]] TConfig* get() const noexcept { return config_; }
  TConfig& operator*() const noexcept { return *config_; }
  TConfig* operator->() const noexcept { return config_; }
  explicit operator bool() const noexcept { return config_ != nullptr; }

 private:
  TConfig* config_ = nullptr;
};
