#include "settings/write_path.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "device/identify.h"
#include "link/tapi_line.h"
#include "params/connection_rules.h"
#include "params/param_rows.h"
#include "params/telephony_rules.h"
#include "res/strings.h"
#include "settings/backup_store.h"
#include "settings/record_fields.h"

using namespace vardex::params;
using namespace vardex::device;

namespace vardex::settings {
namespace {

using Failure = WriteReport::Failure;

constexpr const char* kNoBackupFormat =
    "The settings could not be kept as a backup, so nothing was sent to the device:\n%s";

bool Is(const RecordField* field, const char* name) {
    return field != nullptr && std::strcmp(field->name, name) == 0;
}

bool ChargesCleared(const CDeviceConfig& r) {
    return r.m_nLastCharge1 == 0 && r.m_nLastCharge2 == 0 && r.m_nLastChargeDte == 0 &&
           r.m_nTotalCharge1 == 0 && r.m_nTotalCharge2 == 0 && r.m_nTotalChargeDte == 0;
}

std::string FailureReason(Failure failure, const WriteOutcome& outcome, CDeviceConfig& record) {
    switch (failure) {
        case Failure::kNotIdentified:
            return outcome.told ? std::string() : NotFoundMessage(record.Line().PortFailures());
        case Failure::kStopped:
            return "The write was stopped.";
        case Failure::kLinkLost:
            return "The connection to the varDex was lost during the write. Check the cable and "
                   "the power of the varDex, then write again.";
        case Failure::kUnreadable:
            return UnreadableMessage(outcome.unread_command);
        case Failure::kNoAnswer:
            return "The varDex stopped answering during the write. Check the cable and the power "
                   "of the varDex, then write again.";
        case Failure::kNotStored: {
            char text[512];
            std::snprintf(text, sizeof text, std::string(res::kTextNotStoredFormat).c_str(),
                          outcome.profile_not_stored);
            return text;
        }
        case Failure::kNone:
        case Failure::kNotAllowed:
        case Failure::kNoBackup:
            break;
    }
    return {};
}

Failure FailureOf(WriteOutcome::End end) {
    switch (end) {
        case WriteOutcome::End::kDone:
            return Failure::kNone;
        case WriteOutcome::End::kNotIdentified:
            return Failure::kNotIdentified;
        case WriteOutcome::End::kStopped:
            return Failure::kStopped;
        case WriteOutcome::End::kLinkLost:
            return Failure::kLinkLost;
        case WriteOutcome::End::kUnreadable:
            return Failure::kUnreadable;
        case WriteOutcome::End::kNoAnswer:
            return Failure::kNoAnswer;
        case WriteOutcome::End::kNotStored:
            return Failure::kNotStored;
    }
    return Failure::kNoAnswer;
}

}  // namespace

std::vector<FieldResult> JudgeWrite(const CDeviceConfig& before_record,
                                    const CDeviceConfig& wanted_record, const CDeviceConfig& after,
                                    const WriteOutcome& outcome) {
    const std::vector<settings::SettableItem> before = settings::SettableItems(before_record);
    const std::vector<settings::SettableItem> wanted = settings::SettableItems(wanted_record);
    const std::vector<settings::SettableItem> now = settings::SettableItems(after);
    const bool completed = outcome.end == WriteOutcome::End::kDone;
    const bool started = !outcome.rows.empty();
    const int rows_done = outcome.RowsDone();
    std::vector<FieldResult> results;
    std::vector<int> rows;
    std::size_t element = 0;
    for (std::size_t i = 0; i < wanted.size() && i < before.size() && i < now.size(); ++i) {
        // The items of one field come in element order.
        element = i > 0 && wanted[i].field == wanted[i - 1].field ? element + 1 : 0;
        if (wanted[i].value == before[i].value) {
            continue;
        }
        const RecordField* field = FindField(wanted[i].field);
        const int row = field != nullptr ? SettingRowIndex(*field) : -1;
        FieldResult r;
        r.field = field;
        r.element = element;
        r.name = wanted[i].name;
        r.readable = field != nullptr
                         ? field->readable + wanted[i].name.substr(std::strlen(field->name))
                         : wanted[i].name;
        r.before = before[i].value;
        r.wanted = wanted[i].value;
        r.held = now[i].value;
        r.fate = Fate::kApplied;
        const bool reset = Is(field, "m_bResetCharges");
        if (reset) {
            // The row consumes the request; the counters tell whether it worked.
            r.held = ChargesCleared(after) ? r.wanted : "0";
        }
        const auto set = [&r](Fate fate, std::string why, bool keep_held = false) {
            r.fate = fate;
            r.why = std::move(why);
            if (!keep_held) {
                r.held.clear();
            }
        };
        if (field == nullptr || row < 0) {
            set(Fate::kUnknown, "no setting row writes it");
        } else if (!FieldAvailable(*field, after)) {
            set(Fate::kNotSent, "this varDex has no such setting");
        } else if (Is(field, "m_nStoreProfile") && outcome.end == WriteOutcome::End::kNotStored) {
            set(Fate::kRefused, "the device did not confirm storing the settings");
        } else if (!completed && (!started || row > rows_done)) {
            set(Fate::kNotSent, "the write stopped before it");
        } else if (!completed && row == rows_done) {
            set(Fate::kUnknown, "the write stopped while this setting was being sent");
        } else if (after.FieldRefused(field->name)) {
            // Read back as ERROR: what the record holds is not the device's.
            set(Fate::kRefused, "the device answers its query with ERROR");
        } else if (r.held != r.wanted) {
            set(Fate::kRefused,
                reset ? "the charge counters did not read zero afterwards" : std::string(), !reset);
        } else if (!field->confirmed && !outcome.unconfirmed_read_back) {
            set(Fate::kUnknown, "sent, but the device does not report it back");
        }
        rows.push_back(row);
        results.push_back(std::move(r));
    }
    // A row the device did not take whose values all read back as sent (a
    // reply that could not be taken as a value, a register written whole):
    // none of its values counts as applied.
    for (std::size_t row = 0; row < outcome.rows.size(); ++row) {
        if (outcome.rows[row] != RowResult::kMismatch) {
            continue;
        }
        bool explained = false;
        for (std::size_t i = 0; i < results.size(); ++i) {
            explained = explained ||
                        (rows[i] == static_cast<int>(row) && results[i].fate == Fate::kRefused);
        }
        for (std::size_t i = 0; i < results.size() && !explained; ++i) {
            if (rows[i] == static_cast<int>(row) && results[i].fate == Fate::kApplied) {
                results[i].fate = Fate::kRefused;
                results[i].held.clear();
                results[i].why = "the device refused it";
            }
        }
    }
    // In the order the job sends them, which a stopped write is best told in.
    std::vector<std::size_t> order(results.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&rows](std::size_t a, std::size_t b) { return rows[a] < rows[b]; });
    std::vector<FieldResult> sorted;
    for (const std::size_t i : order) {
        sorted.push_back(std::move(results[i]));
    }
    return sorted;
}

namespace {

// Whether the device is known to hold what the record says for the field.
bool Settled(const RecordField& field, const std::vector<FieldResult>& results) {
    return std::all_of(results.begin(), results.end(), [&field](const FieldResult& r) {
        return r.field != &field || r.fate == Fate::kApplied ||
               (r.fate == Fate::kRefused && !r.held.empty());
    });
}

}  // namespace

platform::Expected<std::string> KeepBackup(const CDeviceConfig& as_read, const std::string& port) {
    auto saved = SaveBackup(as_read, port);
    if (!saved) {
        return platform::Unexpected{res::FormatText(kNoBackupFormat, {saved.error()})};
    }
    return std::move(*saved);
}

std::optional<NotAllowed> FindNotAllowed(const CDeviceConfig& before, const CDeviceConfig& wanted) {
    if (const RecordField* locked = FindUnchangeable(before, wanted)) {
        return NotAllowed{locked->name, std::string(WhyUnchangeable(*locked, wanted))};
    }
    if (const auto breach = params::FindTelephonyBreach(before, wanted)) {
        return breach->why.empty()
                   ? NotAllowed{breach->field, res::FormatLimits(breach->lo, breach->hi), true}
                   : NotAllowed{breach->field, breach->why};
    }
    if (const auto breach = params::FindConnectionBreach(before, wanted)) {
        return NotAllowed{breach->field, breach->why};
    }
    return std::nullopt;
}

std::string UnitPort(CDeviceConfig& record) {
    if (!record.Line().OpenedPath().empty()) {
        return record.Line().OpenedPath();
    }
    std::string name;
    record.GetDeviceName(&name);
    return name;
}

bool WriteReport::AnyApplied() const {
    return std::any_of(fields.begin(), fields.end(), [](const FieldResult& r) {
        return r.fate == Fate::kApplied || r.fate == Fate::kUnknown;
    });
}

bool WriteReport::Done() const {
    return failure == Failure::kNone &&
           std::all_of(fields.begin(), fields.end(),
                       [](const FieldResult& r) { return r.fate == Fate::kApplied; });
}

bool WriteReport::NothingSent() const {
    return failure == Failure::kNotAllowed || failure == Failure::kNoBackup ||
           failure == Failure::kNotIdentified;
}

WriteReport WriteSettings(CVarDexConfigurationManagerApp& app, bool keep_backup,
                          const WriteJob& run) {
    WriteReport report;
    CDeviceConfig before;
    before.CopyFrom(app.m_deviceCopy);
    CDeviceConfig wanted;
    wanted.CopyFrom(app.m_workingRecord);
    report.store_profile = wanted.m_nStoreProfile - 1;
    report.power_up_profile = before.m_nPowerUpProfile;

    // Nothing reaches the device that its variant does not take.
    if (const auto refused = FindNotAllowed(before, wanted)) {
        report.failure = Failure::kNotAllowed;
        report.refused_field = refused->field;
        report.reason = refused->why;
        return report;
    }
    if (keep_backup) {
        auto kept = KeepBackup(before, UnitPort(app.m_workingRecord));
        if (!kept) {
            report.reason = kept.error();
            report.failure = Failure::kNoBackup;
            return report;
        }
        report.backup_path = std::move(*kept);
    }

    const WriteOutcome outcome = run();
    CDeviceConfig& after = app.m_workingRecord;
    report.failure = FailureOf(outcome.end);
    report.told = outcome.told;
    report.in_loader = outcome.in_loader;
    report.reason = FailureReason(report.failure, outcome, after);
    report.fields = JudgeWrite(before, wanted, after, outcome);
    report.fault_row = outcome.LastFaultRow();
    report.stored = report.failure == Failure::kNone && report.store_profile >= 0;
    report.power_up_profile = after.m_nPowerUpProfile;
    if (report.failure != Failure::kNone) {
        // A complete job lets the device copy take the whole record; a stopped
        // one gives it what the device is known to hold, so that the next write
        // sends only the rest.
        for (const RecordField& f : RecordFields()) {
            if (f.Writable() && f.copied && Settled(f, report.fields)) {
                CopyField(f, app.m_deviceCopy, after);
            }
        }
    }
    return report;
}

Pending KeepUnapplied(const WriteReport& report, const CDeviceConfig& before,
                      const CDeviceConfig& wanted, CDeviceConfig* record) {
    Pending pending;
    for (const FieldResult& r : report.fields) {
        // A charge reset the device got is a request it consumed, whatever the
        // counters it reads show.
        if (r.fate == Fate::kApplied || r.field == nullptr ||
            (Is(r.field, "m_bResetCharges") && r.fate == Fate::kRefused)) {
            continue;
        }
        // Element by element: where the person changed a value (wanted
        // differs from before) that the record no longer holds, it goes back.
        for (std::size_t i = 0; i < ElementCount(*r.field); ++i) {
            if (!SameElement(*r.field, before, wanted, i)) {
                CopyElement(*r.field, *record, wanted, i);
            }
        }
        (r.field->change == ChangeKind::kSetting ? pending.settings : pending.other) = true;
    }
    return pending;
}

std::string_view FateWord(Fate fate) {
    switch (fate) {
        case Fate::kApplied:
            return "applied";
        case Fate::kRefused:
            return "refused";
        case Fate::kUnknown:
            return "unknown";
        case Fate::kNotSent:
            return "not sent";
    }
    return "?";
}

std::string SummaryLine(const WriteReport& report) {
    std::size_t written = 0;
    std::size_t asked = 0;
    for (const FieldResult& r : report.fields) {
        if (!Is(r.field, "m_nStoreProfile")) {
            ++asked;
            written += r.fate == Fate::kApplied ? 1 : 0;
        }
    }
    std::string line = std::to_string(written) +
                       (written == asked ? "" : " of " + std::to_string(asked)) +
                       (asked == 1 ? " setting" : " settings") + " written";
    if (report.stored) {
        line += " and stored in profile " + std::to_string(report.store_profile);
        if (report.store_profile == report.power_up_profile) {
            line += ", the power-up profile";
        }
    } else if (report.failure == Failure::kNone) {
        line += "; not stored: the varDex uses them until it is reset or switched off";
    }
    return line + ".";
}

std::string Headline(const WriteReport& report) {
    if (report.failure != Failure::kNone) {
        return report.reason;
    }
    if (report.fault_row >= 0) {
        char faults[128];
        std::snprintf(faults, sizeof faults, std::string(res::kTextFaultsDetectedFormat).c_str(),
                      report.fault_row);
        return faults;
    }
    return {};
}

std::string ProblemText(const WriteReport& report, const FieldLabel& label) {
    std::string text = Headline(report);
    if (report.Done() || report.NothingSent()) {
        return text;
    }
    struct Group {
        Fate fate;
        const char* heading;
    };
    for (const Group group :
         {Group{Fate::kApplied, "Applied:"}, Group{Fate::kRefused, "Refused by the varDex:"},
          Group{Fate::kUnknown, "Perhaps applied (not confirmed):"},
          Group{Fate::kNotSent, "Not sent:"}}) {
        std::string names;
        for (const FieldResult& r : report.fields) {
            if (r.fate != group.fate) {
                continue;
            }
            names += "\n  " + label(r);
            if (!r.held.empty() && r.fate == Fate::kRefused) {
                names += " (the varDex holds " + r.held + ")";
            } else if (!r.why.empty() && r.fate != Fate::kNotSent) {
                names += " (" + r.why + ")";
            }
        }
        if (!names.empty()) {
            text += (text.empty() ? "" : "\n\n") + std::string(group.heading) + names;
        }
    }
    return text;
}

}  // namespace vardex::settings
