#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "integration/HostsFileLines.h"
#include "integration/THostRecord.h"

// The hosts file for one editing session: read once, changed in memory, saved once. Every
// address line of the file is a record, but only the records in the program's block (between
// the begin and end marker lines) whose names carry the program's prefix or suffix are the
// program's: save rewrites, adds and deletes lines there and nowhere else, so every byte
// outside the block (line ends, comments, blanks, a last line without line end) stays as it
// was. A block that was begun and never ended, or ended and never begun, is closed around
// the program's lines next to its one marker and reported in Notices(); the next save writes
// the repair.
//
// Record pointers stay valid until save(), which reads the written text back.
class THostsManager {
 public:
  // Reads Platform::HostsFilePath(). A missing file counts as empty and is created on save.
  // Throws EHostsFileUnreadable.
  THostsManager(std::string hostPrefix, std::string hostSuffix, std::string externHostIpBase,
                std::string beginMarker, std::string endMarker);
  // The same over another file.
  THostsManager(std::filesystem::path file, std::string hostPrefix, std::string hostSuffix,
                std::string externHostIpBase, std::string beginMarker, std::string endMarker);

  // The manager both callers use: "qx.", ".qx", "127.84.3.", "# Begin QX", "# End QX".
  [[nodiscard]] static std::unique_ptr<THostsManager> OpenQuorixHostsFile();
  [[nodiscard]] static std::unique_ptr<THostsManager> OpenQuorixHostsFile(const std::filesystem::path& file);
  // The same texts over a hosts file given as text; save() is not available, NewText() is.
  [[nodiscard]] static std::unique_ptr<THostsManager> QuorixHostsText(std::string_view text);

  [[nodiscard]] static bool isValidIp(std::string_view text) noexcept;
  // True when the resolver reads `text` as one host name (HostName::Problem).
  [[nodiscard]] static bool isValidHost(std::string_view text);
  // A valid address that begins with externHostIpBase and ends in 1 to 254.
  [[nodiscard]] bool IsValidQXip(std::string_view ip) const;

  // Appends a record of the program that the next save writes before the end marker.
  // Throws EInvalidHostName for a name the resolver would not read as that one name. For a
  // name that a record already has (letter case ignored, as the resolver does) it adds
  // nothing, puts "Error: The host("<name>") already exists." in Notices() and returns null.
  THostRecord* add(const std::string& hostName, const std::string& ip);
  // A record not yet in the file is removed at once; any other is marked for deletion.
  void deleteRecord(THostRecord* record);

  // The first record with that host name, letter case ignored, or null.
  [[nodiscard]] THostRecord* findByHostName(std::string_view hostName) const;
  [[nodiscard]] THostRecord* findByIp(std::string_view ip) const;
  [[nodiscard]] int countByIp(std::string_view ip) const;
  // The record of hostName if it is also the first record with the address ip, else null.
  [[nodiscard]] THostRecord* find(std::string_view hostName, std::string_view ip) const;
  // externHostIpBase + N for the smallest N from 1 to 254 that no record uses (whatever its
  // status), or empty with a notice.
  [[nodiscard]] std::string findFreeIp();

  // The file text that save() writes.
  [[nodiscard]] std::string NewText() const;
  // Writes NewText() if it differs from what was read; nothing at all otherwise. Throws
  // EHostsFileNotWritable when this user may not replace the file, EHostsFileException when
  // another program changed the file since it was read or the write failed; the file is
  // then unchanged.
  void save();

  // Every local host name (a name with the program's suffix and a valid address of the
  // program) with its address, as the resolver answers it: the first record of each name.
  [[nodiscard]] std::vector<std::pair<std::string, std::string>> LocalAddresses() const;

  [[nodiscard]] const std::vector<std::unique_ptr<THostRecord>>& Records() const noexcept { return records_; }
  // What the session had to tell: a damaged block and how it was read, a refused add, no
  // free address. Callers show them as warnings.
  [[nodiscard]] const std::vector<std::string>& Notices() const noexcept { return notices_; }
  [[nodiscard]] const std::filesystem::path& File() const noexcept { return file_; }
  [[nodiscard]] const std::string& HostPrefix() const noexcept { return hostPrefix_; }
  [[nodiscard]] const std::string& HostSuffix() const noexcept { return hostSuffix_; }

 private:
  struct TText {};
  THostsManager(TText, std::string_view text, std::string hostPrefix, std::string hostSuffix,
                std::string externHostIpBase, std::string beginMarker, std::string endMarker);

  void Parse(std::string_view text);
  void FindBlock();
  [[nodiscard]] bool IsOurName(std::string_view hostName) const;
  [[nodiscard]] bool IsOurLine(std::size_t index) const;
  [[nodiscard]] std::string Where() const;

  std::filesystem::path file_;
  bool hasFile_ = false;
  std::string hostPrefix_;
  std::string hostSuffix_;
  std::string externHostIpBase_;
  std::string beginMarker_;
  std::string endMarker_;

  std::string original_;
  std::vector<THostsFileLine> lines_;
  // Indexes in lines_ of the block's marker lines, or -1 when the file has no block.
  int blockBegin_ = -1;
  int blockEnd_ = -1;
  std::vector<std::unique_ptr<THostRecord>> records_;
  std::vector<std::string> notices_;
};
