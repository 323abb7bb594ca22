// How long a person waits, at real timing against simulated varDex, in the
// early exchange timing beside the design's (VARDEX_EXCHANGE=design), with the
// ratio of the two: the window's device list from its start (two USB modem
// lines), the Information page filled from the choice in that list
// (offscreen), and vardexctl's identify, read, and apply with nothing to
// change on a port named by path, each end to end.
//
//   bench_device_speed
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/prop_sheet.h"
#include "link/exchange_timing.h"
#include "ui/device/device_list_dialog.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A vardex-sim of its own, ended with the bench.
class Simulator {
public:
    explicit Simulator(const std::vector<std::string>& words) {
        pid_ = ::fork();
        if (pid_ == 0) {
            std::vector<char*> argv{const_cast<char*>(VARDEX_SIM_PATH)};
            for (const std::string& word : words) {
                argv.push_back(const_cast<char*>(word.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(VARDEX_SIM_PATH, argv.data());
            ::_exit(127);
        }
    }
    ~Simulator() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

private:
    pid_t pid_ = -1;
};

// Waits (10 s at most) for a simulator's port to appear.
bool Appears(const fs::path& path) {
    const auto start = Clock::now();
    while (!fs::exists(path)) {
        if (MsSince(start) > 10000) {
            return false;
        }
        ::usleep(10000);
    }
    return true;
}

// vardexctl's time in milliseconds, or a negative number when it failed.
double Timed(const std::string& words, bool design) {
    const std::string exchange = design ? "VARDEX_EXCHANGE=design " : "VARDEX_EXCHANGE= ";
    const auto start = Clock::now();
    const int status = std::system(
        (exchange + std::string(VARDEXCTL_PATH) + " " + words + " >/dev/null 2>&1").c_str());
    const double ms = MsSince(start);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

struct WindowTimes {
    double list_ms = -1;    // start to the device list shown
    double filled_ms = -1;  // choice to the Information page filled
};

// The window, in this process: started, the first line chosen in the device
// list as soon as it shows, closed once the pages are filled.
WindowTimes TimeWindow() {
    WindowTimes times;
    const auto start = Clock::now();
    Clock::time_point chosen;
    vardex::ui::CVarDexApplication app;
    app.InitInstance({"vardex-config"}, [&](vardex::ui::CPropSheet& sheet) {
        auto* poll = new QTimer(&sheet);
        QObject::connect(poll, &QTimer::timeout, &sheet, [&, poll] {
            auto* list =
                dynamic_cast<vardex::ui::CDeviceListDialog*>(QApplication::activeModalWidget());
            if (list == nullptr || times.list_ms >= 0) {
                return;
            }
            times.list_ms = MsSince(start);
            poll->stop();
            list->List()->setCurrentRow(0);
            chosen = Clock::now();
            list->Item<QPushButton>(vardex::ui::kOkButton)->click();
        });
        poll->start(5);
        sheet.m_onReadDone = [&] {
            if (times.list_ms >= 0 && times.filled_ms < 0) {
                times.filled_ms = MsSince(chosen);
            }
            QTimer::singleShot(0, &sheet, [&sheet] { sheet.EndDialog(2); });
        };
    });
    return times;
}

void Row(const char* what, double early, double design, double limit) {
    if (early < 0 || design < 0) {
        std::printf("  %-34s FAILED\n", what);
        return;
    }
    std::printf("  %-34s %7.0f ms  design %7.0f ms  ratio %5.2f  (limit %5.0f ms%s)\n", what, early,
                design, design / early, limit, early <= limit ? "" : ", OVER");
}

}  // namespace

int main(int argc, char** argv) {
    if (::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    const fs::path dir =
        fs::temp_directory_path() / ("vardex-bench-speed-" + std::to_string(::getpid()));
    fs::create_directories(dir / "usb");
    ::setenv("XDG_STATE_HOME", dir.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    ::setenv("VARDEX_LINES", (dir / "usb" / "ttyACM*").c_str(), 1);
    ::setenv("VARDEX_PORTS", "", 1);
    const std::string port = (dir / "port").string();
    const std::string nothing = (dir / "nothing.json").string();
    std::ofstream(nothing) << R"({"port1.call_waiting":1})";
    {
        const Simulator line1({"--usb", (dir / "usb").string()});
        if (!Appears(dir / "usb" / "ttyACM0")) {
            std::fprintf(stderr, "the first simulated line did not appear\n");
            return 1;
        }
        const Simulator line2({"--usb", (dir / "usb").string()});
        const Simulator direct({"--link", port});
        if (!Appears(dir / "usb" / "ttyACM1") || !Appears(port)) {
            std::fprintf(stderr, "the simulators did not start\n");
            return 1;
        }
        int qt_argc = 1;
        QApplication qt(qt_argc, argv);
        (void)argc;
        std::printf("at real timing; early (default) beside VARDEX_EXCHANGE=design\n");
        vardex::link::SetExchangeTiming(vardex::link::ExchangeTiming::kFinalResult);
        const WindowTimes early = TimeWindow();
        vardex::link::SetExchangeTiming(vardex::link::ExchangeTiming::kSilence);
        const WindowTimes design = TimeWindow();
        Row("window: start to device list", early.list_ms, design.list_ms, 1500);
        Row("window: choice to filled page", early.filled_ms, design.filled_ms, 6000);
        const std::string on = " --port " + port;
        Row("vardexctl identify", Timed("identify" + on, false), Timed("identify" + on, true),
            2000);
        Row("vardexctl read", Timed("read" + on, false), Timed("read" + on, true), 7000);
        const std::string apply = "apply --no-backup" + on + " " + nothing;
        Timed(apply, false);  // so that both timed runs find nothing to change
        Row("vardexctl apply, nothing to change", Timed(apply, false), Timed(apply, true), 7000);
    }
    fs::remove_all(dir);
    return 0;
}
