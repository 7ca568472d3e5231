#include "engine/MessageProcessorInterface.h"

#include <ctime>
#include <exception>
#include <limits>
#include <utility>

#include "config/BuiltInSecurityProfiles.h"
#include "config/Globals.h"
#include "config/TAttachmentFileType.h"
#include "engine/EngineTexts.h"
#include "engine/MessageProcessor.h"
#include "engine/TProxyMessageProcessorInterfaceBase.h"
#include "logs/LittleEndian.h"
#include "platform/TRegistryStore.h"

namespace {

// The log's day files follow the local clock, daylight saving included, so the record does
// too; Date and Received stay in standard time (currentMessageDate).
TDateTime localNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return MailParser::currentMessageDate().dateTime();
  return MailParser::messageDateAt(static_cast<std::int64_t>(now), static_cast<int>(local.tm_gmtoff / 60))
      .dateTime();
}

// Folded header text stays one line in the log and in the Received field built from it.
std::string withoutLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c != '\r' && c != '\n') out += c;
  }
  return out;
}

std::string cut(std::string_view text, std::size_t length) {
  return std::string(MessageLogBytes::CutToCapacity(text, length));
}

const Platform::MimeExtensionMap& systemMimeTypes() {
  static const Platform::MimeExtensionMap types = [] {
    try {
      return Platform::ReadMimeTypeFiles(TRegistryStore::DefaultMimeTypeFiles());
    } catch (const std::exception&) {
      return Platform::MimeExtensionMap{};
    }
  }();
  return types;
}

std::u16string widen(std::string_view ascii) {
  return {ascii.begin(), ascii.end()};
}

}  // namespace

MessageProcessorInterface::MessageProcessorInterface(TProxyMessageProcessorInterfaceBase& bridge,
                                                     MessageProcessorInterfaceOptions options)
    : bridge_(bridge),
      options_(std::move(options)),
      processingTime_(options_.processingTime.value_or(MailParser::currentMessageDate())) {
  record_.ProcessedDate = options_.processingTime ? processingTime_.dateTime() : localNow();
  // The browser cookie store would be refreshed here, once per message; there is none yet.
  processor_ = std::make_unique<MailParser::MessageProcessor>(*this, processingTime_);
}

MessageProcessorInterface::~MessageProcessorInterface() = default;

void MessageProcessorInterface::processLine(std::string_view line) { processor_->processLine(line); }

void MessageProcessorInterface::finish() {
  if (finished_) return;
  finished_ = true;
  processor_->end();
  logMessage();
}

void MessageProcessorInterface::outputLine(std::string_view line) {
  // Every line must reach the mail program on its own, so that the POP3 side dot-stuffs each.
  for (auto lineBreak = line.find("\r\n"); lineBreak != std::string_view::npos; lineBreak = line.find("\r\n")) {
    bridge_.OutputLine(line.substr(0, lineBreak));
    line.remove_prefix(lineBreak + 2);
  }
  bridge_.OutputLine(line);
}

void MessageProcessorInterface::setSenderAddress(std::string_view address) {
  record_.Sender = cut(withoutLineBreaks(address), TMessageLogRecord::kSenderLength);
  chooseProfile(address);
}

void MessageProcessorInterface::chooseProfile(std::string_view address) {
  const TConfig& config = bridge_.Config();
  const std::string overrideName = options_.forcedSecurityProfile
                                       ? *options_.forcedSecurityProfile
                                       : config.AddressOverrides.FindSecurityProfile(address);
  const std::string& accountName = bridge_.Account().DefaultSecurityProfile;
  const std::string& wanted = overrideName.empty() ? accountName : overrideName;

  std::string used = wanted;
  profile_ = config.SecurityProfiles.FindSecurityProfile(wanted);
  // A deleted profile may still be named by an override or an account; the mailbox must stay
  // downloadable, and its mail filtered, so the next choice the user made applies, and at
  // worst the strictest built-in profile.
  if (profile_ == nullptr && !overrideName.empty() && (profile_ = config.SecurityProfiles.FindSecurityProfile(
                                                           accountName)) != nullptr) {
    used = accountName;
  }
  if (profile_ == nullptr && (profile_ = config.SecurityProfiles.FindSecurityProfile("High")) != nullptr) {
    used = "High";
  }
  if (profile_ == nullptr) {
    profile_ = &HighSecurityProfile();
    used = "High";
  }
  if (used != wanted) {
    outputStatusMessage(statusWarning, EngineTexts::MissingProfile(wanted, used));
  }
  record_.SecurityProfile = cut(used, TMessageLogRecord::kSecurityProfileLength);
}

const TSecurityProfile& MessageProcessorInterface::securityProfile() {
  if (profile_ == nullptr) chooseProfile({});
  return *profile_;
}

void MessageProcessorInterface::setSubject(std::string_view subject) {
  record_.Subject = cut(withoutLineBreaks(subject), TMessageLogRecord::kSubjectLength);
}

void MessageProcessorInterface::setMessageDate(TDateTime dateTime, int zoneOffsetMinutes) {
  record_.MessageDate = dateTime;
  record_.MessageDateZone = zoneOffsetMinutes / 60 * 100 + zoneOffsetMinutes % 60;
}

bool MessageProcessorInterface::getAddEmailFooter() { return bridge_.Config().AddEmailFooter; }
bool MessageProcessorInterface::getUpdateReceivedDate() { return bridge_.Config().UpdateReceivedDate; }
bool MessageProcessorInterface::getUseSenderAddress() { return bridge_.Config().UseSenderAddress; }

bool MessageProcessorInterface::getBlockMDNReadReceipts() { return securityProfile().BlockMDNReadReceipts; }
bool MessageProcessorInterface::getChangeMaliciousFilenames() { return securityProfile().ChangeMaliciousFilenames; }
bool MessageProcessorInterface::getBlockUUencodingInNonMime() { return securityProfile().BlockUUencodingInNonMime; }
bool MessageProcessorInterface::getDetectUUencodingInMime() { return securityProfile().DetectUUencodingInMime; }

int MessageProcessorInterface::checkedHTMLHandling(int value, std::string_view option) {
  if (value >= htmlFilter && value <= htmlConvertToText) return value;
  // Failing here would fail every HTML message of the profile for good; filtering is the
  // safe reading of a value nobody chose.
  if (!warnedHTMLHandling_) {
    warnedHTMLHandling_ = true;
    outputStatusMessage(statusWarning, EngineTexts::InvalidHTMLHandling(record_.SecurityProfile, option, value));
  }
  return htmlFilter;
}

int MessageProcessorInterface::getHTMLMessageTextHandling() {
  return checkedHTMLHandling(securityProfile().HTMLMessageTextHandling, "HTMLMessageTextHandling");
}
int MessageProcessorInterface::getHTMLAttachmentsHandling() {
  return checkedHTMLHandling(securityProfile().HTMLAttachmentsHandling, "HTMLAttachmentsHandling");
}
bool MessageProcessorInterface::getRenameHTMLAttachments() { return securityProfile().RenameHTMLAttachments; }
bool MessageProcessorInterface::getRemoveNonStandardHTML() { return securityProfile().RemoveNonStandardHTML; }
bool MessageProcessorInterface::getRemoveScripting() { return securityProfile().RemoveScripting; }
bool MessageProcessorInterface::getRemoveEmbedding() { return securityProfile().RemoveEmbedding; }
bool MessageProcessorInterface::getRemoveFrames() { return securityProfile().RemoveFrames; }
bool MessageProcessorInterface::getBlockExternalCSS() { return securityProfile().BlockExternalCSS; }
bool MessageProcessorInterface::getRemoveBLINKTags() { return securityProfile().RemoveBLINKTags; }
bool MessageProcessorInterface::getRemoveBGSOUNDTags() { return securityProfile().RemoveBGSOUNDTags; }
bool MessageProcessorInterface::getRemoveMETATags() { return securityProfile().RemoveMETATags; }
// The profile publishes RemoveAllHTML only to read what earlier versions stored; loading
// turns it into HTMLMessageTextHandling 3, which the engine reads instead.
bool MessageProcessorInterface::getRemoveAllHTML() {
  return getHTMLMessageTextHandling() == htmlConvertToText;
}
bool MessageProcessorInterface::getBlockExternalImages() { return securityProfile().BlockExternalImages; }
bool MessageProcessorInterface::getBlockImagesWithVariables() { return securityProfile().BlockImagesWithVariables; }
bool MessageProcessorInterface::getBlockImagesWithIdentifiers() {
  return securityProfile().BlockImagesWithIdentifiers;
}
int MessageProcessorInterface::getBlockImagesWithIdentifiersSensitivity() {
  return securityProfile().BlockImagesWithIdentifiersSensitivity;
}
bool MessageProcessorInterface::getBlockImagesWithCookies() { return securityProfile().BlockImagesWithCookies; }
bool MessageProcessorInterface::getBlock1x1Images() { return securityProfile().Block1x1Images; }
bool MessageProcessorInterface::getAllowSelectedWebBugProviders() {
  return securityProfile().AllowSelectedWebBugProviders;
}

std::string MessageProcessorInterface::findExtensionForMIMEType(std::string_view mediaType,
                                                                std::string_view subType) {
  const Platform::MimeExtensionMap& types = options_.mimeTypes != nullptr ? *options_.mimeTypes : systemMimeTypes();
  std::string type(mediaType);
  type += '/';
  type += subType;
  const auto found = types.find(type);
  if (found == types.end()) return {};
  std::string extension = found->second;
  extension.erase(0, extension.find_first_not_of('.'));
  return extension;
}

void MessageProcessorInterface::describeFileType(const TAttachmentFileType& fileType,
                                                 MailParser::AttachmentTypeRule& rule) {
  rule.action = fileType.Action;
  if (rule.action < MailParser::AttachmentTypeRule::allow || rule.action > MailParser::AttachmentTypeRule::seeHTML) {
    // An action nobody chose must not let the attachment through.
    if (warnedAttachmentTypes_.insert(fileType.MIMEType).second) {
      outputStatusMessage(statusWarning, EngineTexts::UnknownAttachmentAction(record_.SecurityProfile,
                                                                              fileType.MIMEType, fileType.Action));
    }
    rule.action = MailParser::AttachmentTypeRule::block;
  }
  rule.mediaType = fileType.MediaType();
  rule.subType = fileType.SubType();
  rule.extensions.clear();
  for (const std::string& extension : fileType.Extensions()) {
    const auto start = extension.find_first_not_of('.');
    if (start != std::string::npos) rule.extensions.push_back(extension.substr(start));
  }
}

bool MessageProcessorInterface::findFileTypeByMIMEType(std::string_view mediaType, std::string_view subType,
                                                       MailParser::AttachmentTypeRule& rule) {
  const TAttachmentFileType* type = securityProfile().AttachmentFileTypes.FindFileTypeByMIMEType(mediaType, subType);
  if (type == nullptr) return false;
  describeFileType(*type, rule);
  return true;
}

bool MessageProcessorInterface::findFileTypeByExtension(std::string_view extension,
                                                        MailParser::AttachmentTypeRule& rule) {
  const TAttachmentFileType* type = securityProfile().AttachmentFileTypes.FindFileTypeByExtension(extension);
  if (type == nullptr) return false;
  describeFileType(*type, rule);
  return true;
}

void MessageProcessorInterface::loadWebBugProviders() {
  if (!providers_) providers_.emplace(options_.webBugProviders, options_.resolver);
}

bool MessageProcessorInterface::findWebBugProvider(std::string_view host, std::string& provider, bool& allowed) {
  if (host.empty()) return false;
  loadWebBugProviders();
  auto found = providers_->findProvider(host);
  if (!found) return false;
  allowed = isAllowedWebBugProvider(*found);
  provider = std::move(*found);
  return true;
}

bool MessageProcessorInterface::isAllowedWebBugProvider(std::string_view provider) {
  for (const std::string& allowed : bridge_.Config().GetAllowedWebBugProviders()) {
    if (allowed == provider) return true;
  }
  return false;
}

bool MessageProcessorInterface::hostHasCookies(std::u16string_view /*host*/) { return false; }

std::string MessageProcessorInterface::getReceivedHeaderValue() {
  static_cast<void>(securityProfile());  // names the profile in the record
  std::string value = "from " + bridge_.Account().RemoteHostname + " by qx for " + record_.Sender + "\r\n\t" +
                      "(applied security profile: " + record_.SecurityProfile + ")";
  // After "; " the time is the field's date, which mail programs may show as the time of
  // receipt; after " at " it is a remark only.
  value += getUpdateReceivedDate() ? "; " : " at ";
  value += MailParser::formatMessageDate(processingTime_);
  return value;
}

std::string MessageProcessorInterface::getPlainTextFooter() { return std::string(EngineTexts::rsPlainTextFooter); }

std::u16string MessageProcessorInterface::getHTMLFooter() {
  return getAddEmailFooter() ? widen(EngineTexts::rsHTMLFooter) : std::u16string();
}

std::string MessageProcessorInterface::getEntireMessageBlockedText(std::string_view typeName) {
  return EngineTexts::EntireMessageBlocked(typeName);
}

std::string MessageProcessorInterface::getDefaultFileExtension() { return std::string(DefaultFileExtension); }
std::string MessageProcessorInterface::getQuorixFileExtension() { return std::string(QuorixFileExtension); }
std::string MessageProcessorInterface::getQuorixContentMediaType() { return std::string(QuorixContentMediaType); }
std::string MessageProcessorInterface::getQuorixContentSubType() { return std::string(QuorixContentSubType); }
std::string MessageProcessorInterface::getBoundaryPrefix() { return "qx"; }

void MessageProcessorInterface::count(TMessageLogCounter counter) {
  std::int32_t& value = record_[counter];
  if (value < std::numeric_limits<std::int32_t>::max()) ++value;
  record_.Filtered = record_.HasFilteringCounts();
}

void MessageProcessorInterface::countReadReceiptBlocked() { count(TMessageLogCounter::ReadReceiptsBlocked); }
void MessageProcessorInterface::countAttachmentBlocked() { count(TMessageLogCounter::AttachmentsBlocked); }
void MessageProcessorInterface::countAttachmentRenamed() { count(TMessageLogCounter::AttachmentsRenamed); }
void MessageProcessorInterface::countAllHTMLRemoved() { count(TMessageLogCounter::AllHTMLRemoved); }
void MessageProcessorInterface::countNonStandardTagRemoved() { count(TMessageLogCounter::NonStandardHTMLRemoved); }
void MessageProcessorInterface::countNonStandardAttributeRemoved() {
  count(TMessageLogCounter::NonStandardHTMLRemoved);
}
void MessageProcessorInterface::countScriptingRemoved() { count(TMessageLogCounter::ScriptingRemoved); }
void MessageProcessorInterface::countEmbeddingRemoved() { count(TMessageLogCounter::EmbeddingRemoved); }
void MessageProcessorInterface::countExternalCSSBlocked() { count(TMessageLogCounter::ExternalCSSBlocked); }
void MessageProcessorInterface::countUndesiredTagRemoved() { count(TMessageLogCounter::UndesiredTagsRemoved); }
void MessageProcessorInterface::countAllowedWebBugProviderImage() {
  count(TMessageLogCounter::AllowedProviderImages);
}
void MessageProcessorInterface::countWebBugProviderImageBlocked() {
  count(TMessageLogCounter::ProviderImagesBlocked);
}
void MessageProcessorInterface::countExternalImageBlocked() { count(TMessageLogCounter::ExternalImagesBlocked); }
void MessageProcessorInterface::countImageWithVariablesBlocked() {
  count(TMessageLogCounter::ImagesWithVariablesBlocked);
}
void MessageProcessorInterface::countImageWithIdentifiersBlocked() {
  count(TMessageLogCounter::ImagesWithIdentifiersBlocked);
}
void MessageProcessorInterface::countImageWithCookiesBlocked() {
  count(TMessageLogCounter::ImagesWithCookiesBlocked);
}
void MessageProcessorInterface::count1x1ImageBlocked() { count(TMessageLogCounter::Images1x1Blocked); }

void MessageProcessorInterface::outputStatusMessage(int kind, std::string_view text) {
  if (kind != statusWarning && kind != statusError) kind = statusInformation;
  bridge_.OutputStatusMessage(kind, text);
}

void MessageProcessorInterface::logMessage() {
  TMessageLogs* logs = bridge_.MessageLogs();
  if (logs == nullptr || bridge_.Config().KeepLogsForDays() < 0) return;
  try {
    // The store reports its own failures once and stops logging; the result only says so.
    static_cast<void>(logs->AddMessageLog(record_));
  } catch (const std::exception& e) {
    outputStatusMessage(statusWarning, EngineTexts::LoggingFailed(e.what()));
  }
}
