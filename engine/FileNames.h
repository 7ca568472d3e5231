#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The file-name operations of the attachment policy, on names as bytes. Dots and spaces are
// the only characters with a meaning here; every comparison of names elsewhere ignores ASCII
// letter case.

namespace MailParser {

// The text after the last "." once trailing dots are dropped; empty without a dot.
// "a.tar.gz" gives "gz", "exe." gives "", ".profile" gives "profile".
[[nodiscard]] std::string extensionOf(std::string_view name);

// The text before the last "." once trailing dots are dropped; the whole rest without a dot.
[[nodiscard]] std::string baseNameOf(std::string_view name);

// Removes every "." and space at both ends: Windows drops them when it creates the file, so
// "x.exe. " is run as "x.exe".
[[nodiscard]] std::string trimDotsAndSpaces(std::string_view name);

// Removes a trailing "." + "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (hexadecimal, either
// case) from a name longer than 38 characters. Windows Explorer hides such a class-identifier
// extension and opens the file with that class, so "file.txt.{...}" looks like a text file.
[[nodiscard]] std::string stripClassIdSuffix(std::string_view name);

// A name that is safe to hand to a file system and shows what it is:
// 1. controls, 8-bit bytes and each of / \ : * ? < > | become "_", and so does a "." right
//    after a "." already written (no "..", which hides an extension behind dots);
// 2. dots and spaces are trimmed at both ends, a class-identifier suffix is stripped, and the
//    ends are trimmed again;
// 3. a name longer than maxLength is shortened, base name first, so that the extension
//    survives: the result is base + "." + extension (a name without extension ends in ".").
[[nodiscard]] std::string sanitiseFileName(std::string_view name, std::size_t maxLength);

// "name" + "." + extension: "invoice.exe" with "qx" gives "invoice.exe.qx".
[[nodiscard]] std::string renamedFileName(std::string_view name, std::string_view extension);

// "ATT" + the number with at least five digits + "." + extension: "ATT00001.doc".
[[nodiscard]] std::string numberedFileName(int number, std::string_view extension);

}  // namespace MailParser
