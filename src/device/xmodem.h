// The sender's half of XMODEM with the 8-bit checksum: the block layout and
// what each answer of the receiver means. Free of the channel, so that the
// tests and a fuzz target drive it with any answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vardex::device {

inline constexpr unsigned char kXmodemSoh = 0x01;
inline constexpr unsigned char kXmodemEot = 0x04;
inline constexpr unsigned char kXmodemAck = 0x06;
inline constexpr unsigned char kXmodemNak = 0x15;
inline constexpr unsigned char kXmodemCan = 0x18;
inline constexpr std::size_t kXmodemDataSize = 128;
inline constexpr std::size_t kXmodemBlockSize = kXmodemDataSize + 4;
// NAKs in a row for one block before the transfer is given up.
inline constexpr int kXmodemMaxResends = 10;

// One block: SOH, number, 255 - number, count bytes of data filled up to 128
// with 0xFF, and the sum of the 128 data bytes modulo 256.
void BuildXmodemBlock(std::uint8_t number, const unsigned char* data, std::size_t count,
                      unsigned char block[kXmodemBlockSize]);

// Which block goes out and what each answer of the receiver means; the
// firmware upgrade's transfer drives it over the channel.
class XmodemSender {
public:
    enum class Step {
        kSend,            // send Block(): the next one, or the same one again
        kDone,            // the last block was taken
        kCancelledFirst,  // the receiver cancelled before taking any block
        kFailed,          // cancelled later, an unknown answer, or too many NAKs
    };

    // image must outlive the sender; it may be empty (then one block of fill).
    explicit XmodemSender(const std::vector<unsigned char>& image);

    const unsigned char* Block() const { return block_; }
    // Image bytes the receiver has taken.
    std::size_t Sent() const { return sent_; }
    // The receiver's answer to the block just sent.
    Step OnAnswer(unsigned char answer);

private:
    void Build();

    const std::vector<unsigned char>& image_;
    unsigned char block_[kXmodemBlockSize];
    std::uint8_t number_ = 1;
    std::size_t sent_ = 0;
    std::size_t count_ = 0;  // image bytes in the current block
    int resends_ = 0;
};

}  // namespace vardex::device
