// `vardexctl selftest` as a person runs it: the program on a pseudo-terminal of
// its own, answers typed there, the telephones handled through the simulator's
// control channel, Ctrl+C typed as the terminal's interrupt character.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "at_command.h"
#include "command_table.h"
#include "control.h"
#include "platform/environment.h"
#include "pty_device.h"
#include "res/strings.h"
#include "selftest/self_test.h"
#include "selftest_command.h"
#include "temp_files.h"
#include "time_scale.h"

using namespace vardex::platform;
using namespace vardex::selftest;

namespace vardex::ctl {
namespace {

using Lines = std::vector<std::string>;
using std::chrono::milliseconds;

// vardexctl on a terminal: its standard input and error are the terminal, its
// standard output a file.
class TerminalRun {
public:
    explicit TerminalRun(const std::vector<std::string>& args) {
        out_path_ = test::TempPath("selftest-out-" + std::to_string(++count_));
        pid_ = ::forkpty(&master_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            std::FILE* out = std::fopen(out_path_.c_str(), "w");
            if (out == nullptr) {
                ::_exit(120);
            }
            ::dup2(::fileno(out), 1);
            ::setenv(env::kTimeScale, std::to_string(test::kAnswerScale).c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(VARDEXCTL_PATH),
                                    const_cast<char*>("selftest")};
            for (const std::string& arg : args) {
                argv.push_back(const_cast<char*>(arg.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(VARDEXCTL_PATH, argv.data());
            ::_exit(121);
        }
    }
    ~TerminalRun() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) {
            ::close(master_);
        }
        std::remove(out_path_.c_str());
    }
    TerminalRun(const TerminalRun&) = delete;
    TerminalRun& operator=(const TerminalRun&) = delete;

    bool Started() const { return pid_ > 0 && master_ >= 0; }

    // Reads the terminal until text appears after what earlier waits took.
    bool WaitFor(const std::string& text, milliseconds limit = milliseconds(15000)) {
        const auto start = Clock::now();
        for (;;) {
            const std::size_t at = screen_.find(text, cursor_);
            if (at != std::string::npos) {
                cursor_ = at + text.size();
                return true;
            }
            const long long left = limit.count() - test::MsSince(start);
            if (left <= 0 || !ReadSome(static_cast<int>(left))) {
                return false;
            }
        }
    }
    void Type(const std::string& text) { (void)!::write(master_, text.data(), text.size()); }
    void Signal(int signal_number) const { ::kill(pid_, signal_number); }
    // The terminal is closed, as its window would be: the program gets SIGHUP.
    void HangUp() {
        ::close(master_);
        master_ = -1;
    }

    // Reads to the end and returns the exit status (-1 when it did not end
    // within limit, or was killed by a signal).
    int Finish(milliseconds limit = milliseconds(20000)) {
        const auto start = Clock::now();
        while (master_ >= 0 && test::MsSince(start) < limit.count() &&
               ReadSome(static_cast<int>(limit.count() - test::MsSince(start)))) {
        }
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
        pollfd ended{pidfd, POLLIN, 0};
        const long long left = std::max(0LL, limit.count() - test::MsSince(start));
        const bool gone = pidfd >= 0 && ::poll(&ended, 1, static_cast<int>(left)) == 1;
        if (pidfd >= 0) {
            ::close(pidfd);
        }
        int status = 0;
        if (!gone || ::waitpid(pid_, &status, 0) != pid_) {
            return -1;
        }
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const std::string& Screen() const { return screen_; }
    std::string Out() const {
        std::ifstream in(out_path_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    bool ReadSome(int limit_ms) {
        pollfd fd{master_, POLLIN, 0};
        if (::poll(&fd, 1, limit_ms) <= 0) {
            return false;
        }
        char chunk[512];
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n <= 0) {
            return false;  // the program has ended: the terminal hangs up
        }
        screen_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    static inline int count_ = 0;
    pid_t pid_ = -1;
    int master_ = -1;
    bool reaped_ = false;
    std::string out_path_;
    std::string screen_;
    std::size_t cursor_ = 0;
};

class SelfTestCommand : public ::testing::Test {
protected:
    explicit SelfTestCommand(sim::DeviceOptions options = {}) : device_(std::move(options)) {
        SysError error;
        EXPECT_TRUE(device_.Start(&error)) << error.Message();
        device_.KeepReceivedBytes(true);
    }
    void Control(const std::string& line) {
        bool close = false;
        const std::string reply = sim::RunControlCommand(device_, line, &close);
        ASSERT_EQ(reply.find("error"), std::string::npos) << line << ": " << reply;
    }
    sim::PhoneState Phone(int port) const {
        return device_.Inspect([port](const sim::Device& d) { return d.Phone(port); });
    }
    // How often the whole reset sequence arrived.
    int ResetsReceived() const {
        const Lines received = Received();
        const Lines& reset = CSelfTestRunner::ResetSequence();
        int count = 0;
        for (auto at = received.begin();
             (at = std::search(at, received.end(), reset.begin(), reset.end())) != received.end();
             ++at) {
            ++count;
        }
        return count;
    }
    Lines Received() const {
        Lines lines;
        std::istringstream in(device_.ReceivedBytes());
        std::string line;
        while (std::getline(in, line, '\r')) {
            if (line.rfind("AT/", 0) == 0) {
                lines.push_back(line);
            }
        }
        return lines;
    }
    std::vector<std::string> Args(std::vector<std::string> more) const {
        more.insert(more.begin(), {"--port", device_.Path()});
        return more;
    }

    sim::PtyDevice device_;
};

TEST_F(SelfTestCommand, AnswersTypedAndAPhoneLiftedPassTheTests) {
    TerminalRun run(Args({"--tests", "ring,handset,2", "--ports", "1"}));
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.WaitFor("> Is the telephone ringing?")) << run.Screen();
    ASSERT_TRUE(run.WaitFor("[y/n] ")) << run.Screen();
    EXPECT_TRUE(device_.Inspect([](const sim::Device& d) { return d.Phone(0).ringing; }));
    run.Type("y\n");
    ASSERT_TRUE(run.WaitFor("> Place the handset down and press 'Test'")) << run.Screen();
    ASSERT_TRUE(run.WaitFor("[Enter: Test] ")) << run.Screen();
    run.Type("\n");
    ASSERT_TRUE(run.WaitFor("> Pickup the handset and press 'Test'")) << run.Screen();
    ASSERT_TRUE(run.WaitFor("[Enter: Test] ")) << run.Screen();
    Control("lift 1");
    run.Type("\n");
    EXPECT_EQ(run.Finish(), kExitOk) << run.Screen();
    EXPECT_EQ(run.Out(),
              "Test                            Result        Faults\n"
              "Telephone Ring Test             Pass\n"
              "Telephone Handset Test          Pass\n");
}

TEST_F(SelfTestCommand, AFaultIsPrintedOnceAndFailsTheRun) {
    Control("fault tone2 on");
    TerminalRun run(Args({"--tests", "tone", "--ports", "2", "--json"}));
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.WaitFor("> Pickup the handset.")) << run.Screen();
    Control("lift 2");
    ASSERT_TRUE(run.WaitFor("> Do you hear the tone?")) << run.Screen();
    ASSERT_TRUE(run.WaitFor("[y/n] ")) << run.Screen();
    run.Type("maybe\n");  // neither: asked again
    ASSERT_TRUE(run.WaitFor("[y/n] ")) << run.Screen();
    run.Type("n\n");
    EXPECT_EQ(run.Finish(), 1) << run.Screen();
    const std::string screen = run.Screen();
    const std::string fault = "FAULT: Tone generator #2 fault";
    EXPECT_NE(screen.find(fault), std::string::npos) << screen;
    EXPECT_EQ(screen.find(fault), screen.rfind(fault)) << screen;
    // The run's report is its failure's object: which test failed, and the status.
    EXPECT_EQ(
        run.Out(),
        "{\"tests\":[{\"test\":5,\"name\":\"Telephone Tone Test\",\"keyword\":\"tone\","
        "\"result\":\"fail\",\"faults\":\"Tone generator #2 fault\"}],"
        "\"error\":\"failed: Telephone Tone Test\",\"reason\":\"test-failed\",\"status\":1}\n");
}

TEST_F(SelfTestCommand, CtrlCInterruptsResetsThePortsAndSkipsTheRest) {
    TerminalRun run(Args({"--tests", "dialing,0", "--ports", "1"}));
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.WaitFor("> Pickup the handset.")) << run.Screen();
    run.Type("\x03");
    EXPECT_EQ(run.Finish(), 3) << run.Screen();
    EXPECT_EQ(run.Out(),
              "Test                            Result        Faults\n"
              "Telephone Dialing Test          Interrupted\n"
              "Hardware Interface Test         Not tested...\n");
    const Lines received = Received();
    const Lines& reset = CSelfTestRunner::ResetSequence();
    const auto at = std::search(received.begin(), received.end(), reset.begin(), reset.end());
    ASSERT_NE(at, received.end());
    EXPECT_EQ(received.back(), "AT/CONPOTS");
    EXPECT_EQ(std::count(received.begin(), received.end(), "AT/DLOOP"), 0);
}

TEST_F(SelfTestCommand, EveryWayOutResetsThePortsOnceAndEnds) {
    // The phone rings at the question; each way out must leave it quiet and
    // back in service, and nothing after it may run.
    const std::vector<std::pair<std::string, std::function<void(TerminalRun&)>>> ways{
        {"SIGTERM", [](TerminalRun& run) { run.Signal(SIGTERM); }},
        {"terminal closed", [](TerminalRun& run) { run.HangUp(); }},
        {"end of input", [](TerminalRun& run) { run.Type("\x04"); }},
        {"SIGINT and SIGTERM",
         [](TerminalRun& run) {
             run.Signal(SIGINT);
             run.Signal(SIGTERM);
         }},
    };
    for (const auto& [name, way_out] : ways) {
        SCOPED_TRACE(name);
        device_.KeepReceivedBytes(false);
        device_.KeepReceivedBytes(true);
        TerminalRun run(Args({"--tests", "ring,0", "--ports", "1"}));
        ASSERT_TRUE(run.Started());
        ASSERT_TRUE(run.WaitFor("> Is the telephone ringing?")) << run.Screen();
        ASSERT_TRUE(run.WaitFor("[y/n] ")) << run.Screen();
        ASSERT_TRUE(Phone(0).ringing);
        way_out(run);
        EXPECT_EQ(run.Finish(), 3) << run.Screen();
        EXPECT_FALSE(Phone(0).ringing);
        EXPECT_FALSE(Phone(0).disconnected);
        EXPECT_EQ(ResetsReceived(), 1);
        const Lines received = Received();
        EXPECT_EQ(std::count(received.begin(), received.end(), "AT/DLOOP"), 0);
        EXPECT_EQ(run.Out(),
                  "Test                            Result        Faults\n"
                  "Telephone Ring Test             Interrupted\n"
                  "Hardware Interface Test         Not tested...\n");
    }
}

TEST_F(SelfTestCommand, AVanishedDeviceEndsAQuestionAndTheRunWithItsMessage) {
    TerminalRun run(Args({"--tests", "ring,0", "--ports", "1"}));
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.WaitFor("[y/n] ")) << run.Screen();
    Control("drop");
    // Nothing is typed: the question ends because the device went.
    EXPECT_EQ(run.Finish(), 3) << run.Screen();
    std::string vanished(res::kTextDeviceVanished);
    vanished.resize(vanished.find('\n'));
    EXPECT_NE(run.Screen().find("vardexctl selftest: " + vanished), std::string::npos)
        << run.Screen();
    EXPECT_EQ(run.Out(),
              "Test                            Result        Faults\n"
              "Telephone Ring Test             Interrupted\n"
              "Hardware Interface Test         Not tested...\n");
}

class SelfTestCommandModelThree : public SelfTestCommand {
protected:
    SelfTestCommandModelThree() : SelfTestCommand(sim::DeviceOptions{.model_version = "V3.1"}) {}
};

TEST_F(SelfTestCommandModelThree, BadRequestsAreUsageErrors) {
    std::FILE* in = std::fopen("/dev/null", "r");
    std::FILE* err = std::tmpfile();
    std::ostringstream out;
    for (const auto& args : std::vector<Lines>{{"--tests", "7"},
                                               {"--tests", "ring,"},
                                               {"--tests"},
                                               {"--ports", "3"},
                                               {"--ports", "1,x"},
                                               {"--bogus"}}) {
        EXPECT_EQ(RunSelfTest(CallOf("selftest", args), out, in, err), kExitUsage) << args[0];
    }
    // This model has no DTMF detector: asking for the dialing test is refused
    // before anything is tested.
    test::ScopedTimeScale fast(test::kAnswerScale);
    EXPECT_EQ(RunSelfTest(CallOf("selftest", Args({"--tests", "dialing"})), out, in, err),
              kExitUsage);
    const Lines received = Received();  // identification's own AT/ lines only
    EXPECT_EQ(std::count(received.begin(), received.end(), "AT/DISCPOTS"), 0);
    EXPECT_EQ(std::count(received.begin(), received.end(), "AT/CONPOTS"), 0);
    EXPECT_EQ(out.str(), "");
    std::fclose(in);
    std::fclose(err);
}

}  // namespace
}  // namespace vardex::ctl
