// What became of each value `vardexctl write` was asked to change, told from how
// far the write job got and what the setting rows read back into the record.
#pragma once

#include <string>
#include <vector>

#include "params/device_config.h"
#include "settings/record_fields.h"

namespace vardex::ctl {

struct WriteProgress {
    bool completed = false;  // the job ran every setting row
    int rows_done = -1;      // CRunningJob::m_nRowsDone: rows that ran to their end
    int fault_row = -1;      // the row the job's fault message named; -1 without one
    // The values the rows do not read back were read afterwards, so the record
    // holds the device's values for them too.
    bool unconfirmed_read_back = false;
    // The profile (0..3) the device did not confirm storing into; -1 when the
    // store, if asked for, was confirmed.
    int profile_not_stored = -1;
};

struct ItemOutcome {
    enum class Fate {
        kApplied,          // the device holds the wanted value
        kActiveNotStored,  // it holds it, but only until a reset: the store failed
        kNotTaken,         // its row ran, the device holds another value
        kUnknown,          // sent, or perhaps sent, but not confirmed
        kNotApplied,       // never sent
    };
    std::string name;    // m_strPhoneMsn[2]
    std::string wanted;  // as JSON prints it
    std::string device;  // the device's value; empty when not known
    Fate fate = Fate::kNotApplied;
    std::string why;  // for the fates other than applied, when the values do not say it
};

// The fate of every item whose wanted value differs from what the device held
// before the write, in the order of the setting rows (the record's order within
// a row). after is the working record once
// the job ended (its identification also tells which settings the device has).
std::vector<ItemOutcome> JudgeWrite(const std::vector<SettableItem>& before,
                                    const std::vector<SettableItem>& wanted,
                                    const CDeviceConfig& after, const WriteProgress& progress);

// Whether some item's value is sent but never read back by its row.
bool NeedsReadBack(const std::vector<SettableItem>& before,
                   const std::vector<SettableItem>& wanted);

// One line: "m_bClip=1: not taken, the device holds 0".
std::string DescribeOutcome(const ItemOutcome& outcome);

}  // namespace vardex::ctl
