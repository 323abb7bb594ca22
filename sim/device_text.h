// The device's fixed texts and reply layouts, and the small parsing helpers the
// command handlers share. Internal to the simulator.
//
// Reply layouts (each line ends "\r\n"; Respond frames the whole text with
// "\r\n" before and "\r\n\r\nOK\r\n" behind):
//
//   AT&ZI?   Phone 1 / MSN1 : <number> / MSN2 : ... / MSN3 : ...,
//            then the same for "Phone 2" and "DTE Port". An empty number keeps
//            its label with the trailing blank ("MSN2 : "), so a reader that
//            looks for the seven-character label still finds it. A number is
//            listed as it was set (NumberKept says what that may be).
//   AT&ZO?   Phone 1 / OWN NUMBER : <number>, Phone 2 / ..., DTE Port / ...
//   ATCH?    Last Call Charges / DTE Port: <n> / Phone 1: <n> / Phone 2: <n>,
//            then Accumulated Charges with the same three lines.
//   AT!X2?   the dialect's label (eleven characters) followed by the digits.
//
// A dialect with listing blanks indents the section titles, puts blanks behind
// them and behind each label, and a blank line between sections.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "dialect.h"

namespace vardex::sim {

// The ATUPX question: no line end behind it, the device waits for one key.
inline constexpr std::string_view kUpgradeQuestion =
    "\r\nFirmware Upgrade\r\nThe firmware will be erased and replaced. Continue (Y/N)?";
// What a line end gets while the question waits (begins with "Y" once the
// leading line break is stripped).
inline constexpr std::string_view kQuestionRepeat = "\r\nYes/No (Y/N)?";
// Sent behind the echoed "Y" before the loader's first NAK.
inline constexpr std::string_view kLoaderBanner =
    "\r\nErasing flash memory...\r\nReady to receive the firmware image (XMODEM)\r\n";
inline constexpr std::string_view kConsolePrompt = "VDX> ";
// What a loader with a faulty flash sends in place of its NAK.
inline constexpr std::string_view kLoaderError = "\r\nFlash error, reset the device\r\n";

inline char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline bool StartsWithNoCase(std::string_view text, std::string_view upper_prefix) {
    if (text.size() < upper_prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < upper_prefix.size(); ++i) {
        if (Upper(text[i]) != upper_prefix[i]) {
            return false;
        }
    }
    return true;
}

// Reads a run of decimal digits from the front of text. Long runs saturate
// instead of overflowing, so "ATS999999999999=1" is refused as out of range.
inline bool ReadDecimal(std::string_view* text, unsigned* value) {
    constexpr unsigned kSaturated = 1000000;
    std::size_t digits = 0;
    unsigned result = 0;
    while (digits < text->size() && (*text)[digits] >= '0' && (*text)[digits] <= '9') {
        const unsigned digit = static_cast<unsigned>((*text)[digits] - '0');
        result = std::min(kSaturated, result * 10 + digit);
        ++digits;
    }
    if (digits == 0) {
        return false;
    }
    text->remove_prefix(digits);
    *value = result;
    return true;
}

// "=v" and nothing behind it, with v at most max.
inline bool ReadAssignment(std::string_view text, unsigned max, unsigned* value) {
    if (text.empty() || text.front() != '=') {
        return false;
    }
    text.remove_prefix(1);
    return ReadDecimal(&text, value) && text.empty() && *value <= max;
}

// The longest subscriber or own number the device keeps.
inline constexpr std::size_t kNumberLengthMax = 24;
// The DTE port's subscriber numbers are 6..8, its own number is 2.
inline constexpr std::size_t kDteMsnFirst = 6;
inline constexpr std::size_t kDteOwn = 2;

// Whether the device keeps text as a subscriber or own number: digits for the
// analog ports; for the DTE port, whose numbers may carry a terminal's dialling
// characters, any printable character but ";" (which ends a command on the
// line). At most kNumberLengthMax characters; empty clears the number.
inline bool NumberKept(std::string_view text, bool dte) {
    if (text.size() > kNumberLengthMax) {
        return false;
    }
    return std::all_of(text.begin(), text.end(), [dte](char c) {
        return (c >= '0' && c <= '9') || (dte && c >= 0x20 && c < 0x7F && c != ';');
    });
}

std::string MsnListing(const std::array<std::string, 9>& msn, const Dialect& dialect);
std::string OwnNumberListing(const std::array<std::string, 3>& own, const Dialect& dialect);
std::string ChargeListing(const std::array<std::uint32_t, 3>& last,
                          const std::array<std::uint32_t, 3>& total, const Dialect& dialect);

}  // namespace vardex::sim
