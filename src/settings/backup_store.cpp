#include "settings/backup_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "params/field_table.h"
#include "platform/environment.h"
#include "platform/file_io.h"
#include "platform/time_stamp.h"
#include "platform/unique_fd.h"
#include "settings/json_reader.h"
#include "settings/json_text.h"
#include "settings/record_fields.h"

using namespace vardex::platform;
using namespace vardex::params;

namespace vardex::settings {
namespace {

// "20261210T052822.123Z.00_": the time (UTC, to the millisecond) and a
// sequence number for backups of the same millisecond, so that names sort by age.
constexpr std::size_t kStampLength = 24;
// The device's own texts in a name are cut to this and to [A-Za-z0-9-].
constexpr std::size_t kNamePartMax = 32;
constexpr int kSequenceMax = 100;

// What failed and errno's words for it.
Unexpected<std::string> Fail(const std::string& what) {
    return Unexpected{what + ": " + std::strerror(errno)};
}

std::string NamePart(const std::string& text) {
    std::string part;
    for (const char c : text) {
        if ((std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-') &&
            part.size() < kNamePartMax) {
            part += c;
        }
    }
    return part.empty() ? "unknown" : part;
}

bool IsBackupName(const std::string& name) {
    return name.size() > kStampLength + 5 && std::isdigit(static_cast<unsigned char>(name[0])) &&
           name[8] == 'T' && name[kStampLength - 1] == '_' &&
           name.compare(name.size() - 5, 5, ".json") == 0;
}

// mkdir -p, each new folder private.
Expected<void> MakeFolders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') {
            const std::string part = path.substr(0, at);
            if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
                return Fail("cannot make " + part);
            }
        }
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        errno = ENOTDIR;
        return Fail(path);
    }
    return {};
}

// A temporary file older than this was left by a write that died: no live
// write takes that long between making and linking it.
constexpr auto kLeftOverAge = std::chrono::minutes(1);

void RemoveLeftOvers(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    const auto now = std::chrono::system_clock::now();
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat info {};
        const std::string path = folder + "/" + name;
        if (name.rfind(".backup-", 0) == 0 && ::lstat(path.c_str(), &info) == 0 &&
            S_ISREG(info.st_mode) &&
            std::chrono::system_clock::from_time_t(info.st_mtime) + kLeftOverAge < now) {
            ::unlink(path.c_str());
        }
    }
    ::closedir(dir);
}

// "2026-12-10 05:28:22" of a stamp's first 15 characters.
std::string ShownTime(const std::string& stamp) {
    if (stamp.size() < 15) {
        return {};
    }
    return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + " " +
           stamp.substr(9, 2) + ":" + stamp.substr(11, 2) + ":" + stamp.substr(13, 2);
}

std::string Stamp() {
    return TimeStamp(std::chrono::system_clock::now(), "%Y%m%dT%H%M%S", StampZone::kUtc) + "Z";
}

}  // namespace

std::string BackupFolder() {
    const char* state = std::getenv(env::kStateHome);
    // A relative XDG_STATE_HOME counts as unset, as the desktop does for its folders.
    if (state != nullptr && state[0] == '/') {
        return std::string(state) + "/vardex/backups";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return std::string(home) + "/.local/state/vardex/backups";
    }
    return {};
}

Expected<std::string> SaveBackup(const CDeviceConfig& record, const std::string& port) {
    const std::string folder = BackupFolder();
    if (folder.empty()) {
        return Unexpected{"neither XDG_STATE_HOME nor HOME names a folder for the backups"};
    }
    if (auto made = MakeFolders(folder); !made) {
        return Unexpected{made.error()};
    }
    RemoveLeftOvers(folder);
    const std::string stamp = Stamp();
    std::string text = settings::RecordJson(record);
    text.resize(text.rfind('}'));
    text += ",\"" + std::string(kPortKey) + "\":" + settings::JsonString(port) + ",\"" +
            std::string(kWrittenKey) + "\":" + settings::JsonString(stamp) + "}\n";
    std::string temp = folder + "/.backup-XXXXXX";
    const UniqueFd fd(::mkstemp(temp.data()));  // mode 0600
    if (!fd) {
        return Fail("cannot write in " + folder);
    }
    const bool written = WriteAll(fd.get(), text) && ::fsync(fd.get()) == 0;
    if (!written) {
        const int error = errno;
        ::unlink(temp.c_str());
        errno = error;
        return Fail("cannot write " + temp);
    }
    const std::string device = NamePart(record.m_strCountry) + "_model" +
                               CDeviceConfig::FormatVersion(record.m_wModelVersion) + "_fw" +
                               CDeviceConfig::FormatVersion(record.m_wFirmwareVersion) + "_crc" +
                               NamePart(record.m_strCrc);
    std::string path;
    bool linked = false;
    // link() never replaces a file: two backups of one millisecond both stay.
    for (int sequence = 0; sequence < kSequenceMax && !linked; ++sequence) {
        char name[16];
        std::snprintf(name, sizeof name, ".%02d_", sequence);
        path = folder + "/" + stamp + name + device + ".json";
        linked = ::link(temp.c_str(), path.c_str()) == 0;
        if (!linked && errno != EEXIST) {
            break;
        }
    }
    const int error = errno;
    ::unlink(temp.c_str());
    if (!linked) {
        errno = error;
        return Fail("cannot name the backup in " + folder);
    }
    // The new name survives a crash only once its folder is on disk.
    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir || ::fsync(dir.get()) != 0) {
        return Fail("cannot sync " + folder);
    }
    // The oldest written go; the one just made stays whatever the others say
    // of their times (a clock stepped back, files from another machine).
    const std::vector<Backup> all = ListBackups().value_or({});
    std::size_t kept = 1;
    for (const Backup& backup : all) {
        if (backup.path == path) {
            continue;
        }
        if (++kept > kBackupsKept) {
            ::unlink(backup.path.c_str());
        }
    }
    return path;
}

Backup DescribeBackup(const std::string& path) {
    Backup backup;
    backup.path = path;
    backup.file = path.substr(path.rfind('/') + 1);
    const auto text = settings::ReadSettingsFile(path);
    if (!text) {
        return backup;
    }
    const auto read = settings::ReadFieldsObject(*text);
    if (!read) {
        return backup;
    }
    const std::vector<std::pair<std::string, settings::FieldValue>>& members = *read;
    for (const auto& [key, value] : members) {
        const RecordField* field = FindField(key);
        if (field == nullptr) {
            continue;
        }
        const std::string_view name = field->name;
        const bool number = value.type == settings::FieldValue::Type::kNumber &&
                            value.number >= 0 && value.number <= 0xFFFF;
        if (name == "m_strCountry" && value.type == settings::FieldValue::Type::kText) {
            backup.country = value.text;
        } else if (name == "m_strCrc" && value.type == settings::FieldValue::Type::kText) {
            backup.crc = value.text;
        } else if (name == "m_wModelVersion" && number) {
            backup.model = static_cast<std::uint16_t>(value.number);
        } else if (name == "m_wFirmwareVersion" && number) {
            backup.firmware = static_cast<std::uint16_t>(value.number);
        }
    }
    for (const auto& [key, value] : members) {
        if (value.type != settings::FieldValue::Type::kText) {
            continue;
        }
        if (key == kPortKey) {
            backup.port = value.text;
        } else if (key == kWrittenKey) {
            backup.time = ShownTime(value.text);
            backup.written = value.text;
        }
    }
    return backup;
}

Expected<std::vector<Backup>> ListBackups() {
    std::vector<Backup> backups;
    const std::string folder = BackupFolder();
    DIR* dir = folder.empty() ? nullptr : ::opendir(folder.c_str());
    if (dir == nullptr) {
        // None kept yet is no failure; a folder that cannot be read is.
        if (!folder.empty() && errno != ENOENT) {
            return Fail("cannot read " + folder);
        }
        return backups;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (IsBackupName(name)) {
            Backup backup;
            backup.file = name;
            backup.path = folder + "/" + name;
            backups.push_back(std::move(backup));
        }
    }
    ::closedir(dir);
    for (Backup& backup : backups) {
        const std::string file = backup.file;
        backup = DescribeBackup(backup.path);
        backup.file = file;
        if (backup.written.empty()) {  // older files say it in their names only
            backup.written = file.substr(0, kStampLength);
            backup.time = ShownTime(file);
        }
    }
    // By the time each was written (the stamp sorts as text), then by name.
    std::sort(backups.begin(), backups.end(), [](const Backup& a, const Backup& b) {
        return a.written != b.written ? a.written > b.written : a.file > b.file;
    });
    return backups;
}

bool SameUnit(const Backup& backup, const CDeviceConfig& device, const std::string& port) {
    return backup.country == device.m_strCountry && backup.model == device.m_wModelVersion &&
           (backup.port.empty() || backup.port == port);
}

std::string DescribeUnit(const Backup& backup) {
    return "the varDex on " + (backup.port.empty() ? std::string("an unknown port") : backup.port) +
           " (" + DescribeDevice(backup.country, backup.model, backup.firmware, backup.crc) + ")";
}

std::string DescribeDevice(const std::string& country, std::uint16_t model, std::uint16_t firmware,
                           const std::string& crc) {
    return (country.empty() ? std::string("unknown country") : country) + ", model " +
           CDeviceConfig::FormatVersion(model) + ", firmware " +
           CDeviceConfig::FormatVersion(firmware) + ", CRC " + (crc.empty() ? "?" : crc);
}

}  // namespace vardex::settings
