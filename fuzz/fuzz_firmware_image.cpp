// The firmware image header the simulated loader checks after an XMODEM
// transfer. The first byte chooses what the rest is: 0 as received, 1 with
// its header CRC made right, 2 with both CRCs made right, so that the fields
// behind the CRCs are reached too. Images the tool side makes always parse.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "firmware_image.h"
#include "fuzz_check.h"

namespace {

namespace sim = vardex::sim;

std::uint32_t GetLe32(std::string_view in, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;) {
        value = (value << 8) | static_cast<std::uint8_t>(in[at + i]);
    }
    return value;
}

void PutLe32(std::string* out, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        (*out)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFFu);
    }
}

void CheckAccepted(std::string_view image, const sim::FirmwareInfo& info) {
    using vardex::fuzz::Check;
    Check(info.payload_size <= image.size() - sim::kImageHeaderSize);
    Check(info.payload_crc == sim::Crc32(image.substr(sim::kImageHeaderSize, info.payload_size)));
    Check(!info.version.empty() && info.version.size() <= sim::kImageVersionField);
    for (const char c : info.version) {
        Check(c >= 0x20 && c <= 0x7E);
    }
    Check(sim::FirmwareCrcText(info.payload_crc).size() == 9);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using vardex::fuzz::Check;
    if (size == 0) {
        return 0;
    }
    const int mode = data[0] % 3;
    std::string image(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (mode > 0 && image.size() >= sim::kImageHeaderSize) {
        const std::uint32_t length = GetLe32(image, 8);
        if (mode == 2 && length <= image.size() - sim::kImageHeaderSize) {
            PutLe32(&image, 12,
                    sim::Crc32(std::string_view(image).substr(sim::kImageHeaderSize, length)));
        }
        PutLe32(&image, 48, sim::Crc32(std::string_view(image).substr(0, 48)));
    }
    if (const auto info = sim::ParseFirmwareImage(image)) {
        CheckAccepted(image, *info);
    } else {
        Check(!info.error().empty());
    }

    // The same bytes as a version text and a size for the tool side.
    const std::string_view version = std::string_view(image).substr(0, image.size() % 40);
    const std::string made =
        sim::MakeFirmwareImage(version, sim::kImageHeaderSize + image.size() % 300);
    if (!made.empty()) {
        const auto made_info = sim::ParseFirmwareImage(made);
        Check(made_info.has_value());
        Check(made_info->version == version);
        CheckAccepted(made, *made_info);
    }
    return 0;
}
