#include "config/TAttachmentFileTypes.h"

#include <exception>
#include <utility>

#include "common/AsciiCase.h"
#include "config/TExtRegistry.h"
#include "platform/THKey.h"
#include "platform/TRegistryStore.h"

TAttachmentFileTypes::TAttachmentFileTypes() : TListContainer(&CreateStoreable<TAttachmentFileType>) {}

TAttachmentFileType* TAttachmentFileTypes::AttachmentFileType(int index) const {
  return dynamic_cast<TAttachmentFileType*>(GetObjectByIndex(index));
}

TAttachmentFileType* TAttachmentFileTypes::AddFileType(std::unique_ptr<TAttachmentFileType> fileType) {
  TAttachmentFileType* added = fileType.get();
  Add(std::move(fileType));
  return added;
}

TAttachmentFileType* TAttachmentFileTypes::FindFileTypeByExtension(std::string_view extension) const {
  for (int i = 0; i < GetCount(); ++i) {
    if (TAttachmentFileType* fileType = AttachmentFileType(i);
        fileType != nullptr && fileType->HasExtension(extension)) {
      return fileType;
    }
  }
  return nullptr;
}

TAttachmentFileType* TAttachmentFileTypes::FindFileTypeByMIMEType(std::string_view mediaType,
                                                                  std::string_view subType) const {
  std::string mimeType(mediaType);
  mimeType += '/';
  mimeType += subType;
  for (int i = 0; i < GetCount(); ++i) {
    if (TAttachmentFileType* fileType = AttachmentFileType(i);
        fileType != nullptr && caseInsensitiveEquals(fileType->MIMEType, mimeType)) {
      return fileType;
    }
  }
  return nullptr;
}

std::string TAttachmentFileTypes::FindExtensionFromRegistry(std::string_view mediaType,
                                                            std::string_view subType) {
  try {
    return FindExtensionFromRegistry(TRegistryStore::Instance(), mediaType, subType);
  } catch (const std::exception&) {
    return {};
  }
}

std::string TAttachmentFileTypes::FindExtensionFromRegistry(TRegistryStore& store, std::string_view mediaType,
                                                            std::string_view subType) {
  // Only a hint for naming a renamed attachment: a damaged settings file or a missing MIME
  // database must not stop a message from being filtered.
  try {
    TExtRegistry registry(store);
    registry.SetRootKey(THKey::HKEY_CLASSES_ROOT);
    std::string key = "\\MIME\\Database\\Content Type\\";
    key += mediaType;
    key += '/';
    key += subType;
    if (!registry.OpenKeyReadOnly(key)) {
      return {};
    }
    std::string extension = registry.ReadString("Extension");
    extension.erase(0, extension.find_first_not_of('.'));
    return extension;
  } catch (const std::exception&) {
    return {};
  }
}
