// The firmware upgrade: the file choice, the device put into its loader, the
// image sent in 128-byte XMODEM blocks with an 8-bit checksum, and the wait for
// the device's restart. Runs on a job's worker thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/job_view.h"
#include "device/xmodem.h"
#include "params/app_core.h"
#include "platform/expected.h"

namespace vardex::device {

// The largest image the varDex's loader takes.
inline constexpr std::size_t kFirmwareImageMaxBytes = 2 * 1024 * 1024;

// Reads a whole image file, before the device hears a word about it: only a
// regular file of 1 .. kFirmwareImageMaxBytes bytes (a FIFO, a device or a
// directory never blocks the read: it is refused). The image, or why not,
// naming the file.
vardex::platform::Expected<std::vector<unsigned char>> LoadFirmwareImage(const std::string& path);

// Asks for the image file and reads it whole (nothing is sent for a file that
// is no image), identifies the device, asks it into its loader (skipped when
// askDevice is 0 or the device already waits there), sends the image and waits
// for the restart. Sets m_bInLoader whenever it leaves the device in
// its loader. Blocks for up to a minute beside the transfer; the request for
// the loader repeats until the device answers with NAK or the job is stopped.
UpgradeResult UpgradeFirmware(CJobView* dialog, params::CVarDexConfigurationManagerApp* app,
                              int askDevice);

// The transfer phase alone, for a receiver that has already asked with NAK:
// the wake-up bytes, every block, EOT and its answer. Sets the caption and the
// progress bar (range 0 .. image size) and refreshes the status text whenever
// the tenth of a percent changes. A loader that cancels the first block (it
// was left half-way through an earlier transfer, and has started over) gets
// the image again from its first block, once. kFileFailed for an empty image.
UpgradeResult SendFirmwareImage(CJobView* dialog, vardex::link::CDevicePort& port,
                                const std::vector<unsigned char>& image);

}  // namespace vardex::device
