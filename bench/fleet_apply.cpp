// Eight simulated varDex brought to a desired state by `vardexctl apply`: all
// at once (--port eight times) and one after another, one run each, with the
// ratio of the two times. Each run changes every device (the two runs set
// opposite values), so both do the same work.
// Run with VARDEX_TIME_SCALE to shorten every wait alike.
//
//   bench_fleet_apply
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/vtime.h"
#include "pty_device.h"

namespace {

constexpr int kDevices = 8;

// The command's time in milliseconds, or a negative number when it failed.
double Timed(const std::string& words) {
    const auto start = vardex::platform::Clock::now();
    const int status =
        std::system((std::string(VARDEXCTL_PATH) + " " + words + " >/dev/null 2>&1").c_str());
    const double ms =
        std::chrono::duration<double, std::milli>(vardex::platform::Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

}  // namespace

int main() {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("vardex-bench-fleet-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    // Backups go to the bench's own folder, not the home of whoever runs it.
    ::setenv("XDG_STATE_HOME", dir.c_str(), 1);
    const std::string on = (dir / "on.json").string();
    const std::string off = (dir / "off.json").string();
    std::ofstream(on) << R"({"port1.call_waiting":1,"port2.call_waiting":1,"telephony.clip":1})";
    std::ofstream(off) << R"({"port1.call_waiting":0,"port2.call_waiting":0,"telephony.clip":0})";

    std::vector<std::unique_ptr<vardex::sim::PtyDevice>> devices;
    std::string ports;
    for (int i = 0; i < kDevices; ++i) {
        devices.push_back(std::make_unique<vardex::sim::PtyDevice>());
        vardex::platform::SysError error;
        if (!devices.back()->Start(&error)) {
            std::fprintf(stderr, "simulator: %s\n", error.Message().c_str());
            return 1;
        }
        ports += " --port " + devices.back()->Path();
    }
    std::printf("apply to %d simulated devices, time scale %.2f\n", kDevices,
                vardex::platform::TimeScale());
    const double parallel = Timed("apply --store 0" + ports + " " + off);
    std::printf("  all at once:        %s %.0f ms\n", parallel < 0 ? "FAILED" : "", parallel);
    double serial = 0;
    for (const auto& device : devices) {
        const double ms = Timed("apply --store 0 --port " + device->Path() + " " + on);
        serial = ms < 0 || serial < 0 ? -1 : serial + ms;
    }
    std::printf("  one after another:  %s %.0f ms\n", serial < 0 ? "FAILED" : "", serial);
    if (parallel > 0 && serial > 0) {
        std::printf("  one after another / all at once: %.2f\n", serial / parallel);
    }
    std::filesystem::remove_all(dir);
    return parallel > 0 && serial > 0 ? 0 : 1;
}
