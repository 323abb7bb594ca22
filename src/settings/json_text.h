// JSON output for vardexctl. Device replies are bytes, not UTF-8: every byte maps
// to the code point of the same value (0x80..0xFF become U+0080..U+00FF), so a
// script gets back exactly the bytes the device sent.
#pragma once

#include <string>
#include <string_view>

namespace vardex::settings {

std::string JsonString(std::string_view bytes);

// Text from a file or a device as it may go to a terminal: control characters
// (escape sequences included) written as \xNN, everything else as it is.
std::string TerminalText(std::string_view bytes);

}  // namespace vardex::settings
