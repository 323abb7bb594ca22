// How long the program waits for the device: every wait of the channel, the
// search, identification, the slow setting rows and the firmware upgrade, in
// the protocol's milliseconds (scaled by TimeScale() like every duration of
// the channel).
#pragma once

#include <cstdint>

namespace vardex::link {

// ---- Every channel ----
// A read ends once the line stays silent this long after a byte: a reply
// comes in one go.
inline constexpr std::uint32_t kReadIntervalMs = 250;
// A read that gets nothing at all ends after this.
inline constexpr std::uint32_t kReadTotalMs = 500;
// A write that cannot go out within this is taken for a dead line.
inline constexpr std::uint32_t kWriteTotalMs = 5000;
// After the init lines, before CTS and DSR are looked at: they settle first.
inline constexpr int kSettleDelayMs = 1000;
// The read time-out of the ordinary AT exchange, the search's "ATI4" included;
// a command that answers slowly raises it for itself.
inline constexpr std::uint32_t kExchangeReadMs = 250;
// After a reply's final result code the exchange listens this long more before
// the next command may go (a terminal waits a tenth of a second after a final
// result code before its next command line); bytes in it extend the reply.
inline constexpr std::uint32_t kFinalResultGuardMs = 100;

// ---- Setting rows whose command the device takes its time over ----
// A subscriber or own number is stored in the device's flash.
inline constexpr unsigned kMsnTimeoutMs = 2000;
// The power-up profile is stored, and the device answers after it.
inline constexpr unsigned kPowerUpProfileTimeoutMs = 4000;
// "AT/CLIPLEVEL n" sets up the caller-ID generator first.
inline constexpr unsigned kFskLevelTimeoutMs = 2000;
// "ATCH0" clears the counters in the device's flash.
inline constexpr unsigned kChargeResetTimeoutMs = 3000;
// "AT&Wn" writes a whole profile.
inline constexpr unsigned kStoreProfileTimeoutMs = 3000;

// ---- Modem lines ----
// An asynchronous telephony request (making or dropping a call) without its
// reply by then is given up.
inline constexpr std::int64_t kReplyWaitMs = 5000;

// ---- A firmware loader ----
// A loader asks for an image with NAK now and then: two reads give it 33 s to
// be heard (the search and the upgrade alike).
inline constexpr std::uint32_t kLoaderFirstReadMs = 12500;
inline constexpr std::uint32_t kLoaderSecondReadMs = 20500;
// Identification listens this long for a loader's NAK before it asks anything:
// a device in normal operation sends nothing unasked.
inline constexpr std::uint32_t kLoaderProbeMs = 10500;
// After the probe heard a loader, the pause before the person is told; kept
// as the device has always been given it.
inline constexpr int kLoaderHeardPauseMs = 10000;

// ---- The firmware upgrade ----
// The device's "Firmware Upgrade ... (Y/N)?" in answer to "ATUPX".
inline constexpr std::uint32_t kUpgradeQuestionMs = 4000;
// The loader's start: its answer to "Y" or to the wake-up bytes, and its new
// request after it cancelled a first block; read with a longer silence
// allowed between its bytes.
inline constexpr std::uint32_t kLoaderStartMs = 10000;
inline constexpr std::uint32_t kLoaderStartIntervalMs = 2000;
// Each look for the loader's NAK, total and interval alike, kLoaderPolls
// times; the interval also holds while the blocks go.
inline constexpr std::uint32_t kLoaderPollMs = 1250;
inline constexpr int kLoaderPolls = 20;
// The loader's answer to one block.
inline constexpr std::uint32_t kBlockAnswerMs = 250;
// The loader's answer to EOT, the end of the image.
inline constexpr std::uint32_t kEotAnswerMs = 10000;
// The device installs the image and restarts: kRestartPauses pauses, each a
// chance to stop.
inline constexpr int kRestartPauses = 20;
inline constexpr int kRestartPauseMs = 500;

}  // namespace vardex::link
