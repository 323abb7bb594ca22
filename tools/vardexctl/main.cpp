// vardexctl: the configuration manager's core, driven from a terminal or a script.
#include <iostream>
#include <string>
#include <vector>

#include "at_command.h"
#include "identify_command.h"
#include "job_commands.h"
#include "link/exchange_timing.h"
#include "selftest_command.h"
#include "term_command.h"

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
    "  term [--port PATH] [--log FILE] [--trace LAYERS]      raw terminal on the device\n"
    "                                                        (Ctrl+] leaves)\n"
    "  trace [--port PATH] --layers LAYERS [--log FILE] [--seconds N] [--timestamps]\n"
    "                                                        print the device's traces\n"
    "  selftest [--port PATH] [--tests LIST] [--ports 1,2] [--json]\n"
    "                                                        run the hardware tests\n"
    "Trace layers: l1, l2, l3, app, u, separated by commas; term and trace switch\n"
    "every trace off when they end.\n"
    "--design-timing: wait a whole silent read time-out after every reply and\n"
    "listen for a firmware loader before identifying (as VARDEX_EXCHANGE=design),\n"
    "for a device that drops commands sent soon after its reply.\n"
    "Ports: COM1..COM10 map to the paths listed in VARDEX_PORTS (colon-separated),\n"
    "otherwise to the system's serial ports. A port served over the network is\n"
    "named rfc2217://HOST:PORT, as --port and as an entry of VARDEX_PORTS.\n"
    "Exit status: 0 done, 1 the job did not complete, 2 usage error, 3 the varDex\n"
    "waits in its firmware loader (vardexctl upgrade FILE installs an image).\n"
    "selftest: 0 every test passed, 1 one failed, 2 usage error, 3 one was interrupted.\n";

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
    if (command == "term") {
        return vardex::ctl::RunTerm(args, std::cerr);
    }
    if (command == "trace") {
        return vardex::ctl::RunTrace(args, std::cerr);
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
