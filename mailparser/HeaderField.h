#pragma once

#include <string>

namespace MailParser {

// One header field as it was read: the name exactly as written and the raw value (the text
// after the colon less the spaces and TABs that follow it; continuation lines stay in the
// value as "\r\n" plus the line, leading whitespace kept), so a field serialises the way it
// arrived.
//
// A field stored in a Header is indexed under its name; replacing it wholesale through a
// pointer from Header::findField would leave that index stale, so assigning to a field whose
// `inHeader` is set throws std::runtime_error("cannot assign to header fields once they are in
// a header"). Editing the `value` in place is fine; the `name` of a field in a header must
// only be changed by the Header itself.
class HeaderField {
 public:
  HeaderField() = default;
  HeaderField(std::string fieldName, std::string fieldValue);

  // A copy is a fresh field: it is not in any header, whatever the original was. Moving from a
  // field that is in a header copies instead, so the header's field stays intact.
  HeaderField(const HeaderField& other);
  // Moves may copy or throw, so they cannot be noexcept; containers then copy, as they must.
  HeaderField(HeaderField&& other);  // NOLINT(performance-noexcept-move-constructor)

  // Throws std::runtime_error when this field is in a header; `inHeader` is never copied.
  HeaderField& operator=(const HeaderField& other);
  HeaderField& operator=(HeaderField&& other);  // NOLINT(performance-noexcept-move-constructor,bugprone-exception-escape)

  ~HeaderField() = default;

  bool inHeader = false;
  std::string name;
  std::string value;
};

}  // namespace MailParser
