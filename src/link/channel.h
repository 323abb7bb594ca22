// The channel to the device as the layers above the link see it, without the
// telephony that may carry it: the loader's control byte, the modem-status and
// purge flags, the handle and the time-outs every channel is given.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/serial_port.h"

inline constexpr unsigned char NAK = 0x15;
inline constexpr std::uint32_t MS_CTS_ON = vardex::kMsCtsOn;
inline constexpr std::uint32_t MS_DSR_ON = vardex::kMsDsrOn;
inline constexpr unsigned PURGE_ALL =
    vardex::kPurgeTxAbort | vardex::kPurgeRxAbort | vardex::kPurgeTxClear | vardex::kPurgeRxClear;
inline constexpr unsigned PURGE_INPUT = vardex::kPurgeRxAbort | vardex::kPurgeRxClear;
inline constexpr std::uint32_t EV_DSR = 0x20;
inline constexpr int kSettleDelayMs = 1000;

// The channel handle; null is the closed state.
using CommHandle = std::shared_ptr<vardex::SerialPort>;

// Time-outs applied whenever a channel is configured.
vardex::CommTimeouts DefaultCommTimeouts();
