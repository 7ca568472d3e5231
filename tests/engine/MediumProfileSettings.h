#pragma once

// The fake settings dressed as a real account under the built-in "Medium" profile with the
// configuration's defaults: the profile's options and attachment policy read from config's
// template, the footers from the engine's texts, and the Received value and notice as the real
// settings interface builds them.

#include <string>
#include <string_view>

#include "config/BuiltInSecurityProfiles.h"
#include "config/TAttachmentFileType.h"
#include "config/TSecurityProfile.h"
#include "engine/EngineTexts.h"
#include "engine/MessageDate.h"
#include "mailparser/AttachmentTypeRule.h"
#include "support/FakeMessageProcessorInterface.h"

namespace ProcessorTest {

class MediumProfileSettings : public FakeMessageProcessorInterface {
 public:
  explicit MediumProfileSettings(const MailParser::MessageDate& now) : now_(now) {
    const TSecurityProfile& medium = MediumSecurityProfile();
    auto& o = options;
    o.AddEmailFooter = true;  // the configuration's defaults
    o.UpdateReceivedDate = false;
    o.UseSenderAddress = false;
    o.BlockMDNReadReceipts = medium.BlockMDNReadReceipts;
    o.ChangeMaliciousFilenames = medium.ChangeMaliciousFilenames;
    o.BlockUUencodingInNonMime = medium.BlockUUencodingInNonMime;
    o.DetectUUencodingInMime = medium.DetectUUencodingInMime;
    o.HTMLMessageTextHandling = medium.HTMLMessageTextHandling;
    o.HTMLAttachmentsHandling = medium.HTMLAttachmentsHandling;
    o.RenameHTMLAttachments = medium.RenameHTMLAttachments;
    o.RemoveNonStandardHTML = medium.RemoveNonStandardHTML;
    o.RemoveScripting = medium.RemoveScripting;
    o.RemoveEmbedding = medium.RemoveEmbedding;
    o.RemoveFrames = medium.RemoveFrames;
    o.BlockExternalCSS = medium.BlockExternalCSS;
    o.RemoveBLINKTags = medium.RemoveBLINKTags;
    o.RemoveBGSOUNDTags = medium.RemoveBGSOUNDTags;
    o.RemoveMETATags = medium.RemoveMETATags;
    o.BlockExternalImages = medium.BlockExternalImages;
    o.BlockImagesWithVariables = medium.BlockImagesWithVariables;
    o.BlockImagesWithIdentifiers = medium.BlockImagesWithIdentifiers;
    o.BlockImagesWithIdentifiersSensitivity = medium.BlockImagesWithIdentifiersSensitivity;
    o.BlockImagesWithCookies = medium.BlockImagesWithCookies;
    o.Block1x1Images = medium.Block1x1Images;
    o.AllowSelectedWebBugProviders = medium.AllowSelectedWebBugProviders;
    o.PlainTextFooter = std::string(EngineTexts::rsPlainTextFooter);
    o.HTMLFooter.assign(EngineTexts::rsHTMLFooter.begin(), EngineTexts::rsHTMLFooter.end());  // ASCII

    for (int i = 0; i < medium.AttachmentFileTypes.GetCount(); ++i) {
      const TAttachmentFileType& row = *medium.AttachmentFileTypes.AttachmentFileType(i);
      attachmentTypes.push_back({row.Action, row.MediaType(), row.SubType(), row.Extensions()});
    }
    extensionsByMIMEType = {{"image/gif", "gif"},       {"image/png", "png"},   {"image/jpeg", "jpg"},
                            {"application/pdf", "pdf"}, {"text/plain", "txt"}, {"text/html", "html"}};
  }

  std::string getReceivedHeaderValue() override {
    return "from pop.example.org by qx for " + senderAddress.substr(0, 72) +
           "\r\n\t(applied security profile: Medium)" + (options.UpdateReceivedDate ? "; " : " at ") +
           MailParser::formatMessageDate(now_);
  }
  std::string getEntireMessageBlockedText(std::string_view typeName) override {
    return EngineTexts::EntireMessageBlocked(typeName);
  }

 private:
  MailParser::MessageDate now_;
};

}  // namespace ProcessorTest
