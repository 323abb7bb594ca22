// The firmware loader: NAK about once a second until a sender starts, then
// XMODEM reception with the 8-bit checksum (128-byte blocks). A good image is
// installed on EOT and the device restarts with it; anything else leaves the
// loader waiting for the next attempt.
#include <algorithm>

#include "device.h"
#include "device_text.h"
#include "firmware_image.h"

namespace vardex::sim {
namespace {

constexpr char kSoh = 0x01;
constexpr char kEot = 0x04;
constexpr char kAck = 0x06;
constexpr char kNak = 0x15;
constexpr char kCan = 0x18;

}  // namespace

void Device::EnterLoader() {
    Reset();
    nv_.firmware_valid = false;
    SaveNv();
    StartLoaderWait(kLoaderNakMs);
}

void Device::EnterLoaderError() {
    EnterLoader();
    loader_error_ = true;
}

void Device::StartLoaderWait(std::int64_t first_nak_in_ms) {
    mode_ = Mode::kLoader;
    loader_error_ = false;
    trace_output_ = false;
    trace_layers_ = 0;
    trace_due_ = kNever;
    loader_started_ = false;
    expected_block_ = 1;
    frame_.clear();
    image_.clear();
    frame_due_ = kNever;
    nak_due_ = now_ms_ + first_nak_in_ms;
}

void Device::TakeLoaderByte(char c) {
    if (loader_error_) {
        return;
    }
    if (!frame_.empty()) {
        frame_.push_back(c);
        frame_due_ = now_ms_ + kBlockByteTimeoutMs;
        if (frame_.size() == kFrameSize) {
            FinishBlock();
        }
        return;
    }
    switch (c) {
        case kSoh:
            frame_.push_back(c);
            frame_due_ = now_ms_ + kBlockByteTimeoutMs;
            nak_due_ = kNever;
            break;
        case kEot:
            Send(std::string_view(&kAck, 1));
            FinishImage();
            break;
        case kCan:
            if (loader_started_) {
                StartLoaderWait(kLoaderNakMs);  // the sender gave up
            }
            break;
        case '\r':
            // A command line reaches a waiting loader: it answers the only way it
            // can, which is also how the program recognises it.
            if (!loader_started_) {
                Send(std::string_view(&kNak, 1));
                nak_due_ = now_ms_ + kLoaderNakMs;
            }
            break;
        default:
            break;  // noise between blocks
    }
}

void Device::FinishBlock() {
    const auto number = static_cast<std::uint8_t>(frame_[1]);
    const auto complement = static_cast<std::uint8_t>(frame_[2]);
    const std::string_view data = std::string_view(frame_).substr(3, kBlockSize);
    std::uint8_t sum = 0;
    for (const char byte : data) {
        sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(byte));
    }
    const bool intact = static_cast<std::uint8_t>(number ^ complement) == 0xFF &&
                        sum == static_cast<std::uint8_t>(frame_[kFrameSize - 1]);
    const std::string block(data);
    frame_.clear();
    frame_due_ = loader_started_ ? now_ms_ + kBlockIdleTimeoutMs : kNever;

    if (!intact) {
        Send(std::string_view(&kNak, 1));
        if (!loader_started_) {
            nak_due_ = now_ms_ + kLoaderNakMs;
        }
        return;
    }
    if (number == expected_block_) {
        if (image_.size() + block.size() > kImageMaxBytes) {
            CancelTransfer();
            return;
        }
        image_ += block;
        ++expected_block_;
        loader_started_ = true;
        frame_due_ = now_ms_ + kBlockIdleTimeoutMs;
        Send(std::string_view(&kAck, 1));
        return;
    }
    if (loader_started_ && number == static_cast<std::uint8_t>(expected_block_ - 1)) {
        Send(std::string_view(&kAck, 1));  // our ACK was lost: the sender repeats
        return;
    }
    CancelTransfer();  // a block out of sequence cannot be recovered
}

void Device::CancelTransfer() {
    Send(std::string_view("\x18\x18", 2));
    StartLoaderWait(kLoaderNakMs);
}

void Device::FinishImage() {
    const auto info = ParseFirmwareImage(image_);
    if (!info) {
        StartLoaderWait(kLoaderNakMs);
        return;
    }
    nv_.software_version = info->version;
    nv_.crc = FirmwareCrcText(info->payload_crc);
    nv_.firmware_valid = true;
    SaveNv();
    image_.clear();
    PowerUp();
}

void Device::LoaderTimers() {
    if (nak_due_ <= now_ms_) {
        SendUnsolicited(loader_error_ ? std::string_view(kLoaderError)
                                      : std::string_view(&kNak, 1));
        nak_due_ = now_ms_ + kLoaderNakMs;
    }
    if (frame_due_ <= now_ms_) {
        // A block stopped half-way, or the sender went quiet between blocks:
        // ask again, as XMODEM receivers do.
        frame_.clear();
        SendUnsolicited(std::string_view(&kNak, 1));
        if (loader_started_) {
            frame_due_ = now_ms_ + kBlockIdleTimeoutMs;
        } else {
            frame_due_ = kNever;
            nak_due_ = now_ms_ + kLoaderNakMs;
        }
    }
}

}  // namespace vardex::sim
