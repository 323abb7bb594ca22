// The two exchange timings side by side against the simulated device: the
// identification, the read-all job and the write job of one changed setting,
// each beside the floor its waits imply.
//
// Floors: the connection's settle pause, plus per command line
//  - silence timing: the interval time-out behind the device's last byte and
//    two reads running into the 250 ms total time-out (750 ms), and the loader
//    probe's silent 10.5 s before identification;
//  - final-result timing: the 100 ms guard behind a final result code, and
//    750 ms for the commands that keep the silent end (the connection's
//    "AT/SETRI" among them).
// Run at time scale 1 for real numbers (VARDEX_TIME_SCALE shortens every wait).
//
//   bench_exchange_timing [COUNTRY]     (default Hungary: every row sends)
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "device/identify.h"
#include "device/transfer_jobs.h"
#include "link/exchange_timing.h"
#include "link/protocol_waits.h"
#include "link/reply_assembly.h"
#include "platform/vtime.h"
#include "pty_device.h"
#include "scripted_job_view.h"
#include "simulated_device.h"

using namespace vardex::params;
using namespace vardex::device;
using namespace vardex::link;

namespace {

struct Measured {
    double ms = 0;
    double floor_ms = 0;
    std::size_t lines = 0;
    bool ok = false;
};

// The command lines the device received, in order.
std::vector<std::string> CommandLines(const std::string& received) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < received.size()) {
        std::size_t end = received.find('\r', start);
        if (end == std::string::npos) {
            end = received.size();
        }
        std::string line = received.substr(start, end - start);
        const std::size_t at = line.find("AT");
        if (at != std::string::npos) {
            lines.push_back(line.substr(at));
        }
        start = end + 1;
    }
    return lines;
}

double FloorMs(ExchangeTiming timing, const std::vector<std::string>& lines, bool identifies) {
    std::int64_t ms = identifies ? kSettleDelayMs : 0;
    if (timing == ExchangeTiming::kSilence) {
        ms += (identifies ? kLoaderProbeMs : 0) +
              static_cast<std::int64_t>(lines.size()) * (kReadIntervalMs + 2 * kExchangeReadMs);
    } else {
        for (const std::string& line : lines) {
            if (NeedsSilentEnd(line)) {
                ms += kReadIntervalMs + 2 * kExchangeReadMs;
            } else {
                ms += kFinalResultGuardMs;
            }
        }
    }
    return static_cast<double>(vardex::platform::ScaledMs(ms).count()) / 1000.0;
}

Measured Time(ExchangeTiming timing, vardex::sim::PtyDevice& device, bool identifies,
              const std::function<bool()>& job) {
    device.KeepReceivedBytes(false);
    device.KeepReceivedBytes(true);
    const auto start = vardex::platform::Clock::now();
    Measured m;
    m.ok = job();
    m.ms =
        std::chrono::duration<double, std::milli>(vardex::platform::Clock::now() - start).count();
    const auto lines = CommandLines(device.ReceivedBytes());
    m.lines = lines.size();
    m.floor_ms = FloorMs(timing, lines, identifies);
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string country = argc > 1 ? argv[1] : "Hungary";
    std::printf("exchange timings, country %s, time scale %.2f\n", country.c_str(),
                vardex::platform::TimeScale());
    std::printf("%-14s %-13s %6s %10s %10s %7s  %s\n", "job", "timing", "lines", "time ms",
                "floor ms", "ratio", "result");
    bool all_ok = true;
    for (const ExchangeTiming timing : {ExchangeTiming::kSilence, ExchangeTiming::kFinalResult}) {
        SetExchangeTiming(timing);
        vardex::sim::PtyDevice device(vardex::sim::DeviceOptions{.country = country});
        CVarDexConfigurationManagerApp app;
        if (!vardex::bench::OpenSimulatedDevice(device, app)) {
            return 1;
        }
        vardex::test::ScriptedJobView view;
        const auto report = [&](const char* job, const Measured& m) {
            std::printf("%-14s %-13s %6zu %10.1f %10.1f %7.3f  %s\n", job,
                        timing == ExchangeTiming::kSilence ? "silence" : "final-result", m.lines,
                        m.ms, m.floor_ms, m.ms / m.floor_ms, m.ok ? "ok" : "FAILED");
            all_ok = all_ok && m.ok;
        };
        report("identify", Time(timing, device, true, [&] {
                   return IdentifyDevice(&view, &app) == IdentifyResult::kIdentified;
               }));
        report("read-all", Time(timing, device, true, [&] {
                   return ReadAllParameters(&view, &app) == JobResult::kDone;
               }));
        // One setting changed: the write job sends what differs from the device.
        CDeviceConfig& record = app.m_workingRecord;
        record.m_nBodAddTime = record.m_nBodAddTime == 10 ? 11 : 10;
        report("write one", Time(timing, device, true, [&] {
                   return WriteAllParameters(&view, &app).Result() == JobResult::kDone;
               }));
    }
    std::printf("silence: VARDEX_EXCHANGE=design; final-result: the default\n");
    std::printf("targets (final-result): read-all <= 8000 ms, write one <= 3000 ms\n");
    return all_ok ? 0 : 1;
}
