#include "term_command.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string_view>

#include "at_command.h"
#include "command_line.h"
#include "link/device_port.h"
#include "link/tapi_line.h"
#include "platform/file_io.h"
#include "platform/time_stamp.h"
#include "platform/unique_fd.h"
#include "platform/vtime.h"
#include "port_option.h"
#include "terminal/terminal_keys.h"
#include "terminal/terminal_reader.h"
#include "terminal/trace_switches.h"

using namespace vardex::platform;
using namespace vardex::link;

namespace vardex::ctl {
namespace {

using terminal::ConvertedChunk;
using terminal::CTerminalReader;
using terminal::ScreenUpdate;
using terminal::TraceLayer;

// The longest --seconds taken: a day.
constexpr unsigned kLongestSeconds = 86400;
// How often the loops look at the output while nothing happens.
constexpr std::int64_t kIdleCheckMs = 200;

// A poll's time-out for a design-time wait, scaled; never 0 for a wait > 0.
int PollMs(std::chrono::microseconds wait) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    return static_cast<int>(std::clamp<long long>(ms, 0, 24LL * 3600 * 1000));
}

// Every reason to end a session arrives as a byte in this pipe (a stop signal,
// the reader finding the link down, an output gone); the loops wait on it.
std::atomic<int> g_signal_fd{-1};
// The terminal settings to put back, for the crash handler.
termios g_saved_tty{};
std::atomic<bool> g_raw_active{false};

void WakeLoop(char why) {
    const int fd = g_signal_fd.load();
    if (fd >= 0) {
        (void)!::write(fd, &why, 1);
    }
}

extern "C" void OnStopSignal(int signal_number) {
    // Every stop signal, the second Ctrl+C too, only ends the loop: the way out
    // switches the traces off, bounded by the exchange's own time-outs, and no
    // signal may cut it short and leave them on.
    WakeLoop(static_cast<char>(signal_number));
}

extern "C" void OnCrashSignal(int signal_number) {
    if (g_raw_active.load()) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_tty);
    }
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Installs the handlers and the pipe; puts everything back when it goes.
class SignalScope {
public:
    SignalScope() {
        (void)OpenPipe(pipe_, O_CLOEXEC | O_NONBLOCK);
        g_signal_fd.store(pipe_[1].get());
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
            ::sigaction(kStopSignals[i], &action, &stop_[i]);
        }
        action.sa_handler = OnCrashSignal;
        for (std::size_t i = 0; i < std::size(kCrashSignals); ++i) {
            ::sigaction(kCrashSignals[i], &action, &crash_[i]);
        }
        // A reader of the output that goes away is a reason to leave, not to die
        // with the traces still on.
        action.sa_handler = SIG_IGN;
        ::sigaction(SIGPIPE, &action, &pipe_action_);
    }
    ~SignalScope() {
        for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
            ::sigaction(kStopSignals[i], &stop_[i], nullptr);
        }
        for (std::size_t i = 0; i < std::size(kCrashSignals); ++i) {
            ::sigaction(kCrashSignals[i], &crash_[i], nullptr);
        }
        ::sigaction(SIGPIPE, &pipe_action_, nullptr);
        g_signal_fd.store(-1);  // before the pipe closes, after the body
    }
    SignalScope(const SignalScope&) = delete;
    SignalScope& operator=(const SignalScope&) = delete;

    int Fd() const { return pipe_[0].get(); }

private:
    UniqueFd pipe_[2];
    struct sigaction stop_[std::size(kStopSignals)]{};
    struct sigaction crash_[std::size(kCrashSignals)]{};
    struct sigaction pipe_action_ {};
};

// Raw input on a terminal for as long as it lives. Output processing goes too,
// so line breaks are written as CR LF by the printer.
class RawMode {
public:
    explicit RawMode(int fd) : fd_(fd) {
        if (::isatty(fd) == 0 || ::tcgetattr(fd, &g_saved_tty) != 0) {
            return;
        }
        termios raw = g_saved_tty;
        raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                              ICRNL | IXON);
        raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        g_raw_active.store(true);
        if (::tcsetattr(fd, TCSANOW, &raw) != 0) {
            g_raw_active.store(false);
            return;
        }
        active_ = true;
    }
    ~RawMode() { Restore(); }
    RawMode(const RawMode&) = delete;
    RawMode& operator=(const RawMode&) = delete;

    bool Active() const { return active_; }
    void Restore() {
        if (active_) {
            ::tcsetattr(fd_, TCSANOW, &g_saved_tty);
            g_raw_active.store(false);
            active_ = false;
        }
    }

private:
    int fd_;
    bool active_ = false;
};

// Prints the converted chunks on the reader thread. A backspace that reaches
// the printed text takes back a character of the current line only.
class Printer : public terminal::ITerminalSink {
public:
    Printer(int fd, bool crlf, bool timestamps)
        : fd_(fd), crlf_(crlf), timestamps_(timestamps), visual_erase_(::isatty(fd) != 0) {}

    void OnScreenUpdate(const ScreenUpdate& /*update*/) override {}

    void OnReceived(std::string_view /*bytes*/, const ConvertedChunk& chunk) override {
        std::string out;
        const std::size_t erase = chunk.erase_before < column_ ? chunk.erase_before : column_;
        column_ -= erase;
        if (visual_erase_) {
            for (std::size_t i = 0; i < erase; ++i) {
                out += "\b \b";
            }
        }
        const std::string stamp = timestamps_ ? Stamp() : std::string();
        for (const char c : chunk.text) {
            if (at_line_start_ && timestamps_) {
                out += stamp;
            }
            at_line_start_ = false;
            if (c == '\n') {
                out += crlf_ ? "\r\n" : "\n";
                column_ = 0;
                at_line_start_ = true;
                continue;
            }
            if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
                ++column_;
            }
            out.push_back(c);
        }
        if (!out.empty() && !gone_.load() && !WriteAll(fd_, out)) {
            gone_.store(true);
            WakeLoop('o');
        }
    }

    void OnLogFailed() override { log_failed_.store(true); }
    void OnLinkDown() override { WakeLoop('d'); }

    // The output cannot be written any more (a closed pipe).
    bool Gone() const { return gone_.load(); }
    // A write to the log failed; the log was closed then.
    bool LogFailed() const { return log_failed_.load(); }

private:
    static std::string Stamp() {
        return TimeStamp(std::chrono::system_clock::now(), "%H:%M:%S", StampZone::kLocal) + " ";
    }

    int fd_;
    bool crlf_;
    bool timestamps_;
    bool visual_erase_;
    std::size_t column_ = 0;
    bool at_line_start_ = true;
    std::atomic<bool> gone_{false};
    std::atomic<bool> log_failed_{false};
};

struct Options {
    std::string port;
    std::string log;
    std::vector<TraceLayer> layers;
    unsigned seconds = 0;
    bool timestamps = false;
};

// Takes the words of either command into *options; false after telling err
// (or, for --help, standard output) what it was asked or what is wrong.
bool ParseOptions(const CommandCall& call, Options* options, int* status, std::ostream& err) {
    const ParsedArgs& parsed = call.parsed;
    if (parsed.status) {
        *status = parsed.Finish(std::cout, err);
        return false;
    }
    *status = kExitUsage;
    const std::string prefix = "vardexctl " + std::string(call.command.name) + ": ";
    options->port = parsed.Value("--port");
    options->log = parsed.Value("--log");
    options->timestamps = parsed.Has("--timestamps");
    if (parsed.Has("--seconds")) {
        const std::string value = parsed.Value("--seconds");
        unsigned seconds = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (ec != std::errc() || end != value.data() + value.size() || seconds == 0 ||
            seconds > kLongestSeconds) {
            err << prefix << "--seconds takes a whole number from 1 to " << kLongestSeconds << "\n";
            return false;
        }
        options->seconds = seconds;
    }
    for (const char* option : {"--layers", "--trace"}) {
        // The words must outlive `bad`, which points into them.
        const std::string words = parsed.Value(option);
        std::string_view bad;
        if (parsed.Has(option) && !terminal::ParseTraceLayers(words, &options->layers, &bad)) {
            err << prefix << "unknown or repeated trace layer '" << bad
                << "'; the layers are l1, l2, l3, app and u, separated by commas\n";
            return false;
        }
    }
    return true;
}

// Opens the port and then the log, and starts the reader with the traces
// asked for; runs `wait` (the loop of the command, which ends when the signal
// pipe wakes it); then stops the reader, switches every trace off and closes
// the port. Returns the exit status.
template <typename Wait>
int RunOnDevice(const char* name, const Options& options, Printer& sink, std::ostream& err,
                Wait&& wait) {
    const std::string prefix = std::string("vardexctl ") + name + ": ";
    std::string port_name = options.port;
    if (!PortOrComOne(&port_name)) {
        err << prefix << ComOneUnmapped() << "\n";
        return kExitLinkDown;
    }
    CDevicePort port;
    if (const auto opened = OpenPortByPath(port, port_name); !opened) {
        err << prefix << opened.error() << "\n";
        return kExitLinkDown;
    }
    // Only now: a port that does not open leaves the file as it was.
    CTerminalReader reader(port, sink, terminal::HangUp::kEndsReader);
    if (!options.log.empty() && !reader.OpenLog(options.log)) {
        const int code = errno;
        port.Close();
        err << prefix << "cannot open the log file " << options.log
            << " for writing: " << std::strerror(code) << "\n";
        return kExitLinkDown;
    }
    const bool usb = port.Line().UsbConnection();
    reader.StartReader();
    bool link_ok = true;
    for (const TraceLayer layer : options.layers) {
        link_ok = terminal::WriteTraceSwitch(port, layer, true, usb) && link_ok;
    }
    if (link_ok) {
        link_ok = wait(port);
    }
    reader.StopReader();
    link_ok = link_ok && !reader.LinkDown();
    // Whatever ended the session, no trace outlives it.
    const bool off = terminal::SendAllTracesOff(port);
    port.Close();
    if (!link_ok || !off) {
        err << prefix << "the link to the device on " << port_name << " is down\n";
        return kExitLinkDown;
    }
    if (sink.LogFailed()) {
        err << prefix << "writing to the log file " << options.log
            << " failed; it holds what came before\n";
        return kExitLinkDown;
    }
    return kExitOk;
}

}  // namespace

int RunTerm(const CommandCall& call, std::ostream& err) {
    Options options;
    if (int status = 0; !ParseOptions(call, &options, &status, err)) {
        return status;
    }
    SignalScope signals;
    const bool tty = ::isatty(STDIN_FILENO) != 0;
    // Raw mode takes the terminal's own CR LF translation away; a file or pipe
    // gets plain line feeds.
    Printer printer(STDOUT_FILENO, tty && ::isatty(STDOUT_FILENO) != 0, false);
    return RunOnDevice("term", options, printer, err, [&](CDevicePort& port) {
        if (tty) {
            err << "Connected. Ctrl+] leaves.\n";
            err.flush();
        }
        RawMode raw(STDIN_FILENO);
        terminal::CTerminalInput keys;
        // Until when an ESC (or a sequence begun) waits for the rest of a key.
        Clock::time_point escape_end{};
        bool link_ok = true;
        for (bool leave = false; !leave;) {
            std::chrono::microseconds wait = ScaledMs(kIdleCheckMs);
            if (keys.Waiting()) {
                wait = std::clamp(std::chrono::duration_cast<std::chrono::microseconds>(
                                      escape_end - Clock::now()),
                                  std::chrono::microseconds(0), wait);
            }
            pollfd fds[2] = {{signals.Fd(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
            const int ready = ::poll(fds, 2, PollMs(wait));
            if (ready < 0 && errno != EINTR) {
                break;
            }
            if ((fds[0].revents & POLLIN) != 0 || printer.Gone()) {
                break;
            }
            if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                if (keys.Waiting() && Clock::now() >= escape_end) {
                    keys.TimePassed();
                }
                continue;
            }
            char typed[256];
            const ssize_t n = ::read(STDIN_FILENO, typed, sizeof typed);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            std::string_view text(typed, n > 0 ? static_cast<std::size_t>(n) : 0);
            if (n <= 0) {
                break;  // the input ended
            }
            const std::size_t stop = text.find(static_cast<char>(kTermLeaveByte));
            if (stop != std::string_view::npos) {
                text = text.substr(0, stop);
                leave = true;
            }
            std::string bytes;
            keys.Take(text, &bytes);
            if (keys.Waiting()) {
                escape_end = Clock::now() + ScaledMs(terminal::CTerminalInput::kEscapeWaitMs);
            }
            if (!bytes.empty() && port.WriteRaw(bytes.data(), bytes.size()) != bytes.size() &&
                !port.LinkUp()) {
                link_ok = false;
                break;
            }
        }
        if (raw.Active()) {
            raw.Restore();
            (void)WriteAll(STDOUT_FILENO, "\n");
        }
        return link_ok;
    });
}

int RunTrace(const CommandCall& call, std::ostream& err) {
    Options options;
    if (int status = 0; !ParseOptions(call, &options, &status, err)) {
        return status;
    }
    SignalScope signals;
    Printer printer(STDOUT_FILENO, false, options.timestamps);
    return RunOnDevice("trace", options, printer, err, [&](CDevicePort&) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(options.seconds);
        for (;;) {
            int wait_ms = PollMs(ScaledMs(kIdleCheckMs));
            if (options.seconds > 0) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      end - std::chrono::steady_clock::now())
                                      .count();
                if (left <= 0) {
                    return true;
                }
                wait_ms = static_cast<int>(std::min<long long>(left, wait_ms));
            }
            pollfd fds{signals.Fd(), POLLIN, 0};
            const int ready = ::poll(&fds, 1, wait_ms);
            // A stop signal, the link down (the reader said so) or the output gone.
            if ((ready > 0 && (fds.revents & POLLIN) != 0) || printer.Gone()) {
                return true;
            }
        }
    });
}

}  // namespace vardex::ctl
