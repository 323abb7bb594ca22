#include "port_map.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "net_line.h"
#include "platform/environment.h"

namespace vardex::platform {
namespace {

namespace fs = std::filesystem;

std::string ReadFirstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// Number after the prefix, or -1 when the name is not prefix + digits.
long NumberAfter(const std::string& name, std::string_view prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
        return -1;
    }
    long value = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(name[i])) == 0 || value > 100000) {
            return -1;
        }
        value = value * 10 + (name[i] - '0');
    }
    return value;
}

std::set<std::string> ConsoleNames(const std::string& sysfs_tty) {
    std::set<std::string> names;
    std::istringstream words(ReadFirstLine(fs::path(sysfs_tty) / "console" / "active"));
    std::string word;
    while (words >> word) {
        names.insert(word);
    }
    return names;
}

// An 8250 ttyS entry without a UART reports type 0 (PORT_UNKNOWN).
bool HasUart(const fs::path& entry) {
    const std::string type = ReadFirstLine(entry / "type");
    return !type.empty() && type != "0";
}

// Where the entry that begins at start ends (the separating colon, or the end of
// the list). A network entry runs past the colons of its scheme and its
// [v6] literal, and takes the colon after its host only when digits follow
// up to the next separator: "rfc2217://h:3001:/dev/pts/1" is two entries, and
// so is "rfc2217://h:/dev/pts/1" (a host without port, then a path).
std::size_t EntryEnd(std::string_view list, std::size_t start) {
    const std::string_view rest = list.substr(start);
    if (!IsNetPortName(rest)) {
        return list.find(':', start);
    }
    std::size_t at = start + std::strlen(kNetPortScheme);
    if (at < list.size() && list[at] == '[') {
        const std::size_t close = list.find(']', at);
        if (close == std::string_view::npos) {
            return std::string_view::npos;  // an unclosed literal takes the rest
        }
        at = close + 1;
    }
    const std::size_t host_end = list.find(':', at);
    if (host_end == std::string_view::npos) {
        return host_end;
    }
    std::size_t digits = host_end + 1;
    while (digits < list.size() && std::isdigit(static_cast<unsigned char>(list[digits])) != 0) {
        ++digits;
    }
    if (digits == host_end + 1 || (digits < list.size() && list[digits] != ':')) {
        return host_end;
    }
    return digits < list.size() ? digits : std::string_view::npos;
}

}  // namespace

std::vector<std::string> ParsePortList(std::string_view list) {
    std::vector<std::string> ports;
    std::size_t start = 0;
    while (ports.size() < kComPortCount) {
        const std::size_t end = EntryEnd(list, start);
        ports.emplace_back(list.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    ports.resize(kComPortCount);
    return ports;
}

std::vector<std::string> SystemSerialPorts(const std::string& sysfs_tty, const std::string& dev) {
    struct Candidate {
        int family;
        long number;
        std::string name;
    };
    static constexpr std::string_view kFamilies[] = {"ttyS", "ttyUSB", "ttyAMA"};
    std::vector<Candidate> found;
    const std::set<std::string> consoles = ConsoleNames(sysfs_tty);
    std::error_code ec;
    for (fs::directory_iterator it(sysfs_tty, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        for (int family = 0; family < 3; ++family) {
            const long number = NumberAfter(name, kFamilies[family]);
            if (number < 0 || consoles.count(name) != 0) {
                continue;
            }
            if (family == 0 && !HasUart(it->path())) {
                continue;
            }
            found.push_back({family, number, name});
        }
    }
    std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
        return a.family != b.family ? a.family < b.family : a.number < b.number;
    });
    std::vector<std::string> paths;
    for (const auto& candidate : found) {
        if (paths.size() == kComPortCount) {
            break;
        }
        paths.push_back((fs::path(dev) / candidate.name).string());
    }
    return paths;
}

std::vector<std::string> CurrentPortMap() {
    const char* list = std::getenv(vardex::platform::env::kPorts);
    if (list != nullptr) {
        return ParsePortList(list);
    }
    std::vector<std::string> ports = SystemSerialPorts();
    ports.resize(kComPortCount);
    return ports;
}

std::optional<std::string> ResolvePortName(std::string_view com_name) {
    if (com_name.size() < 4 || com_name.size() > 5) {
        return std::nullopt;
    }
    std::string upper(com_name.substr(0, 3));
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const long number = NumberAfter(upper + std::string(com_name.substr(3)), "COM");
    if (upper != "COM" || number < 1 || number > kComPortCount) {
        return std::nullopt;
    }
    std::string path = CurrentPortMap()[static_cast<std::size_t>(number - 1)];
    if (path.empty()) {
        return std::nullopt;
    }
    return path;
}

std::string DescribePort(std::string_view com_name) {
    std::string text(com_name);
    if (const auto path = ResolvePortName(com_name)) {
        text += " (" + *path + ")";
    }
    return text;
}

}  // namespace vardex::platform
