#pragma once

#include <cstddef>
#include <list>
#include <map>
#include <string>
#include <string_view>

#include "mailparser/HeaderField.h"

namespace MailParser {

// An ordered block of header fields with an index by lower-cased name (ASCII folding only).
// Fields keep message order; every lookup goes through the index, never through the list.
// Fields of the same name are indexed in list order, so findField gives the topmost one.
//
// Malformed text never fails: lines that are not fields are reported by addLine and ignored.
class Header {
 public:
  using FieldList = std::list<HeaderField>;

  Header() = default;
  // Copies every field (each copy marked inHeader) and indexes the copies.
  Header(const Header& other);
  Header(Header&& other) noexcept;
  Header& operator=(const Header& other);
  Header& operator=(Header&& other) noexcept;
  virtual ~Header();

  // name + ": " + value + "\r\n" for every field in order; folded values stay folded.
  [[nodiscard]] virtual std::string toString() const;

  // Feeds one raw header line (no line break). An empty line is accepted and stores nothing.
  // A line starting with a space or TAB continues the last field ("\r\n" + the whole line)
  // once there is one; before the first field it is read as an ordinary line, so " x: y"
  // becomes a field named " x". Returns false, storing nothing, for a line without a colon
  // or one that starts with the colon.
  bool addLine(std::string_view line);

  // Stores a field at the back (or the front) and indexes it. Names may repeat.
  void addField(std::string name, std::string value, bool atFront = false);

  // The topmost field of that name (letter case ignored), or null. The pointer stays valid
  // until that field is removed or the header is destroyed or assigned to.
  [[nodiscard]] HeaderField* findField(std::string_view name);
  [[nodiscard]] const HeaderField* findField(std::string_view name) const;

  // exact: a field of that name exists; otherwise: a field whose name starts with `name`.
  // Letter case is ignored either way.
  [[nodiscard]] bool hasField(std::string_view name, bool exact = true) const;

  // exact: removes every field of that name and returns 1 when there was any, else 0.
  // Otherwise removes every field whose name starts with `name` and returns how many.
  std::size_t removeFields(std::string_view name, bool exact = true);

  // Removes every copy of each field whose name starts with `prefix` and occurs more than
  // once, so a contradicting pair (two Content-Types, say) leaves neither behind.
  void removeRepeatedFields(std::string_view prefix);

  // Removes every field whose name holds a byte outside 0x21..0x7E; returns how many.
  std::size_t removeInvalidNames();

  // Shortens fields so that no serialised line is longer than `maxLineLength`: a name that
  // does not fit with ": " is cut to maxLineLength - 2 characters (none when that is
  // negative) and loses its value; otherwise the first line of the value keeps what fits after
  // "name: " and every continuation line keeps maxLineLength characters. Returns the number of
  // fields changed, counting every field whose value was longer than the room on its first
  // line even when its folded lines each fitted.
  std::size_t truncateLongLines(std::size_t maxLineLength);

  [[nodiscard]] const FieldList& fields() const noexcept { return fields_; }
  [[nodiscard]] bool empty() const noexcept { return fields_.empty(); }
  [[nodiscard]] std::size_t size() const noexcept { return fields_.size(); }

  void swap(Header& other) noexcept;

 private:
  using Index = std::multimap<std::string, FieldList::iterator>;

  void eraseEntry(Index::iterator entry);
  void reindex(FieldList::iterator field, const std::string& oldName);

  FieldList fields_;
  Index index_;
};

}  // namespace MailParser
