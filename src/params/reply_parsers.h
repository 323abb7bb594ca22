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

// A whole reply: it ends with the device's final result code, "OK" or "ERROR"
// on a line of its own (ended by "\r\n"). That, not any label, tells a reply
// that came in full from one cut short or paused: an incomplete reply is asked
// again. Beyond that rule two more things make a reply not whole, each because
// it would otherwise be read as another command's value:
//  - a byte outside printable text (tabs and line breaks included): line noise;
//  - a second final result code before the last: the reply holds the end of
//    an earlier, late or paused one, or a result line sent on its own;
//  - a carriage return without its line feed: the device ends every line with
//    both, so it is the echo of a command line ("ATS126?\r48" would read as 0).
struct WholeReply {
    std::string_view body;  // the lines before the result line, outer line breaks trimmed
    bool ok = false;        // "OK" (else "ERROR")
};
std::optional<WholeReply> SplitWholeReply(std::string_view text);

// What a query's whole reply says: the device's answer, or its refusal
// ("ERROR"), which the rows read as the reply rules say and also report.
template <typename T>
struct QueryReply {
    bool refused = false;
    T value{};
};

// A numeric query's reply ("ATS84?", "ATS103.2?", "AT/CLIPLEVEL"): whole; "OK"
// gives the leading number of its one information line (white space skipped, a
// sign accepted, 0 without digits), "ERROR" is refused with the value 0. An
// "OK" whose information text is missing or holds more than one line is no
// answer: a lone "OK" is what a line sent on its own (or a query lost on the
// way) looks like, and a second line is one sent on its own (a RING) beside the
// answer; either would read as a wrong number.
std::optional<QueryReply<int>> ParseNumericReply(std::string_view text);

// The largest value a register holds: one byte.
inline constexpr int kRegisterMax = 255;

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
// first line they do not; *complete, when given, says whether they read a
// whole reply up to its final "OK" with every section the device always sends
// (a reply that paused arrives as its tail, which lacks the first sections and
// would read as numbers kept from before, no own number and stale counters).
// A whole "ERROR" is the device's refusal (SplitWholeReply tells it).

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

// "AT!X2?". Whole; a reply that holds "ERROR" anywhere is refused (the address
// stays as it is). Otherwise the first 11 characters of its information line
// (the device's label, whatever its text) are dropped and the address is the
// digit run that follows (at most kDigitRunMax; empty when there is none). The
// information line must be one line at least those 11 characters long: the
// tail of a reply that paused holds less, and would read as no address.
inline constexpr std::size_t kX121LabelLength = 11;
std::optional<QueryReply<std::string>> ParseX121AddressReply(std::string_view text);

// A text field as it may go into a command line: cut at the first control
// character, so that a stray CR cannot end the line early and start another
// command on the device.
std::string CommandSafeText(std::string_view text);

}  // namespace vardex::params
