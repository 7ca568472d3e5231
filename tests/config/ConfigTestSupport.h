#pragma once

// Shared helpers of the config tests: a private temporary folder, a registry store kept in
// it (with a small MIME database of its own) and shortcuts for reading and planting values.
// Nothing here touches the user's real settings, MIME database or environment for longer
// than one test.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "config/TAttachmentFileTypes.h"
#include "config/TExtRegistry.h"
#include "platform/THKey.h"
#include "platform/TRegDataType.h"
#include "platform/TRegistryStore.h"
#include "support/ScratchFolder.h"

namespace ConfigTest {

// "text/html:3:htm;html" per row, so a whole policy compares in one assertion.
inline std::vector<std::string> RowsOf(const TAttachmentFileTypes& types) {
  std::vector<std::string> rows;
  for (int i = 0; i < types.GetCount(); ++i) {
    const TAttachmentFileType* type = types.AttachmentFileType(i);
    rows.push_back(type->MIMEType + ":" + std::to_string(type->Action) + ":" + type->GetExtensionsList());
  }
  return rows;
}

// The text of the exception of type E that `action` raises; "no error" if it returns, and
// the other exception's text with a marker if it raises something else.
template <class E, class F>
std::string ErrorTextOf(F&& action) {
  try {
    action();
  } catch (const E& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("unexpected exception: ") + e.what();
  }
  return "no error";
}

// The MIME database every test store is built from: the HKEY_CLASSES_ROOT view then has
// "MIME\Database\Content Type\<type>" keys with "Extension" = "." + the first extension.
// application/x-no-extension is listed without extensions, so it has no key.
inline constexpr std::string_view FixtureMimeTypes =
    "# MIME types of the config tests\n"
    "text/html\t\t\t\thtml htm\n"
    "text/plain\t\t\t\ttxt asc\n"
    "image/jpeg\t\t\t\tjpeg jpg jpe\n"
    "application/pdf\t\t\t\tpdf\n"
    "application/x-no-extension\n";

inline TRegValue Dword(std::uint32_t value) {
  TRegValue v;
  v.Type = TRegDataType::rdInteger;
  v.Dword = value;
  return v;
}

inline TRegValue Sz(std::string text) {
  TRegValue v;
  v.Type = TRegDataType::rdString;
  v.Text = std::move(text);
  return v;
}

inline TRegValue ExpandSz(std::string text) {
  TRegValue v;
  v.Type = TRegDataType::rdExpandString;
  v.Text = std::move(text);
  return v;
}

inline TRegValue Binary(std::vector<std::uint8_t> bytes) {
  TRegValue v;
  v.Type = TRegDataType::rdBinary;
  v.Binary = std::move(bytes);
  return v;
}

// A registry store in a temporary folder ("registry.reg") with the fixture MIME database,
// and a TExtRegistry on it (root HKEY_CURRENT_USER, no key open). Reopen() simulates a
// restart of the program: flush, then a new store and registry object read the file again.
class TestRegistry {
 public:
  TestRegistry() {
    WriteWholeFile(MimeTypesFile(), FixtureMimeTypes);
    Open();
  }
  TestRegistry(const TestRegistry&) = delete;
  TestRegistry& operator=(const TestRegistry&) = delete;

  [[nodiscard]] const ScratchFolder& Dir() const noexcept { return dir_; }
  [[nodiscard]] std::filesystem::path FilePath() const { return dir_ / "registry.reg"; }
  [[nodiscard]] std::filesystem::path MimeTypesFile() const { return dir_ / "mime.types"; }
  [[nodiscard]] TRegistryStore& Store() const noexcept { return *store_; }
  [[nodiscard]] TExtRegistry& Registry() const noexcept { return *registry_; }

  // Flushes and reads everything back from the file through a new store and registry
  // object; references obtained from Store() and Registry() before are invalid afterwards.
  void Reopen() {
    store_->Flush();
    Open();
  }

  // Starts over from a settings file with exactly this text (for example a hand-written
  // .reg fixture of an earlier version); nothing of the current store is saved.
  void ReplaceFile(std::string_view regFileText) {
    registry_.reset();
    store_.reset();
    WriteWholeFile(FilePath(), regFileText);
    Open();
  }
  void ReplaceFileFrom(const std::filesystem::path& fixture) { ReplaceFile(ReadWholeFile(fixture)); }

  // Flushes and returns the settings file's text.
  [[nodiscard]] std::string FlushedFileText() const {
    store_->Flush();
    return ReadWholeFile(FilePath());
  }

  // Plants a value below HKEY_CURRENT_USER, creating the key ("" or "\"-less paths, as the
  // store takes them: "Software\Vantorell\Quorix").
  void Put(std::string_view path, std::string_view name, TRegValue value) const {
    store_->CreateKey(THKey::HKEY_CURRENT_USER, path);
    if (!store_->WriteValue(THKey::HKEY_CURRENT_USER, path, name, std::move(value))) {
      throw std::runtime_error("cannot plant a test value");
    }
  }
  [[nodiscard]] std::optional<TRegValue> Get(std::string_view path, std::string_view name) const {
    return store_->ReadValue(THKey::HKEY_CURRENT_USER, path, name);
  }
  [[nodiscard]] std::vector<std::string> Subkeys(std::string_view path) const {
    return store_->SubkeyNames(THKey::HKEY_CURRENT_USER, path);
  }
  [[nodiscard]] std::vector<std::string> ValueNames(std::string_view path) const {
    return store_->ValueNames(THKey::HKEY_CURRENT_USER, path);
  }
  [[nodiscard]] bool KeyExists(std::string_view path) const {
    return store_->KeyExists(THKey::HKEY_CURRENT_USER, path);
  }

 private:
  void Open() {
    registry_.reset();
    store_ =
        std::make_unique<TRegistryStore>(FilePath(), std::vector<std::filesystem::path>{MimeTypesFile()});
    registry_ = std::make_unique<TExtRegistry>(*store_);
  }

  ScratchFolder dir_;
  std::unique_ptr<TRegistryStore> store_;
  std::unique_ptr<TExtRegistry> registry_;
};

// Base of the tests that need a registry: `reg` is a fresh TestRegistry per test.
class RegistryTest : public ::testing::Test {
 protected:
  [[nodiscard]] TExtRegistry& Registry() const { return reg.Registry(); }
  [[nodiscard]] TRegistryStore& Store() const { return reg.Store(); }

  TestRegistry reg;
};

}  // namespace ConfigTest
