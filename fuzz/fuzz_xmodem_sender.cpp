// The block sender against any answers a receiver may give: block layout and
// numbering, resends, cancels, and an end only when the whole image went.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/xmodem.h"
#include "fuzz_check.h"

using namespace vardex::device;

using vardex::fuzz::Check;

namespace {

void CheckBlock(const unsigned char* block, std::uint8_t number) {
    Check(block[0] == kXmodemSoh);
    Check(block[1] == number);
    Check(static_cast<std::uint8_t>(block[1] ^ block[2]) == 0xFF);
    unsigned sum = 0;
    for (std::size_t i = 3; i < 3 + kXmodemDataSize; ++i) {
        sum += block[i];
    }
    Check(block[kXmodemBlockSize - 1] == (sum & 0xFF));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // Image size from the first two bytes (up to 64 KiB, so that numbers wrap).
    const std::size_t image_size = static_cast<std::size_t>(data[0]) << 8 | data[1];
    std::vector<unsigned char> image(image_size);
    for (std::size_t i = 0; i < image_size; ++i) {
        image[i] = static_cast<unsigned char>(i * 31 + 7);
    }
    XmodemSender sender(image);
    std::uint8_t expected = 1;
    int naks_in_a_row = 0;
    for (std::size_t i = 2; i < size; ++i) {
        CheckBlock(sender.Block(), expected);
        Check(sender.Sent() <= image_size);
        // Answers mostly ACK and NAK, sometimes anything.
        const std::uint8_t raw = data[i];
        const unsigned char answer = raw < 160 ? kXmodemAck : raw < 240 ? kXmodemNak : raw;
        const std::size_t before = sender.Sent();
        const XmodemSender::Step step = sender.OnAnswer(answer);
        if (answer == kXmodemNak) {
            ++naks_in_a_row;
            Check(sender.Sent() == before);
            Check(step == (naks_in_a_row > kXmodemMaxResends ? XmodemSender::Step::kFailed
                                                             : XmodemSender::Step::kSend));
        } else if (answer == kXmodemAck) {
            naks_in_a_row = 0;
            ++expected;
            Check(sender.Sent() - before <= kXmodemDataSize);
            if (step == XmodemSender::Step::kDone) {
                Check(sender.Sent() == image_size);
                return 0;
            }
            Check(step == XmodemSender::Step::kSend);
        } else {
            Check(step == XmodemSender::Step::kFailed ||
                  (answer == kXmodemCan && before == 0 &&
                   step == XmodemSender::Step::kCancelledFirst));
        }
        if (step != XmodemSender::Step::kSend) {
            return 0;
        }
    }
    return 0;
}
