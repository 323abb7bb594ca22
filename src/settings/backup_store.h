// The backups of the device's settings: before every write the settings just
// read from the device are kept, one file each, as `vardexctl read --json`
// prints them, in $XDG_STATE_HOME/vardex/backups (~/.local/state/vardex/backups
// without it). The newest kBackupsKept are kept.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "params/device_config.h"
#include "platform/expected.h"

namespace vardex::settings {

inline constexpr std::size_t kBackupsKept = 100;

// The folder the backups are kept in; empty when neither XDG_STATE_HOME nor
// HOME names one.
std::string BackupFolder();

// Keeps the record as a new backup of the unit on `port` (the path it was read
// on): written to a temporary file, synced, then linked under its name (time
// and device) with mode 0600, so that a backup is either whole or absent. The
// file holds the unit's port and the time it was written (kPortKey,
// kWrittenKey) behind the settings. The oldest beyond kBackupsKept, by the
// time they were written, are removed, never the new one; so are temporary
// files an earlier write left behind (a process killed while it synced). The
// new file's path, or why it could not be kept.
platform::Expected<std::string> SaveBackup(const params::CDeviceConfig& record,
                                           const std::string& port);

// The keys a backup adds to a read's JSON: no settings.
inline constexpr std::string_view kPortKey = "backup_port";
inline constexpr std::string_view kWrittenKey = "backup_written";

struct Backup {
    std::string path;
    std::string file;     // the name alone
    std::string time;     // "2026-12-10 05:28:22" (UTC), when it was written
    std::string port;     // the unit's port; empty for a file that does not say
    std::string written;  // the stamp of its writing ("20261210T052822.123Z"), sorts by age
    // The device it was read from, as the file says; empty or 0 when it does
    // not say (a file that is not a backup of this program).
    std::string country;
    std::uint16_t model = 0;
    std::uint16_t firmware = 0;
    std::string crc;
};

// The device a settings file was read from, as the file says (path and
// file set, the time empty).
Backup DescribeBackup(const std::string& path);

// The backups, the newest written first; none when the folder is not there
// yet, a failure when it is there but cannot be read.
platform::Expected<std::vector<Backup>> ListBackups();

// Whether a backup was read from this unit: the same port, and the same
// country and model (a file that names no port is held to the variant alone).
bool SameUnit(const Backup& backup, const params::CDeviceConfig& device, const std::string& port);

// "the varDex on /dev/ttyUSB0 (Hungary, model 1.2, firmware 2.10, CRC 5A3C)".
std::string DescribeUnit(const Backup& backup);

// "Hungary, model 1.2, firmware 3.4, CRC ABCD".
std::string DescribeDevice(const std::string& country, std::uint16_t model, std::uint16_t firmware,
                           const std::string& crc);

}  // namespace vardex::settings
