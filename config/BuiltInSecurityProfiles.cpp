#include "config/BuiltInSecurityProfiles.h"

#include <array>
#include <memory>

#include "config/TSecurityProfiles.h"

namespace {

enum Level : std::size_t { Low = 0, Medium = 1, High = 2 };

struct BuiltInFileType {
  const char* MIMEType;
  const char* Extensions;
  std::array<int, 3> Actions;  // Low, Medium, High
};

constexpr int R = TAttachmentFileType::Rename;
constexpr int B = TAttachmentFileType::Block;
constexpr int H = TAttachmentFileType::SeeHTML;

// Low renames everything it does not need to see, Medium blocks what runs code on opening,
// High blocks every listed type. The order matters: lookups take the first matching row.
constexpr std::array<BuiltInFileType, 36> BuiltInFileTypes = {{
    {"text/html", "htm;html", {H, H, H}},
    {"application/octet-stream", "bat;com;exe;pif;scr;shs", {R, B, B}},
    {"application/octet-stream", "386;dll;drv;vxd", {R, R, B}},
    {"text/javascript", "js;jse", {R, B, B}},
    {"text/vbscript", "vb;vba;vbe;vbs", {R, B, B}},
    {"text/scriptlet", "sct;wsc;wsf;wsh", {R, B, B}},
    {"video/x-ms-asf", "asx", {R, R, B}},
    {"application/octet-stream", "bas", {R, R, B}},
    {"application/octet-stream", "chm", {R, B, B}},
    {"application/octet-stream", "cmd", {R, B, B}},
    {"application/octet-stream", "cnf", {R, B, B}},
    {"application/octet-stream", "cpl", {R, B, B}},
    {"application/x-x509-ca-cert", "crt", {R, B, B}},
    {"text/css", "css", {R, R, B}},
    {"application/winhlp", "hlp", {R, R, B}},
    {"application/hta", "hta", {R, B, B}},
    {"application/octet-stream", "ins;isp", {R, B, B}},
    {"application/octet-stream", "lnk", {R, B, B}},
    {"application/x-msaccess", "mdb", {R, R, B}},
    {"application/octet-stream", "ade;adn;adp;mda;mde;mdz", {R, R, B}},
    {"application/octet-stream", "mad;maf;mag;mam;maq;mar;mas;mat;mav;maw", {R, R, B}},
    {"application/octet-stream", "msc", {R, B, B}},
    {"application/octet-stream", "msi;msp", {R, B, B}},
    {"application/octet-stream", "mst", {R, R, B}},
    {"application/octet-stream", "pcd", {R, R, B}},
    {"application/octet-stream", "pl", {R, R, B}},
    {"application/postscript", "ps", {R, R, B}},
    {"application/octet-stream", "py", {R, R, B}},
    {"application/octet-stream", "reg", {R, R, B}},
    {"application/octet-stream", "scf", {R, B, B}},
    {"application/octet-stream", "shb", {R, B, B}},
    {"text/iuls", "uls", {R, B, B}},
    {"application/octet-stream", "url", {R, R, B}},
    {"application/octet-stream", "wiz", {R, B, B}},
    {"application/octet-stream", "xnk", {R, B, B}},
    {"message/external-body", "", {B, B, B}},
}};

void SetOptions(TSecurityProfile& p, Level level) {
  const bool low = level == Low;
  const bool high = level == High;
  p.BlockMDNReadReceipts = !low;
  p.ChangeMaliciousFilenames = true;
  p.BlockUUencodingInNonMime = true;
  p.DetectUUencodingInMime = true;
  p.HTMLMessageTextHandling = high ? TSecurityProfile::HTMLConvertToText : TSecurityProfile::HTMLFilter;
  p.HTMLAttachmentsHandling = high ? TSecurityProfile::HTMLConvertToText : TSecurityProfile::HTMLFilter;
  p.RenameHTMLAttachments = false;
  p.RemoveNonStandardHTML = true;
  p.RemoveScripting = true;
  p.RemoveEmbedding = true;
  p.RemoveFrames = true;
  p.BlockExternalCSS = !low;
  p.RemoveBLINKTags = !low;
  p.RemoveBGSOUNDTags = !low;
  p.RemoveMETATags = true;
  p.BlockExternalImages = high;
  p.BlockImagesWithVariables = !low;
  p.BlockImagesWithIdentifiers = true;
  p.BlockImagesWithIdentifiersSensitivity = static_cast<int>(level);
  p.BlockImagesWithCookies = high;
  p.Block1x1Images = true;
  p.AllowSelectedWebBugProviders = !high;
}

std::unique_ptr<TSecurityProfile> MakeTemplate(Level level) {
  auto profile = std::make_unique<TSecurityProfile>();
  SetOptions(*profile, level);
  for (const BuiltInFileType& row : BuiltInFileTypes) {
    profile->AttachmentFileTypes.AddFileType(
        std::make_unique<TAttachmentFileType>(row.MIMEType, row.Actions[level], row.Extensions));
  }
  return profile;
}

struct Templates {
  std::unique_ptr<const TSecurityProfile> Low = MakeTemplate(Level::Low);
  std::unique_ptr<const TSecurityProfile> Medium = MakeTemplate(Level::Medium);
  std::unique_ptr<const TSecurityProfile> High = MakeTemplate(Level::High);
};

// A function-local static is initialised exactly once even when several threads ask first.
const Templates& BuiltIns() {
  static const Templates templates;
  return templates;
}

}  // namespace

const TSecurityProfile& LowSecurityProfile() {
  return *BuiltIns().Low;
}
const TSecurityProfile& MediumSecurityProfile() {
  return *BuiltIns().Medium;
}
const TSecurityProfile& HighSecurityProfile() {
  return *BuiltIns().High;
}

bool IsBuiltInSecurityProfileName(std::string_view name) noexcept {
  return name == "Low" || name == "Medium" || name == "High";
}

const TSecurityProfile* BuiltInSecurityProfileTemplate(std::string_view name) {
  if (name == "Low") {
    return &LowSecurityProfile();
  }
  if (name == "Medium") {
    return &MediumSecurityProfile();
  }
  if (name == "High") {
    return &HighSecurityProfile();
  }
  return nullptr;
}

void CreateDefaultSecurityProfiles(TSecurityProfiles& profiles) {
  profiles.CreateDefaultSecurityProfile("Low", LowSecurityProfile());
  profiles.CreateDefaultSecurityProfile("Medium", MediumSecurityProfile());
  profiles.CreateDefaultSecurityProfile("High", HighSecurityProfile());
}
