// `vardexctl backups` and `schema`: what needs no device.
#include <ostream>

#include "at_command.h"
#include "command_line.h"
#include "failure.h"
#include "job_commands.h"
#include "settings/backup_store.h"
#include "settings/json_text.h"
#include "settings/record_fields.h"

using namespace vardex::settings;

namespace vardex::ctl {

int RunBackups(const CommandCall& call, std::ostream& out, std::FILE* err) {
    const ParsedArgs& parsed = call.parsed;
    if (parsed.status) {
        return parsed.Finish(out, err);
    }
    const auto listed = settings::ListBackups();
    if (!listed) {
        TellFailure(Reason::kIo, "backups", listed.error(), err);
        return kExitLinkDown;
    }
    const std::vector<settings::Backup>& backups = *listed;
    const bool json = parsed.Has("--json");
    if (json) {
        out << "[";
    }
    for (std::size_t i = 0; i < backups.size(); ++i) {
        const settings::Backup& b = backups[i];
        const std::string device = settings::DescribeDevice(b.country, b.model, b.firmware, b.crc);
        if (json) {
            out << (i ? "," : "") << "{\"number\":" << i + 1 << ",\"time\":" << JsonString(b.time)
                << ",\"port\":" << (b.port.empty() ? "null" : JsonString(b.port))
                << ",\"device\":" << JsonString(device) << ",\"file\":" << JsonString(b.path)
                << "}";
        } else {
            out << i + 1 << "  " << b.time << " UTC  "
                << TerminalText(b.port.empty() ? "unknown port" : b.port) << "  "
                << TerminalText(device) << "  " << TerminalText(b.path) << "\n";
        }
    }
    if (json) {
        out << "]\n";
    } else if (backups.empty()) {
        std::fprintf(err, "vardexctl backups: none kept in %s\n", settings::BackupFolder().c_str());
    }
    return kExitOk;
}

int RunSchema(const CommandCall& call, std::ostream& out, std::FILE* err) {
    const ParsedArgs& parsed = call.parsed;
    if (parsed.status) {
        return parsed.Finish(out, err);
    }
    out << SettingsSchema();
    return kExitOk;
}

}  // namespace vardex::ctl
