// vardex-sim as a program: options, the control channel, the state file,
// several simulators at once, and a firmware image from a sender this project
// did not write (sx of lrzsz).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "device.h"
#include "fd_text.h"
#include "firmware_image.h"
#include "link/device_port.h"
#include "link/protocol_waits.h"
#include "link/tapi_line.h"
#include "nv_state.h"
#include "params/reply_parsers.h"
#include "time_scale.h"

using namespace vardex::platform;
using namespace vardex::link;

extern char** environ;

namespace vardex::sim {
namespace {

using namespace std::chrono_literals;
using test::ReadUntil;

constexpr auto kLimit = 10s;

// One vardex-sim process with pipes on its standard streams.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
            ::pipe2(err, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        args.insert(args.begin(), VARDEX_SIM_PATH);
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, VARDEX_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        stderr_ = err[0];
    }
    ~SimProcess() {
        Stop();
        for (const int fd : {stdin_, stdout_, stderr_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The port path it prints first; empty when it did not start.
    std::string Path() {
        if (path_.empty()) {
            std::string line = ReadUntil(stdout_, "\n");
            if (line.ends_with("\n")) {
                line.pop_back();
                path_ = line;
            }
        }
        return path_;
    }
    std::string Control(const std::string& command) {
        const std::string line = command + "\n";
        if (::write(stdin_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            return {};
        }
        return ReadUntilResult(stdout_);
    }
    // SIGTERM, then the exit status once its output pipe closes (bounded).
    int Stop() {
        if (pid_ <= 0) {
            return -1;
        }
        ::kill(pid_, SIGTERM);
        ReadUntil(stdout_, "\x01never");  // ends at EOF, when the process is gone
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }
    std::string Errors() { return ReadUntil(stderr_, "\n", 2s); }
    // For a process that is to end by itself: its exit status once it did, or
    // -1 when it was still running after the limit (it is then killed).
    int Finish(std::chrono::milliseconds limit) {
        if (pid_ <= 0) {
            return -1;
        }
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
        pollfd fds{pidfd, POLLIN, 0};
        const bool ended = pidfd >= 0 && ::poll(&fds, 1, static_cast<int>(limit.count())) == 1;
        if (pidfd >= 0) {
            ::close(pidfd);
        }
        if (!ended) {
            ::kill(pid_, SIGKILL);
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return ended ? status : -1;
    }
    // Everything it wrote on stderr, once it ended.
    std::string AllErrors() { return ReadUntil(stderr_, "\x01never", 2s); }

    static std::string ReadUntilResult(int fd) {
        std::string text;
        const auto deadline = Clock::now() + kLimit;
        while (Clock::now() < deadline && !text.ends_with("ok\n") &&
               text.find("error:") == std::string::npos) {
            text += ReadUntil(fd, "\n", 2s);
        }
        return text;
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    int stderr_ = -1;
    std::string path_;
};

// The output of a short run of the program (for --help and --make-image).
std::string RunToEnd(const std::string& args, int* status) {
    FILE* pipe = ::popen((std::string("'") + VARDEX_SIM_PATH + "' " + args + " 2>&1").c_str(), "r");
    std::string out;
    if (pipe == nullptr) {
        return out;
    }
    char chunk[512];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) {
        out += chunk;
    }
    *status = ::pclose(pipe);
    return out;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SimProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vardex-sim-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }

    std::string Listing() const {
        int status = 0;
        FILE* ls = ::popen(("ls -A '" + folder_ + "'").c_str(), "r");
        std::string listing;
        char line[256];
        while (ls != nullptr && std::fgets(line, sizeof line, ls) != nullptr) {
            listing += line;
        }
        status = ls != nullptr ? ::pclose(ls) : -1;
        return status == 0 ? listing : "<no listing>";
    }

    std::string Ask(CDevicePort& port, const char* command) {
        const char* reply = port.SendCommand(command);
        return reply != nullptr ? reply : "<null>";
    }

    vardex::test::ScopedTimeScale scale_{vardex::test::kAnswerScale};
    std::string folder_;
};

TEST_F(SimProgramTest, HelpNamesEveryOptionAndControlCommand) {
    int status = -1;
    const std::string help = RunToEnd("--help", &status);
    EXPECT_EQ(status, 0);
    for (const char* word :
         {"--country",     "--model",       "--hardware",   "--software",   "--crc",
          "--state",       "--loader",      "--link",       "--control",    "--silent",
          "--reply-delay", "--byte-delay",  "--make-image", "--image-size", "lift N",
          "replace N",     "press N",       "phone N",      "call LINE",    "endcall",
          "book",          "fault CIRCUIT", "silence",      "cut",          "garbage",
          "delay",         "slow",          "refuse",       "drop",         "loader",
          "restart",       "prompt",        "status",       "quit",         "VARDEX_TIME_SCALE",
          "--usb",         "unplug",        "replug",       "--dialect"}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
    EXPECT_NE(help.find("--replace-unusable-state"), std::string::npos);
    EXPECT_NE(RunToEnd("--bogus", &status).find("unknown option"), std::string::npos);
    EXPECT_NE(status, 0);
}

// Eight seeds in a row make every choice both ways, each within what the
// program's rules and waits admit, and `--dialect list` tells them.
TEST_F(SimProgramTest, EightDialectsMakeEveryChoiceBothWaysWithinTheProgramsWaits) {
    std::map<std::string, std::set<bool>> made;
    std::string described;
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        const sim::Dialect d = sim::Dialect::FromSeed(seed);
        const bool digit = d.x121_label.find_first_of("0123456789") != std::string::npos;
        for (const auto& [choice, value] : {std::pair{"echo", d.echo_stays_on},
                                            {"line break", d.line_break_before},
                                            {"blanks", d.listing_blanks},
                                            {"zeros", d.number_digits > 0},
                                            {"pieces", d.piece_pause_ms > 0},
                                            {"slow ATZ", d.restart_ms > 0},
                                            {"unknown register", !d.unknown_registers.empty()},
                                            {"digit in label", digit}}) {
            made[choice].insert(value);
        }
        EXPECT_EQ(d.x121_label.size(), params::kX121LabelLength);
        EXPECT_EQ(d.x121_label.find("ERROR"), std::string::npos);
        EXPECT_LT(d.piece_pause_ms, static_cast<int>(kReadIntervalMs) / 2);
        EXPECT_LT(d.restart_ms, static_cast<int>(kReadTotalMs) * 3 / 4);
        described += d.Describe() + "\n";
    }
    for (const auto& [choice, values] : made) {
        EXPECT_EQ(values.size(), 2u) << choice;
    }
    int status = -1;
    EXPECT_EQ(RunToEnd("--dialect list", &status), described);
    EXPECT_EQ(status, 0);
}

TEST_F(SimProgramTest, MakesImagesTheLoaderAccepts) {
    const std::string file = folder_ + "/fw.img";
    int status = -1;
    EXPECT_EQ(RunToEnd("--make-image V2.55 '" + file + "' --image-size 300", &status), "");
    EXPECT_EQ(status, 0);
    std::ifstream in(file, std::ios::binary);
    const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(image.size(), 300u);
    const auto info = ParseFirmwareImage(image);
    ASSERT_TRUE(info) << info.error();
    EXPECT_EQ(info->version, "V2.55");
    EXPECT_NE(RunToEnd("--make-image '' '" + file + "'", &status), "");
    EXPECT_NE(status, 0);
}

TEST_F(SimProgramTest, TwoSimulatorsRunSideBySideWithTheirOwnControl) {
    SimProcess one({"--country", "Brasil USB", "--link", folder_ + "/one", "--control", "-"});
    SimProcess two(
        {"--country", "Cyprus", "--link", folder_ + "/two", "--control", folder_ + "/two.sock"});
    ASSERT_FALSE(one.Path().empty());
    ASSERT_FALSE(two.Path().empty());
    EXPECT_NE(one.Path(), two.Path());

    CDevicePort port_one;
    CDevicePort port_two;
    ASSERT_EQ(port_one.Line().OpenPort(folder_ + "/one", 115200), OpenResult::kOk);
    ASSERT_EQ(port_two.Line().OpenPort(folder_ + "/two", 115200), OpenResult::kOk);
    port_one.SetReadTimeout(250);
    port_two.SetReadTimeout(250);
    EXPECT_EQ(Ask(port_one, "ATI3"), "Software Version V2.10 Brasil USB\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask(port_two, "ATI3"), "Software Version V2.10 Cyprus\r\n\r\nOK\r\n");

    // A person lifts the handset on the first simulator only (standard input),
    // and breaks a circuit of the second (its socket).
    EXPECT_EQ(one.Control("lift 1"), "ok\n");
    EXPECT_EQ(one.Control("bogus"), "error: unknown command or bad arguments, see help\n");
    EXPECT_EQ(Ask(port_one, "AT/HOOKSTATE 0"), "1\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask(port_two, "AT/HOOKSTATE 0"), "0\r\n\r\nOK\r\n");

    const int sock = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string sock_path = folder_ + "/two.sock";
    std::memcpy(address.sun_path, sock_path.c_str(), sock_path.size() + 1);
    ASSERT_EQ(::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    auto control = [sock](const std::string& command) {
        const std::string line = command + "\n";
        EXPECT_EQ(::write(sock, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        return SimProcess::ReadUntilResult(sock);
    };
    EXPECT_EQ(control("fault u on"), "ok\n");
    const std::string status = control("status");
    EXPECT_NE(status.find("faults: u\n"), std::string::npos) << status;
    EXPECT_NE(status.find("country Cyprus"), std::string::npos) << status;
    ::close(sock);
    port_two.SetReadTimeout(2000);
    EXPECT_EQ(Ask(port_two, "AT/SPICOMTEST").find("OK"), std::string::npos);
    EXPECT_EQ(Ask(port_one, "AT/SPICOMTEST"), "OK\r\n");

    port_one.Close();
    port_two.Close();
    EXPECT_EQ(one.Stop(), 0);
    EXPECT_EQ(two.Stop(), 0);
    // Their links and socket are gone with them.
    EXPECT_NE(::access((folder_ + "/one").c_str(), F_OK), 0);
    EXPECT_NE(::access(sock_path.c_str(), F_OK), 0);
}

TEST_F(SimProgramTest, OnUsbItIsUnpluggedForRealAndComesBackUnderTheNextName) {
    SimProcess sim({"--usb", folder_, "--control", "-"});
    const std::string first = folder_ + "/ttyACM0";
    ASSERT_EQ(sim.Path(), first);
    CDevicePort port;
    ASSERT_EQ(port.Line().OpenPort(first, 115200), OpenResult::kOk);
    port.SetReadTimeout(250);
    EXPECT_EQ(Ask(port, "AT"), "OK\r\n");

    EXPECT_EQ(sim.Control("unplug"), "ok\n");
    EXPECT_NE(::access(first.c_str(), F_OK), 0);
    // The port fails as a vanished device does, and closes.
    EXPECT_EQ(Ask(port, "AT"), "<null>");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(sim.Control("unplug"), "ok\n");  // again: nothing more to pull

    const std::string second = folder_ + "/ttyACM1";
    EXPECT_EQ(sim.Control("replug"), second + "\nok\n");
    EXPECT_NE(sim.Control("replug").find("error:"), std::string::npos);  // plugged in already
    ASSERT_EQ(port.Line().OpenPort(second, 115200), OpenResult::kOk);
    port.SetReadTimeout(250);
    EXPECT_EQ(Ask(port, "AT"), "OK\r\n");
    port.Close();
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_NE(::access(second.c_str(), F_OK), 0);  // the name goes with the simulator
}

TEST_F(SimProgramTest, TheStateFileKeepsProfilesNumbersAndFirmwareAcrossRuns) {
    const std::string state = folder_ + "/device.state";
    {
        SimProcess sim({"--state", state, "--link", folder_ + "/port"});
        ASSERT_FALSE(sim.Path().empty());
        EXPECT_EQ(ReadFile(state), SerializeNv(Device::FactoryNv(DeviceOptions{})));
        CDevicePort port;
        ASSERT_EQ(port.Line().OpenPort(folder_ + "/port", 115200), OpenResult::kOk);
        port.SetReadTimeout(250);
        EXPECT_EQ(Ask(port, "AT&ZI3=3655"), "OK\r\n");
        EXPECT_EQ(Ask(port, "ATS56=45"), "OK\r\n");
        EXPECT_EQ(Ask(port, "AT&W2"), "OK\r\n");
        EXPECT_EQ(Ask(port, "ATS15=64"), "OK\r\n");
        EXPECT_EQ(Ask(port, "ATS56=50"), "OK\r\n");  // not stored: lost at power-off
        port.Close();
        EXPECT_EQ(sim.Stop(), 0);
    }
    {
        SimProcess sim({"--state", state, "--link", folder_ + "/port"});
        ASSERT_FALSE(sim.Path().empty());
        CDevicePort port;
        ASSERT_EQ(port.Line().OpenPort(folder_ + "/port", 115200), OpenResult::kOk);
        port.SetReadTimeout(250);
        EXPECT_NE(Ask(port, "AT&ZI?").find("Phone 2\r\nMSN1 : 3655\r\n"), std::string::npos);
        EXPECT_EQ(Ask(port, "ATS56?"), "45\r\n\r\nOK\r\n");  // power-up profile 2
        EXPECT_EQ(Ask(port, "ATS15?"), "64\r\n\r\nOK\r\n");
        port.Close();
        EXPECT_EQ(sim.Stop(), 0);
    }
}

// A file that holds no usable state may be the person's only copy of something:
// it stays byte for byte, however the device changes, until they say replace it.
TEST_F(SimProgramTest, AnUnusableStateFileIsLeftAloneUntilThePersonSaysReplaceIt) {
    const std::string state = folder_ + "/device.state";
    const std::string damaged = "vardex-sim state 1\ns15=\x7f\nnot mine to lose\n";
    std::ofstream(state, std::ios::binary) << damaged;
    {
        SimProcess sim({"--state", state, "--link", folder_ + "/port", "--control", "-"});
        ASSERT_FALSE(sim.Path().empty());
        std::string said = sim.Errors();
        EXPECT_NE(
            said.find("state file unusable, starting from factory state: " + state + ": line 2"),
            std::string::npos)
            << said;
        CDevicePort port;
        ASSERT_EQ(port.Line().OpenPort(folder_ + "/port", 115200), OpenResult::kOk);
        port.SetReadTimeout(250);
        EXPECT_EQ(Ask(port, "ATS56?"), "20\r\n\r\nOK\r\n");  // factory state
        EXPECT_EQ(Ask(port, "ATS15=64"), "OK\r\n");
        EXPECT_EQ(sim.Control("book phone1 5"), "ok\n");
        port.Close();
        EXPECT_EQ(sim.Stop(), 0);
        said += sim.AllErrors();
        EXPECT_NE(said.find(state + " is left as it is and changes are not saved"),
                  std::string::npos)
            << said;
    }
    EXPECT_EQ(ReadFile(state), damaged);
    EXPECT_EQ(Listing(), "device.state\n");

    SimProcess sim({"--state", state, "--replace-unusable-state", "--control", "-"});
    ASSERT_FALSE(sim.Path().empty());
    EXPECT_EQ(sim.Control("book phone1 5"), "ok\n");
    const auto saved = ReadStateFile(state);
    ASSERT_TRUE(saved) << saved.error().text;
    EXPECT_EQ(saved->total_charge[0], 5u);
    EXPECT_EQ(sim.Stop(), 0);
}

// Anything but a regular file ends the simulator at once, with a message, and
// nothing is created or replaced: renaming a save over a device node (as root)
// destroyed it, and opening a FIFO waited for ever.
TEST_F(SimProgramTest, AStateFileThatIsNotARegularFileIsRefused) {
    const std::string fifo = folder_ + "/fifo";
    const std::string directory = folder_ + "/directory";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);
    std::vector<std::pair<std::string, std::string>> cases = {
        {fifo, fifo + " is a FIFO"}, {directory, directory + " is a directory"}};
    // A node of /dev/zero of our own where this process may make one; the real
    // one only where a save that went wrong could not replace it.
    const std::string node = folder_ + "/zero";
    if (::mknod(node.c_str(), S_IFCHR | 0600, ::makedev(1, 5)) == 0) {
        cases.emplace_back(node, node + " is a character device");
    } else if (::access("/dev", W_OK) != 0) {
        cases.emplace_back("/dev/zero", "/dev/zero is a character device");
    }
    const std::string listing = Listing();
    for (const auto& [path, said] : cases) {
        struct stat before {};
        ASSERT_EQ(::lstat(path.c_str(), &before), 0);
        SimProcess sim({"--state", path, "--control", "-"});
        const int status = sim.Finish(5s);
        EXPECT_NE(status, -1) << path << " did not end the simulator";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << path;
        const std::string errors = sim.AllErrors();
        EXPECT_NE(errors.find("refusing the state file: " + said), std::string::npos) << errors;
        struct stat after {};
        ASSERT_EQ(::lstat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode, before.st_mode) << path;
        EXPECT_EQ(after.st_ino, before.st_ino) << path;
    }
    EXPECT_EQ(Listing(), listing);
}

// sx sends the image in XMODEM with the 8-bit checksum, because our loader
// asks with NAK rather than "C".
TEST_F(SimProgramTest, AcceptsAnImageFromLrzszSx) {
    if (std::system("command -v sx >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "sx (lrzsz) is not installed";
    }
    const std::string image = folder_ + "/fw.img";
    int status = -1;
    RunToEnd("--make-image V2.77 '" + image + "' --image-size 5000", &status);
    ASSERT_EQ(status, 0);

    SimProcess sim({"--loader", "--state", folder_ + "/device.state", "--control", "-"});
    const std::string path = sim.Path();
    ASSERT_FALSE(path.empty());
    const std::string command =
        "timeout 60 sx -X -b -q '" + image + "' <'" + path + "' >'" + path + "' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);

    EXPECT_NE(sim.Control("status").find("mode: command\nsoftware: V2.77"), std::string::npos);
    CDevicePort port;
    ASSERT_EQ(port.Line().OpenPort(path, 115200), OpenResult::kOk);
    port.SetReadTimeout(250);
    EXPECT_EQ(Ask(port, "ATI3"), "Software Version V2.77 Hungary\r\n\r\nOK\r\n");
    port.Close();
    EXPECT_EQ(sim.Stop(), 0);
    // The installed firmware is remembered.
    std::ifstream in(folder_ + "/device.state");
    std::stringstream saved;
    saved << in.rdbuf();
    EXPECT_NE(saved.str().find("software=V2.77\n"), std::string::npos);
}

}  // namespace
}  // namespace vardex::sim
