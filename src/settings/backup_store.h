// The backups of the device's settings: before every write the settings just
// read from the device are kept, one file each, as `vardexctl read --json`
// prints them, in $XDG_STATE_HOME/vardex/backups (~/.local/state/vardex/backups
// without it). The newest kBackupsKept are kept.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "params/device_config.h"

namespace vardex::settings {

inline constexpr std::size_t kBackupsKept = 100;

// The folder the backups are kept in; empty when neither XDG_STATE_HOME nor
// HOME names one.
std::string BackupFolder();

// Keeps the record as a new backup: written to a temporary file, synced, then
// linked under its name (time and device) with mode 0600, so that a backup is
// either whole or absent; older backups beyond kBackupsKept are removed. False
// with *why when it could not be kept; *path is the new file.
bool SaveBackup(const CDeviceConfig& record, std::string* path, std::string* why);

struct Backup {
    std::string path;
    std::string file;  // the name alone
    std::string time;  // "2026-12-10 05:28:22" (UTC)
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

// The backups, newest first.
std::vector<Backup> ListBackups();

// "Hungary, model 1.2, firmware 3.4, CRC ABCD".
std::string DescribeDevice(const std::string& country, std::uint16_t model, std::uint16_t firmware,
                           const std::string& crc);

}  // namespace vardex::settings
