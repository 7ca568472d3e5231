#pragma once

// The fake settings dressed as a real account under the built-in "Medium" profile with the
// configuration's defaults: the profile's options and attachment policy (as
// config/BuiltInSecurityProfiles.cpp makes them; the engine tests do not link config), the
// Received value, footers and notice as the real settings interface builds them.

#include <string>
#include <string_view>
#include <vector>

#include "engine/MessageDate.h"
#include "mailparser/AttachmentTypeRule.h"
#include "support/FakeMessageProcessorInterface.h"

namespace ProcessorTest {

class MediumProfileSettings : public FakeMessageProcessorInterface {
 public:
  explicit MediumProfileSettings(const MailParser::MessageDate& now) : now_(now) {
    auto& o = options;
    o.AddEmailFooter = true;  // the configuration's defaults
    o.UpdateReceivedDate = false;
    o.UseSenderAddress = false;
    o.BlockMDNReadReceipts = true;
    o.ChangeMaliciousFilenames = true;
    o.BlockUUencodingInNonMime = true;
    o.DetectUUencodingInMime = true;
    o.HTMLMessageTextHandling = htmlFilter;
    o.HTMLAttachmentsHandling = htmlFilter;
    o.RenameHTMLAttachments = false;
    o.RemoveNonStandardHTML = true;
    o.RemoveScripting = true;
    o.RemoveEmbedding = true;
    o.RemoveFrames = true;
    o.BlockExternalCSS = true;
    o.RemoveBLINKTags = true;
    o.RemoveBGSOUNDTags = true;
    o.RemoveMETATags = true;
    o.BlockExternalImages = false;
    o.BlockImagesWithVariables = true;
    o.BlockImagesWithIdentifiers = true;
    o.BlockImagesWithIdentifiersSensitivity = sensitivityMedium;
    o.BlockImagesWithCookies = false;
    o.Block1x1Images = true;
    o.AllowSelectedWebBugProviders = true;
    o.PlainTextFooter = std::string(52, '-') + "\r\nThis message has been processed by Vantorell Quorix.";
    o.HTMLFooter =
        u"<div style=\"color: #333333; background-color: #EEEEEE; margin-top: 8px; padding: 4px; font: 8pt "
        u"Verdana, Arial, Helvetica; text-align: left;\">This message has been processed by <a style=\"color: "
        u"#E20A16; font: 8pt Verdana, Arial, Helvetica;\" href=\"https://quorix.example/\">Vantorell Quorix</a>."
        u"</div>\r\n";

    using Rule = MailParser::AttachmentTypeRule;
    constexpr int R = Rule::rename;
    constexpr int B = Rule::block;
    const struct {
      const char* type;
      std::vector<std::string> extensions;
      int action;
    } rows[] = {
        {"text/html", {"htm", "html"}, Rule::seeHTML},
        {"application/octet-stream", {"bat", "com", "exe", "pif", "scr", "shs"}, B},
        {"application/octet-stream", {"386", "dll", "drv", "vxd"}, R},
        {"text/javascript", {"js", "jse"}, B},
        {"text/vbscript", {"vb", "vba", "vbe", "vbs"}, B},
        {"text/scriptlet", {"sct", "wsc", "wsf", "wsh"}, B},
        {"video/x-ms-asf", {"asx"}, R},
        {"application/octet-stream", {"bas"}, R},
        {"application/octet-stream", {"chm"}, B},
        {"application/octet-stream", {"cmd"}, B},
        {"application/octet-stream", {"cnf"}, B},
        {"application/octet-stream", {"cpl"}, B},
        {"application/x-x509-ca-cert", {"crt"}, B},
        {"text/css", {"css"}, R},
        {"application/winhlp", {"hlp"}, R},
        {"application/hta", {"hta"}, B},
        {"application/octet-stream", {"ins", "isp"}, B},
        {"application/octet-stream", {"lnk"}, B},
        {"application/x-msaccess", {"mdb"}, R},
        {"application/octet-stream", {"ade", "adn", "adp", "mda", "mde", "mdz"}, R},
        {"application/octet-stream", {"mad", "maf", "mag", "mam", "maq", "mar", "mas", "mat", "mav", "maw"}, R},
        {"application/octet-stream", {"msc"}, B},
        {"application/octet-stream", {"msi", "msp"}, B},
        {"application/octet-stream", {"mst"}, R},
        {"application/octet-stream", {"pcd"}, R},
        {"application/octet-stream", {"pl"}, R},
        {"application/postscript", {"ps"}, R},
        {"application/octet-stream", {"py"}, R},
        {"application/octet-stream", {"reg"}, R},
        {"application/octet-stream", {"scf"}, B},
        {"application/octet-stream", {"shb"}, B},
        {"text/iuls", {"uls"}, B},
        {"application/octet-stream", {"url"}, R},
        {"application/octet-stream", {"wiz"}, B},
        {"application/octet-stream", {"xnk"}, B},
        {"message/external-body", {}, B},
    };
    for (const auto& row : rows) {
      const std::string_view type = row.type;
      const auto slash = type.find('/');
      attachmentTypes.push_back(
          {row.action, std::string(type.substr(0, slash)), std::string(type.substr(slash + 1)), row.extensions});
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
    return "The contents of this message has been blocked because the security profile associated with this "
           "message lists the message body as a blocked attachment type (" +
           std::string(typeName) + ").";
  }

 private:
  MailParser::MessageDate now_;
};

}  // namespace ProcessorTest
