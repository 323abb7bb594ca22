#include "firmware_image.h"

#include <array>
#include <cstdio>

using namespace vardex::platform;

namespace vardex::sim {
namespace {

constexpr std::string_view kMagic = "VDXF";
constexpr std::uint8_t kFormat = 1;

void PutLe32(std::string* out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        (*out)[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFFu);
    }
}

std::uint32_t GetLe32(std::string_view in, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<std::uint8_t>(in[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

bool PrintableVersion(std::string_view version) {
    if (version.empty() || version.size() > kImageVersionField) {
        return false;
    }
    for (const char c : version) {
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::uint32_t Crc32(std::string_view bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char ch : bytes) {
        crc = table[(crc ^ static_cast<std::uint8_t>(ch)) & 0xFFu] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

std::string MakeFirmwareImage(std::string_view version, std::size_t total_size) {
    if (!PrintableVersion(version) || total_size < kImageHeaderSize ||
        total_size > kImageMaxBytes) {
        return {};
    }
    std::string image(total_size, '\0');
    image.replace(0, kMagic.size(), kMagic);
    image[4] = static_cast<char>(kFormat);
    // Filler that is not all one value, so that a shifted or lost block changes
    // the CRC; seeded by the version so that two images differ.
    std::uint32_t state = Crc32(version) | 1u;
    for (std::size_t i = kImageHeaderSize; i < total_size; ++i) {
        state = state * 1664525u + 1013904223u;
        image[i] = static_cast<char>(state >> 24);
    }
    const std::string_view payload = std::string_view(image).substr(kImageHeaderSize);
    PutLe32(&image, 8, static_cast<std::uint32_t>(payload.size()));
    PutLe32(&image, 12, Crc32(payload));
    image.replace(16, version.size(), version);
    PutLe32(&image, 48, Crc32(std::string_view(image).substr(0, 48)));
    return image;
}

Expected<FirmwareInfo> ParseFirmwareImage(std::string_view received) {
    auto fail = [](const char* text) { return Unexpected{text}; };
    if (received.size() < kImageHeaderSize) {
        return fail("image shorter than its header");
    }
    if (received.substr(0, kMagic.size()) != kMagic) {
        return fail("not a firmware image (magic)");
    }
    if (static_cast<std::uint8_t>(received[4]) != kFormat) {
        return fail("unknown image format");
    }
    if (GetLe32(received, 48) != Crc32(received.substr(0, 48))) {
        return fail("header CRC mismatch");
    }
    const std::size_t length = GetLe32(received, 8);
    if (length > received.size() - kImageHeaderSize) {
        return fail("image shorter than its payload length");
    }
    const std::string_view payload = received.substr(kImageHeaderSize, length);
    const std::uint32_t crc = Crc32(payload);
    if (crc != GetLe32(received, 12)) {
        return fail("payload CRC mismatch");
    }
    std::string_view version = received.substr(16, kImageVersionField);
    version = version.substr(0, version.find('\0'));
    if (!PrintableVersion(version)) {
        return fail("bad version text");
    }
    return FirmwareInfo{std::string(version), crc, length};
}

std::string FirmwareCrcText(std::uint32_t payload_crc) {
    char text[16];
    std::snprintf(text, sizeof text, "CRC: %04X", static_cast<unsigned>(payload_crc & 0xFFFFu));
    return text;
}

}  // namespace vardex::sim
