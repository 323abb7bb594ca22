#include "nv_state.h"

#include "device_text.h"
#include "platform/file_io.h"
#include "platform/file_kind.h"
#include "platform/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <map>
#include <optional>
#include <vector>

using namespace vardex::platform;

namespace vardex::sim {
namespace {

constexpr std::string_view kFirstLine = "vardex-sim state 1";
constexpr std::string_view kLastLine = "end";

bool ValidText(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

bool Digits(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// Decimal digits only: from_chars would take a minus sign for a signed T.
template <typename T>
bool ParseNumber(std::string_view text, T max, T* value) {
    if (!Digits(text)) {
        return false;
    }
    T parsed{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (ec != std::errc{} || end != text.data() + text.size() || parsed > max) {
        return false;
    }
    *value = parsed;
    return true;
}

bool ParseCounters(std::string_view text, std::array<std::uint32_t, 3>* counters) {
    std::array<std::uint32_t, 3> parsed{};
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        const std::size_t comma = i + 1 < parsed.size() ? text.find(',') : text.size();
        if (comma == std::string_view::npos ||
            !ParseNumber<std::uint32_t>(text.substr(0, comma), 0xFFFFFFFFu, &parsed[i])) {
            return false;
        }
        text.remove_prefix(std::min(text.size(), comma + 1));
    }
    *counters = parsed;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::string Counters(const std::array<std::uint32_t, 3>& counters) {
    return std::to_string(counters[0]) + "," + std::to_string(counters[1]) + "," +
           std::to_string(counters[2]);
}

std::string Indexed(std::string_view stem, std::size_t index, std::string_view tail = {}) {
    return std::string(stem) + std::to_string(index) + std::string(tail);
}

}  // namespace

std::string SerializeNv(const NvState& state) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out += kFirstLine;
    out += "\nfirmware_valid=";
    out += state.firmware_valid ? "1" : "0";
    out += "\nsoftware=" + state.software_version;
    out += "\ncrc=" + state.crc;
    out += "\ns15=" + std::to_string(state.s15);
    for (std::size_t i = 0; i < state.msn.size(); ++i) {
        out += "\n" + Indexed("msn", i) + "=" + state.msn[i];
    }
    for (std::size_t i = 0; i < state.own.size(); ++i) {
        out += "\n" + Indexed("own", i) + "=" + state.own[i];
    }
    out += "\ncharge_last=" + Counters(state.last_charge);
    out += "\ncharge_total=" + Counters(state.total_charge);
    for (std::size_t p = 0; p < state.profiles.size(); ++p) {
        const Profile& profile = state.profiles[p];
        out += "\n" + Indexed("profile", p, "_registers") + "=";
        for (const std::uint8_t value : profile.registers) {
            out += kHex[value >> 4];
            out += kHex[value & 0xF];
        }
        out += "\n" + Indexed("profile", p, "_clip") + "=" + std::to_string(profile.clip_level);
        out += "\n" + Indexed("profile", p, "_x121") + "=" + profile.x121;
    }
    out += "\n";
    out += kLastLine;
    out += "\n";
    return out;
}

Expected<NvState> ParseNv(std::string_view text) {
    std::map<std::string, std::string, std::less<>> values;
    std::size_t line_number = 0;
    bool ended = false;
    auto fail = [&](const std::string& what) {
        return Unexpected{line_number > 0 ? "line " + std::to_string(line_number) + ": " + what
                                          : what};
    };
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        if (newline == std::string_view::npos) {
            ++line_number;
            return fail("no line end");
        }
        const std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline + 1);
        ++line_number;
        if (ended) {
            return fail("text after the end line");
        }
        if (line_number == 1) {
            if (line != kFirstLine) {
                return fail("not a vardex-sim state file");
            }
            continue;
        }
        if (line == kLastLine) {
            ended = true;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || !ValidText(line)) {
            return fail("not a key=value line");
        }
        if (!values
                 .emplace(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1)))
                 .second) {
            return fail("repeated key");
        }
    }
    if (!ended) {
        line_number = 0;
        return fail("file ends before its end line");
    }
    line_number = 0;

    NvState parsed;
    auto take = [&](const std::string& key) -> std::optional<std::string> {
        auto it = values.find(key);
        if (it == values.end()) {
            return std::nullopt;
        }
        std::string value = std::move(it->second);
        values.erase(it);
        return value;
    };
    auto missing = [&](const std::string& key) { return fail("missing or bad " + key); };

    const auto valid = take("firmware_valid");
    if (!valid || (*valid != "0" && *valid != "1")) {
        return missing("firmware_valid");
    }
    parsed.firmware_valid = *valid == "1";
    auto software = take("software");
    auto crc = take("crc");
    if (!software || !crc) {
        return missing("software or crc");
    }
    parsed.software_version = std::move(*software);
    parsed.crc = std::move(*crc);
    const auto s15 = take("s15");
    if (!s15 || !ParseNumber<std::uint8_t>(*s15, 255, &parsed.s15)) {
        return missing("s15");
    }
    for (std::size_t i = 0; i < parsed.msn.size(); ++i) {
        auto msn = take(Indexed("msn", i));
        if (!msn || !NumberKept(*msn, i >= kDteMsnFirst)) {
            return missing(Indexed("msn", i));
        }
        parsed.msn[i] = std::move(*msn);
    }
    for (std::size_t i = 0; i < parsed.own.size(); ++i) {
        auto own = take(Indexed("own", i));
        if (!own || !NumberKept(*own, i == kDteOwn)) {
            return missing(Indexed("own", i));
        }
        parsed.own[i] = std::move(*own);
    }
    const auto last = take("charge_last");
    const auto total = take("charge_total");
    if (!last || !total || !ParseCounters(*last, &parsed.last_charge) ||
        !ParseCounters(*total, &parsed.total_charge)) {
        return missing("charge counters");
    }
    for (std::size_t p = 0; p < parsed.profiles.size(); ++p) {
        Profile& profile = parsed.profiles[p];
        const auto registers = take(Indexed("profile", p, "_registers"));
        if (!registers || registers->size() != 2 * profile.registers.size()) {
            return missing(Indexed("profile", p, "_registers"));
        }
        for (std::size_t r = 0; r < profile.registers.size(); ++r) {
            const int high = HexDigit((*registers)[2 * r]);
            const int low = HexDigit((*registers)[2 * r + 1]);
            if (high < 0 || low < 0) {
                return missing(Indexed("profile", p, "_registers"));
            }
            profile.registers[r] = static_cast<std::uint8_t>(high * 16 + low);
        }
        const auto clip = take(Indexed("profile", p, "_clip"));
        if (!clip || !ParseNumber<int>(*clip, 255, &profile.clip_level)) {
            return missing(Indexed("profile", p, "_clip"));
        }
        auto x121 = take(Indexed("profile", p, "_x121"));
        if (!x121 || !Digits(*x121)) {
            return missing(Indexed("profile", p, "_x121"));
        }
        profile.x121 = std::move(*x121);
    }
    if (!values.empty()) {
        return fail("unknown key " + values.begin()->first);
    }
    return parsed;
}

Expected<NvState, StateFileProblem> ReadStateFile(const std::string& path) {
    auto fail = [](StateFileStatus status, std::string text) {
        return Unexpected{StateFileProblem{status, std::move(text)}};
    };
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        const SysError error = SysError::FromErrno("look at " + path);
        return fail(error.code == ENOENT ? StateFileStatus::kMissing : StateFileStatus::kRefused,
                    error.Message());
    }
    const bool link = S_ISLNK(info.st_mode);
    if (link && ::stat(path.c_str(), &info) != 0) {
        return fail(StateFileStatus::kRefused,
                    path + " is a symbolic link to nothing that can be used (" +
                        SysError::FromErrno("follow it").Message() + ")");
    }
    if (!S_ISREG(info.st_mode)) {
        return fail(StateFileStatus::kRefused, vardex::platform::WrongFileKindText(
                                                   path, info.st_mode, "a regular file", link));
    }
    // O_NONBLOCK: should a FIFO have taken the file's place since the look above,
    // the open returns at once rather than wait for a writer.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        const SysError error = SysError::FromErrno("open " + path);
        return fail(error.code == ENOENT ? StateFileStatus::kMissing : StateFileStatus::kUnusable,
                    error.Message());
    }
    if (::fstat(fd.get(), &info) != 0) {
        return fail(StateFileStatus::kRefused,
                    SysError::FromErrno("look at the open " + path).Message());
    }
    if (!S_ISREG(info.st_mode)) {
        return fail(StateFileStatus::kRefused, path + " turned into " +
                                                   vardex::platform::FileKindText(info.st_mode) +
                                                   " while being opened");
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(StateFileStatus::kUnusable, SysError::FromErrno("read " + path).Message());
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > kStateFileMaxBytes) {
            return fail(StateFileStatus::kUnusable,
                        path + ": larger than " +
                            std::to_string(kStateFileMaxBytes / (1024 * 1024)) +
                            " MiB, too large for a state file");
        }
    }
    fd.reset();
    auto parsed = ParseNv(text);
    if (!parsed) {
        return fail(StateFileStatus::kUnusable, path + ": " + parsed.error());
    }
    return std::move(*parsed);
}

bool SaveStateFile(const std::string& path, const NvState& state, SysError* error) {
    // What is replaced: the file itself, or the one a symbolic link leads to, so
    // that the link stays a link.
    std::string target = path;
    struct stat info {};
    bool exists = false;
    if (::lstat(path.c_str(), &info) == 0) {
        if (S_ISLNK(info.st_mode)) {
            char* resolved = ::realpath(path.c_str(), nullptr);
            if (resolved == nullptr || ::lstat(resolved, &info) != 0) {
                *error = SysError::FromErrno("follow the link " + path);
                std::free(resolved);
                return false;
            }
            target = resolved;
            std::free(resolved);
        }
        if (!S_ISREG(info.st_mode)) {
            *error = SysError{EPERM, "replace " + target + " (" +
                                         vardex::platform::FileKindText(info.st_mode) +
                                         ", not a regular file)"};
            return false;
        }
        exists = true;
    } else if (errno != ENOENT) {
        *error = SysError::FromErrno("look at " + path);
        return false;
    }

    const std::string text = SerializeNv(state);
    const std::string temp = target + ".tmp." + std::to_string(::getpid());
    // The name is this process's own: anything there is left from an earlier
    // process with the same id. O_EXCL | O_NOFOLLOW: never write through a link.
    ::unlink(temp.c_str());
    UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd) {
        *error = SysError::FromErrno("create " + temp);
        return false;
    }
    if (exists) {
        // The replacement keeps the old file's owner and permissions where this
        // process may set them (best effort: the content is what matters).
        [[maybe_unused]] const int owned = ::fchown(fd.get(), info.st_uid, info.st_gid);
        [[maybe_unused]] const int moded = ::fchmod(fd.get(), info.st_mode & 07777);
    }
    if (!WriteAll(fd.get(), text)) {
        *error = SysError::FromErrno("write " + temp);
        fd.reset();
        ::unlink(temp.c_str());
        return false;
    }
    if (::fsync(fd.get()) != 0) {
        *error = SysError::FromErrno("fsync " + temp);
        fd.reset();
        ::unlink(temp.c_str());
        return false;
    }
    if (!fd.close()) {
        *error = SysError::FromErrno("close " + temp);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        *error = SysError::FromErrno("rename to " + target);
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself lives in the folder; flush that too, where it can be
    // opened (best effort: the new file is complete either way).
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) {
        ::fsync(dir.get());
    }
    return true;
}

}  // namespace vardex::sim
