// The channel to the device as the layers above the link see it, without the
// telephony that may carry it: the loader's control byte, the modem-status and
// purge flags, the handle, the line speed and time-outs every channel is given,
// and what opening a port and searching for the device end with.
#pragma once

#include <cstdint>
#include <memory>

#include "link/protocol_waits.h"
#include "platform/serial_port.h"

namespace vardex::link {

inline constexpr unsigned char NAK = 0x15;
inline constexpr std::uint32_t MS_CTS_ON = vardex::platform::kMsCtsOn;
inline constexpr std::uint32_t MS_DSR_ON = vardex::platform::kMsDsrOn;
inline constexpr unsigned PURGE_ALL =
    vardex::platform::kPurgeTxAbort | vardex::platform::kPurgeRxAbort |
    vardex::platform::kPurgeTxClear | vardex::platform::kPurgeRxClear;
inline constexpr unsigned PURGE_INPUT =
    vardex::platform::kPurgeRxAbort | vardex::platform::kPurgeRxClear;
inline constexpr std::uint32_t EV_DSR = 0x20;

// The line speed of every channel to the device.
inline constexpr std::uint32_t kLineBaud = 115200;

// The channel handle; null is the closed state.
using CommHandle = std::shared_ptr<vardex::platform::SerialPort>;

// Time-outs applied whenever a channel is configured.
vardex::platform::CommTimeouts DefaultCommTimeouts();

// Each family of results has its own type, so that the compiler keeps them
// apart: a port whose modem status cannot be read must never pass for a loader
// that reported an error. The values are the codes the traces show.

// What opening a port (CTapiLine::OpenPort) and setting up a channel
// (ConfigureChannel, Connect) end with. DescribeOpenFailure words them.
enum class OpenResult {
    kOk = 0,
    // The port did not open: missing, refused or busy (LastOpenError tells).
    kFailed = -1,
    // Reading the line settings failed: no serial port, or its device has gone.
    kGetSettingsFailed = -2,
    kSetSettingsFailed = -3,
    kSetTimeoutsFailed = -4,
    kModemStatusFailed = -5,
    // CTS or DSR still off after the settle delay: no device ready on the port.
    kNotReady = -6,
};

// What the device search ends with.
enum class SearchResult {
    kFound = 0,
    kNothingFound = -1,
    // A port or line answered with a loader's NAK: the device waits in its
    // firmware loader, and the channel stays open for the upgrade.
    kLoaderAnswered = -4,
    // A port or line answered "error": a loader whose upgrade failed.
    kLoaderError = -5,
    // The person cancelled the device list.
    kCancelled = 2,
};

// What looking for the device and setting up its channel ends with
// (CTapiLine::FindDevice, CDevicePort::Connect): the search's result, and, once
// it found a port, the result of opening and setting up that port.
struct ConnectResult {
    SearchResult search = SearchResult::kNothingFound;
    OpenResult open = OpenResult::kOk;

    bool Ok() const { return search == SearchResult::kFound && open == OpenResult::kOk; }
    bool operator==(const ConnectResult&) const = default;
};

// The number a trace shows for a result.
constexpr int Code(OpenResult result) {
    return static_cast<int>(result);
}
constexpr int Code(SearchResult result) {
    return static_cast<int>(result);
}

}  // namespace vardex::link
