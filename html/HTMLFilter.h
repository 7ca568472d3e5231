#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "html/CSSFilter.h"
#include "html/IHTMLHandler.h"
#include "html/URL.h"

namespace HTMLTagLibrary {
struct TagInformation;
}

namespace MailParser {
class IMessageProcessorInterface;
}

namespace HTMLFilter {

// Sits between the tokenizer and a writer (in practice an HTMLRewriter): every event passes
// through it and is dropped, rewritten or forwarded according to the profile behind
// `settings`, which also counts what goes. Injects the footer HTML once per document, before
// the first "</body>" or "</html>" or at the end, unless told not to (`addFooter` false: an
// attached file, or a text that already ends with the footer).
//
// Raises std::runtime_error(kTagMismatchError) when the content of an element whose
// content it drops is not closed by that element's end tag. The writer's output is then
// incomplete and must not be used: the caller treats the document as one it cannot filter.
class HTMLFilter : public IHTMLHandler {
 public:
  static constexpr std::string_view kTagMismatchError = "close tag after block tag contents did not match open tag";

  // Neither is owned; both must outlive the filter.
  HTMLFilter(IHTMLHandler& downstream, MailParser::IMessageProcessorInterface& settings, bool addFooter = true);

  void text(std::u16string_view raw, std::u16string_view decoded) override;
  void startTag(std::u16string_view rawName, std::string_view key) override;
  void attribute(std::u16string_view rawName, std::string_view key, std::u16string_view rawValue,
                 std::u16string_view decodedValue) override;
  void attributeWithoutValue(std::u16string_view rawName, std::string_view key) override;
  void startTagEnd() override;
  void rawContent(std::u16string content) override;
  void endTag(std::u16string_view rawName, std::string_view key) override;
  void comment(std::u16string_view text) override;
  void declaration(std::u16string_view text) override;
  void processingInstruction(std::u16string_view text) override;
  void endDocument() override;

  struct AttributeData {
    std::u16string rawName;
    std::u16string rawValue;
    std::u16string decodedValue;
  };

 private:
  // The profile's options, read once: one filter serves one message, whose profile is fixed.
  struct Options {
    bool removeNonStandardHTML = false;
    bool removeScripting = false;
    bool removeEmbedding = false;
    bool removeFrames = false;
    bool blockExternalCSS = false;
    bool removeBLINKTags = false;
    bool removeBGSOUNDTags = false;
    bool removeMETATags = false;
    bool block1x1Images = false;
    bool allowNetworkSharePaths = false;
    std::size_t maxURLLength = 0;
  };
  // One attribute of the start tag being collected; a later one with the same key replaces
  // it. The entries are reused from tag to tag so that their strings keep their capacity.
  struct Attribute {
    std::string key;
    AttributeData data;
    bool hasValue = false;
    // The value as written is the decoded one; data.rawValue is then left empty.
    bool rawIsDecoded = false;
  };
  // How an attribute's value is checked before it is forwarded.
  enum class URLKind : std::uint8_t { none, link, other, resource, resourceList, srcset };

  // The rules that single out a tag, as bits: which option takes it away, and which tags
  // the start-tag rules look at.
  enum TagGroup : std::uint16_t {
    frameTag = 1U << 0U,
    embeddingTag = 1U << 1U,
    scriptingTag = 1U << 2U,
    scriptTag = 1U << 3U,
    blinkTag = 1U << 4U,
    soundTag = 1U << 5U,
    metaTag = 1U << 6U,
    animationTag = 1U << 7U,
    linkTag = 1U << 8U,
    styleTag = 1U << 9U,
    commentTag = 1U << 10U,
    baseTag = 1U << 11U,
    anchorTag = 1U << 12U,
    documentTag = 1U << 13U,
  };
  struct TagRules {
    const HTMLTagLibrary::TagInformation* info = nullptr;
    std::uint16_t groups = 0;
  };

  [[nodiscard]] static std::uint16_t tagGroups(std::string_view key);
  [[nodiscard]] static const TagRules& tagRules(std::string_view key);
  [[nodiscard]] bool tagAllowed(std::uint16_t groups, bool counting);
  [[nodiscard]] const AttributeData* find(std::string_view key) const;
  [[nodiscard]] bool isOneByOne() const;
  [[nodiscard]] bool dropsStartTag();
  [[nodiscard]] bool styleTypeIsCSS(const AttributeData* type) const;
  void handleBase();
  void forwardStartTag();
  void forwardValue(const Attribute& attribute, URLKind kind);
  [[nodiscard]] URLKind urlKind(std::string_view key) const;
  [[nodiscard]] URLKind hrefKind() const;
  [[nodiscard]] static bool isStandardAttribute(const HTMLTagLibrary::TagInformation& info, std::string_view key);
  // Each writes the value to forward into `result`, which must not alias `value`.
  void checkURL(std::u16string_view value, bool link, std::u16string& result);
  void checkResource(std::u16string_view value, bool oneByOne, std::u16string& result);
  void checkResourceList(std::u16string_view value, bool srcset, std::u16string& result);
  [[nodiscard]] bool cssURLAllowed(std::u16string_view url, CSSURLUse use);
  void injectFooter();

  IHTMLHandler& downstream_;
  MailParser::IMessageProcessorInterface& settings_;
  Options options_;
  CSSFilter css_;
  // Set once the footer is in, or from the start when none is to go in.
  bool footerDone_;
  URL baseURL_;
  std::u16string baseTarget_;
  std::u16string tagRawName_;
  std::string tagName_;
  // The tag library's entry for tagName_, looked up only when non-standard HTML goes.
  const HTMLTagLibrary::TagInformation* tagInfo_ = nullptr;
  // The rule groups of tagName_ (TagGroup bits), set with tagInfo_.
  std::uint16_t tagGroups_ = 0;
  std::vector<Attribute> attributes_;
  std::size_t attributeCount_ = 0;
  std::vector<const Attribute*> order_;
  // Scratch for the checked values, kept from attribute to attribute for their capacity.
  std::u16string value_;
  std::u16string linkHref_;
  std::u16string candidate_;
  bool skipContent_ = false;
};

}  // namespace HTMLFilter
