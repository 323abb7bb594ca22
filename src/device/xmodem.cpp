#include "device/xmodem.h"

#include <algorithm>
#include <cstring>

namespace vardex::device {

XmodemSender::XmodemSender(const std::vector<unsigned char>& image) : image_(image) {
    Build();
}

void XmodemSender::Build() {
    count_ = std::min(image_.size() - sent_, kXmodemDataSize);
    BuildXmodemBlock(number_, image_.data() + sent_, count_, block_);
}

XmodemSender::Step XmodemSender::OnAnswer(unsigned char answer) {
    if (answer == kXmodemNak) {
        // The same block again, with the same number; a receiver that never
        // takes it must not keep the job busy for ever.
        return ++resends_ > kXmodemMaxResends ? Step::kFailed : Step::kSend;
    }
    if (answer == kXmodemCan && sent_ == 0) {
        return Step::kCancelledFirst;
    }
    if (answer != kXmodemAck) {
        return Step::kFailed;
    }
    resends_ = 0;
    sent_ += count_;
    ++number_;
    // A block short of data was the last; an image that fills its last block
    // whole ends with one block made only of fill.
    if (count_ < kXmodemDataSize) {
        return Step::kDone;
    }
    Build();
    return Step::kSend;
}

void BuildXmodemBlock(std::uint8_t number, const unsigned char* data, std::size_t count,
                      unsigned char block[kXmodemBlockSize]) {
    block[0] = kXmodemSoh;
    block[1] = number;
    block[2] = static_cast<unsigned char>(0xFF - number);
    unsigned char* payload = block + 3;
    if (count > 0) {
        std::memcpy(payload, data, count);
    }
    std::memset(payload + count, 0xFF, kXmodemDataSize - count);
    unsigned sum = 0;
    for (std::size_t i = 0; i < kXmodemDataSize; ++i) {
        sum += payload[i];
    }
    block[kXmodemBlockSize - 1] = static_cast<unsigned char>(sum & 0xFF);
}

}  // namespace vardex::device
