#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/AsciiCase.h"
#include "mailparser/IMessageProcessorInterface.h"

// A settings interface for engine tests: every option is a public member to set, every
// counter call is recorded under the name of its message-log field, and every line and status
// message is kept. processLine and finish belong to the real interface, which owns a
// processor; here they only record.
class FakeMessageProcessorInterface : public MailParser::IMessageProcessorInterface {
 public:
  struct Options {
    bool AddEmailFooter = false;
    bool UpdateReceivedDate = false;
    bool UseSenderAddress = false;
    bool BlockMDNReadReceipts = false;
    bool ChangeMaliciousFilenames = false;
    bool BlockUUencodingInNonMime = false;
    bool DetectUUencodingInMime = false;
    int HTMLMessageTextHandling = htmlFilter;
    int HTMLAttachmentsHandling = htmlFilter;
    bool RenameHTMLAttachments = false;
    bool RemoveNonStandardHTML = false;
    bool RemoveScripting = false;
    bool RemoveEmbedding = false;
    bool RemoveFrames = false;
    bool BlockExternalCSS = false;
    bool RemoveBLINKTags = false;
    bool RemoveBGSOUNDTags = false;
    bool RemoveMETATags = false;
    bool RemoveAllHTML = false;
    bool BlockExternalImages = false;
    bool BlockImagesWithVariables = false;
    bool BlockImagesWithIdentifiers = false;
    int BlockImagesWithIdentifiersSensitivity = sensitivityLow;
    bool BlockImagesWithCookies = false;
    bool Block1x1Images = false;
    bool AllowSelectedWebBugProviders = false;

    std::size_t MaxURLLength = 1000;
    bool AllowNetworkSharePaths = false;
    std::size_t MaxHeaderNameLineLength = 255;
    std::size_t MaxLineLength = 998;
    std::size_t MaxFilenameLength = 249;
    std::u16string HTMLFooter;
    std::string PlainTextFooter = "----\r\nprocessed";
    std::string ReceivedHeaderValue = "from test by qx";
  };

  // What findWebBugProvider finds: the provider's name and whether it is allowed, by host
  // exactly as asked (the real look-up also tries the domains above the host).
  struct Provider {
    std::string name;
    bool allowed = false;
  };

  Options options;
  std::map<std::string, Provider, std::less<>> providers;
  std::vector<std::string> hostsWithCookies;
  // The attachment policy, searched in order.
  std::vector<MailParser::AttachmentTypeRule> attachmentTypes;
  std::map<std::string, std::string, std::less<>> extensionsByMIMEType;  // "text/plain" -> "txt"

  // Counter name (the message-log field) -> calls; only counters that were called appear.
  std::map<std::string, int> counts;
  std::vector<std::string> lines;
  std::vector<std::pair<int, std::string>> statusMessages;
  std::vector<std::string> processedLines;
  std::vector<std::string> providerLookups;
  std::string senderAddress, subject;
  TDateTime messageDate = 0;
  int messageZoneOffsetMinutes = 0;
  bool finished = false, logged = false;

  void processLine(std::string_view line) override { processedLines.emplace_back(line); }
  void finish() override { finished = true; }
  void outputLine(std::string_view line) override { lines.emplace_back(line); }
  using IMessageProcessorInterface::outputLine;

  void setSenderAddress(std::string_view address) override { senderAddress = address; }
  void setSubject(std::string_view text) override { subject = text; }
  void setMessageDate(TDateTime dateTime, int zoneOffsetMinutes) override {
    messageDate = dateTime;
    messageZoneOffsetMinutes = zoneOffsetMinutes;
  }

  bool getAddEmailFooter() override { return options.AddEmailFooter; }
  bool getUpdateReceivedDate() override { return options.UpdateReceivedDate; }
  bool getUseSenderAddress() override { return options.UseSenderAddress; }
  bool getBlockMDNReadReceipts() override { return options.BlockMDNReadReceipts; }
  bool getChangeMaliciousFilenames() override { return options.ChangeMaliciousFilenames; }
  bool getBlockUUencodingInNonMime() override { return options.BlockUUencodingInNonMime; }
  bool getDetectUUencodingInMime() override { return options.DetectUUencodingInMime; }
  int getHTMLMessageTextHandling() override { return options.HTMLMessageTextHandling; }
  int getHTMLAttachmentsHandling() override { return options.HTMLAttachmentsHandling; }
  bool getRenameHTMLAttachments() override { return options.RenameHTMLAttachments; }
  bool getRemoveNonStandardHTML() override { return options.RemoveNonStandardHTML; }
  bool getRemoveScripting() override { return options.RemoveScripting; }
  bool getRemoveEmbedding() override { return options.RemoveEmbedding; }
  bool getRemoveFrames() override { return options.RemoveFrames; }
  bool getBlockExternalCSS() override { return options.BlockExternalCSS; }
  bool getRemoveBLINKTags() override { return options.RemoveBLINKTags; }
  bool getRemoveBGSOUNDTags() override { return options.RemoveBGSOUNDTags; }
  bool getRemoveMETATags() override { return options.RemoveMETATags; }
  bool getRemoveAllHTML() override { return options.RemoveAllHTML; }
  bool getBlockExternalImages() override { return options.BlockExternalImages; }
  bool getBlockImagesWithVariables() override { return options.BlockImagesWithVariables; }
  bool getBlockImagesWithIdentifiers() override { return options.BlockImagesWithIdentifiers; }
  int getBlockImagesWithIdentifiersSensitivity() override { return options.BlockImagesWithIdentifiersSensitivity; }
  bool getBlockImagesWithCookies() override { return options.BlockImagesWithCookies; }
  bool getBlock1x1Images() override { return options.Block1x1Images; }
  bool getAllowSelectedWebBugProviders() override { return options.AllowSelectedWebBugProviders; }

  std::size_t getMaxURLLength() override { return options.MaxURLLength; }
  bool getAllowNetworkSharePaths() override { return options.AllowNetworkSharePaths; }
  std::size_t getMaxHeaderNameLineLength() override { return options.MaxHeaderNameLineLength; }
  std::size_t getMaxLineLength() override { return options.MaxLineLength; }

  std::string findExtensionForMIMEType(std::string_view mediaType, std::string_view subType) override {
    const auto found = extensionsByMIMEType.find(std::string(mediaType) + "/" + std::string(subType));
    return found == extensionsByMIMEType.end() ? std::string() : found->second;
  }
  bool findFileTypeByMIMEType(std::string_view mediaType, std::string_view subType,
                              MailParser::AttachmentTypeRule& rule) override {
    for (const auto& candidate : attachmentTypes) {
      if (caseInsensitiveEquals(candidate.mediaType, mediaType) && caseInsensitiveEquals(candidate.subType, subType)) {
        rule = candidate;
        return true;
      }
    }
    return false;
  }
  bool findFileTypeByExtension(std::string_view extension, MailParser::AttachmentTypeRule& rule) override {
    for (const auto& candidate : attachmentTypes) {
      for (const auto& own : candidate.extensions) {
        if (caseInsensitiveEquals(own, extension)) {
          rule = candidate;
          return true;
        }
      }
    }
    return false;
  }

  bool findWebBugProvider(std::string_view host, std::string& provider, bool& allowed) override {
    providerLookups.emplace_back(host);
    const auto found = providers.find(host);
    if (found == providers.end()) return false;
    provider = found->second.name;
    allowed = found->second.allowed;
    return true;
  }
  bool hostHasCookies(std::u16string_view host) override {
    std::string narrow;
    for (const char16_t c : host) narrow += static_cast<char>(c & 0xFF);
    for (const auto& known : hostsWithCookies) {
      if (known == narrow) return true;
    }
    return false;
  }

  std::string getReceivedHeaderValue() override { return options.ReceivedHeaderValue; }
  std::string getPlainTextFooter() override { return options.PlainTextFooter; }
  std::u16string getHTMLFooter() override { return options.HTMLFooter; }
  std::string getEntireMessageBlockedText(std::string_view typeName) override {
    return "blocked (" + std::string(typeName) + ")";
  }

  std::size_t getMaxFilenameLength() override { return options.MaxFilenameLength; }
  std::string getDefaultFileExtension() override { return "___"; }
  std::string getQuorixFileExtension() override { return "qx"; }
  std::string getQuorixContentMediaType() override { return "application"; }
  std::string getQuorixContentSubType() override { return "quorix-renamed"; }
  std::string getBoundaryPrefix() override { return "qx"; }

  void countReadReceiptBlocked() override { ++counts["ReadReceiptsBlocked"]; }
  void countAttachmentBlocked() override { ++counts["AttachmentsBlocked"]; }
  void countAttachmentRenamed() override { ++counts["AttachmentsRenamed"]; }
  void countAllHTMLRemoved() override { ++counts["AllHTMLRemoved"]; }
  void countNonStandardTagRemoved() override { ++counts["NonStandardHTMLRemoved"]; }
  void countNonStandardAttributeRemoved() override { ++counts["NonStandardHTMLRemoved"]; }
  void countScriptingRemoved() override { ++counts["ScriptingRemoved"]; }
  void countEmbeddingRemoved() override { ++counts["EmbeddingRemoved"]; }
  void countExternalCSSBlocked() override { ++counts["ExternalCSSBlocked"]; }
  void countUndesiredTagRemoved() override { ++counts["UndesiredTagsRemoved"]; }
  void countAllowedWebBugProviderImage() override { ++counts["AllowedProviderImages"]; }
  void countWebBugProviderImageBlocked() override { ++counts["ProviderImagesBlocked"]; }
  void countExternalImageBlocked() override { ++counts["ExternalImagesBlocked"]; }
  void countImageWithVariablesBlocked() override { ++counts["ImagesWithVariablesBlocked"]; }
  void countImageWithIdentifiersBlocked() override { ++counts["ImagesWithIdentifiersBlocked"]; }
  void countImageWithCookiesBlocked() override { ++counts["ImagesWithCookiesBlocked"]; }
  void count1x1ImageBlocked() override { ++counts["Images1x1Blocked"]; }

  void outputStatusMessage(int kind, std::string_view text) override { statusMessages.emplace_back(kind, text); }

  void logMessage() override { logged = true; }
  void loadWebBugProviders() override {}
  bool isAllowedWebBugProvider(std::string_view provider) override {
    for (const auto& [host, known] : providers) {
      if (known.name == provider) return known.allowed;
    }
    return false;
  }
};
