#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "config/TSecurityProfile.h"
#include "engine/MessageDate.h"
#include "engine/MessageProcessorInterfaceOptions.h"
#include "engine/WebBugProviderTables.h"
#include "logs/TMessageLogRecord.h"
#include "mailparser/IMessageProcessorInterface.h"

class TProxyMessageProcessorInterfaceBase;

namespace MailParser {
class MessageProcessor;
}

// The settings interface of one message: the engine's options come from the bridge's
// configuration and account and from the security profile that the sender selects, processed
// lines and status lines go back through the bridge, and every counter goes into one message
// log record, which finish() hands to the message logs.
//
// Settings that are damaged never fail the message: an HTML handling value outside 0 to 3 is
// read as 0 (filter), an attachment type with an unknown action blocks, and a profile name
// that names no profile falls back (override -> account default -> "High"); each with one
// warning status line per message. Logging failures never fail it either.
class MessageProcessorInterface : public MailParser::IMessageProcessorInterface {
 public:
  static constexpr std::size_t kMaxURLLength = 1000;
  static constexpr std::size_t kMaxHeaderNameLineLength = 255;
  static constexpr std::size_t kMaxLineLength = 998;
  static constexpr std::size_t kMaxFilenameLength = 249;

  // `bridge` is borrowed and must outlive the interface.
  explicit MessageProcessorInterface(TProxyMessageProcessorInterfaceBase& bridge,
                                     MessageProcessorInterfaceOptions options = {});
  ~MessageProcessorInterface() override;

  MessageProcessorInterface(const MessageProcessorInterface&) = delete;
  MessageProcessorInterface& operator=(const MessageProcessorInterface&) = delete;

  using IMessageProcessorInterface::outputLine;

  void processLine(std::string_view line) override;
  // Ends the message and logs it; a second call does nothing.
  void finish() override;
  // Text with CR LF inside goes out as one line per piece.
  void outputLine(std::string_view line) override;

  // The record keeps sender and subject cut to 72 bytes and the profile name cut to 31 (a
  // UTF-8 sequence is never cut in two); the profile itself is found by its whole name.
  void setSenderAddress(std::string_view address) override;
  void setSubject(std::string_view subject) override;
  void setMessageDate(TDateTime dateTime, int zoneOffsetMinutes) override;

  bool getAddEmailFooter() override;
  bool getUpdateReceivedDate() override;
  bool getUseSenderAddress() override;

  bool getBlockMDNReadReceipts() override;
  bool getChangeMaliciousFilenames() override;
  bool getBlockUUencodingInNonMime() override;
  bool getDetectUUencodingInMime() override;
  int getHTMLMessageTextHandling() override;
  int getHTMLAttachmentsHandling() override;
  bool getRenameHTMLAttachments() override;
  bool getRemoveNonStandardHTML() override;
  bool getRemoveScripting() override;
  bool getRemoveEmbedding() override;
  bool getRemoveFrames() override;
  bool getBlockExternalCSS() override;
  bool getRemoveBLINKTags() override;
  bool getRemoveBGSOUNDTags() override;
  bool getRemoveMETATags() override;
  bool getRemoveAllHTML() override;
  bool getBlockExternalImages() override;
  bool getBlockImagesWithVariables() override;
  bool getBlockImagesWithIdentifiers() override;
  int getBlockImagesWithIdentifiersSensitivity() override;
  bool getBlockImagesWithCookies() override;
  bool getBlock1x1Images() override;
  bool getAllowSelectedWebBugProviders() override;

  std::size_t getMaxURLLength() override { return kMaxURLLength; }
  bool getAllowNetworkSharePaths() override { return false; }
  std::size_t getMaxHeaderNameLineLength() override { return kMaxHeaderNameLineLength; }
  std::size_t getMaxLineLength() override { return kMaxLineLength; }

  std::string findExtensionForMIMEType(std::string_view mediaType, std::string_view subType) override;
  bool findFileTypeByMIMEType(std::string_view mediaType, std::string_view subType,
                              MailParser::AttachmentTypeRule& rule) override;
  bool findFileTypeByExtension(std::string_view extension, MailParser::AttachmentTypeRule& rule) override;

  bool findWebBugProvider(std::string_view host, std::string& provider, bool& allowed) override;
  // No cookie store is consulted yet: every host is without cookies.
  bool hostHasCookies(std::u16string_view host) override;

  std::string getReceivedHeaderValue() override;
  std::string getPlainTextFooter() override;
  std::u16string getHTMLFooter() override;
  std::string getEntireMessageBlockedText(std::string_view typeName) override;

  std::size_t getMaxFilenameLength() override { return kMaxFilenameLength; }
  std::string getDefaultFileExtension() override;
  std::string getQuorixFileExtension() override;
  std::string getQuorixContentMediaType() override;
  std::string getQuorixContentSubType() override;
  std::string getBoundaryPrefix() override;

  void countReadReceiptBlocked() override;
  void countAttachmentBlocked() override;
  void countAttachmentRenamed() override;
  void countAllHTMLRemoved() override;
  void countNonStandardTagRemoved() override;
  void countNonStandardAttributeRemoved() override;
  void countScriptingRemoved() override;
  void countEmbeddingRemoved() override;
  void countExternalCSSBlocked() override;
  void countUndesiredTagRemoved() override;
  void countAllowedWebBugProviderImage() override;
  void countWebBugProviderImageBlocked() override;
  void countExternalImageBlocked() override;
  void countImageWithVariablesBlocked() override;
  void countImageWithIdentifiersBlocked() override;
  void countImageWithCookiesBlocked() override;
  void count1x1ImageBlocked() override;

  // Kinds other than warning (1) and error (2) become information (0).
  void outputStatusMessage(int kind, std::string_view text) override;

  // Hands the record to the message logs unless logging is off (KeepLogsForDays below 0) or
  // there are none. A failure to log is reported by the store (which then stops logging);
  // here it is only kept from reaching the message.
  void logMessage() override;
  void loadWebBugProviders() override;
  bool isAllowedWebBugProvider(std::string_view provider) override;

  // The record as it stands (complete after finish()); Filtered is kept up to date.
  [[nodiscard]] const TMessageLogRecord& logRecord() const noexcept { return record_; }
  // The profile that applies, chosen by the sender (for an unset sender: the account's).
  [[nodiscard]] const TSecurityProfile& securityProfile();
  [[nodiscard]] const MailParser::MessageDate& processingTime() const noexcept { return processingTime_; }

 private:
  void chooseProfile(std::string_view address);
  int checkedHTMLHandling(int value, std::string_view option);
  void count(TMessageLogCounter counter);
  void describeFileType(const TAttachmentFileType& fileType, MailParser::AttachmentTypeRule& rule);

  TProxyMessageProcessorInterfaceBase& bridge_;
  MessageProcessorInterfaceOptions options_;
  MailParser::MessageDate processingTime_;
  TMessageLogRecord record_;
  const TSecurityProfile* profile_ = nullptr;
  std::optional<WebBugProviderTables> providers_;
  bool warnedHTMLHandling_ = false;
  std::set<std::string> warnedAttachmentTypes_;
  bool finished_ = false;
  std::unique_ptr<MailParser::MessageProcessor> processor_;
};
