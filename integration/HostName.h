#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What a hosts file line may carry as an address and as a host name.
namespace HostName {

// The limits of a host name in the resolver: the whole name without a final dot, and each
// part between dots.
inline constexpr std::size_t kMaxNameLength = 253;
inline constexpr std::size_t kMaxLabelLength = 63;

// Four decimal numbers of one to three digits, each below 256, joined by dots, and nothing
// else.
[[nodiscard]] bool IsValidIpv4(std::string_view text) noexcept;

// Why `name` cannot stand in the host-name column of a hosts file, or empty if it can. The
// resolver splits a line at blanks and tabs, ends it at "#" and at NUL, and compares names as
// ASCII; so a name must be letters, digits, "-", "_" and dots between non-empty parts,
// within the length limits above.
[[nodiscard]] std::string Problem(std::string_view name);

// `name` for an error text: control bytes, bytes from 0x7F and the backslash as \xNN, and
// cut after kMaxNameLength + 16 characters, so that an error never carries a line break.
[[nodiscard]] std::string Shown(std::string_view name);

}  // namespace HostName
