// vardex-sim: a simulated varDex on a pseudo-terminal. Prints the port path as
// one line on stdout, then runs until SIGINT or SIGTERM, taking control
// commands from its standard input or a UNIX socket when asked to.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "control.h"
#include "firmware_image.h"
#include "nv_state.h"
#include "platform/environment.h"
#include "platform/file_io.h"
#include "platform/unique_fd.h"
#include "pty_device.h"
#include "vardex_version.h"

using namespace vardex::platform;

namespace {

constexpr std::string_view kUsage =
    "usage: vardex-sim [OPTION]...\n"
    "       vardex-sim --make-image VERSION FILE [--image-size BYTES]\n"
    "\n"
    "Runs a simulated varDex on a pseudo-terminal and prints the port's path.\n"
    "Several can run at once; give each its own --link, --state and --control.\n"
    "\n"
    "OPTIONS\n"
    "identity:\n"
    "  --country TEXT       country variant named by ATI3 (default Hungary; empty: none),\n"
    "                       e.g. Cyprus, Poland, Brasil, \"Brasil USB\", Lithuania, UAE\n"
    "  --model VERSION      model version named by ATI4 (default V1.2)\n"
    "  --hardware VERSION   hardware version named by ATI0 (default V3.0)\n"
    "  --software VERSION   software version named by ATI3 (default V2.10)\n"
    "  --crc TEXT           ATI1 text of that software (default \"CRC: 5A3C\")\n"
    "  --dialect SEED       another varDex: where the program's reply rules leave the text\n"
    "                       to the device, the seed chooses (the X.121 label, echo that\n"
    "                       stays on, leading zeros, a line break before replies, blanks\n"
    "                       in listings, replies in pieces, a slow ATZ, one or two\n"
    "                       registers the firmware does not know); told on standard error.\n"
    "                       0, the default, is the device as it always was\n"
    "  --dialect list       print what the seeds 1 to 8 choose, and end"
    "state:\n"
    "  --state FILE         keep profiles, power-up profile, numbers, charges and the\n"
    "                       installed firmware in FILE across runs, saved after each\n"
    "                       change; a missing FILE is created. FILE must be a regular\n"
    "                       file (or a symbolic link to one, whose target is then\n"
    "                       rewritten): a device, FIFO, socket or directory is refused\n"
    "                       and the simulator does not start. A FILE that cannot be\n"
    "                       read as a state file is reported, left untouched, and the\n"
    "                       simulator runs on the factory state without saving\n"
    "  --replace-unusable-state\n"
    "                       replace such an unusable FILE with the factory state and\n"
    "                       save every change to it\n"
    "  --loader             start in the firmware loader, as after an interrupted upgrade\n"
    "port and control:\n"
    "  --link PATH          keep a symbolic link to the port at PATH while running\n"
    "  --usb DIR            offer the port as a USB modem line DIR/ttyACMn (a link,\n"
    "                       n the lowest free); point VARDEX_LINES at 'DIR/ttyACM*'\n"
    "                       so that the program finds it under every name it takes\n"
    "  --control PATH       take control commands on a UNIX socket at PATH\n"
    "  --control -          take control commands on standard input\n"
    "faults at start (all can be changed later through the control channel):\n"
    "  --silent             read commands but answer nothing\n"
    "  --reply-delay MS     wait MS milliseconds before each reply\n"
    "  --byte-delay MS      wait MS milliseconds between the bytes of each reply\n"
    "firmware images:\n"
    "  --make-image VERSION FILE   write an image that installs software VERSION\n"
    "  --image-size BYTES   its total size (default 4096, at least 52)\n"
    "                       An image is a 52-byte header (\"VDXF\", format 1, payload\n"
    "                       length, payload CRC-32, the version text in 32 bytes, a\n"
    "                       CRC-32 of the header; numbers little-endian), then the\n"
    "                       payload; fill behind it is ignored. Send it to the loader\n"
    "                       with any XMODEM sender (8-bit checksum, 128-byte blocks).\n"
    "  --help               this text and the control commands\n"
    "  --version            the program's version\n"
    "\n"
    "Stop it with Ctrl+C or SIGTERM.\n"
    "\n"
    "CONTROL COMMANDS\n"
    "One per line; each reply ends with a line \"ok\" or \"error: ...\".\n";

// After the control commands and the environment.
constexpr std::string_view kUsageEnd =
    "\n"
    "EXAMPLES\n"
    "    vardex-sim --country Cyprus --link /tmp/vardex --state ~/.vardex-sim.state --control - &\n"
    "    VARDEX_PORTS=/tmp/vardex vardexctl read\n"
    "\n"
    "SEE ALSO\n"
    "vardexctl(1), vardex-config(1)\n";

struct Arguments {
    vardex::sim::DeviceOptions options;
    std::string link;
    std::string usb;
    std::string state;
    bool replace_unusable_state = false;
    std::string control;
    bool silent = false;
    int reply_delay_ms = 0;
    int byte_delay_ms = 0;
    std::string image_version;
    std::string image_file;
    long image_size = 4096;
};

void PrintUsage(FILE* out) {
    std::fputs(kUsage.data(), out);
    std::fputs(vardex::sim::kControlHelp.data(), out);
    std::fputs(("\n" + vardex::platform::env::HelpSection(vardex::platform::env::kSim)).c_str(),
               out);
    std::fputs(kUsageEnd.data(), out);
}

bool ParseMs(const char* value, long max, long* out) {
    char* end = nullptr;
    const long number = std::strtol(value, &end, 10);
    if (end == value || *end != '\0' || number < 0 || number > max) {
        return false;
    }
    *out = number;
    return true;
}

// 0 to go on, otherwise the exit status (-1: exit 0 at once).
int ParseArguments(int argc, char** argv, Arguments* args) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            PrintUsage(stdout);
            return -1;
        }
        if (flag == "--version") {
            std::printf("vardex-sim %s\n", VARDEX_BUILD_VERSION);
            return -1;
        }
        if (flag == "--silent") {
            args->silent = true;
            continue;
        }
        if (flag == "--replace-unusable-state") {
            args->replace_unusable_state = true;
            continue;
        }
        if (flag == "--loader") {
            args->options.start_in_loader = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "vardex-sim: unknown option or missing value: %s\n", argv[i]);
            return 2;
        }
        const char* value = argv[++i];
        long number = 0;
        if (flag == "--country") {
            args->options.country = value;
        } else if (flag == "--model") {
            args->options.model_version = value;
        } else if (flag == "--hardware") {
            args->options.hardware_version = value;
        } else if (flag == "--software") {
            args->options.software_version = value;
        } else if (flag == "--crc") {
            args->options.crc = value;
        } else if (flag == "--dialect") {
            if (std::string_view(value) == "list") {
                for (std::uint32_t seed = 1; seed <= 8; ++seed) {
                    std::printf("%s\n", vardex::sim::Dialect::FromSeed(seed).Describe().c_str());
                }
                return -1;
            }
            if (!ParseMs(value, 0x7FFFFFFF, &number)) {
                std::fprintf(stderr, "vardex-sim: bad dialect seed: %s\n", value);
                return 2;
            }
            args->options.dialect =
                vardex::sim::Dialect::FromSeed(static_cast<std::uint32_t>(number));
        } else if (flag == "--link") {
            args->link = value;
        } else if (flag == "--usb") {
            args->usb = value;
        } else if (flag == "--state") {
            args->state = value;
        } else if (flag == "--control") {
            args->control = value;
        } else if (flag == "--make-image") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "vardex-sim: --make-image needs VERSION and FILE\n");
                return 2;
            }
            args->image_version = value;
            args->image_file = argv[++i];
        } else if (flag == "--image-size") {
            if (!ParseMs(value, static_cast<long>(vardex::sim::kImageMaxBytes), &number) ||
                number < static_cast<long>(vardex::sim::kImageHeaderSize)) {
                std::fprintf(stderr, "vardex-sim: bad image size: %s\n", value);
                return 2;
            }
            args->image_size = number;
        } else if (flag == "--reply-delay" || flag == "--byte-delay") {
            if (!ParseMs(value, 600000, &number)) {
                std::fprintf(stderr, "vardex-sim: bad delay: %s\n", value);
                return 2;
            }
            (flag == "--reply-delay" ? args->reply_delay_ms : args->byte_delay_ms) =
                static_cast<int>(number);
        } else {
            std::fprintf(stderr, "vardex-sim: unknown option: %s (see --help)\n", argv[i - 1]);
            return 2;
        }
    }
    return 0;
}

int MakeImage(const Arguments& args) {
    const std::string image = vardex::sim::MakeFirmwareImage(
        args.image_version, static_cast<std::size_t>(args.image_size));
    if (image.empty()) {
        std::fprintf(stderr, "vardex-sim: the version must be 1..32 printable characters\n");
        return 2;
    }
    FILE* out = std::fopen(args.image_file.c_str(), "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "vardex-sim: %s: %s\n", args.image_file.c_str(), std::strerror(errno));
        return 1;
    }
    const bool written = std::fwrite(image.data(), 1, image.size(), out) == image.size();
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "vardex-sim: writing %s failed\n", args.image_file.c_str());
        return 1;
    }
    return 0;
}

// A fresh link is made beside the old one and renamed over it, so that a program
// that opens the link never finds it missing or half made.
bool PlaceLink(const std::string& target, const std::string& link) {
    const std::string temp = link + ".tmp." + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) != 0) {
        std::fprintf(stderr, "vardex-sim: symlink %s: %s\n", temp.c_str(), std::strerror(errno));
        return false;
    }
    if (::rename(temp.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "vardex-sim: rename to %s: %s\n", link.c_str(), std::strerror(errno));
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

// Removes the link only while it still points at this simulator's port: another
// simulator may have taken the name over meanwhile.
void RemoveLink(const std::string& target, const std::string& link) {
    char buffer[4096];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n > 0 && std::string_view(buffer, static_cast<std::size_t>(n)) == target) {
        ::unlink(link.c_str());
    }
}

void SaveState(const std::string& path, const vardex::sim::NvState& state) {
    vardex::platform::SysError error;
    if (!vardex::sim::SaveStateFile(path, state, &error)) {
        std::fprintf(stderr, "vardex-sim: saving state: %s\n", error.Message().c_str());
    }
}

// The state file: read before the device starts, written after every change.
// A file that is there but holds no usable state may be the person's only copy
// of something: it is left as it is, and nothing is saved, unless they asked to
// replace it. Anything but a regular file is refused; false then, the program
// ends.
bool SetUpState(vardex::sim::PtyDevice& device, const std::string& path, bool replace_unusable) {
    using vardex::sim::StateFileStatus;
    const auto state = vardex::sim::ReadStateFile(path);
    const bool loaded = state.has_value();
    if (!loaded && state.error().status == StateFileStatus::kRefused) {
        std::fprintf(stderr, "vardex-sim: refusing the state file: %s\n",
                     state.error().text.c_str());
        return false;
    }
    const bool unusable = !loaded && state.error().status == StateFileStatus::kUnusable;
    const bool keep = unusable && !replace_unusable;
    if (unusable) {
        std::fprintf(stderr, "vardex-sim: state file unusable, starting from factory state: %s\n",
                     state.error().text.c_str());
        if (keep) {
            std::fprintf(stderr,
                         "vardex-sim: %s is left as it is and changes are not saved "
                         "(--replace-unusable-state replaces it)\n",
                         path.c_str());
        } else {
            std::fprintf(stderr, "vardex-sim: replacing %s with the factory state\n", path.c_str());
        }
    }
    device.Modify([&](vardex::sim::Device& d) {
        if (loaded) {
            d.LoadNv(*state);
        }
        if (keep) {
            return;
        }
        d.SetNvSink([path](const vardex::sim::NvState& changed) { SaveState(path, changed); });
        if (!loaded) {
            SaveState(path, d.Nv());
        }
    });
    return true;
}

vardex::platform::UniqueFd OpenControlSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        std::fprintf(stderr, "vardex-sim: control socket path too long: %s\n", path.c_str());
        return {};
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // A socket left behind by a simulator that was killed is replaced; any other
    // file is not ours to remove.
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) {
        ::unlink(path.c_str());
    }
    vardex::platform::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd || ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.get(), 4) != 0) {
        std::fprintf(stderr, "vardex-sim: control socket %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return {};
    }
    return fd;
}

// A reply that cannot be written is dropped: the reader went away, and the
// session ends at its next read.
void Reply(int fd, std::string_view text) {
    (void)vardex::platform::WriteAll(fd, text);
}

struct Session {
    int in = -1;
    int out = -1;
    std::string pending;
    vardex::platform::UniqueFd
        connection;  // a control socket's; none for standard input and output
};

// Runs the complete lines that arrived; false when the session is over.
bool Serve(vardex::sim::PtyDevice& device, Session* session) {
    char buffer[1024];
    const ssize_t n = ::read(session->in, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        return true;
    }
    if (n <= 0) {
        return false;
    }
    session->pending.append(buffer, static_cast<std::size_t>(n));
    constexpr std::size_t kLineMax = 4096;
    std::size_t newline = 0;
    while ((newline = session->pending.find('\n')) != std::string::npos) {
        const std::string line = session->pending.substr(0, newline);
        session->pending.erase(0, newline + 1);
        bool close = false;
        Reply(session->out, vardex::sim::RunControlCommand(device, line, &close));
        if (close) {
            return false;
        }
    }
    if (session->pending.size() > kLineMax) {
        Reply(session->out, "error: line too long\n");
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (const int status = ParseArguments(argc, argv, &args); status != 0) {
        return status < 0 ? 0 : status;
    }
    if (!args.image_file.empty()) {
        return MakeImage(args);
    }

    // Blocked before any thread starts, so that every thread inherits the mask and
    // the signals arrive only through the signalfd below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    const vardex::platform::UniqueFd signal_fd(::signalfd(-1, &signals, SFD_CLOEXEC));
    if (!signal_fd) {
        std::fprintf(stderr, "vardex-sim: signalfd: %s\n", std::strerror(errno));
        return 1;
    }

    if (args.options.dialect.seed != 0) {
        std::fprintf(stderr, "vardex-sim: %s\n", args.options.dialect.Describe().c_str());
    }
    vardex::sim::PtyDevice device(args.options);
    device.SetSilent(args.silent);
    device.SetReplyDelayMs(args.reply_delay_ms);
    device.SetByteDelayMs(args.byte_delay_ms);
    if (!args.state.empty() && !SetUpState(device, args.state, args.replace_unusable_state)) {
        return 1;
    }
    vardex::platform::UniqueFd listen_fd;
    if (!args.control.empty() && args.control != "-") {
        listen_fd = OpenControlSocket(args.control);
        if (!listen_fd) {
            return 1;
        }
    }
    if (!args.usb.empty()) {
        device.SetUsbDirectory(args.usb);
    }
    vardex::platform::SysError error;
    if (!device.Start(&error)) {
        std::fprintf(stderr, "vardex-sim: %s\n", error.Message().c_str());
        return 1;
    }
    if (!args.link.empty() && !PlaceLink(device.Path(), args.link)) {
        return 1;
    }
    std::printf("%s\n", args.usb.empty() ? device.Path().c_str() : device.UsbName().c_str());
    std::fflush(stdout);

    std::vector<Session> sessions;
    if (args.control == "-") {
        sessions.push_back(Session{STDIN_FILENO, STDOUT_FILENO, {}, {}});
    }
    constexpr std::size_t kMaxSessions = 8;
    bool running = true;
    while (running) {
        std::vector<pollfd> fds;
        fds.push_back({signal_fd.get(), POLLIN, 0});
        fds.push_back({listen_fd.get(), static_cast<short>(listen_fd ? POLLIN : 0), 0});
        for (const Session& session : sessions) {
            fds.push_back({session.in, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::fprintf(stderr, "vardex-sim: poll: %s\n", std::strerror(errno));
            break;
        }
        if (fds[0].revents & POLLIN) {
            running = false;
            continue;
        }
        std::vector<Session> kept;
        for (std::size_t i = 0; i < sessions.size(); ++i) {
            Session& session = sessions[i];
            if ((fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR)) == 0 ||
                Serve(device, &session)) {
                kept.push_back(std::move(session));
            }
        }
        sessions = std::move(kept);
        if (listen_fd && (fds[1].revents & POLLIN)) {
            vardex::platform::UniqueFd client(
                ::accept4(listen_fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (client && sessions.size() < kMaxSessions) {
                const int fd = client.get();
                sessions.push_back(Session{fd, fd, {}, std::move(client)});
            } else if (client) {
                Reply(client.get(), "error: too many control sessions\n");
            }
        }
    }

    sessions.clear();
    if (listen_fd) {
        listen_fd.reset();
        ::unlink(args.control.c_str());
    }
    if (!args.link.empty()) {
        RemoveLink(device.Path(), args.link);
    }
    device.Stop();
    return 0;
}
