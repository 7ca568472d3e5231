#pragma once

#include <string>

// What the next save must do with a record.
enum class TStatus { eDelete = 0, eInsert = 1, eModified = 2, eNone = 3 };

// One address line of the hosts file: an address, one host name and perhaps a comment.
class THostRecord {
 public:
  std::string HostName;
  std::string Ip;
  std::string Comment;  // the rest of the line when it begins with "#", else empty
  // The record is this program's to rewrite and delete: its name has the manager's prefix or
  // suffix, and it stands in the program's block (or is about to be added there).
  bool IsOurs = false;
  TStatus Status = TStatus::eNone;
  int LineIndex = -1;  // its line in the file; -1 until it has been saved
  bool Keep = false;   // scratch mark for bringing the records in line with the accounts

  // A valid IPv4 address and a host name the resolver reads as one name.
  [[nodiscard]] bool check() const;
  // Ip, 24 blanks, HostName, 2 blanks, Comment.
  [[nodiscard]] std::string toString() const;
};
