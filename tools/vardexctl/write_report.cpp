#include "write_report.h"

#include <algorithm>
#include <cstring>

#include "params/field_table.h"

namespace vardex::ctl {
namespace {

using Fate = ItemOutcome::Fate;

bool ChargesCleared(const CDeviceConfig& r) {
    return r.m_nLastCharge1 == 0 && r.m_nLastCharge2 == 0 && r.m_nLastChargeDte == 0 &&
           r.m_nTotalCharge1 == 0 && r.m_nTotalCharge2 == 0 && r.m_nTotalChargeDte == 0;
}

}  // namespace

bool NeedsReadBack(const std::vector<SettableItem>& before,
                   const std::vector<SettableItem>& wanted) {
    for (std::size_t i = 0; i < wanted.size() && i < before.size(); ++i) {
        const RecordField* setting = FindField(wanted[i].field);
        if (wanted[i].value != before[i].value && setting != nullptr && setting->Writable() &&
            !setting->confirmed) {
            return true;
        }
    }
    return false;
}

std::vector<ItemOutcome> JudgeWrite(const std::vector<SettableItem>& before,
                                    const std::vector<SettableItem>& wanted,
                                    const CDeviceConfig& after, const WriteProgress& progress) {
    const std::vector<SettableItem> now = SettableItems(after);
    std::vector<ItemOutcome> outcomes;
    std::vector<int> rows;
    bool fault_explained = false;
    for (std::size_t i = 0; i < wanted.size() && i < before.size() && i < now.size(); ++i) {
        if (wanted[i].value == before[i].value) {
            continue;
        }
        const RecordField* setting = FindField(wanted[i].field);
        const int row = setting != nullptr ? SettingRowIndex(*setting) : -1;
        ItemOutcome outcome{wanted[i].name, wanted[i].value, now[i].value, Fate::kApplied, {}};
        const bool reset = std::strcmp(wanted[i].field, "m_bResetCharges") == 0;
        if (reset) {
            // The row consumes the request; the counters tell whether it worked.
            outcome.device = ChargesCleared(after) ? wanted[i].value : "0";
        }
        if (setting == nullptr || row < 0) {
            outcome.fate = Fate::kUnknown;
            outcome.device.clear();
            outcome.why = "no setting row writes it";
        } else if (!FieldAvailable(*setting, after)) {
            outcome.fate = Fate::kNotApplied;
            outcome.device.clear();
            outcome.why = "this varDex has no such setting";
        } else if (progress.profile_not_stored >= 0 && row == progress.rows_done &&
                   std::strcmp(wanted[i].field, "m_nStoreProfile") == 0) {
            outcome.fate = Fate::kNotTaken;
            outcome.device.clear();
            outcome.why = "the device did not confirm storing the settings";
        } else if (!progress.completed && row >= progress.rows_done) {
            const bool in_progress = row == progress.rows_done;
            outcome.fate = in_progress ? Fate::kUnknown : Fate::kNotApplied;
            // Until its row ran the record still holds the wanted value.
            outcome.device.clear();
            outcome.why = in_progress ? "the write stopped while this setting was being sent"
                                      : "the write stopped before it";
        } else if (after.FieldRefused(wanted[i].field)) {
            // Read back as ERROR: what the record holds is not the device's.
            outcome.fate = Fate::kNotTaken;
            outcome.device.clear();
            outcome.why = "the device answers its query with ERROR";
        } else if (outcome.device != outcome.wanted) {
            outcome.fate = Fate::kNotTaken;
            if (reset) {
                outcome.device.clear();
                outcome.why = "the charge counters did not read zero afterwards";
            }
        } else if (!setting->confirmed && !progress.unconfirmed_read_back) {
            outcome.fate = Fate::kUnknown;
            outcome.device.clear();
            outcome.why = "sent, but the device does not report it back";
        }
        // Active now, but a reset brings back what the profile holds.
        if (outcome.fate == Fate::kApplied && progress.profile_not_stored >= 0 &&
            setting != nullptr && setting->change == ChangeKind::kSetting) {
            outcome.fate = Fate::kActiveNotStored;
        }
        fault_explained =
            fault_explained || (row == progress.fault_row && outcome.fate == Fate::kNotTaken);
        rows.push_back(row);
        outcomes.push_back(std::move(outcome));
    }
    // A row's fault that no value shows (a refused profile store, a reply that
    // could not be taken as a value): every value of that row counts as refused.
    if (progress.fault_row >= 0 && !fault_explained) {
        for (std::size_t i = 0; i < outcomes.size(); ++i) {
            if (rows[i] == progress.fault_row && outcomes[i].fate == Fate::kApplied) {
                outcomes[i].fate = Fate::kNotTaken;
                outcomes[i].device.clear();
                outcomes[i].why = "the device refused it";
            }
        }
    }
    // In the order the job sends them, which a stopped write is best told in.
    std::vector<std::size_t> order(outcomes.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&rows](std::size_t a, std::size_t b) { return rows[a] < rows[b]; });
    std::vector<ItemOutcome> sorted;
    for (const std::size_t i : order) {
        sorted.push_back(std::move(outcomes[i]));
    }
    return sorted;
}

std::string DescribeOutcome(const ItemOutcome& outcome) {
    std::string line = outcome.name + "=" + outcome.wanted + ": ";
    switch (outcome.fate) {
        case Fate::kApplied:
            line += "applied";
            break;
        case Fate::kActiveNotStored:
            line += "active, not stored";
            break;
        case Fate::kNotTaken:
            line += "not taken";
            break;
        case Fate::kUnknown:
            line += "unknown";
            break;
        case Fate::kNotApplied:
            line += "not applied";
            break;
    }
    if (!outcome.device.empty() && outcome.fate == Fate::kNotTaken) {
        line += ", the device holds " + outcome.device;
    }
    if (!outcome.why.empty()) {
        line += " (" + outcome.why + ")";
    }
    return line;
}

}  // namespace vardex::ctl
