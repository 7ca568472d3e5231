#include "config/TSecurityProfile.h"

const TPropertyTable& TSecurityProfile::PublishedProperties() const {
  using P = TSecurityProfile;
  static const TPropertyTable table{
      Published("BlockMDNReadReceipts", &P::BlockMDNReadReceipts),
      Published("ChangeMaliciousFilenames", &P::ChangeMaliciousFilenames),
      Published("BlockUUencodingInNonMime", &P::BlockUUencodingInNonMime),
      Published("DetectUUencodingInMime", &P::DetectUUencodingInMime),
      Published("HTMLMessageTextHandling", &P::HTMLMessageTextHandling),
      Published("HTMLAttachmentsHandling", &P::HTMLAttachmentsHandling),
      Published("RenameHTMLAttachments", &P::RenameHTMLAttachments),
      Published("RemoveNonStandardHTML", &P::RemoveNonStandardHTML),
      Published("RemoveScripting", &P::RemoveScripting),
      Published("RemoveEmbedding", &P::RemoveEmbedding),
      Published("RemoveFrames", &P::RemoveFrames),
      Published("BlockExternalCSS", &P::BlockExternalCSS),
      Published("RemoveBLINKTags", &P::RemoveBLINKTags),
      Published("RemoveBGSOUNDTags", &P::RemoveBGSOUNDTags),
      Published("RemoveMETATags", &P::RemoveMETATags),
      Published("BlockExternalImages", &P::BlockExternalImages),
      Published("BlockImagesWithVariables", &P::BlockImagesWithVariables),
      Published("BlockImagesWithIdentifiers", &P::BlockImagesWithIdentifiers),
      Published("BlockImagesWithIdentifiersSensitivity", &P::BlockImagesWithIdentifiersSensitivity),
      Published("BlockImagesWithCookies", &P::BlockImagesWithCookies),
      Published("Block1x1Images", &P::Block1x1Images),
      Published("AllowSelectedWebBugProviders", &P::AllowSelectedWebBugProviders),
      Published("RemoveAllHTML", &P::GetRemoveAllHTML, &P::SetRemoveAllHTML, false),
      Published("FilterHTMLInAttachments", &P::GetFilterHTMLInAttachments, &P::SetFilterHTMLInAttachments,
                false),
  };
  return table;
}

void TSecurityProfile::Assign(const TStoreableObject& source) {
  TStoreableObject::Assign(source);
  AttachmentFileTypes.Assign(static_cast<const TSecurityProfile&>(source).AttachmentFileTypes);
}

void TSecurityProfile::CheckCanBeStored() const {
  TStoreableObject::CheckCanBeStored();
  AttachmentFileTypes.CheckCanBeStored();
}

void TSecurityProfile::SaveToRegistry(TExtRegistry& registry, const std::string& key) {
  TStoreableObject::SaveToRegistry(registry, key);
  AttachmentFileTypes.SaveToRegistry(registry, key + "\\AttachmentFileTypes");
}

bool TSecurityProfile::LoadFromRegistry(TExtRegistry& registry, const std::string& key) {
  removeAllHTML_.reset();
  filterHTMLInAttachments_.reset();
  const bool foundOptions = TStoreableObject::LoadFromRegistry(registry, key);
  const bool foundFileTypes = AttachmentFileTypes.LoadFromRegistry(registry, key + "\\AttachmentFileTypes");
  ConvertEarlierVersionValues();
  return foundOptions || foundFileTypes;
}

// Earlier versions had one switch for HTML message text and kept HTML attachments under an
// ordinary attachment action. Each old value is applied on its own (they are read into
// separate fields), so a profile that had both keeps the meaning of each.
void TSecurityProfile::ConvertEarlierVersionValues() {
  if (removeAllHTML_) {
    HTMLMessageTextHandling = *removeAllHTML_ ? HTMLConvertToText : HTMLFilter;
  }

  TAttachmentFileType* html = AttachmentFileTypes.FindFileTypeByMIMEType("text", "html");
  if (html == nullptr) {
    HTMLAttachmentsHandling = HTMLFilter;
    RenameHTMLAttachments = false;
    AttachmentFileTypes.AddFileType(
        std::make_unique<TAttachmentFileType>("text/html", TAttachmentFileType::SeeHTML, "htm;html"));
    return;
  }

  switch (html->Action) {
    case TAttachmentFileType::Allow:
    case TAttachmentFileType::Rename:
      if (filterHTMLInAttachments_) {
        HTMLAttachmentsHandling = *filterHTMLInAttachments_ ? HTMLMessageTextHandling : HTMLFilter;
      }
      RenameHTMLAttachments = html->Action == TAttachmentFileType::Rename;
      break;
    case TAttachmentFileType::Block:
      HTMLAttachmentsHandling = HTMLBlock;
      RenameHTMLAttachments = false;
      break;
    default:
      break;
  }
  html->Action = TAttachmentFileType::SeeHTML;
}
