#pragma once

#include <array>
#include <string_view>

// Constants shared by the proxy, the message engine and the settings.

// Days between automatic summaries, indexed by TConfig's PopupSummaryFrequency and
// EmailSummaryFrequency; 0 means never.
inline constexpr std::array<int, 5> SummaryPeriodLengths = {0, 1, 7, 14, 28};
// The option texts of the same periods, in the same order.
inline constexpr std::array<std::string_view, 5> SummaryPeriodTexts = {"Never", "Daily", "Weekly",
                                                                       "Fortnightly", "Four-weekly"};

// SummaryPeriodLengths[index]; an index outside the table (a damaged or hand-edited setting)
// counts as "Never", so no summary is triggered by a value nobody chose.
[[nodiscard]] int SummaryPeriodDays(int index) noexcept;

// The extension given to a renamed attachment that has none of its own.
inline constexpr std::string_view DefaultFileExtension = "___";
// The extension added to renamed attachments, and the content type they are given.
inline constexpr std::string_view QuorixFileExtension = "qx";
inline constexpr std::string_view QuorixContentMediaType = "application";
inline constexpr std::string_view QuorixContentSubType = "quorix-renamed";

// CAPA reply lines removed on the way to the mail client: PIPELINING because replies are
// rewritten one at a time, STLS because FilteredCommands refuses it.
inline constexpr std::array<std::string_view, 2> FilteredCAPAOptions = {"PIPELINING", "STLS"};
// Client commands the proxy refuses instead of forwarding.
inline constexpr std::array<std::string_view, 1> FilteredCommands = {"STLS"};
