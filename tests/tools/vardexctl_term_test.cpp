// `vardexctl term` and `vardexctl trace` as a person meets them: the program
// runs on a pseudo-terminal of its own (its controlling terminal) and talks to
// the simulator; the test types on the terminal's master side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "at_command.h"
#include "platform/environment.h"
#include "pty_device.h"
#include "temp_files.h"
#include "term_command.h"
#include "terminal/terminal_text.h"
#include "time_scale.h"

using namespace vardex::platform;

namespace vardex::ctl {
namespace {

using namespace std::chrono_literals;

constexpr auto kLimit = 10s;  // bounds every wait; a healthy run needs far less

// vardexctl on a fresh pseudo-terminal.
class TerminalRun {
public:
    explicit TerminalRun(const std::vector<std::string>& args) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            return;
        }
        const std::string slave_path = ::ptsname(master_);
        // Held here too, so that the terminal and its settings outlive the child.
        slave_ = ::open(slave_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ::tcgetattr(slave_, &initial_);

        // Everything the child needs is made before fork: the simulator's
        // threads run beside us.
        std::vector<std::string> words = {VARDEXCTL_PATH};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        std::string scale = std::string(env::kTimeScale) + "=0.2";
        std::string path = "PATH=/usr/bin:/bin";
        char* envp[] = {scale.data(), path.data(), nullptr};
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setsid();
            const int tty = ::open(slave_path.c_str(), O_RDWR);
            ::ioctl(tty, TIOCSCTTY, 0);
            ::dup2(tty, 0);
            ::dup2(tty, 1);
            ::dup2(tty, 2);
            ::execve(argv[0], argv.data(), envp);
            ::_exit(127);
        }
    }
    ~TerminalRun() {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (const int fd : {master_, slave_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    TerminalRun(const TerminalRun&) = delete;
    TerminalRun& operator=(const TerminalRun&) = delete;

    bool Started() const { return pid_ > 0 && slave_ >= 0; }
    void Type(std::string_view bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void Signal(int number) { ::kill(pid_, number); }

    // Reads the screen until it holds `text` (from `from` on) or the limit passes.
    bool WaitFor(const std::string& text, std::size_t from = 0) {
        const auto deadline = Clock::now() + kLimit;
        while (screen_.find(text, from) == std::string::npos) {
            if (Clock::now() >= deadline || !ReadSome(deadline)) {
                return false;
            }
        }
        return true;
    }
    // Waits for the program to end, reading its output meanwhile; its exit status.
    int Wait() {
        const auto deadline = Clock::now() + kLimit;
        while (status_ < 0 && Clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            ReadSome(Clock::now() + 20ms);
        }
        ReadSome(Clock::now());
        return status_;
    }

    const std::string& Screen() const { return screen_; }
    termios Settings() const {
        termios now{};
        ::tcgetattr(slave_, &now);
        return now;
    }
    const termios& Initial() const { return initial_; }

private:
    bool ReadSome(Clock::time_point until) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        pollfd fds{master_, POLLIN, 0};
        if (::poll(&fds, 1, static_cast<int>(std::max<long long>(0, ms.count()))) <= 0) {
            return Clock::now() < until;
        }
        char buffer[4096];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            screen_.append(buffer, static_cast<std::size_t>(n));
        }
        return n > 0;
    }

    int master_ = -1;
    int slave_ = -1;
    pid_t pid_ = -1;
    int status_ = -1;
    termios initial_{};
    std::string screen_;
};

// "HH:MM:SS.mmm " in front of the device's text.
bool IsStamped(const std::string& line) {
    const std::string_view form = "00:00:00.000 [";
    if (line.size() < form.size()) {
        return false;
    }
    for (std::size_t i = 0; i < form.size(); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (form[i] == '0' ? !digit : line[i] != form[i]) {
            return false;
        }
    }
    return true;
}

constexpr tcflag_t kCookedFlags = ICANON | ECHO | ISIG;

class VardexctlTermTest : public ::testing::Test {
protected:
    VardexctlTermTest() : scale_(0.2) {}
    void SetUp() override {
        SysError error;
        ASSERT_TRUE(device_.Start(&error)) << error.Message();
        device_.KeepReceivedBytes(true);
    }

    bool TracesOff() {
        return device_.Inspect([](const sim::Device& d) {
            return !d.TraceOutput() && !d.Tracing(sim::TraceLayer::kL1) &&
                   !d.Tracing(sim::TraceLayer::kL2) && !d.Tracing(sim::TraceLayer::kU);
        });
    }
    bool EndsWithAllOff() {  // and has it once only
        const std::string received = device_.ReceivedBytes(), off = "ATCD0CD2CD4CD6CD8CD10\r";
        return received.ends_with(off) && received.find(off) == received.size() - off.size();
    }

    test::ScopedTimeScale scale_;
    test::ScopedTempDir temp_;
    sim::PtyDevice device_;
    const std::string log_path_ = temp_.File("term.log");
};

TEST_F(VardexctlTermTest, TermSendsKeysRawAndCtrlBracketLeavesCleanly) {
    TerminalRun run({"term", "--port", device_.Path(), "--trace", "l1", "--log", log_path_});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.WaitFor("Ctrl+] leaves")) << run.Screen();
    ASSERT_TRUE(run.WaitFor(" L1 ")) << run.Screen();
    // Raw while it runs: no echo, no line editing, Ctrl+C is a byte for the device.
    EXPECT_EQ(run.Settings().c_lflag & kCookedFlags, 0u);
    const std::size_t before = run.Screen().size();
    // Keys as a Linux terminal sends them: Backspace as DEL, then the cursor,
    // editing and function keys, which send nothing (as on the Terminal page).
    run.Type(
        "ATI5\x7f"
        "4\x1b[D\x1bOP\x1b[1;5C\x1b[3~\x1b[15~\r\x03");
    ASSERT_TRUE(run.WaitFor("Calvetra VarDex V1.2\r\n", before)) << run.Screen();
    // Only the device's answer is shown (its echo is off): what was typed is not.
    EXPECT_EQ(run.Screen().find("ATI", before), std::string::npos);
    run.Type("\x1d");
    EXPECT_EQ(run.Wait(), 0) << run.Screen();

    EXPECT_EQ(run.Settings().c_lflag & kCookedFlags, run.Initial().c_lflag & kCookedFlags);
    const std::string received = device_.ReceivedBytes();
    EXPECT_NE(received.find("ATCD1CD9\rATI5\b4\r\x03"), std::string::npos) << received;
    EXPECT_TRUE(EndsWithAllOff()) << received;
    EXPECT_TRUE(TracesOff());
    // The log keeps the device's raw bytes, carriage returns included.
    const std::string log = test::ReadFile(log_path_);
    EXPECT_NE(log.find("\r\nCalvetra VarDex V1.2\r\n\r\nOK\r\n"), std::string::npos);
    EXPECT_NE(log.find(" L1  INFO"), std::string::npos);
}

TEST_F(VardexctlTermTest, TermEndedBySignalRestoresTheTerminal) {
    TerminalRun run({"term", "--port", device_.Path(), "--trace", "u"});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.WaitFor(" U ")) << run.Screen();
    ASSERT_EQ(run.Settings().c_lflag & kCookedFlags, 0u);
    // A second stop signal at once still lets every trace be switched off.
    run.Signal(SIGTERM);
    run.Signal(SIGINT);
    EXPECT_EQ(run.Wait(), 0);
    EXPECT_EQ(run.Settings().c_lflag & kCookedFlags, run.Initial().c_lflag & kCookedFlags);
    EXPECT_TRUE(EndsWithAllOff());
    EXPECT_TRUE(TracesOff());
}

TEST_F(VardexctlTermTest, TraceStampsLinesAndCtrlCSwitchesEverythingOff) {
    TerminalRun run({"trace", "--port", device_.Path(), "--layers", "l2,u", "--timestamps"});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.WaitFor(" L2 ")) << run.Screen();
    ASSERT_TRUE(run.WaitFor(" U ")) << run.Screen();
    const std::string screen = run.Screen();
    const std::size_t line = screen.rfind('\n', screen.find(" L2 "));
    ASSERT_NE(line, std::string::npos);
    EXPECT_TRUE(IsStamped(screen.substr(line + 1))) << screen;
    run.Type("\x03");  // the terminal turns it into SIGINT
    EXPECT_EQ(run.Wait(), 0) << run.Screen();
    EXPECT_EQ(run.Settings().c_lflag & kCookedFlags, run.Initial().c_lflag & kCookedFlags);
    EXPECT_NE(device_.ReceivedBytes().find("ATCD3CD9\rATCD11CD9\r"), std::string::npos);
    EXPECT_TRUE(EndsWithAllOff());
    EXPECT_TRUE(TracesOff());
}

TEST_F(VardexctlTermTest, TraceEndsAfterItsSecondsAndRefusesBadWords) {
    TerminalRun bad({"trace", "--port", device_.Path(), "--layers", "l1,l7"});
    EXPECT_EQ(bad.Wait(), 2);
    EXPECT_NE(bad.Screen().find("'l7'"), std::string::npos) << bad.Screen();
    TerminalRun missing({"trace", "--port", device_.Path()});
    EXPECT_EQ(missing.Wait(), 2);
    EXPECT_TRUE(device_.ReceivedBytes().empty());  // nothing reached the device

    // A port that does not open leaves the log file as it was.
    std::ofstream(log_path_) << "kept";
    TerminalRun no_port(
        {"trace", "--port", temp_.File("none"), "--layers", "u", "--log", log_path_});
    EXPECT_EQ(no_port.Wait(), kExitLinkDown);
    EXPECT_EQ(test::ReadFile(log_path_), "kept");

    // The device never pauses, so the end meets a read that brings bytes: they
    // are in the log too, as everything printed is.
    device_.Modify([](sim::Device& d) { d.SetTraceFlood(20000, 0); });
    TerminalRun timed({"trace", "--port", device_.Path(), "--layers", "l3", "--seconds", "1",
                       "--log", log_path_});
    EXPECT_EQ(timed.Wait(), 0) << timed.Screen();
    device_.Modify([](sim::Device& d) { d.SetTraceFlood(0, 0); });
    std::string printed = timed.Screen();
    std::erase(printed, '\r');  // the terminal's own, before its line feeds
    EXPECT_EQ(printed, terminal::ConvertChunk(test::ReadFile(log_path_)).text);
    EXPECT_TRUE(EndsWithAllOff());
    EXPECT_TRUE(TracesOff());
}

// The device's side hanging up ends a session as a link down, the terminal put
// back (a vanished port ends the reader below it alike).
TEST_F(VardexctlTermTest, TermEndsWhenTheLinkGoesDown) {
    TerminalRun term({"term", "--port", device_.Path()});
    ASSERT_TRUE(term.WaitFor("Ctrl+] leaves")) << term.Screen();
    device_.Hangup();
    EXPECT_EQ(term.Wait(), kExitLinkDown) << term.Screen();
    EXPECT_NE(term.Screen().find("device on " + device_.Path() + " is down"), std::string::npos);
    EXPECT_EQ(term.Settings().c_lflag & kCookedFlags, term.Initial().c_lflag & kCookedFlags);
}

}  // namespace
}  // namespace vardex::ctl
