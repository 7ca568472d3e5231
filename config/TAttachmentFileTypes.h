#pragma once

#include <string>
#include <string_view>

#include "config/TAttachmentFileType.h"
#include "config/TListContainer.h"

class TRegistryStore;

// The ordered attachment policy of one security profile; every lookup returns the first
// matching row.
class TAttachmentFileTypes : public TListContainer {
 public:
  TAttachmentFileTypes();

  [[nodiscard]] std::string ClassName() const override { return "TAttachmentFileTypes"; }

  [[nodiscard]] TAttachmentFileType* AttachmentFileType(int index) const;
  // Appends a row, taking ownership; returns it.
  TAttachmentFileType* AddFileType(std::unique_ptr<TAttachmentFileType> fileType);

  // The first row that has the extension (no leading dot, letter case ignored), or null.
  [[nodiscard]] TAttachmentFileType* FindFileTypeByExtension(std::string_view extension) const;
  // The first row whose MIMEType equals mediaType + "/" + subType, letter case ignored, or null.
  [[nodiscard]] TAttachmentFileType* FindFileTypeByMIMEType(std::string_view mediaType,
                                                            std::string_view subType) const;

  // The extension the system associates with a MIME type (the "Extension" value of
  // HKEY_CLASSES_ROOT "\MIME\Database\Content Type\<type>", leading dots removed), or ""
  // when there is none or anything fails. Uses the given store (default: the process's).
  [[nodiscard]] static std::string FindExtensionFromRegistry(std::string_view mediaType, std::string_view subType);
  [[nodiscard]] static std::string FindExtensionFromRegistry(TRegistryStore& store, std::string_view mediaType,
                                                             std::string_view subType);
};
