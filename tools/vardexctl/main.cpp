// vardexctl: the configuration manager's core, driven from a terminal or a script.
#include <iostream>
#include <string>
#include <vector>

#include "at_command.h"
#include "command_table.h"
#include "failure.h"
#include "link/exchange_timing.h"
#include "platform/environment.h"
#include "settings/record_fields.h"
#include "vardex_version.h"

using namespace vardex::link;

namespace {

// What a usage error shows, with the command list between kUsage and
// kUsageEnd; --help adds kDetails, the environment and kExamples. The manual page is made
// from --help at build time, so both stay the one description of the program.
constexpr const char* kUsage =
    "usage: vardexctl [--design-timing] COMMAND [ARGS...]\n"
    "       vardexctl --help | --version\n"
    "commands:\n";

// After the commands.
constexpr const char* kUsageEnd =
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
    "selftest: 0 every test passed, 1 one failed, 2 usage error, 3 one was interrupted.\n"
    "diff: 0 the same, 1 they differ, 2 usage error, 3 loader, 4 the read failed.\n"
    "Before every write (write, apply, restore, upgrade) the settings read are kept\n"
    "in $XDG_STATE_HOME/vardex/backups (default ~/.local/state/vardex/backups).\n";

constexpr const char* kDetails =
    "\n"
    "options:\n"
    "  --design-timing      (before COMMAND) the slower exchange timing, as\n"
    "                       VARDEX_EXCHANGE=design\n"
    "  --port PATH          the device's port: a path or COM1..COM10 (default COM1)\n"
    "  --json               print the result as one JSON object; a failure as\n"
    "                       {\"error\": TEXT, \"reason\": WORD, \"status\": N}\n"
    "  --timeout MS         at: how long to wait for each reply\n"
    "  --store N            write: keep the settings in stored profile N (0..3)\n"
    "  --power-up N         write: the profile taken at power-up (0..3, 4: factory)\n"
    "  --from FILE.json     write: the fields of FILE, as read --json prints them;\n"
    "                       read-only fields are skipped\n"
    "  FIELD=VALUE          write: one field by the record's name or its readable\n"
    "                       name, with indexes where it has them\n"
    "                       (m_strPhoneMsn[2]=5551234, port1.call_waiting=0)\n"
    "  --list-fields        (as COMMAND) every field: both names, type, range and\n"
    "                       the variants that have it\n"
    "  --yes, -y            upgrade, restore: do not ask first\n"
    "  --no-backup          write, apply, restore, upgrade: keep no backup first\n"
    "  --check              apply: send nothing, tell what would change\n"
    "  --force              restore: a backup of another variant too\n"
    "  --names readable     read: JSON keys by readable name\n"
    "  --log FILE           term, trace: write the bytes received to FILE\n"
    "  --trace LAYERS       term: switch these traces on while the terminal runs\n"
    "  --layers LAYERS      trace: the traces to switch on and print\n"
    "  --seconds N          trace: stop after N seconds (default: Ctrl+C)\n"
    "  --timestamps         trace: begin each line with the time it arrived\n"
    "  --tests LIST         selftest: test numbers or names, comma-separated: 0\n"
    "                       hardware, 1 interboard, 2 ring, 3 handset, 4 dialing,\n"
    "                       5 tone, 6 charging (default: every test of the device)\n"
    "  --ports 1,2          selftest: the analog ports the telephone tests cover\n"
    "  --help, -h           this text (after a command, or as help COMMAND: that\n"
    "                       command's usage)\n"
    "  --version            the program's version\n"
    "\n"
    "EXIT STATUS\n"
    "  0                    done; selftest: every test passed\n"
    "  1                    the job did not complete (no device, cancelled, faults\n"
    "                       while writing, settings active but not stored in their\n"
    "                       profile, a lost link, a failed upgrade); selftest: a test\n"
    "                       failed\n"
    "  2                    usage error; nothing was sent to the device\n"
    "  3                    the varDex waits in its firmware loader, also after an\n"
    "                       upgrade whose image it did not take (vardexctl upgrade\n"
    "                       FILE installs an image and brings it back); selftest: a\n"
    "                       test was interrupted\n"
    "  130                  identify, selftest: a second Ctrl+C while the device is\n"
    "                       being identified\n"
    "\n";

// After the environment.
constexpr const char* kExamples =
    "\n"
    "EXAMPLES\n"
    "Keep every setting in a file, then put them back (into stored profile 0):\n"
    "\n"
    "    vardexctl read --json > backup.json\n"
    "    vardexctl write --store 0 --from backup.json\n"
    "\n"
    "Change two settings on a simulated varDex:\n"
    "\n"
    "    VARDEX_PORTS=/tmp/vardex vardexctl write m_bClip=0 'm_strPhoneMsn[0]=5551234'\n"
    "\n"
    "Print the layer 1 and 3 traces for half a minute:\n"
    "\n"
    "    vardexctl trace --layers l1,l3 --seconds 30 --timestamps\n"
    "\n"
    "Read a varDex whose serial port a port server offers on another computer:\n"
    "\n"
    "    vardexctl read --port rfc2217://cabinet:3001\n"
    "\n"
    "SEE ALSO\n"
    "vardex-config(1), vardex-sim(1)\n";

// The usage a usage error shows.
std::string Usage() {
    return kUsage + vardex::ctl::CommandList() + kUsageEnd;
}

int UnknownCommand(const std::string& command) {
    std::cerr << "vardexctl: unknown command '" << command << "'\n" << Usage();
    return vardex::ctl::kExitUsage;
}

// The whole of --help.
std::string Help() {
    return Usage() + kDetails + vardex::platform::env::HelpSection(vardex::platform::env::kCtl) +
           kExamples;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args.front() == "--design-timing") {
        SetExchangeTiming(ExchangeTiming::kSilence);
        args.erase(args.begin());
    }
    if (args.empty()) {
        std::cerr << Usage();
        return vardex::ctl::kExitUsage;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    if (const vardex::ctl::CommandSpec* spec = vardex::ctl::FindCommand(command)) {
        return vardex::ctl::RunCommand(*spec, args);
    }
    if (command == "help" && !args.empty()) {
        const vardex::ctl::CommandSpec* spec = vardex::ctl::FindCommand(args.front());
        if (spec == nullptr) {
            return UnknownCommand(args.front());
        }
        std::cout << vardex::ctl::CommandUsage(*spec);
        return vardex::ctl::kExitOk;
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << Help();
        return vardex::ctl::kExitOk;
    }
    if (command == "--version") {
        std::cout << "vardexctl " VARDEX_BUILD_VERSION "\n";
        return vardex::ctl::kExitOk;
    }
    if (command == "--list-names") {
        // For shell completion: every name FIELD=VALUE takes, one a line.
        for (const std::string& name : vardex::settings::AssignableNames()) {
            std::cout << name << '\n';
        }
        return vardex::ctl::kExitOk;
    }
    if (command == "--list-fields") {
        std::cout << vardex::settings::FieldList();
        return vardex::ctl::kExitOk;
    }
    return UnknownCommand(command);
}
