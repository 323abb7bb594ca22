#include "command_table.h"

#include <cstdlib>
#include <iostream>

#include "at_command.h"
#include "fleet.h"
#include "identify_command.h"
#include "job_commands.h"
#include "selftest_command.h"
#include "term_command.h"

namespace vardex::ctl {
namespace {

// An empty --port would fall back to COM1, or search every port.
constexpr OptionSpec kPort{.name = "--port", .value = "PATH", .needs = "the path of a port"};
constexpr OptionSpec kJson{.name = "--json", .value = ""};
// identify, read and apply take several devices at once.
constexpr OptionSpec kPorts{
    .name = "--port", .value = "PATH", .needs = "the path of a port", .repeatable = true};
constexpr OptionSpec kAll{.name = "--all", .value = ""};
constexpr OptionSpec kLog{.name = "--log", .value = "FILE"};

constexpr OptionSpec kAtOptions[] = {kPort, kJson, {.name = "--timeout", .value = "MS"}};
constexpr OptionSpec kPortAndJson[] = {kPort, kJson};
constexpr OptionSpec kIdentifyOptions[] = {kPorts, kAll, kJson};
constexpr OptionSpec kReadOptions[] = {
    kPorts,
    kAll,
    kJson,
    {.name = "--names", .value = "member|readable", .needs = "member or readable"},
    {.name = "--identity", .value = ""}};
constexpr OptionSpec kStore{.name = "--store", .value = "N"};
constexpr OptionSpec kNoBackup{.name = "--no-backup", .value = ""};
constexpr OptionSpec kNoStore{.name = "--no-store", .value = ""};
constexpr OptionSpec kYes{.name = "--yes", .value = "", .alias = "-y"};
constexpr OptionSpec kWriteOptions[] = {kPort,
                                        kStore,
                                        kNoStore,
                                        {.name = "--power-up", .value = "N"},
                                        {.name = "--from", .value = "FILE.json"},
                                        kNoBackup,
                                        kJson};
constexpr OptionSpec kUpgradeOptions[] = {kPort, kYes, kNoBackup};
constexpr OptionSpec kApplyOptions[] = {
    kPorts, kAll, {.name = "--check", .value = ""}, kJson, kStore, kNoStore, kNoBackup};
constexpr OptionSpec kRestoreOptions[] = {kPort,  kYes,     {.name = "--force", .value = ""},
                                          kStore, kNoStore, kNoBackup};
constexpr OptionSpec kJsonOnly[] = {kJson};
constexpr OptionSpec kPortOnly[] = {kPort};
constexpr OptionSpec kTermOptions[] = {kPort, kLog, {.name = "--trace", .value = "LAYERS"}};
constexpr OptionSpec kTraceOptions[] = {kPort,
                                        {.name = "--layers", .value = "LAYERS", .required = true},
                                        kLog,
                                        {.name = "--seconds", .value = "N"},
                                        {.name = "--timestamps", .value = ""}};
constexpr OptionSpec kSelfTestOptions[] = {
    kPort,
    {.name = "--tests", .value = "LIST", .needs = "test numbers 0-6 or names, separated by commas"},
    {.name = "--ports", .value = "1,2", .needs = "1, 2 or 1,2"},
    kJson};

#define VARDEXCTL_SEVERAL_DEVICES                                                           \
    "  --port more than once, or --all for every varDex the search finds: each\n"           \
    "  device at once on its own channel, the results in the order of the ports\n"          \
    "  (with --json one object a line, with \"port\" and \"status\"); the exit status is\n" \
    "  the worst of them.\n"

constexpr CommandSpec kCommands[] = {
    {.name = "at",
     .summary = "exchange AT command lines",
     .options = kAtOptions,
     .operands = Operands::kMany,
     .operand_text = "COMMAND...",
     .options_end_at_operand = true,
     .description = "  Opens the port (COM1 of the port map unless --port is given), sends each\n"
                    "  COMMAND (without its carriage return) and prints each reply as it came.\n"
                    "  --json      one JSON value per command: the reply as a string, or null\n"
                    "              when the link is down\n"
                    "  --timeout   read time-out in milliseconds for slow commands (default 250)\n",
     .run = [](const CommandCall& call) { return RunAt(call, std::cout, std::cerr); }},
    {.name = "identify",
     .summary = "find and identify the device",
     .options = kIdentifyOptions,
     .description =
         "  Searches the modem lines and COM1..COM10 for a varDex (or opens PATH), asks\n"
         "  which one to use when there are several, and prints its "
         "identity.\n" VARDEXCTL_SEVERAL_DEVICES,
     .run =
         [](const CommandCall& call) {
             return RunPerDevice(call, [](const CommandCall& one) {
                 return RunIdentify(one, std::cout, stdin, stderr);
             });
         }},
    {.name = "read",
     .summary = "read every setting",
     .options = kReadOptions,
     .description =
         "  Reads every setting of the varDex and prints the working record.\n"
         "  --names readable  JSON keys by readable name (port1.call_waiting)\n"
         "                    instead of the record's "
         "(m_bCallWaiting1)\n"
         "  --identity        the identity as identify prints it, then the settings,\n"
         "                    from one opening of the port; with --json one object,\n"
         "                    {\"identity\": ..., \"settings\": ...}\n" VARDEXCTL_SEVERAL_DEVICES,
     .run =
         [](const CommandCall& call) {
             return RunPerDevice(call, [](const CommandCall& one) {
                 return RunRead(one, std::cout, stdin, stderr);
             });
         }},
    {.name = "write",
     .summary = "change settings",
     .options = kWriteOptions,
     .operands = Operands::kMany,
     .operand_text = "[FIELD=VALUE...]",
     .description =
         "  Reads every setting, applies the given fields (from FILE.json, an object as\n"
         "  read --json prints it and at most 1 MiB, then from FIELD=VALUE, where FIELD\n"
         "  may carry indexes: m_strPhoneMsn[2]=5551, m_byModemLlc[1][0]=0x80) and writes\n"
         "  what changed.\n"
         "  Profiles are numbered 0..3 everywhere. A changed setting is stored in the\n"
         "  profile the device loads at power-up (opening the port resets the device to\n"
         "  it, so a setting not stored there is gone at the next connection). --store N\n"
         "  (or m_nStoreProfile=N) stores into profile N instead; --no-store changes only\n"
         "  the active settings. --power-up N (or m_nPowerUpProfile=N, 4 = factory\n"
         "  defaults) makes profile N the one loaded at power-up.\n"
         "  Each value is told as applied, refused (with the value the device holds),\n"
         "  unknown (sent, not confirmed) or not sent; exit status 1 unless every one was\n"
         "  applied and stored. --json prints the report as one object.\n"
         "  The settings read are kept as a backup first (vardexctl backups); a backup\n"
         "  that cannot be written stops the write. --no-backup writes without one.\n",
     .run = [](const CommandCall& call) { return RunWrite(call, std::cout, stdin, stderr); }},
    {.name = "apply",
     .summary = "bring the device to the settings of FILE",
     .options = kApplyOptions,
     .operands = Operands::kOne,
     .operand_text = "FILE",
     .description =
         "  FILE holds any of the fields, by either name: the state wanted. Writes only\n"
         "  the fields that differ, with write's checks and backup; nothing when none does.\n"
         "  Changed settings are stored as write stores them (--store N, --no-store).\n"
         "  --check   send no setting, only tell what would change\n"
         "  --json    print {\"changed\": true|false, \"changes\": {FIELD: {\"before\": V,\n"
         "            \"after\": V}}, \"fields\": [each value's fate], \"stored\": ...,\n"
         "            \"profile\": N, \"power_up\": N, \"backup\": PATH, \"error\": TEXT}\n"
         "            (also when the write failed, with \"reason\" and \"status\" after\n"
         "            \"error\": changed is true when the device changed)\n"
         "  Exit status 0 whether anything changed or not; write's statuses on "
         "failure.\n" VARDEXCTL_SEVERAL_DEVICES,
     .run =
         [](const CommandCall& call) {
             return RunPerDevice(call, [](const CommandCall& one) {
                 return RunApply(one, std::cout, stdin, stderr);
             });
         }},
    {.name = "diff",
     .summary = "compare the device with FILE",
     .options = kPortOnly,
     .operands = Operands::kOne,
     .operand_text = "FILE",
     .description = "  Prints each field where the device and FILE differ, as\n"
                    "  FIELD: DEVICE VALUE -> FILE VALUE. Exit status 0 the same, 1 they differ,\n"
                    "  2 usage error, 3 the varDex waits in its loader, 4 it could not be read.\n",
     .run = [](const CommandCall& call) { return RunDiff(call, std::cout, stdin, stderr); }},
    {.name = "backups",
     .summary = "list the backups kept before writes",
     .options = kJsonOnly,
     .description = "  Lists the backups, newest first, numbered from 1: time, device, file.\n"
                    "  They are kept in $XDG_STATE_HOME/vardex/backups (default\n"
                    "  ~/.local/state/vardex/backups), the newest 100.\n",
     .run = [](const CommandCall& call) { return RunBackups(call, std::cout, stderr); }},
    {.name = "restore",
     .summary = "write a backup back",
     .options = kRestoreOptions,
     .operands = Operands::kOne,
     .operand_text = "[N|FILE]",
     .description = "  Shows what would change and, when confirmed (--yes: without asking),\n"
                    "  writes backup N (1, the newest, by default) or FILE back. A backup of\n"
                    "  another variant (country or model) is refused unless --force. The\n"
                    "  settings are stored as write stores them (--store N, --no-store).\n",
     .run = [](const CommandCall& call) { return RunRestore(call, std::cout, stdin, stderr); }},
    {.name = "schema",
     .summary = "print the JSON Schema of a settings file",
     .options = {},
     .description = "  Prints the JSON Schema (draft 2020-12) of the settings files read --json\n"
                    "  prints and write --from, apply and diff take.\n",
     .run = [](const CommandCall& call) { return RunSchema(call, std::cout, stderr); }},
    {.name = "upgrade",
     .summary = "replace the firmware",
     .options = kUpgradeOptions,
     .operands = Operands::kOne,
     .operand_text = "FILE",
     .description =
         "  Replaces the varDex firmware with FILE, then reads every setting. Where the\n"
         "  device's country keeps upgrades for its operator, says so and changes nothing.\n",
     .run = [](const CommandCall& call) { return RunUpgrade(call, std::cout, stdin, stderr); }},
    {.name = "term",
     .summary = "raw terminal on the device\n(Ctrl+] leaves)",
     .options = kTermOptions,
     .description =
         "  A raw terminal on the device: keys go to it as the program's terminal sends\n"
         "  them (Backspace as BS, Enter as CR, other keys as their character, in\n"
         "  Latin-1; Tab, Escape, the cursor, editing and function keys and characters\n"
         "  beyond Latin-1 send nothing), and what it sends is shown as the program's\n"
         "  terminal shows it: carriage returns dropped, control bytes as visible\n"
         "  symbols. Ctrl+] leaves; every trace is switched off then.\n"
         "  --log FILE      write the raw bytes received to FILE (emptied first)\n"
         "  --trace LAYERS  switch traces on at the start: l1, l2, l3, app, u,\n"
         "                  separated by commas\n",
     .run = [](const CommandCall& call) { return RunTerm(call, std::cerr); }},
    {.name = "trace",
     .summary = "print the device's traces",
     .options = kTraceOptions,
     .description =
         "  Switches the traces of LAYERS on (l1, l2, l3, app, u, separated by commas),\n"
         "  prints what the device sends until Ctrl+C or N seconds, then switches every\n"
         "  trace off.\n"
         "  --log FILE      write the raw bytes received to FILE (emptied first)\n"
         "  --seconds N     stop after N seconds (1 to 86400)\n"
         "  --timestamps    begin each printed line with the time it arrived\n"
         "                  (the log keeps the raw bytes only)\n",
     .run = [](const CommandCall& call) { return RunTrace(call, std::cerr); }},
    {.name = "selftest",
     .summary = "run the hardware tests",
     .options = kSelfTestOptions,
     .description = "  Runs the hardware tests with a telephone on the analog ports. LIST is\n"
                    "  comma-separated test numbers or names: 0 hardware, 1 interboard, 2 ring,\n"
                    "  3 handset, 4 dialing, 5 tone, 6 charging; the default is every test the\n"
                    "  device has. --ports picks the analog ports (default both). Answer the\n"
                    "  questions with y or n and Enter. Ctrl+C, closing the terminal, a kill, or\n"
                    "  the end of input at a question stops the test, resets the ports and ends.\n"
                    "  Exit status: 0 every test passed, 1 one failed, 3 one was interrupted.\n",
     .run = [](const CommandCall& call) { return RunSelfTest(call, std::cout, stdin, stderr); }},
};

// The column the summaries start in; a longer synopsis puts its summary on
// the next line.
constexpr std::size_t kSummaryColumn = 56;

}  // namespace

std::span<const CommandSpec> Commands() {
    return kCommands;
}

const CommandSpec* FindCommand(std::string_view name) {
    for (const CommandSpec& command : kCommands) {
        if (command.name == name) {
            return &command;
        }
    }
    return nullptr;
}

const CommandSpec& CommandNamed(std::string_view name) {
    const CommandSpec* command = FindCommand(name);
    if (command == nullptr) {
        std::abort();  // a handler asked for a row the table does not have
    }
    return *command;
}

CommandCall CallOf(std::string_view name, const std::vector<std::string>& args) {
    return CallWith(CommandNamed(name), args);
}

std::string CommandList() {
    std::string text;
    for (const CommandSpec& command : kCommands) {
        std::string line = "  " + std::string(command.name) + " " + Synopsis(command);
        // At least two spaces between a synopsis and its summary.
        line += line.size() + 2 <= kSummaryColumn ? std::string(kSummaryColumn - line.size(), ' ')
                                                  : "\n" + std::string(kSummaryColumn, ' ');
        for (const char c : command.summary) {
            line += c;
            if (c == '\n') {
                line += std::string(kSummaryColumn, ' ');
            }
        }
        text += line + "\n";
    }
    return text;
}

}  // namespace vardex::ctl
