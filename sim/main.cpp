// vardex-sim: a simulated varDex on a pseudo-terminal. Prints the port path as
// one line on stdout, then runs until SIGINT or SIGTERM.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "pty_device.h"

namespace {

constexpr std::string_view kUsage =
    "usage: vardex-sim [--country TEXT] [--model VERSION] [--hardware VERSION]\n"
    "                  [--software VERSION] [--link PATH] [--silent] [--reply-delay MS]\n"
    "\n"
    "Runs a simulated varDex on a pseudo-terminal and prints the port's path.\n"
    "  --country TEXT       country variant named by ATI3 (default Hungary; empty: none)\n"
    "  --model VERSION      model version named by ATI4 (default V1.2)\n"
    "  --hardware VERSION   hardware version named by ATI0 (default V3.0)\n"
    "  --software VERSION   software version named by ATI3 (default V2.10)\n"
    "  --link PATH          keep a symbolic link to the port at PATH while running\n"
    "  --silent             read commands but answer nothing\n"
    "  --reply-delay MS     wait MS milliseconds before each reply\n";

struct Arguments {
    vardex::sim::DeviceOptions options;
    std::string link;
    bool silent = false;
    int reply_delay_ms = 0;
};

// 0 to go on, otherwise the exit status.
int ParseArguments(int argc, char** argv, Arguments* args) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            std::fputs(kUsage.data(), stdout);
            return -1;
        }
        if (flag == "--silent") {
            args->silent = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "vardex-sim: unknown option or missing value: %s\n%s", argv[i],
                         kUsage.data());
            return 2;
        }
        const char* value = argv[++i];
        if (flag == "--country") {
            args->options.country = value;
        } else if (flag == "--model") {
            args->options.model_version = value;
        } else if (flag == "--hardware") {
            args->options.hardware_version = value;
        } else if (flag == "--software") {
            args->options.software_version = value;
        } else if (flag == "--link") {
            args->link = value;
        } else if (flag == "--reply-delay") {
            char* end = nullptr;
            const long ms = std::strtol(value, &end, 10);
            if (end == value || *end != '\0' || ms < 0 || ms > 600000) {
                std::fprintf(stderr, "vardex-sim: bad delay: %s\n", value);
                return 2;
            }
            args->reply_delay_ms = static_cast<int>(ms);
        } else {
            std::fprintf(stderr, "vardex-sim: unknown option: %s\n%s", argv[i - 1], kUsage.data());
            return 2;
        }
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

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (const int status = ParseArguments(argc, argv, &args); status != 0) {
        return status < 0 ? 0 : status;
    }

    // Blocked before any thread starts, so that every thread inherits the mask and
    // the signals wait for sigwait below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    vardex::sim::PtyDevice device(args.options);
    device.SetSilent(args.silent);
    device.SetReplyDelayMs(args.reply_delay_ms);
    vardex::SysError error;
    if (!device.Start(&error)) {
        std::fprintf(stderr, "vardex-sim: %s\n", error.Message().c_str());
        return 1;
    }
    if (!args.link.empty() && !PlaceLink(device.Path(), args.link)) {
        return 1;
    }
    std::printf("%s\n", device.Path().c_str());
    std::fflush(stdout);

    int signal_number = 0;
    while (sigwait(&signals, &signal_number) != 0) {
    }

    if (!args.link.empty()) {
        RemoveLink(device.Path(), args.link);
    }
    device.Stop();
    return 0;
}
