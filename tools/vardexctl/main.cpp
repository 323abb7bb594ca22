// vardexctl: the configuration manager's core, driven from a terminal or a script.
#include <iostream>
#include <string>
#include <vector>

#include "at_command.h"
#include "identify_command.h"
#include "job_commands.h"
#include "selftest_command.h"

namespace {

constexpr const char* kUsage =
    "usage: vardexctl COMMAND [ARGS...]\n"
    "commands:\n"
    "  at [--port PATH] [--json] [--timeout MS] COMMAND...   exchange AT command lines\n"
    "  identify [--port PATH] [--json]                       find and identify the device\n"
    "  read [--port PATH] [--json]                           read every setting\n"
    "  write [--port PATH] [--store N] [--power-up N] [--from FILE.json] [FIELD=VALUE...]\n"
    "                                                        change settings\n"
    "  upgrade [--port PATH] [--yes] FILE                    replace the firmware\n"
    "  selftest [--port PATH] [--tests LIST] [--ports 1,2] [--json]\n"
    "                                                        run the hardware tests\n"
    "Ports: COM1..COM10 map to the paths listed in VARDEX_PORTS (colon-separated),\n"
    "otherwise to the system's serial ports.\n"
    "Exit status: 0 done, 1 the job did not complete, 2 usage error, 3 the varDex\n"
    "waits in its firmware loader (vardexctl upgrade FILE installs an image).\n"
    "selftest: 0 every test passed, 1 one failed, 2 usage error, 3 one was interrupted.\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
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
    if (command == "selftest") {
        return vardex::ctl::RunSelfTest(args, std::cout, stdin, stderr);
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return vardex::ctl::kExitOk;
    }
    std::cerr << "vardexctl: unknown command '" << command << "'\n" << kUsage;
    return vardex::ctl::kExitUsage;
}
