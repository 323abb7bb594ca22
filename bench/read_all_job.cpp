// The whole read-all job (identification and every query row) against the
// simulated device, beside the floor its waits imply: the connection's settle
// pause, the loader probe's silent 10.5 s, and for every command line the
// interval time-out behind the device's last byte plus two reads running into
// the 250 ms total time-out. The port is opened before the clock starts, as the
// search would leave it.
// Run with VARDEX_TIME_SCALE to shorten every wait alike.
//
//   bench_read_all_job [COUNTRY]     (default Hungary: every row sends)
#include <chrono>
#include <cstdio>
#include <string>

#include "device/transfer_jobs.h"
#include "link/tapi_line.h"
#include "platform/vtime.h"
#include "pty_device.h"
#include "scripted_job_view.h"
#include "simulated_device.h"

using namespace vardex::params;
using namespace vardex::device;
using namespace vardex::link;

int main(int argc, char** argv) {
    const std::string country = argc > 1 ? argv[1] : "Hungary";
    constexpr std::int64_t kProbeMs = kLoaderProbeMs;
    constexpr std::int64_t kSettleMs = kSettleDelayMs;
    constexpr std::int64_t kPerCommandMs = kReadIntervalMs + 2 * kExchangeReadMs;

    vardex::sim::PtyDevice device(vardex::sim::DeviceOptions{.country = country});
    CVarDexConfigurationManagerApp app;
    if (!vardex::bench::OpenSimulatedDevice(device, app)) {
        return 1;
    }
    vardex::test::ScriptedJobView view;

    const std::uint64_t before = device.CommandCount();
    const auto start = vardex::platform::Clock::now();
    const bool done = ReadAllParameters(&view, &app) == JobResult::kDone;
    const double ms =
        std::chrono::duration<double, std::milli>(vardex::platform::Clock::now() - start).count();
    const auto commands = static_cast<std::int64_t>(device.CommandCount() - before);
    const double floor_ms =
        static_cast<double>(
            vardex::platform::ScaledMs(kSettleMs + kProbeMs + commands * kPerCommandMs).count()) /
        1000.0;
    std::printf("read-all job, country %s, time scale %.2f, %s\n", country.c_str(),
                vardex::platform::TimeScale(), done ? "done" : "stopped");
    std::printf(
        "%lld command lines, floor %.1f ms (settle %lld + probe %lld + %lld x %lld), time %.1f "
        "ms\n",
        static_cast<long long>(commands), floor_ms, static_cast<long long>(kSettleMs),
        static_cast<long long>(kProbeMs), static_cast<long long>(commands),
        static_cast<long long>(kPerCommandMs), ms);
    std::printf("ratio time/floor: %.4f (goal <= 1.02)\n", ms / floor_ms);
    return done ? 0 : 1;
}
