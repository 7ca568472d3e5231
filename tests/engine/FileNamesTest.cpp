#include "engine/FileNames.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace MailParser;

TEST(FileNames, ExtensionAndBaseName) {
  struct Case {
    const char* name;
    const char* extension;
    const char* base;
  };
  const Case cases[] = {
      {"report.pdf", "pdf", "report"},
      {"a.tar.gz", "gz", "a.tar"},
      {"exe.", "", "exe"},
      {"x.exe...", "exe", "x"},
      {".profile", "profile", ""},
      {"noextension", "", "noextension"},
      {"...", "", ""},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(extensionOf(c.name), c.extension) << c.name;
    EXPECT_EQ(baseNameOf(c.name), c.base) << c.name;
  }
}

TEST(FileNames, Sanitise) {
  struct Case {
    const char* what;
    std::string name;
    std::string safe;
  };
  const Case cases[] = {
      {"characters a file system or shell reads", "re:port?.exe", "re_port_.exe"},
      {"all of them", "a/b\\c:d*e?f<g>h|i", "a_b_c_d_e_f_g_h_i"},
      {"a dot right after a dot", "doc.pdf....exe", "doc.pdf._._exe"},
      {"dots and spaces at the ends", " ..secret.txt. ", "_secret.txt"},
      {"controls, NUL and 8-bit bytes", std::string("a\0b\tc\x7f\xe9.txt", 11), "a_b_c\x7f_.txt"},
      {"the double quote stays", "say\"hi\".txt", "say\"hi\".txt"},
      {"a class-identifier suffix", "file.txt.{3050F4D8-98B5-11CF-BB82-00AA00BDCE0B}", "file.txt"},
      {"lower-case class identifier, then trimmed", "run.exe .{3050f4d8-98b5-11cf-bb82-00aa00bdce0b}", "run.exe"},
      {"not a class identifier: a digit short", "file.txt.{3050F4D8-98B5-11CF-BB82-00AA00BDCE0}",
       "file.txt.{3050F4D8-98B5-11CF-BB82-00AA00BDCE0}"},
      {"a bare class identifier has no dot left to strip", ".{3050F4D8-98B5-11CF-BB82-00AA00BDCE0B}",
       "{3050F4D8-98B5-11CF-BB82-00AA00BDCE0B}"},
      {"the class identifier must be the end", "a.{3050F4D8-98B5-11CF-BB82-00AA00BDCE0B}.exe",
       "a.{3050F4D8-98B5-11CF-BB82-00AA00BDCE0B}.exe"},
      {"only dots", "....", "_._"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sanitiseFileName(c.name, 249), c.safe) << c.what;
  }
}

TEST(FileNames, SanitiseShortensTheBaseNameFirst) {
  const std::string longName = std::string(300, 'a') + ".exe";
  EXPECT_EQ(sanitiseFileName(longName, 249), std::string(245, 'a') + ".exe");
  // Without an extension the name is cut to leave room for the dot it ends in.
  EXPECT_EQ(sanitiseFileName(std::string(300, 'b'), 249), std::string(248, 'b') + ".");
  // An extension longer than the limit is cut once the base name is gone.
  EXPECT_EQ(sanitiseFileName("x." + std::string(300, 'e'), 10), "." + std::string(9, 'e'));
  // At the limit nothing changes.
  EXPECT_EQ(sanitiseFileName(std::string(245, 'a') + ".exe", 249), std::string(245, 'a') + ".exe");
}

TEST(FileNames, RenamedAndNumbered) {
  EXPECT_EQ(renamedFileName("invoice.exe", "qx"), "invoice.exe.qx");
  EXPECT_EQ(numberedFileName(1, "doc"), "ATT00001.doc");
  EXPECT_EQ(numberedFileName(123456, "___"), "ATT123456.___");
}

}  // namespace
