// The firmware image format the simulated loader installs, and the tool side
// that makes such images.
//
// Layout (all numbers little-endian):
//
//   offset size  content
//        0    4  magic "VDXF"
//        4    1  format, 1
//        5    3  zero
//        8    4  payload length in bytes
//       12    4  CRC-32 of the payload (IEEE 802.3, as zlib computes it)
//       16   32  software version text the image installs ("V2.11"), NUL-padded,
//                printable ASCII, not empty
//       48    4  CRC-32 of bytes 0..47
//       52    n  payload
//
// Anything behind the payload is ignored: the XMODEM sender fills the last
// 128-byte block (0xFF from the program, 0x1A from common tools), and a file
// whose size is a multiple of 128 even gets a whole block of fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/expected.h"

namespace vardex::sim {

constexpr std::size_t kImageHeaderSize = 52;
constexpr std::size_t kImageVersionField = 32;
// The flash behind the loader; a transfer beyond this is cancelled.
constexpr std::size_t kImageMaxBytes = 2 * 1024 * 1024;

std::uint32_t Crc32(std::string_view bytes);

// An image of exactly total_size bytes (header included) whose payload is
// deterministic filler. Empty when the version does not fit the field or is not
// printable, or when total_size is smaller than the header.
std::string MakeFirmwareImage(std::string_view version, std::size_t total_size);

struct FirmwareInfo {
    std::string version;
    std::uint32_t payload_crc = 0;
    std::size_t payload_size = 0;
};

// Checks what the loader received: what it installs, or what is wrong.
platform::Expected<FirmwareInfo> ParseFirmwareImage(std::string_view received);

// The "ATI1" text of a firmware: the low 16 bits of its payload CRC.
std::string FirmwareCrcText(std::uint32_t payload_crc);

}  // namespace vardex::sim
