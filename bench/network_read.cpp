// The read-all job on the simulated varDex directly and through a port server
// (ser2net on 127.0.0.1, configured as the README shows), one run each on a
// fresh simulator, the port opened before the clock starts as the search would
// leave it. The network's share of the time should stay within 5 %.
// Run with VARDEX_TIME_SCALE to shorten every wait alike.
//
//   bench_network_read [--server-defaults]   (ser2net's own defaults: Nagle on
//                                             its socket, chardelay on)
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "device/transfer_jobs.h"
#include "link/tapi_line.h"
#include "platform/vtime.h"
#include "port_server.h"
#include "pty_device.h"
#include "scripted_job_view.h"

using namespace vardex::params;
using namespace vardex::device;
using namespace vardex::link;

namespace {

// The job's time in milliseconds, or a negative number when it failed.
double TimedRead(vardex::sim::PtyDevice& device, const std::string& port) {
    CVarDexConfigurationManagerApp app;
    CDeviceConfig& w = app.m_workingRecord;
    if (w.Line().OpenPort(port, kLineBaud) != OpenResult::kOk) {
        std::fprintf(stderr, "cannot open %s\n", port.c_str());
        return -1;
    }
    w.Line().SelectDirectPort(port);
    vardex::test::ScriptedJobView view;
    const std::uint64_t before = device.CommandCount();
    const auto start = vardex::platform::Clock::now();
    const bool done = ReadAllParameters(&view, &app) == JobResult::kDone;
    const double ms =
        std::chrono::duration<double, std::milli>(vardex::platform::Clock::now() - start).count();
    std::printf("  %-32s %s, %llu command lines, %.1f ms\n", port.c_str(),
                done ? "done" : "stopped",
                static_cast<unsigned long long>(device.CommandCount() - before), ms);
    return done ? ms : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const bool tuned = !(argc > 1 && std::strcmp(argv[1], "--server-defaults") == 0);
    std::printf("read-all job, time scale %.2f, ser2net %s\n", vardex::platform::TimeScale(),
                tuned ? "as the README configures it" : "with its own defaults");

    vardex::sim::PtyDevice direct_device;
    vardex::sim::PtyDevice served_device;
    vardex::platform::SysError error;
    if (!direct_device.Start(&error) || !served_device.Start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.Message().c_str());
        return 1;
    }
    vardex::test::PortServer server;
    if (const auto started = server.Start(served_device.Path(), tuned); !started) {
        std::fprintf(stderr, "%s\n", started.error().c_str());
        return 1;
    }

    const double direct_ms = TimedRead(direct_device, direct_device.Path());
    const double network_ms = TimedRead(served_device, server.Url());
    if (direct_ms <= 0 || network_ms <= 0) {
        return 1;
    }
    std::printf("direct %.1f ms, through ser2net %.1f ms\n", direct_ms, network_ms);
    std::printf("ratio network/direct: %.4f (goal <= 1.05)\n", network_ms / direct_ms);
    return 0;
}
