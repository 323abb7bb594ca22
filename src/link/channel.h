// The channel to the device as the layers above the link see it, without the
// telephony that may carry it: the loader's control byte, the modem-status and
// purge flags, the handle, the line speed and time-outs every channel is given,
// and what opening a port and searching for the device end with.
#pragma once

#include <cstdint>
#include <memory>

#include "link/protocol_waits.h"
#include "platform/serial_port.h"

inline constexpr unsigned char NAK = 0x15;
inline constexpr std::uint32_t MS_CTS_ON = vardex::kMsCtsOn;
inline constexpr std::uint32_t MS_DSR_ON = vardex::kMsDsrOn;
inline constexpr unsigned PURGE_ALL =
    vardex::kPurgeTxAbort | vardex::kPurgeRxAbort | vardex::kPurgeTxClear | vardex::kPurgeRxClear;
inline constexpr unsigned PURGE_INPUT = vardex::kPurgeRxAbort | vardex::kPurgeRxClear;
inline constexpr std::uint32_t EV_DSR = 0x20;

// The line speed of every channel to the device.
inline constexpr std::uint32_t kLineBaud = 115200;

// The channel handle; null is the closed state.
using CommHandle = std::shared_ptr<vardex::SerialPort>;

// Time-outs applied whenever a channel is configured.
vardex::CommTimeouts DefaultCommTimeouts();

// What CTapiLine::OpenPort ends with, and the set-up of a channel the search
// left open (CDevicePort::Connect, -2..-6). DescribeOpenFailure words them.
inline constexpr int kOpenOk = 0;
// The port did not open: missing, refused or busy (LastOpenError tells).
inline constexpr int kOpenFailed = -1;
// Reading the line settings failed: no serial port, or its device has gone.
inline constexpr int kOpenGetSettingsFailed = -2;
inline constexpr int kOpenSetSettingsFailed = -3;
inline constexpr int kOpenSetTimeoutsFailed = -4;
inline constexpr int kOpenModemStatusFailed = -5;
// CTS or DSR still off after the settle delay: no device ready on the port.
inline constexpr int kOpenNotReady = -6;

// What the device search ends with (FindDevice, and Connect when it searched);
// opening the chosen port adds OpenPort's codes. -4 and -5 share their values
// with two of those: only a -4 with the channel still open is surely a loader.
inline constexpr int kSearchFound = 0;
inline constexpr int kSearchNothingFound = -1;
// A port or line answered with a loader's NAK: the device waits in its
// firmware loader, and the channel stays open for the upgrade.
inline constexpr int kSearchLoaderAnswered = -4;
// A port or line answered "error": a loader whose upgrade failed.
inline constexpr int kSearchLoaderError = -5;
// The person cancelled the device list.
inline constexpr int kSearchCancelled = 2;
