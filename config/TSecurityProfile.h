#pragma once

#include <optional>
#include <string>

#include "config/TAttachmentFileTypes.h"
#include "config/TStoreableObject.h"

// A named set of filtering options applied to a whole message. The member names are the
// registry value names and the names by which the message engine asks for the options.
class TSecurityProfile : public TStoreableObject {
 public:
  // Values of HTMLMessageTextHandling and HTMLAttachmentsHandling. Block is offered for
  // attachments only; any value outside these is treated as Filter.
  enum : int { HTMLFilter = 0, HTMLDontFilter = 1, HTMLBlock = 2, HTMLConvertToText = 3 };
  // Values of BlockImagesWithIdentifiersSensitivity.
  enum : int { SensitivityLow = 0, SensitivityMedium = 1, SensitivityHigh = 2 };

  // Every option off and every number 0, except BlockUUencodingInNonMime; no attachment types.
  TSecurityProfile() = default;

  [[nodiscard]] std::string ClassName() const override { return "TSecurityProfile"; }
  [[nodiscard]] const TPropertyTable& PublishedProperties() const override;

  // Copies every option and, deeply, the attachment types. Another class raises
  // EConvertError "Cannot assign a %s to a %s".
  void Assign(const TStoreableObject& source) override;

  // Writes the options (deleting the values "RemoveAllHTML" and "FilterHTMLInAttachments" of
  // earlier versions), then the attachment types to key + "\AttachmentFileTypes".
  void SaveToRegistry(TExtRegistry& registry, const std::string& key) override;
  // The options, then the attachment types.
  void CheckCanBeStored() const override;

  // Reads the options and the attachment types, then converts what earlier versions stored:
  //  - "RemoveAllHTML" present: HTMLMessageTextHandling becomes 3 if it is non-zero, else 0.
  //  - the first text/html attachment type decides the HTML attachment options: Allow or
  //    Rename sets RenameHTMLAttachments accordingly (and, if "FilterHTMLInAttachments" is
  //    present, HTMLAttachmentsHandling becomes HTMLMessageTextHandling when that value is
  //    non-zero, else 0); Block gives HTMLAttachmentsHandling 2. Its action becomes SeeHTML.
  //  - no text/html type: HTMLAttachmentsHandling 0, no renaming, and a type "text/html",
  //    SeeHTML, "htm;html" is appended.
  // So every loaded profile has a text/html type with the action SeeHTML. True if options or
  // attachment types were found. Registry errors propagate (see TStoreableObject).
  bool LoadFromRegistry(TExtRegistry& registry, const std::string& key) override;

  // Published options, in the order the options dialog shows them.
  bool BlockMDNReadReceipts = false;
  bool ChangeMaliciousFilenames = false;
  bool BlockUUencodingInNonMime = true;
  bool DetectUUencodingInMime = false;
  int HTMLMessageTextHandling = HTMLFilter;
  int HTMLAttachmentsHandling = HTMLFilter;
  bool RenameHTMLAttachments = false;
  bool RemoveNonStandardHTML = false;
  bool RemoveScripting = false;
  bool RemoveEmbedding = false;
  bool RemoveFrames = false;
  bool BlockExternalCSS = false;
  bool RemoveBLINKTags = false;
  bool RemoveBGSOUNDTags = false;
  bool RemoveMETATags = false;
  bool BlockExternalImages = false;
  bool BlockImagesWithVariables = false;
  bool BlockImagesWithIdentifiers = false;
  int BlockImagesWithIdentifiersSensitivity = SensitivityLow;
  bool BlockImagesWithCookies = false;
  bool Block1x1Images = false;
  bool AllowSelectedWebBugProviders = false;

  // The attachment policy, owned by the profile.
  TAttachmentFileTypes AttachmentFileTypes;

 private:
  // Published but not stored: values of earlier versions, read on load and deleted on save.
  [[nodiscard]] bool GetRemoveAllHTML() const { return removeAllHTML_.value_or(false); }
  void SetRemoveAllHTML(bool value) { removeAllHTML_ = value; }
  [[nodiscard]] bool GetFilterHTMLInAttachments() const { return filterHTMLInAttachments_.value_or(false); }
  void SetFilterHTMLInAttachments(bool value) { filterHTMLInAttachments_ = value; }

  void ConvertEarlierVersionValues();

  // Empty unless the last load found the value.
  std::optional<bool> removeAllHTML_;
  std::optional<bool> filterHTMLInAttachments_;
};
