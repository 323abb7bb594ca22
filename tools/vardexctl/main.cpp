// vardexctl: the configuration manager's core, driven from a terminal or a script.
#include <iostream>
#include <string>
#include <vector>

#include "at_command.h"
#include "link/exchange_timing.h"
#include "identify_command.h"
#include "job_commands.h"

namespace {

constexpr const char* kUsage =
    "usage: vardexctl [--design-timing] COMMAND [ARGS...]\n"
    "commands:\n"
    "  at [--port PATH] [--json] [--timeout MS] COMMAND...   exchange AT command lines\n"
    "  identify [--port PATH] [--json]                       find and identify the device\n"
    "  read [--port PATH] [--json]                           read every setting\n"
    "  write [--port PATH] [--store N] [--power-up N] [--from FILE.json] [FIELD=VALUE...]\n"
    "                                                        change settings\n"
    "  upgrade [--port PATH] [--yes] FILE                    replace the firmware\n"
    "--design-timing: wait a whole silent read time-out after every reply and\n"
    "listen for a firmware loader before identifying (as VARDEX_EXCHANGE=design),\n"
    "for a device that drops commands sent soon after its reply.\n"
    "Ports: COM1..COM10 map to the paths listed in VARDEX_PORTS (colon-separated),\n"
    "otherwise to the system's serial ports.\n"
    "Exit status: 0 done, 1 the job did not complete, 2 usage error, 3 the varDex\n"
    "waits in its firmware loader (vardexctl upgrade FILE installs an image).\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args.front() == "--design-timing") {
        SetExchangeTiming(ExchangeTiming::kSilence);
        args.erase(args.begin());
    }
    if (args.empty()) {
        std::cerr << kUsage;
        return vardex::ctl::kExitUsage;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "at") {
        return vardex::ctl::RunAt(args, std::cout, std::cerr);
    }
    if (command == "identify") {
        return vardex::ctl::RunIdentify(args, std::cout, stdin, stderr);
    }
    if (command == "read") {
        return vardex::ctl::RunRead(args, std::cout, stdin, stderr);
    }
    if (command == "write") {
        return vardex::ctl::RunWrite(args, std::cout, stdin, stderr);
    }
    if (command == "upgrade") {
        return vardex::ctl::RunUpgrade(args, std::cout, stdin, stderr);
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return vardex::ctl::kExitOk;
    }
    std::cerr << "vardexctl: unknown command '" << command << "'\n" << kUsage;
    return vardex::ctl::kExitUsage;
}
