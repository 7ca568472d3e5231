#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/TDateTime.h"
#include "mailparser/AttachmentTypeRule.h"
#include "mailparser/IOutputLine.h"

namespace MailParser {

// The engine's one view of the world outside it: the options of the configuration, of the
// account and of the security profile chosen for the message, the output of processed lines,
// status messages, and the counters that end up in the message log. One object serves one
// message, on one thread.
//
// Profile options ("profile" below) are those of the profile that setSenderAddress chose;
// until then there is none, and asking for one is an error of the caller.
class IMessageProcessorInterface : public IOutputLine {
 public:
  // Values of getHTMLMessageTextHandling and getHTMLAttachmentsHandling.
  enum HTMLHandling : int { htmlFilter = 0, htmlDontFilter = 1, htmlBlock = 2, htmlConvertToText = 3 };
  // Values of getBlockImagesWithIdentifiersSensitivity.
  enum Sensitivity : int { sensitivityLow = 0, sensitivityMedium = 1, sensitivityHigh = 2 };
  // Kinds of outputStatusMessage.
  enum StatusKind : int { statusInformation = 0, statusWarning = 1, statusError = 2 };

  // The line sink stays usable as an IOutputLine: the overload that cuts long lines is
  // inherited, not hidden.
  using IOutputLine::outputLine;

  // The message, one line at a time (without its line break), then its end.
  virtual void processLine(std::string_view line) = 0;
  virtual void finish() = 0;

  // A processed line, on its way to the mail program.
  void outputLine(std::string_view line) override = 0;

  // What the processor learnt from the header. The sender chooses the profile.
  virtual void setSenderAddress(std::string_view address) = 0;
  virtual void setSubject(std::string_view subject) = 0;
  // The message's own date: local date and time as written, and its zone's offset from UTC.
  virtual void setMessageDate(TDateTime dateTime, int zoneOffsetMinutes) = 0;

  // Options of the configuration.
  [[nodiscard]] virtual bool getAddEmailFooter() = 0;
  [[nodiscard]] virtual bool getUpdateReceivedDate() = 0;
  [[nodiscard]] virtual bool getUseSenderAddress() = 0;

  // Options of the profile.
  [[nodiscard]] virtual bool getBlockMDNReadReceipts() = 0;
  [[nodiscard]] virtual bool getChangeMaliciousFilenames() = 0;
  [[nodiscard]] virtual bool getBlockUUencodingInNonMime() = 0;
  [[nodiscard]] virtual bool getDetectUUencodingInMime() = 0;
  // One of the HTMLHandling values.
  [[nodiscard]] virtual int getHTMLMessageTextHandling() = 0;
  [[nodiscard]] virtual int getHTMLAttachmentsHandling() = 0;
  [[nodiscard]] virtual bool getRenameHTMLAttachments() = 0;
  [[nodiscard]] virtual bool getRemoveNonStandardHTML() = 0;
  [[nodiscard]] virtual bool getRemoveScripting() = 0;
  [[nodiscard]] virtual bool getRemoveEmbedding() = 0;
  [[nodiscard]] virtual bool getRemoveFrames() = 0;
  [[nodiscard]] virtual bool getBlockExternalCSS() = 0;
  [[nodiscard]] virtual bool getRemoveBLINKTags() = 0;
  [[nodiscard]] virtual bool getRemoveBGSOUNDTags() = 0;
  [[nodiscard]] virtual bool getRemoveMETATags() = 0;
  [[nodiscard]] virtual bool getRemoveAllHTML() = 0;
  [[nodiscard]] virtual bool getBlockExternalImages() = 0;
  [[nodiscard]] virtual bool getBlockImagesWithVariables() = 0;
  [[nodiscard]] virtual bool getBlockImagesWithIdentifiers() = 0;
  // One of the Sensitivity values.
  [[nodiscard]] virtual int getBlockImagesWithIdentifiersSensitivity() = 0;
  [[nodiscard]] virtual bool getBlockImagesWithCookies() = 0;
  [[nodiscard]] virtual bool getBlock1x1Images() = 0;
  [[nodiscard]] virtual bool getAllowSelectedWebBugProviders() = 0;

  // Limits. A rewritten URL longer than getMaxURLLength is cut to it; a URL value beginning
  // with two backslashes (a network-share path) stays only when getAllowNetworkSharePaths;
  // header fields whose name is longer than getMaxHeaderNameLineLength less 2 are dropped;
  // no line written back is longer than getMaxLineLength.
  [[nodiscard]] virtual std::size_t getMaxURLLength() = 0;
  [[nodiscard]] virtual bool getAllowNetworkSharePaths() = 0;
  [[nodiscard]] virtual std::size_t getMaxHeaderNameLineLength() = 0;
  [[nodiscard]] virtual std::size_t getMaxLineLength() = 0;

  // The attachment policy of the profile. The extension comes from the system's MIME
  // database ("" when it knows none); the rules are the first matching row, filled in `rule`.
  [[nodiscard]] virtual std::string findExtensionForMIMEType(std::string_view mediaType,
                                                             std::string_view subType) = 0;
  [[nodiscard]] virtual bool findFileTypeByMIMEType(std::string_view mediaType, std::string_view subType,
                                                    AttachmentTypeRule& rule) = 0;
  [[nodiscard]] virtual bool findFileTypeByExtension(std::string_view extension, AttachmentTypeRule& rule) = 0;

  // Web bugs. findWebBugProvider: whether `host` (or a domain above it, or its address)
  // belongs to a known web-bug provider; if so, which one and whether the configuration
  // allows its images. hostHasCookies: whether a browser holds a cookie for the host.
  [[nodiscard]] virtual bool findWebBugProvider(std::string_view host, std::string& provider, bool& allowed) = 0;
  [[nodiscard]] virtual bool hostHasCookies(std::u16string_view host) = 0;

  // Texts the engine adds to a message.
  [[nodiscard]] virtual std::string getReceivedHeaderValue() = 0;
  [[nodiscard]] virtual std::string getPlainTextFooter() = 0;
  // Empty when no footer is wanted.
  [[nodiscard]] virtual std::u16string getHTMLFooter() = 0;
  [[nodiscard]] virtual std::string getEntireMessageBlockedText(std::string_view typeName) = 0;

  // How renamed and invented attachment names and generated boundaries are made.
  [[nodiscard]] virtual std::size_t getMaxFilenameLength() = 0;
  [[nodiscard]] virtual std::string getDefaultFileExtension() = 0;
  [[nodiscard]] virtual std::string getQuorixFileExtension() = 0;
  [[nodiscard]] virtual std::string getQuorixContentMediaType() = 0;
  [[nodiscard]] virtual std::string getQuorixContentSubType() = 0;
  [[nodiscard]] virtual std::string getBoundaryPrefix() = 0;

  // One call for each thing removed, blocked or kept that the message log counts.
  virtual void countReadReceiptBlocked() = 0;
  virtual void countAttachmentBlocked() = 0;
  virtual void countAttachmentRenamed() = 0;
  virtual void countAllHTMLRemoved() = 0;
  virtual void countNonStandardTagRemoved() = 0;
  virtual void countNonStandardAttributeRemoved() = 0;
  virtual void countScriptingRemoved() = 0;
  virtual void countEmbeddingRemoved() = 0;
  virtual void countExternalCSSBlocked() = 0;
  virtual void countUndesiredTagRemoved() = 0;
  virtual void countAllowedWebBugProviderImage() = 0;
  virtual void countWebBugProviderImageBlocked() = 0;
  virtual void countExternalImageBlocked() = 0;
  virtual void countImageWithVariablesBlocked() = 0;
  virtual void countImageWithIdentifiersBlocked() = 0;
  virtual void countImageWithCookiesBlocked() = 0;
  virtual void count1x1ImageBlocked() = 0;

  // A line for the user's processing log; kind is one of StatusKind.
  virtual void outputStatusMessage(int kind, std::string_view text) = 0;

  // The message record goes to the message log (or nowhere, when logging is off).
  virtual void logMessage() = 0;
  // Fills the web-bug provider tables; findWebBugProvider calls it once, on first use.
  virtual void loadWebBugProviders() = 0;
  [[nodiscard]] virtual bool isAllowedWebBugProvider(std::string_view provider) = 0;
};

}  // namespace MailParser
