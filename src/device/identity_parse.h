// Parsers of the device's identification replies. Pure functions over any text
// the device may send: bounded, no overrun, nothing thrown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vardex::device::identity {

inline constexpr std::uint16_t kVersionNotRead = 0xFFFF;
inline constexpr std::size_t kCountryMax = 29;
inline constexpr std::size_t kCrcMax = 51;

// The version word from the text behind a keyword: blanks and "V"s skipped, then
// major[.minor], each taken modulo 256. Nothing left: no value.
// *end, when given, is where the version's text ends.
std::optional<std::uint16_t> ParseVersion(std::string_view remainder, std::size_t* end = nullptr);

// The text behind a keyword when the reply begins with it.
std::optional<std::string_view> After(std::string_view reply, std::string_view keyword);

// The country behind the software version: "Software Version V2.10 Hungary\r\n..."
// gives "Hungary" (at most 29 characters, up to the first carriage return).
std::string CountryAfterVersion(std::string_view remainder);

// The CRC text of an "ATI1" reply: everything up to four characters before "OK"
// (the line breaks in front of it), at most 51 characters. No "OK": no value.
std::optional<std::string> CrcText(std::string_view reply);

inline constexpr std::string_view kModelKeyword = "Calvetra VarDex";
inline constexpr std::string_view kHardwareKeyword = "Hardware Version";
inline constexpr std::string_view kSoftwareKeyword = "Software Version";

// What the first answer to "ATI4" says of the device's state: its loader (a
// NAK), a pending yes/no question ("Y..."), its console (a prompt ending in
// "> "), or anything else (its name, or no answer to go by).
enum class FirstAnswer { kLoader, kQuestion, kConsole, kOther };
FirstAnswer ClassifyFirstAnswer(std::string_view reply);

// Whether an identification reply is an answer: whole (params::SplitWholeReply)
// and, when "OK", beginning with the keyword and a version. "ERROR" is an
// answer too: the device does not know that version. The keyword is asked for
// beyond the plain rule (which leaves a version unread when it is missing)
// because a line the device sent on its own in front of the answer (a RING)
// would leave the country unread, and the country decides every variant rule.
bool VersionReply(std::string_view reply, std::string_view keyword);
// Whether the reply to "ATI4" names a varDex: complete, "OK", keyword and version.
bool RecognisedModel(std::string_view reply);

}  // namespace vardex::device::identity
