// One XMODEM block as the program builds it: SOH, number, complement, 128
// bytes (a short piece filled with 0xFF), 8-bit checksum.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vardex::sim {

inline std::string XmodemBlock(std::uint8_t number, std::string_view data) {
    std::string block;
    block.push_back('\x01');
    block.push_back(static_cast<char>(number));
    block.push_back(static_cast<char>(0xFF - number));
    std::string payload(data.substr(0, 128));
    payload.resize(128, '\xFF');
    std::uint8_t sum = 0;
    for (const char c : payload) {
        sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(c));
    }
    block += payload;
    block.push_back(static_cast<char>(sum));
    return block;
}

}  // namespace vardex::sim
