#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/EQuorixException.h"
#include "config/BuiltInSecurityProfiles.h"
#include "config/TAccount.h"
#include "config/TAddressOverride.h"
#include "config/TConfig.h"
#include "config/TConfigRef.h"
#include "engine/MessageProcessorInterface.h"
#include "engine/TProxyMessageProcessorInterface.h"
#include "engine/TProxyMessageProcessorInterfaceFactory.h"
#include "logs/TMessageLogs.h"
#include "support/ScratchFolder.h"

namespace {

using Rule = MailParser::AttachmentTypeRule;

const MailParser::MessageDate kNow{2024, 3, 15, 10, 30, 5, 60};

const std::array<TWebBugProvider, 2> kProviders = {{
    {"adnet", "Ad network", "adnet.example", "192.0.2.0/255.255.255.0"},
    {"pixels", "Pixel host", "pixels.example", ""},
}};

TSecurityProfile* AddProfile(TConfig& config, const std::string& name) {
  auto profile = std::make_unique<TSecurityProfile>();
  TSecurityProfile* kept = profile.get();
  config.SecurityProfiles.Add(name, std::move(profile));
  return kept;
}

// A configuration with the built-in profiles, two of the user's and overrides for one
// address and one domain; an account whose default is "Medium". Lines and status lines that
// come back through the bridge are kept.
class InterfaceTest : public ::testing::Test {
 protected:
  InterfaceTest() : config(new TConfig) {
    CreateDefaultSecurityProfiles(config->SecurityProfiles);
    strict = AddProfile(*config, "Strict");
    strict->RemoveScripting = true;
    relaxed = AddProfile(*config, "Relaxed");
    config->AddressOverrides.AddOverride(std::make_unique<TAddressOverride>("boss@example.com", "Strict"));
    config->AddressOverrides.AddOverride(std::make_unique<TAddressOverride>("partner.example", "Relaxed"));
    config->AddressOverrides.AddOverride(std::make_unique<TAddressOverride>("gone@example.com", "Deleted"));
    config->SetAllowedWebBugProviders({"adnet"});
  }

  MessageProcessorInterfaceOptions Options() {
    MessageProcessorInterfaceOptions options;
    options.processingTime = kNow;
    options.webBugProviders = kProviders;
    options.resolver = [](const std::string&) { return std::nullopt; };
    return options;
  }

  std::unique_ptr<TProxyMessageProcessorInterface> MakeBridge(TMessageLogs* logs = nullptr) {
    return std::make_unique<TProxyMessageProcessorInterface>(
        config, account, [this](std::string_view line) { lines.emplace_back(line); },
        [this](int kind, std::string_view text) { status.emplace_back(kind, text); }, logs, Options());
  }

  // A bridge and its settings interface, for asking the interface directly.
  MessageProcessorInterface& Interface() {
    if (!bridge) bridge = MakeBridge();
    return bridge->Engine();
  }

  [[nodiscard]] std::vector<std::pair<int, std::string>> Warnings() const {
    std::vector<std::pair<int, std::string>> warnings;
    for (const auto& line : status) {
      if (line.first != 0) warnings.push_back(line);
    }
    return warnings;
  }

  TConfigRef config;
  TAccount account{"pop.example.net", 110, "Medium"};
  TSecurityProfile* strict = nullptr;
  TSecurityProfile* relaxed = nullptr;
  std::vector<std::string> lines;
  std::vector<std::pair<int, std::string>> status;
  std::unique_ptr<TProxyMessageProcessorInterface> bridge;
};

TEST_F(InterfaceTest, TheSenderChoosesTheProfileAndAMissingOneFallsBackWithAWarning) {
  AddProfile(*config, "Orphaned-Default-Test");  // keeps the list order honest: found by name, not place
  struct Case {
    const char* sender;
    const char* accountDefault;
    const char* expectedProfile;
    bool warned;
  };
  const Case cases[] = {
      {"boss@example.com", "Medium", "Strict", false},
      {"BOSS@Example.COM", "Medium", "Strict", false},
      {"anyone@partner.example", "Medium", "Relaxed", false},
      {"someone@sub.partner.example", "Medium", "Medium", false},  // domain overrides do not cover subdomains
      {"other@example.org", "Medium", "Medium", false},
      {"", "Low", "Low", false},
      {"gone@example.com", "Low", "Low", true},           // the override's profile was deleted
      {"other@example.org", "Removed", "High", true},     // the account's was
      {"gone@example.com", "Removed", "High", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.sender) + " / " + c.accountDefault);
    status.clear();
    account.DefaultSecurityProfile = c.accountDefault;
    auto bridge = MakeBridge();
    MessageProcessorInterface& settings = bridge->Engine();
    settings.setSenderAddress(c.sender);
    EXPECT_EQ(settings.logRecord().SecurityProfile, c.expectedProfile);
    EXPECT_EQ(settings.logRecord().Sender, c.sender);
    EXPECT_EQ(&settings.securityProfile(), config->SecurityProfiles.FindSecurityProfile(c.expectedProfile));
    EXPECT_EQ(Warnings().size(), c.warned ? 1U : 0U);
  }
}

TEST_F(InterfaceTest, AForcedProfileAppliesToEverySender) {
  MessageProcessorInterfaceOptions options = Options();
  options.forcedSecurityProfile = "Relaxed";
  TProxyMessageProcessorInterface forced(config, account, {}, {}, nullptr, options);
  forced.Engine().setSenderAddress("boss@example.com");  // would be "Strict" by its override
  EXPECT_EQ(&forced.Engine().securityProfile(), relaxed);
  EXPECT_EQ(forced.Engine().logRecord().SecurityProfile, "Relaxed");
}

TEST_F(InterfaceTest, WithoutAnyHighProfileTheBuiltInTemplateApplies) {
  account.DefaultSecurityProfile = "Removed";
  config->SecurityProfiles.Clear();
  MessageProcessorInterface& settings = Interface();
  settings.setSenderAddress("a@example.org");
  EXPECT_EQ(&settings.securityProfile(), &HighSecurityProfile());
  EXPECT_EQ(settings.logRecord().SecurityProfile, "High");
  ASSERT_EQ(Warnings().size(), 1U);
  EXPECT_EQ(Warnings()[0].second,
            "The security profile 'Removed' does not exist; the message was filtered with 'High' instead. Choose an "
            "existing profile in the options.");
}

TEST_F(InterfaceTest, LongSenderAndProfileNamesAreCutInTheRecordOnly) {
  const std::string longName(40, 'P');
  TSecurityProfile* named = AddProfile(*config, longName);
  named->BlockExternalCSS = true;
  const std::string sender = std::string(88, 'x') + "@example.net";  // 100 characters
  config->AddressOverrides.AddOverride(std::make_unique<TAddressOverride>(sender, longName));

  MessageProcessorInterface& settings = Interface();
  settings.setSenderAddress(sender);
  EXPECT_EQ(settings.logRecord().Sender, sender.substr(0, 72));
  EXPECT_EQ(settings.logRecord().SecurityProfile, longName.substr(0, 31));
  EXPECT_TRUE(settings.getBlockExternalCSS());
  EXPECT_TRUE(Warnings().empty());

  settings.setSubject(std::string(80, 's'));
  EXPECT_EQ(settings.logRecord().Subject, std::string(72, 's'));
  // A cut never splits a UTF-8 sequence: 71 bytes and a two-byte letter keep 71.
  settings.setSubject(std::string(71, 's') + "\xc3\xa9" + "tail");
  EXPECT_EQ(settings.logRecord().Subject, std::string(71, 's'));
  // A folded value is one line in the log.
  settings.setSenderAddress("bob@exam\r\n ple.org");
  EXPECT_EQ(settings.logRecord().Sender, "bob@exam ple.org");
}

TEST_F(InterfaceTest, EachProfileOptionReadsItsOwnSetting) {
  using Getter = bool (MessageProcessorInterface::*)();
  struct Case {
    const char* name;
    bool TSecurityProfile::*option;
    Getter getter;
  };
  using I = MessageProcessorInterface;
  using P = TSecurityProfile;
  const Case cases[] = {
      {"BlockMDNReadReceipts", &P::BlockMDNReadReceipts, &I::getBlockMDNReadReceipts},
      {"ChangeMaliciousFilenames", &P::ChangeMaliciousFilenames, &I::getChangeMaliciousFilenames},
      {"BlockUUencodingInNonMime", &P::BlockUUencodingInNonMime, &I::getBlockUUencodingInNonMime},
      {"DetectUUencodingInMime", &P::DetectUUencodingInMime, &I::getDetectUUencodingInMime},
      {"RenameHTMLAttachments", &P::RenameHTMLAttachments, &I::getRenameHTMLAttachments},
      {"RemoveNonStandardHTML", &P::RemoveNonStandardHTML, &I::getRemoveNonStandardHTML},
      {"RemoveScripting", &P::RemoveScripting, &I::getRemoveScripting},
      {"RemoveEmbedding", &P::RemoveEmbedding, &I::getRemoveEmbedding},
      {"RemoveFrames", &P::RemoveFrames, &I::getRemoveFrames},
      {"BlockExternalCSS", &P::BlockExternalCSS, &I::getBlockExternalCSS},
      {"RemoveBLINKTags", &P::RemoveBLINKTags, &I::getRemoveBLINKTags},
      {"RemoveBGSOUNDTags", &P::RemoveBGSOUNDTags, &I::getRemoveBGSOUNDTags},
      {"RemoveMETATags", &P::RemoveMETATags, &I::getRemoveMETATags},
      {"BlockExternalImages", &P::BlockExternalImages, &I::getBlockExternalImages},
      {"BlockImagesWithVariables", &P::BlockImagesWithVariables, &I::getBlockImagesWithVariables},
      {"BlockImagesWithIdentifiers", &P::BlockImagesWithIdentifiers, &I::getBlockImagesWithIdentifiers},
      {"BlockImagesWithCookies", &P::BlockImagesWithCookies, &I::getBlockImagesWithCookies},
      {"Block1x1Images", &P::Block1x1Images, &I::getBlock1x1Images},
      {"AllowSelectedWebBugProviders", &P::AllowSelectedWebBugProviders, &I::getAllowSelectedWebBugProviders},
  };
  for (const Case& on : cases) {
    SCOPED_TRACE(on.name);
    for (const Case& c : cases) relaxed->*c.option = false;
    relaxed->*on.option = true;
    auto bridge = MakeBridge();
    MessageProcessorInterface& settings = bridge->Engine();
    settings.setSenderAddress("a@partner.example");
    for (const Case& c : cases) {
      EXPECT_EQ((settings.*c.getter)(), c.option == on.option) << c.name;
    }
  }
  relaxed->BlockImagesWithIdentifiersSensitivity = 2;
  relaxed->HTMLMessageTextHandling = 3;
  relaxed->HTMLAttachmentsHandling = 2;
  MessageProcessorInterface& settings = Interface();
  settings.setSenderAddress("a@partner.example");
  EXPECT_EQ(settings.getBlockImagesWithIdentifiersSensitivity(), 2);
  EXPECT_EQ(settings.getHTMLMessageTextHandling(), 3);
  EXPECT_EQ(settings.getHTMLAttachmentsHandling(), 2);
  EXPECT_TRUE(settings.getRemoveAllHTML());
}

TEST_F(InterfaceTest, ConfigurationOptionsAndConstants) {
  config->AddEmailFooter = false;
  config->UpdateReceivedDate = true;
  config->UseSenderAddress = true;
  MessageProcessorInterface& settings = Interface();
  EXPECT_FALSE(settings.getAddEmailFooter());
  EXPECT_TRUE(settings.getUpdateReceivedDate());
  EXPECT_TRUE(settings.getUseSenderAddress());
  EXPECT_EQ(settings.getMaxURLLength(), 1000U);
  EXPECT_FALSE(settings.getAllowNetworkSharePaths());
  EXPECT_EQ(settings.getMaxHeaderNameLineLength(), 255U);
  EXPECT_EQ(settings.getMaxLineLength(), 998U);
  EXPECT_EQ(settings.getMaxFilenameLength(), 249U);
  EXPECT_EQ(settings.getDefaultFileExtension(), "___");
  EXPECT_EQ(settings.getQuorixFileExtension(), "qx");
  EXPECT_EQ(settings.getQuorixContentMediaType(), "application");
  EXPECT_EQ(settings.getQuorixContentSubType(), "quorix-renamed");
  EXPECT_EQ(settings.getBoundaryPrefix(), "qx");
  EXPECT_FALSE(settings.hostHasCookies(u"www.example.com"));
}

TEST_F(InterfaceTest, AnHTMLHandlingOutsideZeroToThreeIsFilterWithOneWarningPerMessage) {
  relaxed->HTMLMessageTextHandling = 7;
  relaxed->HTMLAttachmentsHandling = -1;
  for (int message = 0; message < 2; ++message) {
    status.clear();
    auto bridge = MakeBridge();
    MessageProcessorInterface& settings = bridge->Engine();
    settings.setSenderAddress("a@partner.example");
    EXPECT_EQ(settings.getHTMLMessageTextHandling(), 0);
    EXPECT_EQ(settings.getHTMLAttachmentsHandling(), 0);
    EXPECT_EQ(settings.getHTMLMessageTextHandling(), 0);
    ASSERT_EQ(Warnings().size(), 1U);
    EXPECT_EQ(Warnings()[0],
              std::pair(1, std::string("The security profile 'Relaxed' has an invalid HTMLMessageTextHandling (7); "
                                       "its HTML is filtered.")));
  }
}

TEST_F(InterfaceTest, AttachmentTypesComeFromTheChosenProfile) {
  relaxed->AttachmentFileTypes.AddFileType(std::make_unique<TAttachmentFileType>("application/x-msdownload", 2, "exe;.com"));
  relaxed->AttachmentFileTypes.AddFileType(std::make_unique<TAttachmentFileType>("image/jpeg", 0, "jpg;jpeg"));
  relaxed->AttachmentFileTypes.AddFileType(std::make_unique<TAttachmentFileType>("application/x-odd", 9, "odd"));
  MessageProcessorInterface& settings = Interface();
  settings.setSenderAddress("a@partner.example");

  Rule rule;
  ASSERT_TRUE(settings.findFileTypeByExtension("EXE", rule));
  EXPECT_EQ(rule.action, Rule::block);
  EXPECT_EQ(rule.mediaType, "application");
  EXPECT_EQ(rule.subType, "x-msdownload");
  EXPECT_EQ(rule.extensions, (std::vector<std::string>{"exe", "com"}));

  ASSERT_TRUE(settings.findFileTypeByMIMEType("IMAGE", "JPEG", rule));
  EXPECT_EQ(rule.action, Rule::allow);
  EXPECT_EQ(rule.extensions, (std::vector<std::string>{"jpg", "jpeg"}));

  EXPECT_FALSE(settings.findFileTypeByExtension("txt", rule));
  EXPECT_FALSE(settings.findFileTypeByMIMEType("text", "plain", rule));
  EXPECT_TRUE(Warnings().empty());

  // An action nobody can choose blocks, and says so once.
  ASSERT_TRUE(settings.findFileTypeByExtension("odd", rule));
  EXPECT_EQ(rule.action, Rule::block);
  ASSERT_TRUE(settings.findFileTypeByMIMEType("application", "x-odd", rule));
  EXPECT_EQ(rule.action, Rule::block);
  ASSERT_EQ(Warnings().size(), 1U);
  EXPECT_NE(Warnings()[0].second.find("'application/x-odd' an unknown action (9)"), std::string::npos);
}

TEST_F(InterfaceTest, ExtensionsForMIMETypesComeFromTheMIMEDatabase) {
  const Platform::MimeExtensionMap types{{"image/jpeg", ".jpeg"}, {"text/plain", "..txt"}};
  MessageProcessorInterfaceOptions options = Options();
  options.mimeTypes = &types;
  TProxyMessageProcessorInterface own(config, account, {}, {}, nullptr, options);
  EXPECT_EQ(own.Engine().findExtensionForMIMEType("Image", "JPEG"), "jpeg");
  EXPECT_EQ(own.Engine().findExtensionForMIMEType("text", "plain"), "txt");
  EXPECT_EQ(own.Engine().findExtensionForMIMEType("application", "x-unknown"), "");
}

TEST_F(InterfaceTest, WebBugProvidersAreFoundAndAllowedByTheConfiguration) {
  MessageProcessorInterface& settings = Interface();
  struct Case {
    const char* host;
    bool found;
    const char* provider;
    bool allowed;
  };
  const Case cases[] = {
      {"img.eu.adnet.example", true, "adnet", true},
      {"192.0.2.200", true, "adnet", true},
      {"cdn.pixels.example", true, "pixels", false},
      {"www.example.org", false, "", false},
      {"", false, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    std::string provider = "untouched";
    bool allowed = false;
    EXPECT_EQ(settings.findWebBugProvider(c.host, provider, allowed), c.found);
    if (c.found) {
      EXPECT_EQ(provider, c.provider);
      EXPECT_EQ(allowed, c.allowed);
    } else {
      EXPECT_EQ(provider, "untouched");
    }
  }
  EXPECT_TRUE(settings.isAllowedWebBugProvider("adnet"));
  EXPECT_FALSE(settings.isAllowedWebBugProvider("Adnet"));
  EXPECT_FALSE(settings.isAllowedWebBugProvider(""));
}

TEST_F(InterfaceTest, ReceivedFieldNamesServerSenderProfileAndTime) {
  for (const bool updateDate : {false, true}) {
    config->UpdateReceivedDate = updateDate;
    auto bridge = MakeBridge();
    MessageProcessorInterface& settings = bridge->Engine();
    settings.setSenderAddress("boss@example.com");
    EXPECT_EQ(settings.getReceivedHeaderValue(),
              std::string("from pop.example.net by qx for boss@example.com\r\n\t(applied security profile: Strict)") +
                  (updateDate ? "; " : " at ") + "Fri, 15 Mar 2024 10:30:05 +0100");
  }
}

TEST_F(InterfaceTest, FootersAndTheBlockedMessageText) {
  MessageProcessorInterface& settings = Interface();
  EXPECT_EQ(settings.getPlainTextFooter(), std::string(52, '-') +
                                               "\r\nThis message has been processed by Vantorell Quorix.");
  const std::u16string html = settings.getHTMLFooter();
  const std::string narrow(html.begin(), html.end());
  EXPECT_EQ(narrow.rfind("<div style=\"color: #333333; background-color: #EEEEEE; margin-top: 8px;", 0), 0U);
  EXPECT_NE(narrow.find("This message has been processed by <a href=\"https://"), std::string::npos);
  EXPECT_NE(narrow.find(">Vantorell Quorix</a>.</div>\r\n"), std::string::npos);
  EXPECT_EQ(narrow.substr(narrow.size() - 2), "\r\n");

  config->AddEmailFooter = false;
  EXPECT_TRUE(settings.getHTMLFooter().empty());
  EXPECT_EQ(settings.getPlainTextFooter().size(), 52U + 2U + 52U);  // the processor asks AddEmailFooter itself

  EXPECT_EQ(settings.getEntireMessageBlockedText("application/x-msdownload"),
            "The contents of this message has been blocked because the security profile associated with this "
            "message lists the message body as a blocked attachment type (application/x-msdownload).");
}

TEST_F(InterfaceTest, EveryCounterGoesToItsField) {
  using Count = void (MessageProcessorInterface::*)();
  using I = MessageProcessorInterface;
  using C = TMessageLogCounter;
  struct Case {
    Count count;
    C counter;
  };
  const Case cases[] = {
      {&I::countReadReceiptBlocked, C::ReadReceiptsBlocked},
      {&I::countAttachmentBlocked, C::AttachmentsBlocked},
      {&I::countAttachmentRenamed, C::AttachmentsRenamed},
      {&I::countAllHTMLRemoved, C::AllHTMLRemoved},
      {&I::countNonStandardTagRemoved, C::NonStandardHTMLRemoved},
      {&I::countNonStandardAttributeRemoved, C::NonStandardHTMLRemoved},
      {&I::countScriptingRemoved, C::ScriptingRemoved},
      {&I::countEmbeddingRemoved, C::EmbeddingRemoved},
      {&I::countExternalCSSBlocked, C::ExternalCSSBlocked},
      {&I::countUndesiredTagRemoved, C::UndesiredTagsRemoved},
      {&I::countAllowedWebBugProviderImage, C::AllowedProviderImages},
      {&I::countWebBugProviderImageBlocked, C::ProviderImagesBlocked},
      {&I::countExternalImageBlocked, C::ExternalImagesBlocked},
      {&I::countImageWithVariablesBlocked, C::ImagesWithVariablesBlocked},
      {&I::countImageWithIdentifiersBlocked, C::ImagesWithIdentifiersBlocked},
      {&I::countImageWithCookiesBlocked, C::ImagesWithCookiesBlocked},
      {&I::count1x1ImageBlocked, C::Images1x1Blocked},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(MessageLogCounterName(c.counter));
    auto bridge = MakeBridge();
    MessageProcessorInterface& settings = bridge->Engine();
    (settings.*c.count)();
    (settings.*c.count)();
    TMessageLogRecord expected;
    expected.ProcessedDate = kNow.dateTime();
    expected[c.counter] = 2;
    expected.Filtered = c.counter != C::AllowedProviderImages;  // kept images change nothing
    EXPECT_EQ(settings.logRecord(), expected);
  }
}

TEST_F(InterfaceTest, TheMessageDateZoneIsKeptAsSignedHHMM) {
  const std::pair<int, int> cases[] = {{0, 0}, {60, 100}, {-300, -500}, {-330, -530}, {345, 545}, {765, 1245},
                                       {-720, -1200}, {-59, -59}};
  MessageProcessorInterface& settings = Interface();
  for (const auto& [minutes, hhmm] : cases) {
    settings.setMessageDate(45000.25, minutes);
    EXPECT_EQ(settings.logRecord().MessageDateZone, hhmm) << minutes;
    EXPECT_EQ(settings.logRecord().MessageDate, 45000.25);
  }
}

TEST_F(InterfaceTest, OutputTextIsCutIntoLinesAndLongLinesIntoPieces) {
  MessageProcessorInterface& settings = Interface();
  settings.outputLine("From: a\r\n b\r\nTo: c\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"From: a", " b", "To: c", ""}));
  lines.clear();
  settings.outputLine("lone\rCR stays");
  EXPECT_EQ(lines, (std::vector<std::string>{"lone\rCR stays"}));
  lines.clear();
  settings.outputLine(std::string(2500, 'a'), 998);
  ASSERT_EQ(lines.size(), 3U);
  EXPECT_EQ(lines[0].size(), 998U);
  EXPECT_EQ(lines[1].size(), 998U);
  EXPECT_EQ(lines[2].size(), 504U);
}

TEST_F(InterfaceTest, StatusKindsOtherThanWarningAndErrorAreInformation) {
  MessageProcessorInterface& settings = Interface();
  for (const int kind : {0, 1, 2, 3, -1, 110}) settings.outputStatusMessage(kind, "text");
  EXPECT_EQ(status, (std::vector<std::pair<int, std::string>>{
                        {0, "text"}, {1, "text"}, {2, "text"}, {0, "text"}, {0, "text"}, {0, "text"}}));
}

// --- whole messages through the bridges ---

const std::vector<std::string> kMessage = {
    "From: Boss <boss@example.com>",
    "Subject: Quarterly",
    " figures",
    "Date: Thu, 14 Mar 2024 08:00:00 -0500",
    "",
    "Numbers attached.",
    ".hidden dot line",
    "",
};

class LoggedMessageTest : public InterfaceTest {
 protected:
  TMessageLogsOptions LogOptions() {
    return {[this](int kind, std::string_view text) { logStatus.emplace_back(kind, text); }, {},
            [] { return EncodeDate(2024, 3, 15); }};
  }

  std::vector<TMessageLogRecord> Logged(TMessageLogs& logs) {
    std::vector<TMessageLogRecord> records;
    static_cast<void>(logs.LoadLogsByDateTime(EncodeDate(2024, 1, 1), EncodeDate(2024, 12, 31),
                                              [&](TMessageLogRecord&& r) {
                                                records.push_back(std::move(r));
                                                return true;
                                              }));
    return records;
  }

  void Run(TProxyMessageProcessorInterfaceBase& bridge) {
    for (const std::string& line : kMessage) bridge.ProcessLine(line);
    bridge.Finish();
  }

  ScratchFolder scratch;
  std::vector<std::pair<int, std::string>> logStatus;
};

TEST_F(LoggedMessageTest, AFilteredMessageLeavesItsRecordInTheLog) {
  TMessageLogs logs(scratch.Path(), LogOptions());
  auto bridge = MakeBridge(&logs);
  Run(*bridge);
  bridge->Finish();  // a second Finish neither writes nor logs again

  const std::vector<TMessageLogRecord> records = Logged(logs);
  ASSERT_EQ(records.size(), 1U);
  EXPECT_EQ(records[0].SecurityProfile, "Strict");
  EXPECT_EQ(records[0].Sender, "boss@example.com");
  EXPECT_EQ(records[0].Subject, "Quarterly figures");
  EXPECT_EQ(records[0].ProcessedDate, kNow.dateTime());
  EXPECT_EQ(records[0].MessageDate, EncodeDate(2024, 3, 14) + 8.0 / 24);
  EXPECT_EQ(records[0].MessageDateZone, -500);
  EXPECT_FALSE(records[0].Filtered);
  EXPECT_EQ(records[0], bridge->LogRecord());

  ASSERT_GE(lines.size(), 4U);
  EXPECT_EQ(lines[0], "Received: from pop.example.net by qx for boss@example.com");
  EXPECT_EQ(lines[1], "\t(applied security profile: Strict) at Fri, 15 Mar 2024 10:30:05 +0100");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), ".hidden dot line"), 1);
  EXPECT_EQ(lines.back(), "This message has been processed by Vantorell Quorix.");
  for (const std::string& line : lines) EXPECT_EQ(line.find('\n'), std::string::npos) << line;
  EXPECT_TRUE(status.empty());
}

TEST_F(LoggedMessageTest, WithLoggingOffTheMessageIsFilteredButNotLogged) {
  config->SetKeepLogsForDays(-1);
  TMessageLogs logs(scratch.Path() / "logs", LogOptions());
  auto bridge = MakeBridge(&logs);
  Run(*bridge);
  EXPECT_EQ(lines.back(), "This message has been processed by Vantorell Quorix.");
  EXPECT_FALSE(std::filesystem::exists(logs.getMessageLogFilePath("20240315")));
  EXPECT_TRUE(Logged(logs).empty());
}

TEST_F(LoggedMessageTest, ALogThatCannotBeWrittenCostsNoMail) {
  std::ofstream(scratch.Path() / "file") << "not a folder";
  TMessageLogs logs(scratch.Path() / "file" / "logs", LogOptions());
  for (int message = 0; message < 2; ++message) {
    lines.clear();
    auto bridge = MakeBridge(&logs);
    EXPECT_NO_THROW(Run(*bridge));
    EXPECT_FALSE(bridge->Failed());
    EXPECT_EQ(lines.back(), "This message has been processed by Vantorell Quorix.");
  }
  EXPECT_TRUE(status.empty());  // the store reports it, once, not the message
  ASSERT_EQ(logStatus.size(), 1U);
  EXPECT_EQ(logStatus[0].first, kMessageLogStatusWarning);
}

TEST_F(LoggedMessageTest, ThePassThroughBridgeChangesAndLogsNothing) {
  TMessageLogs logs(scratch.Path(), LogOptions());
  auto bridge = PassThroughMessageProcessorFactory()(
      config, account, [this](std::string_view line) { lines.emplace_back(line); },
      [this](int kind, std::string_view text) { status.emplace_back(kind, text); }, &logs);
  Run(*bridge);
  EXPECT_EQ(lines, kMessage);
  EXPECT_TRUE(status.empty());
  EXPECT_TRUE(Logged(logs).empty());
  EXPECT_FALSE(std::filesystem::exists(logs.getMessageLogFilePath("20240315")));

  // Without callbacks it simply drops what it is given.
  TProxyMessageProcessorInterfaceBase silent(config, account, {}, {}, nullptr);
  EXPECT_NO_THROW(silent.ProcessLine("x"));
  EXPECT_NO_THROW(silent.OutputStatusMessage(2, "x"));
}

TEST_F(LoggedMessageTest, TheEngineFactoryGivesEveryBridgeItsOptions) {
  const auto factory = EngineMessageProcessorFactory(Options());
  auto made = factory(config, account, [this](std::string_view line) { lines.emplace_back(line); }, {}, nullptr);
  auto* engineBridge = dynamic_cast<TProxyMessageProcessorInterface*>(made.get());
  ASSERT_NE(engineBridge, nullptr);
  EXPECT_EQ(engineBridge->Engine().processingTime(), kNow);
  Run(*made);
  EXPECT_EQ(engineBridge->LogRecord().SecurityProfile, "Strict");
  // The bridge holds its own reference: the configuration outlives the holder that made it.
  const int before = config->RefCount();
  auto second = factory(config, account, {}, {}, nullptr);
  EXPECT_EQ(config->RefCount(), before + 1);
  second.reset();
  EXPECT_EQ(config->RefCount(), before);
}

// --- failures inside the engine ---

struct Thrown {};

TEST_F(InterfaceTest, EngineFailuresBecomeOneErrorLineAndOneFailure) {
  struct Case {
    const char* name;
    bool atFinish;
    std::function<void()> raise;
    const char* status;
    const char* what;
  };
  const Case cases[] = {
      {"standard, in a line", false, [] { throw std::runtime_error("client went away"); },
       "An internal error occurred processing a message line: client went away", "client went away"},
      {"other, in a line", false, [] { throw Thrown{}; },
       "An internal error occurred processing a message line: a non-standard exception was thrown",
       "a non-standard exception was thrown"},
      {"standard, at the end", true, [] { throw std::invalid_argument("bad footer"); },
       "An internal error occurred processing a message: bad footer", "bad footer"},
      {"other, at the end", true, [] { throw 42; },
       "An internal error occurred processing a message: a non-standard exception was thrown",
       "a non-standard exception was thrown"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    status.clear();
    // The output sink throws on the first body line, or on the footer that the end writes.
    const std::string trigger = c.atFinish ? "This message has been processed by Vantorell Quorix." : "body";
    TProxyMessageProcessorInterface failing(
        config, account,
        [&](std::string_view line) {
          if (line == trigger) c.raise();
        },
        [this](int kind, std::string_view text) { status.emplace_back(kind, text); }, nullptr, Options());
    std::string what = "no failure";
    try {
      failing.ProcessLine("From: a@example.org");
      failing.ProcessLine("");
      failing.ProcessLine("body");
      failing.Finish();
    } catch (const EQuorixException& e) {
      what = e.what();
    }
    EXPECT_EQ(what, c.what);
    EXPECT_EQ(status, (std::vector<std::pair<int, std::string>>{{2, c.status}}));
    EXPECT_TRUE(failing.Failed());
    // Nothing more is taken, reported or logged after a failure.
    EXPECT_NO_THROW(failing.ProcessLine("body"));
    EXPECT_NO_THROW(failing.Finish());
    EXPECT_EQ(status.size(), 1U);
  }
}

}  // namespace
