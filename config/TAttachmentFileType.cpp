#include "config/TAttachmentFileType.h"

#include <utility>

#include "common/AsciiCase.h"

const char* const AttachmentActionNames[4] = {"Allow", "Rename", "Block", "See HTML"};

namespace {

constexpr char Separator = ';';
constexpr char Escape = '\\';

std::string Combine(const std::vector<std::string>& parts) {
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) {
      text += Separator;
    }
    for (const char c : parts[i]) {
      if (c == Separator || c == Escape) {
        text += Escape;
      }
      text += c;
    }
  }
  return text;
}

std::vector<std::string> Seperate(std::string_view text) {
  std::vector<std::string> parts;
  std::string current;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == Escape && i + 1 < text.size()) {
      current += text[++i];
    } else if (c == Separator) {
      if (!current.empty()) {
        parts.push_back(std::move(current));
        current.clear();
      }
    } else {
      // Also a "\" that ends the text: it escapes nothing, and dropping it would lose a
      // character the user typed.
      current += c;
    }
  }
  if (!current.empty()) {
    parts.push_back(std::move(current));
  }
  return parts;
}

}  // namespace

TAttachmentFileType::TAttachmentFileType(std::string mimeType, int action, std::string_view extensionsList)
    : MIMEType(std::move(mimeType)), Action(action), extensions_(Seperate(extensionsList)) {}

const TPropertyTable& TAttachmentFileType::PublishedProperties() const {
  static const TPropertyTable properties{
      Published("MIMEType", &TAttachmentFileType::MIMEType),
      Published("Action", &TAttachmentFileType::Action),
      Published("ExtensionsList", &TAttachmentFileType::GetExtensionsList,
                &TAttachmentFileType::SetExtensionsList),
  };
  return properties;
}

void TAttachmentFileType::Assign(const TStoreableObject& source) {
  TStoreableObject::Assign(source);
  // The text form drops empty extensions; the copy should be exact.
  extensions_ = static_cast<const TAttachmentFileType&>(source).extensions_;
}

int TAttachmentFileType::GetExtensionsCount() const noexcept {
  return static_cast<int>(extensions_.size());
}

const std::string& TAttachmentFileType::GetExtension(int index) const {
  return extensions_.at(static_cast<std::size_t>(index));
}

void TAttachmentFileType::SetExtension(int index, const std::string& value) {
  extensions_.at(static_cast<std::size_t>(index)) = value;
}

void TAttachmentFileType::SetExtensions(std::vector<std::string> extensions) {
  extensions_ = std::move(extensions);
}

std::string TAttachmentFileType::GetExtensionsList() const {
  return Combine(extensions_);
}

void TAttachmentFileType::SetExtensionsList(const std::string& text) {
  extensions_ = Seperate(text);
}

bool TAttachmentFileType::HasExtension(std::string_view extension) const {
  for (const std::string& own : extensions_) {
    if (caseInsensitiveEquals(own, extension)) {
      return true;
    }
  }
  return false;
}

std::string TAttachmentFileType::MediaType() const {
  const std::size_t slash = MIMEType.find('/');
  return slash == std::string::npos ? MIMEType : MIMEType.substr(0, slash);
}

std::string TAttachmentFileType::SubType() const {
  const std::size_t slash = MIMEType.find('/');
  return slash == std::string::npos ? std::string() : MIMEType.substr(slash + 1);
}
