#pragma once

#include <string>
#include <string_view>

#include "mailparser/ContentDispositionField.h"
#include "mailparser/ContentTypeField.h"
#include "mailparser/Header.h"
#include "mailparser/TransferEncoding.h"

namespace MailParser {

// The header of one MIME entity. Once initialised, the base Header holds only the fields
// that are not content fields; the content fields live in the parsed members, which the
// entity code edits and toString writes back in one normalised form.
class MIMEEntityHeader : public Header {
 public:
  // No fields, empty members.
  MIMEEntityHeader() = default;
  // Copies the fields of `header` and initialises with DefaultContentType. The constructor
  // runs this class's initialise, not a subclass's.
  explicit MIMEEntityHeader(const Header& header);

  MIMEEntityHeader(const MIMEEntityHeader&) = default;
  MIMEEntityHeader(MIMEEntityHeader&&) noexcept = default;
  MIMEEntityHeader& operator=(const MIMEEntityHeader&) = default;
  MIMEEntityHeader& operator=(MIMEEntityHeader&&) noexcept = default;
  ~MIMEEntityHeader() override;

  // The other fields in order, then "Content-Type: ...", then (unless the type is multipart)
  // "Content-Transfer-Encoding: ..." and "Content-Disposition: ...", then Content-ID and
  // Content-Description when they are not empty. Every line ends in "\r\n"; the empty line
  // that closes the block is not included.
  [[nodiscard]] std::string toString() const override;

  // Drops every content field that occurs more than once (all its copies, so the defaults
  // apply), parses the content fields, then removes every "content-" field from the list.
  virtual void initialise(std::string_view defaultType);
  // Reads Content-Type (absent: `defaultType`), Content-Disposition (absent: inline, the
  // parameters left alone), Content-Transfer-Encoding (absent: EightBit), Content-ID and
  // Content-Description (absent: empty), each with its comments stripped. The fields
  // themselves are left as they are.
  virtual void parseContentFields(std::string_view defaultType);
  // Removes every field whose name starts with "content-".
  virtual void removeContentFields();

  ContentTypeField contentType;
  ContentDispositionField contentDisposition;
  std::string contentId;
  std::string contentDescription;
  TransferEncoding transferEncoding = TransferEncoding::EightBit;
};

}  // namespace MailParser
