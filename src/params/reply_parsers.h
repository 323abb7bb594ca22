// Decoders for the device's reply texts, free of any channel so that the tests
// and the fuzz targets can feed them any bytes.
//
// Every parser takes the reply as the device sent it (echo and the leading line
// break already removed) and accepts any text: an unknown line ends parsing
// quietly, and what did not appear is reported as absent so that the caller
// keeps the field's value.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vardex::params {

// Longest digit run (or DTE port number) taken from a reply; longer runs are cut.
inline constexpr std::size_t kDigitRunMax = 79;

// A reply as the device ends every answer: lines of printable text and a last
// line "OK" or "ERROR" (each line ended by "\r\n"). Line noise (bytes outside
// printable ASCII), a reply cut short or one without its final result code is
// not a complete reply: the caller asks again rather than take a wrong value.
struct CompleteReply {
    std::string_view body;  // the lines before the result line, outer line breaks trimmed
    bool ok = false;        // "OK" (else "ERROR")
};
std::optional<CompleteReply> SplitCompleteReply(std::string_view text);

// The largest value a register holds: one byte.
inline constexpr int kRegisterMax = 255;

// A register query's reply ("ATS84?", "ATS103.2?", "AT/CLIPLEVEL"): complete,
// "OK", and a body of one decimal number 0..kRegisterMax with nothing else.
std::optional<int> ParseRegisterReply(std::string_view text);

// The leading decimal number of a reply as atoi reads it: leading white space
// skipped, an optional sign, digits up to the first non-digit, 0 when there are
// none. Values beyond the int range saturate to INT_MIN / INT_MAX.
int ParseLeadingInt(std::string_view text);

// Position of the first character at or after pos that is not white space (CR
// and LF count as white space); text.size() when there is none.
std::size_t SkipBlank(std::string_view text, std::size_t pos);

// Device numbering of the nine subscriber numbers: 0..2 Phone 1, 3..5 Phone 2,
// 6..8 the DTE port.
inline constexpr int kMsnCount = 9;

// The section parsers below read what they recognise and stop quietly at the
// first line they do not; *complete, when given, says whether they read the
// whole reply up to its final "OK" (nothing unrecognised, nothing missing).

// "AT&ZI?": every (device index, number) the reply carries, in reply order. A
// label seen twice appears twice; the caller applies them in turn. The analog
// ports' numbers are digit runs; the DTE port's take every character that
// MsnCharAllowed allows there (params/telephony_rules.h).
std::vector<std::pair<int, std::string>> ParseMsnReply(std::string_view text,
                                                       bool* complete = nullptr);

// "AT&ZO?": the own-number text of Phone 1, Phone 2 and the DTE port, read as
// the port's subscriber numbers are; empty for a port whose section is missing
// or names no number.
std::array<std::string, 3> ParseOwnNumberReply(std::string_view text, bool* complete = nullptr);

// Position 0..2 of the first of a port's three subscriber numbers that is
// non-empty and equal to own; -1 when own is empty or matches none. msns points
// at the port's three numbers.
int ResolveOwnNumber(std::string_view own, const std::string* msns);

// "ATCH?": the six counters; absent where the label did not appear.
struct ChargeReply {
    std::optional<int> lastDte, last1, last2;
    std::optional<int> totalDte, total1, total2;
};
ChargeReply ParseChargeReply(std::string_view text, bool* complete = nullptr);

// The label in front of the X.121 address in the answer to "AT!X2?".
inline constexpr std::string_view kX121Label = "X121 ADDR: ";

// "AT!X2?". A complete "OK" reply whose body is one line, the label and then
// digits only (at most kDigitRunMax; blanks may trail), gives the address; a
// complete "ERROR" reply says the device has no address to give (refused).
// Anything else (noise, a reply cut short, the tail of a reply that paused
// mid-way, which would otherwise read as an empty address) is no answer.
struct X121Reply {
    bool refused = false;
    std::string address;  // digits; empty for a device without an address
};
std::optional<X121Reply> ParseX121AddressReply(std::string_view text);

// A text field as it may go into a command line: cut at the first control
// character, so that a stray CR cannot end the line early and start another
// command on the device.
std::string CommandSafeText(std::string_view text);

}  // namespace vardex::params
