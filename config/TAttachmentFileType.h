#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/TStoreableObject.h"

// One row of a security profile's attachment policy: a MIME type, the file extensions it
// covers and what happens to such attachments.
class TAttachmentFileType : public TStoreableObject {
 public:
  // Action values. SeeHTML belongs to the text/html row: its extensions define the HTML
  // attachments, which the profile's HTML settings handle instead of an action.
  enum : int { Allow = 0, Rename = 1, Block = 2, SeeHTML = 3 };

  TAttachmentFileType() = default;  // empty MIME type, Allow, no extensions
  TAttachmentFileType(std::string mimeType, int action, std::string_view extensionsList);

  [[nodiscard]] std::string ClassName() const override { return "TAttachmentFileType"; }
  [[nodiscard]] const TPropertyTable& PublishedProperties() const override;
  void Assign(const TStoreableObject& source) override;

  // Published: MIMEType (string), Action (integer), ExtensionsList (string).
  std::string MIMEType;
  int Action = Allow;

  [[nodiscard]] int GetExtensionsCount() const noexcept;
  [[nodiscard]] const std::string& GetExtension(int index) const;
  void SetExtension(int index, const std::string& value);
  [[nodiscard]] const std::vector<std::string>& Extensions() const noexcept { return extensions_; }
  void SetExtensions(std::vector<std::string> extensions);

  // The extensions joined with ";", each ";" and "\" inside an extension escaped by "\".
  [[nodiscard]] std::string GetExtensionsList() const;
  // Splits at unescaped ";"; empty extensions are dropped, blanks kept.
  void SetExtensionsList(const std::string& text);

  // True if `extension` (no leading dot) equals one of the extensions, letter case ignored.
  [[nodiscard]] bool HasExtension(std::string_view extension) const;
  // MIMEType before the first "/" (all of it without one), and after it ("" without one).
  [[nodiscard]] std::string MediaType() const;
  [[nodiscard]] std::string SubType() const;

 private:
  std::vector<std::string> extensions_;
};

// The display names of the actions, in action order: "Allow", "Rename", "Block", "See HTML".
extern const char* const AttachmentActionNames[4];
