#include "engine/FilteredSingleMIMEEntity.h"

#include <map>
#include <stdexcept>
#include <utility>

#include "common/AsciiCase.h"
#include "engine/EmbeddedMessage.h"
#include "engine/EntityLimits.h"
#include "engine/FileNames.h"
#include "html/FilterDocument.h"
#include "html/HTMLParser.h"
#include "html/HTMLPlaintextRewriter.h"
#include "html/HTMLRewriter.h"
#include "mailparser/AttachmentTypeRule.h"
#include "mailparser/Charsets.h"
#include "mailparser/Header.h"
#include "mailparser/HeaderField.h"
#include "mailparser/TransferCodings.h"

namespace MailParser {

namespace {

constexpr std::string_view kFileNameParameter = "filename";
constexpr std::string_view kNameParameter = "name";
constexpr std::string_view kCharsetParameter = "charset";

bool isType(const ContentTypeField& field, std::string_view type, std::string_view subtype) {
  return caseInsensitiveEquals(field.type, type) && caseInsensitiveEquals(field.subtype, subtype);
}

bool isOctetStream(std::string_view type, std::string_view subtype) {
  return caseInsensitiveEquals(type, "application") && caseInsensitiveEquals(subtype, "octet-stream");
}

bool hasHighBytes(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      return true;
    }
  }
  return false;
}

// Takes a parameter out of a field, with the charset its value was kept in.
bool takeParameter(ContentField& field, std::string_view name, std::string& value, std::string& rawCharset) {
  const auto found = field.parameters.find(name);
  const bool present = found != field.parameters.end();
  if (present) {
    value = std::move(found->second);
    field.parameters.erase(found);
  }
  if (const auto charset = field.rawCharsets.find(name); charset != field.rawCharsets.end()) {
    if (present) {
      rawCharset = std::move(charset->second);
    }
    field.rawCharsets.erase(charset);
  }
  return present;
}

// The start of the last UTF-8 character that begins at or before `limit`, so that a cut there
// never splits a character; `limit` itself when no character start is close by.
std::size_t utf8CutBefore(std::string_view text, std::size_t limit) {
  std::size_t cut = limit;
  for (int back = 0; back < 4 && cut > 0; ++back, --cut) {
    if ((static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80) {
      return cut;
    }
  }
  return limit;
}

// What a parameter line may hold besides the name: "\t", a piece number with its "*"s, "=",
// quotes and ";" (10 bytes), a charset label of up to 64 bytes with its "''", and one written
// byte ("%XX") of the value.
constexpr std::size_t kParameterLineRoom = 80;

void dropLongParameterNames(ContentField& field, std::size_t maxLineLength) {
  const auto tooLong = [maxLineLength](const auto& entry) {
    return entry.first.size() + kParameterLineRoom > maxLineLength;
  };
  std::erase_if(field.parameters, tooLong);
  std::erase_if(field.rawCharsets, tooLong);
}

// Whether the HTML ends with `footer`: only end tags and whitespace follow it (the footer
// goes in before the closing body tag). Walks back from the end, so a long text costs only its
// last tags.
bool endsWithFooter(std::u16string_view html, std::u16string_view footer) {
  if (footer.empty()) {
    return false;
  }
  const auto isSpace = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  std::size_t end = html.size();
  for (;;) {
    if (html.substr(0, end).ends_with(footer)) {
      return true;
    }
    if (end > 0 && isSpace(html[end - 1])) {
      --end;
      continue;
    }
    if (end == 0 || html[end - 1] != u'>') {
      return false;
    }
    const auto open = html.rfind(u'<', end - 1);
    if (open == std::u16string_view::npos || open + 1 >= end || html[open + 1] != u'/') {
      return false;
    }
    end = open;
  }
}

}  // namespace

void cutLongHeaderLines(MIMEEntityHeader& header, std::size_t maxLineLength) {
  if (maxLineLength == 0) {
    return;
  }
  header.truncateLongLines(maxLineLength);

  // The content fields are written from their parsed values; the free-text ones are cut by
  // the same rule as every other field.
  Header content;
  content.addField("Content-ID", std::move(header.contentId));
  content.addField("Content-Description", std::move(header.contentDescription));
  content.truncateLongLines(maxLineLength);
  for (const HeaderField& field : content.fields()) {
    (field.name == "Content-ID" ? header.contentId : header.contentDescription) = field.value;
  }

  dropLongParameterNames(header.contentType, maxLineLength);
  dropLongParameterNames(header.contentDisposition, maxLineLength);
  // "Content-Type: " type "/" subtype ";": no type that long is known, and cut it stays
  // unknown.
  constexpr std::size_t kTypeLineRoom = 16;
  if (maxLineLength > kTypeLineRoom) {
    const std::size_t room = (maxLineLength - kTypeLineRoom) / 2;
    if (header.contentType.type.size() > room) {
      header.contentType.type.resize(room);
    }
    if (header.contentType.subtype.size() > room) {
      header.contentType.subtype.resize(room);
    }
  }
}

void writeBodyLine(IOutputLine& out, std::string_view line, std::size_t maxLength, bool neutraliseUUencode) {
  const std::size_t limit = maxLength == 0 ? std::string_view::npos : maxLength;
  do {
    std::string_view piece = line.substr(0, limit);
    if (neutraliseUUencode && isUUEncodeBeginLine(piece)) {
      // A begin line has at least 7 bytes, so the limit leaves room for the space; the byte
      // that makes way starts the next piece.
      piece.remove_suffix(piece.size() == limit ? 1 : 0);
      out.outputLine(neutraliseBeginLine(piece));
    } else {
      out.outputLine(piece);
    }
    line.remove_prefix(piece.size());
  } while (!line.empty());
}

FilteredSingleMIMEEntity::FilteredSingleMIMEEntity(IMessageProcessorInterface& settings,
                                                   MIMEEntityHeader entityHeader, IOutputLine& out,
                                                   int& attachmentCounter, bool wholeMessageBody,
                                                   bool insideAlternative, int level)
    : MIMEEntity(std::move(entityHeader)),
      settings_(settings),
      out_(out),
      attachmentCounter_(attachmentCounter),
      wholeMessageBody_(wholeMessageBody),
      insideAlternative_(insideAlternative),
      level_(level) {
  if (header.transferEncoding == TransferEncoding::Unknown) {
    header.transferEncoding = TransferEncoding::EightBit;
  }

  // The name a mail program would save the part under, from either field; it is written back
  // as "filename" only, so that no second name can disagree with the one checked here.
  std::string name;
  std::string rawCharset;
  std::string typeName;
  std::string typeCharset;
  const bool named = takeParameter(header.contentDisposition, kFileNameParameter, name, rawCharset);
  const bool typeNamed = takeParameter(header.contentType, kNameParameter, typeName, typeCharset);
  if (!named && typeNamed) {
    name = std::move(typeName);
    rawCharset = std::move(typeCharset);
  }
  if (!name.empty()) {
    header.contentDisposition.isAttachment = true;
  }

  if (header.contentDisposition.isAttachment) {
    decideAttachment(std::move(name), std::move(rawCharset));
  } else {
    decideInline();
  }

  if (mode_ == Mode::PassThrough) {
    neutraliseUUencode_ = !header.contentDisposition.isAttachment && settings_.getDetectUUencodingInMime();
    maxLineLength_ = settings_.getMaxLineLength();
    // An attached message is filtered like the message around it, as mail programs show it
    // inline. Only an unencoded one can be read line by line; one that is renamed is no longer
    // shown as a message.
    if (isType(header.contentType, "message", "rfc822") &&
        (header.transferEncoding == TransferEncoding::SevenBit ||
         header.transferEncoding == TransferEncoding::EightBit)) {
      if (level_ >= MaxNestingLevel) {
        block();
      } else {
        message_ = std::make_unique<EmbeddedMessage>(settings_, out_, attachmentCounter_, level_);
      }
    }
    if (!message_ && isMessageText() && isType(header.contentType, "text", "plain") &&
        (header.transferEncoding == TransferEncoding::SevenBit ||
         header.transferEncoding == TransferEncoding::EightBit) &&
        settings_.getAddEmailFooter()) {
      footer_ = PlainTextFooter(settings_.getPlainTextFooter());
    }
  }
  // From the constructor a subclass's writeHeader could not run yet; say so in the call.
  if (mode_ == Mode::PassThrough) {
    FilteredSingleMIMEEntity::writeHeader();
  } else if (mode_ == Mode::Blocked && wholeMessageBody_) {
    writeBlockedNotice();
  }
}

FilteredSingleMIMEEntity::~FilteredSingleMIMEEntity() = default;

int FilteredSingleMIMEEntity::htmlHandling(bool attachments) {
  int stored = IMessageProcessorInterface::htmlFilter;
  bool known = true;
  try {
    stored = attachments ? settings_.getHTMLAttachmentsHandling() : settings_.getHTMLMessageTextHandling();
    known = stored >= IMessageProcessorInterface::htmlFilter &&
            stored <= IMessageProcessorInterface::htmlConvertToText;
  } catch (const std::invalid_argument&) {
    // A settings interface that checks the stored value itself reports it this way.
    known = false;
  }
  if (known) {
    return stored;
  }
  settings_.outputStatusMessage(
      IMessageProcessorInterface::statusWarning,
      std::string("The security profile holds an unknown value for the handling of HTML ") +
          (attachments ? "attachments" : "message text") +
          "; the HTML is filtered. Choose the handling in the profile's options again.");
  return IMessageProcessorInterface::htmlFilter;
}

void FilteredSingleMIMEEntity::renameAndRetype(std::string& name) {
  name = renamedFileName(name, settings_.getQuorixFileExtension());
  header.contentType.type = settings_.getQuorixContentMediaType();
  header.contentType.subtype = settings_.getQuorixContentSubType();
}

void FilteredSingleMIMEEntity::decideAttachment(std::string name, std::string rawCharset) {
  const std::string received = name;
  if (!name.empty() && settings_.getChangeMaliciousFilenames()) {
    name = sanitiseFileName(name, settings_.getMaxFilenameLength());
  }
  if (name.empty()) {
    name = inventFileName(header.contentType.type, header.contentType.subtype);
  }

  AttachmentTypeRule rule;
  bool found = false;
  if (const std::string extension = extensionOf(name); !extension.empty()) {
    found = settings_.findFileTypeByExtension(extension, rule);
    if (found && !rule.mediaType.empty() && !rule.subType.empty()) {
      header.contentType.type = rule.mediaType;
      header.contentType.subtype = rule.subType;
    }
  }
  if (!found && !isOctetStream(header.contentType.type, header.contentType.subtype)) {
    found = settings_.findFileTypeByMIMEType(header.contentType.type, header.contentType.subtype, rule);
    if (found && !rule.extensions.empty()) {
      name += '.';
      name += rule.extensions.front();
    }
  }

  if (found) {
    switch (rule.action) {
      case AttachmentTypeRule::rename:
        renameAndRetype(name);
        break;
      case AttachmentTypeRule::block:
        block();
        break;
      case AttachmentTypeRule::seeHTML:
        switch (htmlHandling(true)) {
          case IMessageProcessorInterface::htmlFilter:
            mode_ = Mode::FilterHTML;
            if (settings_.getRenameHTMLAttachments()) {
              renameAndRetype(name);
            }
            break;
          case IMessageProcessorInterface::htmlDontFilter:
            if (settings_.getRenameHTMLAttachments()) {
              renameAndRetype(name);
            }
            break;
          case IMessageProcessorInterface::htmlBlock:
            settings_.countAllHTMLRemoved();
            block();
            break;
          case IMessageProcessorInterface::htmlConvertToText:
            mode_ = Mode::ConvertHTML;
            name = baseNameOf(name) + ".txt";
            settings_.countAllHTMLRemoved();
            break;
          default:
            break;
        }
        break;
      default:
        break;
    }
  }

  if (mode_ == Mode::Blocked) {
    return;
  }
  if (!caseInsensitiveEquals(name, received)) {
    settings_.countAttachmentRenamed();
  }
  // A name still in the charset it came in (one not converted here) keeps its label; a name
  // made safe or invented is ASCII.
  if (!rawCharset.empty() && hasHighBytes(name)) {
    header.contentDisposition.rawCharsets[std::string(kFileNameParameter)] = std::move(rawCharset);
  }
  header.contentDisposition.parameters[std::string(kFileNameParameter)] = std::move(name);
}

void FilteredSingleMIMEEntity::decideInline() {
  ContentTypeField& type = header.contentType;
  if (isType(type, "text", "html")) {
    int handling = htmlHandling(false);
    // "Block" is not a choice for message text, and the options show it as "filter": the
    // user's view wins over passing the HTML unfiltered.
    if (handling == IMessageProcessorInterface::htmlBlock) {
      handling = IMessageProcessorInterface::htmlFilter;
    }
    switch (handling) {
      case IMessageProcessorInterface::htmlFilter:
        mode_ = Mode::FilterHTML;
        break;
      case IMessageProcessorInterface::htmlConvertToText:
        // Inside an alternative the plain-text version says the same; keep that one.
        mode_ = insideAlternative_ ? Mode::Blocked : Mode::ConvertHTML;
        settings_.countAllHTMLRemoved();
        break;
      default:
        break;
    }
    return;
  }
  if (isOctetStream(type.type, type.subtype)) {
    return;
  }
  AttachmentTypeRule rule;
  if (!settings_.findFileTypeByMIMEType(type.type, type.subtype, rule)) {
    return;
  }
  switch (rule.action) {
    case AttachmentTypeRule::rename: {
      // An inline body of a renamed type would still be shown; as an attachment with a
      // harmless name it is only saved.
      std::string name =
          renamedFileName(inventFileName(type.type, type.subtype), settings_.getQuorixFileExtension());
      header.contentDisposition.isAttachment = true;
      header.contentDisposition.parameters[std::string(kFileNameParameter)] = std::move(name);
      type.type = settings_.getQuorixContentMediaType();
      type.subtype = settings_.getQuorixContentSubType();
      settings_.countAttachmentBlocked();
      break;
    }
    case AttachmentTypeRule::block:
      block();
      break;
    default:
      break;
  }
}

std::string FilteredSingleMIMEEntity::inventFileName(std::string_view type, std::string_view subtype) {
  std::string extension;
  if (!isOctetStream(type, subtype)) {
    AttachmentTypeRule rule;
    if (settings_.findFileTypeByMIMEType(type, subtype, rule) && !rule.extensions.empty()) {
      extension = rule.extensions.front();
    } else {
      extension = settings_.findExtensionForMIMEType(type, subtype);
    }
  }
  if (extension.empty()) {
    extension = settings_.getDefaultFileExtension();
  }
  return numberedFileName(attachmentCounter_++, extension);
}

void FilteredSingleMIMEEntity::block() {
  mode_ = Mode::Blocked;
  settings_.countAttachmentBlocked();
}

void FilteredSingleMIMEEntity::writeBlockedNotice() {
  const std::string typeName = header.contentType.mainValue();
  header.contentType.type = "text";
  header.contentType.subtype = "plain";
  header.contentType.parameters.clear();
  header.contentType.rawCharsets.clear();
  header.contentDisposition.isAttachment = false;
  header.contentDisposition.parameters.clear();
  header.contentDisposition.rawCharsets.clear();
  header.contentId.clear();
  header.contentDescription.clear();
  header.transferEncoding = TransferEncoding::EightBit;
  // Also reached from the constructor, where only this class's writeHeader can run.
  FilteredSingleMIMEEntity::writeHeader();
  out_.outputLine(settings_.getEntireMessageBlockedText(typeName));
}

void FilteredSingleMIMEEntity::removeHTML(std::string_view why) {
  buffer_.clear();
  buffer_.shrink_to_fit();
  block();
  settings_.outputStatusMessage(IMessageProcessorInterface::statusWarning,
                                "An HTML part was removed from the message: " + std::string(why));
  if (wholeMessageBody_) {
    writeBlockedNotice();
  }
}

void FilteredSingleMIMEEntity::writeHeader() {
  out_.outputLine(header.toString());
}

void FilteredSingleMIMEEntity::processLine(std::string_view line) {
  switch (mode_) {
    case Mode::PassThrough:
      if (message_) {
        message_->processLine(line);
      } else {
        writeBodyLine(out_, line, maxLineLength_, neutraliseUUencode_);
        footer_.rememberLine(line);
      }
      break;
    case Mode::FilterHTML:
    case Mode::ConvertHTML:
      if (buffer_.size() + line.size() + 2 > MaxBufferedHTMLBytes) {
        removeHTML("it is larger than 16 MB, too large to filter.");
        break;
      }
      buffer_ += line;
      buffer_ += "\r\n";
      break;
    case Mode::Blocked:
      break;
  }
}

void FilteredSingleMIMEEntity::end() {
  switch (mode_) {
    case Mode::PassThrough:
      if (message_) {
        message_->end();
      } else {
        footer_.writeUnlessPresent(out_);
      }
      break;
    case Mode::FilterHTML:
      processHTML(false);
      break;
    case Mode::ConvertHTML:
      processHTML(true);
      break;
    case Mode::Blocked:
      break;
  }
}

bool FilteredSingleMIMEEntity::isMessageText() const noexcept {
  return !header.contentDisposition.isAttachment;
}

void FilteredSingleMIMEEntity::writeFooter() {
  if (isMessageText() && settings_.getAddEmailFooter()) {
    out_.outputLine(settings_.getPlainTextFooter());
  }
}

void FilteredSingleMIMEEntity::processHTML(bool convert) {
  std::u16string html;
  std::string written;
  try {
    const std::string decoded = decodeBody(header.transferEncoding, buffer_);
    buffer_.clear();
    buffer_.shrink_to_fit();
    std::string charset;
    std::string unusedLabel;
    takeParameter(header.contentType, kCharsetParameter, charset, unusedLabel);
    html = toWide(decoded, charset, true);
    if (!convert) {
      // An HTML attachment is a file of the sender's, which must reach the reader as sent
      // (filtered, but with nothing of ours added); a text that already ends with the footer
      // must not get a second one.
      const bool addFooter = isMessageText() && !hasHTMLFooter(html);
      written = encodeQuotedPrintable(HTMLFilter::filterDocument(html, settings_, /*fragment*/ false, addFooter));
    }
  } catch (const std::runtime_error& error) {
    // A text the filter cannot read safely must not reach the mail program, and must not cost
    // the user the rest of the message either.
    removeHTML("it could not be filtered (" + std::string(error.what()) + ").");
    return;
  }

  if (convert) {
    HTMLFilter::HTMLPlaintextRewriter rewriter(true);
    HTMLFilter::parseHTML(rewriter, html, false);
    header.contentType.type = "text";
    header.contentType.subtype = "plain";
    header.contentType.parameters.clear();
    header.contentType.rawCharsets.clear();
    header.contentType.parameters[std::string(kCharsetParameter)] = "utf-8";
    header.transferEncoding = TransferEncoding::EightBit;
    writeHeader();
    writeWrapped(rewriter.output());
    // A text filtered before carries the HTML footer, whose sentence the conversion kept.
    if (!hasHTMLFooter(html)) {
      writeFooter();
    }
    return;
  }
  header.transferEncoding = TransferEncoding::QuotedPrintable;
  writeHeader();
  out_.outputLine(written);
}

// A text filtered before holds the footer as the filter wrote it into the document, or as the
// settings give it; one filtered more than once holds it as the filter rewrites it, since the
// footer is then part of the sender's text (its style attributes come out in the filter's own
// form). Our footer holds nothing a profile removes, so filtering it here counts nothing.
bool FilteredSingleMIMEEntity::hasHTMLFooter(std::u16string_view html) {
  const std::u16string footer = settings_.getHTMLFooter();
  if (footer.empty()) {
    return false;
  }
  if (endsWithFooter(html, footer)) {
    return true;
  }
  HTMLFilter::HTMLRewriter rewriter;
  HTMLFilter::parseHTML(rewriter, footer, true);
  if (endsWithFooter(html, toWide(rewriter.takeOutput(), "utf-8", false))) {
    return true;
  }
  const std::string filtered = HTMLFilter::filterDocument(footer, settings_, /*fragment*/ true, /*addFooter*/ false);
  return endsWithFooter(html, toWide(filtered, "utf-8", false));
}

// Converted text has a line per paragraph, which can be far longer than a mail line may be;
// such a line is cut, between characters, into lines of at most getMaxLineLength bytes.
void FilteredSingleMIMEEntity::writeWrapped(std::string_view text) {
  const std::size_t limit = settings_.getMaxLineLength();
  if (limit < 4) {
    out_.outputLine(text);
    return;
  }
  std::string wrapped;
  wrapped.reserve(text.size() + text.size() / limit * 2 + 2);
  std::size_t start = 0;
  while (start <= text.size()) {
    const auto lineBreak = text.find("\r\n", start);
    std::string_view line =
        text.substr(start, lineBreak == std::string_view::npos ? text.npos : lineBreak - start);
    while (line.size() > limit) {
      const std::size_t cut = utf8CutBefore(line, limit);
      wrapped += line.substr(0, cut);
      wrapped += "\r\n";
      line.remove_prefix(cut);
    }
    wrapped += line;
    if (lineBreak == std::string_view::npos) {
      break;
    }
    wrapped += "\r\n";
    start = lineBreak + 2;
  }
  out_.outputLine(wrapped);
}

}  // namespace MailParser
