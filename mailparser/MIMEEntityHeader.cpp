#include "mailparser/MIMEEntityHeader.h"

#include "mailparser/HeaderSyntax.h"

namespace MailParser {

namespace {

constexpr std::string_view kContentPrefix = "content-";

// The field's value with its comments stripped, or nothing when the field is absent. The
// stripping works on a copy so that parsing never edits the header it reads.
bool strippedValue(const Header& header, std::string_view name, std::string& value) {
  const HeaderField* field = header.findField(name);
  if (field == nullptr) {
    return false;
  }
  HeaderField copy(*field);
  stripComments(copy);
  value = std::move(copy.value);
  return true;
}

}  // namespace

MIMEEntityHeader::MIMEEntityHeader(const Header& header) : Header(header) {
  MIMEEntityHeader::initialise(DefaultContentType);
}

MIMEEntityHeader::~MIMEEntityHeader() = default;

std::string MIMEEntityHeader::toString() const {
  std::string text = Header::toString();
  text += "Content-Type: ";
  text += contentType.toString();
  text += "\r\n";
  if (!contentType.isMultipart()) {
    text += "Content-Transfer-Encoding: ";
    text += transferEncodingName(transferEncoding);
    text += "\r\nContent-Disposition: ";
    text += contentDisposition.toString();
    text += "\r\n";
  }
  if (!contentId.empty()) {
    text += "Content-ID: ";
    text += contentId;
    text += "\r\n";
  }
  if (!contentDescription.empty()) {
    text += "Content-Description: ";
    text += contentDescription;
    text += "\r\n";
  }
  return text;
}

void MIMEEntityHeader::initialise(std::string_view defaultType) {
  removeRepeatedFields(kContentPrefix);
  // From the constructor these are this class's own steps, as the header says.
  parseContentFields(defaultType);  // NOLINT(clang-analyzer-optin.cplusplus.VirtualCall)
  removeContentFields();            // NOLINT(clang-analyzer-optin.cplusplus.VirtualCall)
}

void MIMEEntityHeader::parseContentFields(std::string_view defaultType) {
  std::string value;
  contentType.parse(strippedValue(*this, "content-type", value) ? std::string_view(value) : defaultType);

  if (strippedValue(*this, "content-disposition", value)) {
    contentDisposition.parse(value);
  } else {
    contentDisposition.isAttachment = false;
  }

  transferEncoding = strippedValue(*this, "content-transfer-encoding", value) ? parseTransferEncoding(value)
                                                                              : TransferEncoding::EightBit;

  if (strippedValue(*this, "content-id", value)) {
    contentId = std::move(value);
  } else {
    contentId.clear();
  }
  if (strippedValue(*this, "content-description", value)) {
    contentDescription = std::move(value);
  } else {
    contentDescription.clear();
  }
}

void MIMEEntityHeader::removeContentFields() {
  removeFields(kContentPrefix, false);
}

}  // namespace MailParser
