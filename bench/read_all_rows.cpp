// How long each query row of a read-all pass takes against the simulated
// device, beside the floor its waits imply.
//
// Every exchange ends only after the interval time-out has passed behind the
// device's last byte and two reads have run into the total read time-out:
// interval + 2 x total, 750 ms with the ordinary 250 ms. The query rows never
// raise the time-out, so a row's floor is its command count times that.
// Run with VARDEX_TIME_SCALE to shorten every wait alike.
//
//   bench_read_all_rows [COUNTRY]     (default Hungary: every row sends)
#include <chrono>
#include <cstdio>
#include <string>

#include "params/param_rows.h"
#include "params/row_dispatch.h"
#include "platform/vtime.h"
#include "pty_device.h"
#include "simulated_device.h"

using namespace vardex::params;
using namespace vardex::link;

int main(int argc, char** argv) {
    const std::string country = argc > 1 ? argv[1] : "Hungary";
    constexpr std::uint32_t kInterval = kReadIntervalMs;
    const double per_command_ms =
        static_cast<double>(
            vardex::platform::ScaledMs(kInterval + 2 * kParamReadTimeoutMs).count()) /
        1000.0;

    vardex::sim::PtyDevice device(vardex::sim::DeviceOptions{.country = country});
    CVarDexConfigurationManagerApp app;
    CDeviceConfig& w = app.m_workingRecord;
    if (!vardex::bench::OpenSimulatedDevice(device, app)) {
        return 1;
    }
    w.SetReadTimeout(kParamReadTimeoutMs);
    vardex::params::SetCountry(w, country);
    CRunningJob job;

    std::printf(
        "read-all rows, country %s, time scale %.2f, floor %.1f ms per command "
        "(interval %u + 2 x total %u)\n",
        country.c_str(), vardex::platform::TimeScale(), per_command_ms, kInterval,
        kParamReadTimeoutMs);
    std::printf("%3s %-22s %4s %10s %10s %9s %7s\n", "row", "name", "cmds", "time ms", "floor ms",
                "excess", "ratio");
    double total_ms = 0;
    double total_floor = 0;
    int number = 0;
    for (const ParamRowSpec& row : QueryRows()) {
        const std::uint64_t before = device.CommandCount();
        const auto start = vardex::platform::Clock::now();
        const RowResult result = RunRow(row, &job, &app, 0);
        const double ms =
            std::chrono::duration<double, std::milli>(vardex::platform::Clock::now() - start)
                .count();
        const auto commands = static_cast<double>(device.CommandCount() - before);
        const double floor_ms = commands * per_command_ms;
        total_ms += ms;
        total_floor += floor_ms;
        std::printf("%3d %-22s %4.0f %10.1f %10.1f %9.1f %7.3f%s\n", ++number, row.name, commands,
                    ms, floor_ms, ms - floor_ms, floor_ms > 0 ? ms / floor_ms : 0.0,
                    result == PARAM_OK ? "" : "  (row failed)");
    }
    std::printf("%3s %-22s %4s %10.1f %10.1f %9.1f %7.3f\n", "", "all rows", "", total_ms,
                total_floor, total_ms - total_floor, total_ms / total_floor);
    return 0;
}
