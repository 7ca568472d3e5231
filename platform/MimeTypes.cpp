#include "platform/MimeTypes.h"

#include <fstream>
#include <sstream>

namespace Platform {
namespace {

constexpr std::string_view kSeparators = " \t\r\v\f";

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t pos = 0;
  while (true) {
    pos = line.find_first_not_of(kSeparators, pos);
    if (pos == std::string_view::npos || line[pos] == '#') {
      break;
    }
    std::size_t end = line.find_first_of(kSeparators, pos);
    if (end == std::string_view::npos) {
      end = line.size();
    }
    words.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  return words;
}

bool IsContentType(std::string_view word) {
  const std::size_t slash = word.find('/');
  // A backslash would split the registry key; such a type cannot be looked up anyway.
  return slash != std::string_view::npos && slash > 0 && slash + 1 < word.size() &&
         word.find('\\') == std::string_view::npos;
}

}  // namespace

void AddMimeTypeExtensions(std::string_view text, MimeExtensionMap& extensions) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    const std::vector<std::string_view> words = Words(text.substr(start, end - start));
    start = end + 1;
    if (words.size() < 2 || !IsContentType(words[0])) {
      continue;
    }
    std::string extension = "." + std::string(words[1]);
    const auto it = extensions.find(words[0]);
    if (it == extensions.end()) {
      extensions.emplace(std::string(words[0]), std::move(extension));
    } else {
      it->second = std::move(extension);
    }
  }
}

MimeExtensionMap ReadMimeTypeFiles(const std::vector<std::filesystem::path>& files) {
  MimeExtensionMap extensions;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      continue;
    }
    std::ostringstream text;
    text << in.rdbuf();
    AddMimeTypeExtensions(text.str(), extensions);
  }
  return extensions;
}

}  // namespace Platform
