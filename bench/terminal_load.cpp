// The terminal under the device's full serial output: the simulator sends
// numbered trace lines at the line rate of 115200 baud (11520 bytes/s) for
// 10 s while the terminal shows them and logs them. Prints whether the log
// holds every byte in order, how far the screen fell behind the line, the CPU
// the GUI thread and the reader used, and, with nothing arriving, the CPU of
// the whole program (the simulator's own thread excluded), each beside its
// limit. Runs in real time (VARDEX_TIME_SCALE changes the reader's waits too).
//
//   bench_terminal_load [SECONDS]   (default 10)
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/vtime.h"
#include "pty_device.h"
#include "simulated_device.h"
#include "ui/terminal/terminal_control.h"

using namespace vardex::params;

namespace {

using Seconds = std::chrono::duration<double>;

double ProcessCpu() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCpu() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double SimulatorCpu(const vardex::sim::PtyDevice& device) {
    return Seconds(device.WorkerCpuTime()).count();
}

// Runs the event loop for ms, or until done() holds (checked every 20 ms).
void RunFor(int ms, const std::function<bool()>& done = {}) {
    QEventLoop loop;
    QTimer stop;
    stop.setSingleShot(true);
    QObject::connect(&stop, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer poll;
    if (done) {
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (done()) {
                loop.quit();
            }
        });
        poll.start(20);
    }
    stop.start(ms);
    loop.exec();
}

// The number of the last whole flood line on the screen, -1 for none.
long LastLineShown(const vardex::ui::CTerminalControl& terminal) {
    const QStringList lines = terminal.ScreenLines();
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (lines[i].startsWith(QStringLiteral("FLOOD ")) && lines[i].size() >= 16) {
            return lines[i].mid(6, 10).toLong();
        }
    }
    return -1;
}

// Whether text is the flood lines first..first+count-1, each whole and in order.
bool WholeFlood(const std::string& text, std::size_t line_bytes, unsigned first,
                std::size_t* count) {
    *count = text.size() / line_bytes;
    if (text.size() % line_bytes != 0) {
        return false;
    }
    for (std::size_t i = 0; i < *count; ++i) {
        char head[24];
        std::snprintf(head, sizeof head, "FLOOD %010u ", first + static_cast<unsigned>(i));
        const std::string_view line(text.data() + i * line_bytes, line_bytes);
        if (line.substr(0, 17) != head || line.substr(line_bytes - 2) != "\r\n") {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    constexpr std::uint32_t kRate = 115200 / 10;  // 8N1: ten bits a byte
    constexpr double kGuiLimit = 0.10;
    constexpr double kIdleLimit = 0.01;
    constexpr double kLagLimitMs = 500.0;
    constexpr int kIdleMs = 5000;
    const std::size_t line_bytes = vardex::sim::Device::kFloodLineBytes;

    if (::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    int qt_argc = 1;
    QApplication qt(qt_argc, argv);

    vardex::sim::PtyDevice device;
    CVarDexConfigurationManagerApp app;
    if (!vardex::bench::OpenSimulatedDevice(device, app)) {
        return 1;
    }
    vardex::ui::CTerminalControl terminal;
    QFont font(QStringLiteral("Courier"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(12);
    terminal.setFont(font);
    terminal.SetPort(&app.m_workingRecord);
    terminal.show();
    const std::string log_path = "/tmp/bench-terminal-" + std::to_string(::getpid()) + ".log";
    if (!terminal.OpenLog(log_path)) {
        std::fprintf(stderr, "cannot open %s\n", log_path.c_str());
        return 1;
    }
    bool log_failed = false;
    terminal.m_onLogFailed = [&] { log_failed = true; };
    terminal.StartReader();
    RunFor(300);

    // Nothing arriving: the whole program but the simulator's thread.
    double cpu0 = ProcessCpu() - SimulatorCpu(device);
    auto t0 = vardex::platform::Clock::now();
    RunFor(kIdleMs);
    const double idle_wall = Seconds(vardex::platform::Clock::now() - t0).count();
    const double idle_share = (ProcessCpu() - SimulatorCpu(device) - cpu0) / idle_wall;

    // The flood, watched from every screen change: the oldest line that a
    // change brings to the screen left the device at the flood's start plus its
    // place in the stream over the rate; the change came that much later.
    unsigned updates = 0;
    double worst_lag_ms = 0;
    long previous_shown = -1;
    vardex::platform::Clock::time_point flood_start;
    terminal.m_onScreenUpdated = [&] {
        ++updates;
        const long shown = LastLineShown(terminal);
        if (shown <= previous_shown) {
            return;
        }
        const double oldest_sent_ms = static_cast<double>(previous_shown + 2) *
                                      static_cast<double>(line_bytes) * 1000.0 / kRate;
        const double now_ms =
            std::chrono::duration<double, std::milli>(vardex::platform::Clock::now() - flood_start)
                .count();
        worst_lag_ms = std::max(worst_lag_ms, now_ms - oldest_sent_ms);
        previous_shown = shown;
    };
    cpu0 = ProcessCpu() - SimulatorCpu(device);
    const double gui0 = ThreadCpu();
    t0 = vardex::platform::Clock::now();
    flood_start = t0;
    device.Modify([&](vardex::sim::Device& d) {
        d.SetTraceFlood(kRate, static_cast<std::int64_t>(seconds) * 1000);
    });
    RunFor(seconds * 1000 + 5000, [&] {
        const auto [flooding, sent] = device.Inspect([](const vardex::sim::Device& d) {
            return std::make_pair(d.TraceFlooding(), d.TraceFloodBytes());
        });
        return !flooding && LastLineShown(terminal) == static_cast<long>(sent / line_bytes) - 1;
    });
    const double flood_wall = Seconds(vardex::platform::Clock::now() - t0).count();
    const double gui_share = (ThreadCpu() - gui0) / flood_wall;
    const double rest_share = (ProcessCpu() - SimulatorCpu(device) - cpu0) / flood_wall - gui_share;
    const std::uint64_t sent =
        device.Inspect([](const vardex::sim::Device& d) { return d.TraceFloodBytes(); });
    const long shown = LastLineShown(terminal);

    terminal.StopReader();
    std::ifstream in(log_path, std::ios::binary);
    const std::string logged((std::istreambuf_iterator<char>(in)), {});
    if (::getenv("BENCH_KEEP_LOG") == nullptr) {
        std::remove(log_path.c_str());
    } else {
        std::printf("log kept: %s\n", log_path.c_str());
    }
    std::size_t lines = 0;
    const bool whole = WholeFlood(logged, line_bytes, 0, &lines);
    const bool complete = whole && logged.size() == sent;
    const bool caught_up = shown == static_cast<long>(sent / line_bytes) - 1;

    std::printf("terminal at %u bytes/s for %d s (time scale %.2f)\n", kRate, seconds,
                vardex::platform::TimeScale());
    std::printf("log: %zu of %llu bytes sent, %zu whole lines in order: %s (limit: all)\n",
                logged.size(), static_cast<unsigned long long>(sent), lines,
                complete ? "nothing lost" : "LOST OR DAMAGED");
    std::printf(
        "screen: %u updates (%.1f/s), last line shown %ld of %llu: %s; "
        "worst delay of a line %.0f ms (limit %.0f ms)\n",
        updates, updates / flood_wall, shown,
        static_cast<unsigned long long>(sent / line_bytes) - 1, caught_up ? "caught up" : "BEHIND",
        worst_lag_ms, kLagLimitMs);
    if (log_failed) {
        std::printf("the log was closed by a failed write\n");
    }
    std::printf("GUI thread CPU under load: %.2f %% of a core (limit %.0f %%)\n", gui_share * 100,
                kGuiLimit * 100);
    std::printf("reader and the rest under load: %.2f %% of a core (no limit)\n", rest_share * 100);
    std::printf("idle, whole program without the simulator: %.3f %% of a core (limit %.0f %%)\n",
                idle_share * 100, kIdleLimit * 100);
    const bool ok = complete && caught_up && worst_lag_ms <= kLagLimitMs && gui_share < kGuiLimit &&
                    idle_share < kIdleLimit;
    return ok ? 0 : 1;
}
