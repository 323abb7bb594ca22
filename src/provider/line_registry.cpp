#include "line_registry.h"

#include <glob.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/environment.h"

namespace vardex::provider {
namespace {

namespace fs = std::filesystem;

long AcmNumber(const std::string& name) {
    static constexpr std::string_view kPrefix = "ttyACM";
    if (name.size() <= kPrefix.size() || name.compare(0, kPrefix.size(), kPrefix) != 0 ||
        name.size() > kPrefix.size() + 6) {
        return -1;
    }
    long value = 0;
    for (std::size_t i = kPrefix.size(); i < name.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(name[i])) == 0) {
            return -1;
        }
        value = value * 10 + (name[i] - '0');
    }
    return value;
}

// The USB device's product string: the interface's parent in sysfs holds it.
std::string ProductOf(const fs::path& tty_entry) {
    std::error_code ec;
    const fs::path interface = fs::canonical(tty_entry / "device", ec);
    if (ec) {
        return "USB";
    }
    for (const fs::path& dir : {interface.parent_path(), interface}) {
        std::ifstream in(dir / "product");
        std::string product;
        if (std::getline(in, product) && !product.empty()) {
            // A descriptor string is untrusted: keep it printable and short.
            product.erase(std::remove_if(product.begin(), product.end(),
                                         [](unsigned char c) { return c < 0x20 || c == 0x7F; }),
                          product.end());
            return product.substr(0, 64);
        }
    }
    return "USB";
}

}  // namespace

std::vector<LineDevice> DiscoverLines(const std::string& sysfs_tty, const std::string& dev) {
    std::vector<std::pair<long, LineDevice>> acm;
    std::error_code ec;
    for (fs::directory_iterator it(sysfs_tty, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const long number = AcmNumber(name);
        if (number >= 0) {
            acm.push_back({number, {(fs::path(dev) / name).string(), ProductOf(it->path())}});
        }
    }
    std::sort(acm.begin(), acm.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<LineDevice> lines;
    for (auto& entry : acm) {
        lines.push_back(std::move(entry.second));
    }
    if (const char* configured = std::getenv(vardex::platform::env::kLines)) {
        const auto add = [&lines](const std::string& path) {
            const bool known = std::any_of(lines.begin(), lines.end(),
                                           [&](const LineDevice& l) { return l.path == path; });
            if (!path.empty() && !known) {
                lines.push_back({path, kConfiguredLineProduct});
            }
        };
        std::string list(configured);
        std::size_t start = 0;
        while (start <= list.size()) {
            const std::size_t colon = std::min(list.find(':', start), list.size());
            const std::string entry = list.substr(start, colon - start);
            start = colon + 1;
            if (entry.find_first_of("*?[") == std::string::npos) {
                add(entry);
                continue;
            }
            // A pattern names every device that matches now, so that a device
            // that comes back under another name is found again.
            glob_t matches{};
            if (::glob(entry.c_str(), 0, nullptr, &matches) == 0) {
                for (std::size_t i = 0; i < matches.gl_pathc; ++i) {
                    add(matches.gl_pathv[i]);
                }
            }
            ::globfree(&matches);
        }
    }
    return lines;
}

}  // namespace vardex::provider
