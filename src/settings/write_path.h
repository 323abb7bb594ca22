// The one write path: every write of settings (vardexctl write, apply and
// restore, the window's Apply and OK, its restore dialog) goes through
// WriteSettings and is told from the WriteReport it returns. Nothing else
// judges what became of a write.
//
// Threads: WriteSettings runs on the caller's thread (the window's UI thread,
// vardexctl's main thread); the write job itself runs on its worker inside
// `run`, under the caller's job window.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/job_result.h"
#include "params/app_core.h"
#include "params/field_table.h"
#include "platform/expected.h"

namespace vardex::settings {

// What became of one value the write was to change.
enum class Fate {
    kApplied,  // the device holds it: read back by its row (or, for a value no
               // row reads back, read after the rows)
    kRefused,  // the device holds another value (held, when known), or refused
               // the question that reads it back
    kUnknown,  // sent, or perhaps sent, but not confirmed
    kNotSent,  // never sent
};

struct FieldResult {
    const params::RecordField* field = nullptr;
    // The element of an array field, counted through its arrays (the LLC octets
    // port * 3 + octet); 0 for a field that is one value.
    std::size_t element = 0;
    std::string name;      // the member name with its indexes: m_strPhoneMsn[2]
    std::string readable;  // the readable name with its indexes: telephony.phone_msn[2]
    std::string before;    // as JSON prints it
    std::string wanted;
    std::string held;  // the device's value afterwards, as JSON; empty when not known
    Fate fate = Fate::kNotSent;
    std::string why;  // what the fate alone does not say
};

struct WriteReport {
    enum class Failure {
        kNone,
        kNotAllowed,     // a change the device's variant does not take: nothing sent
        kNoBackup,       // the backup could not be kept: nothing sent
        kNotIdentified,  // no device was identified: nothing sent
        kStopped,        // the person stopped it
        kLinkLost,       // the device went away
        kUnreadable,     // an answer could not be read
        kNoAnswer,       // a command got no answer
        kNotStored,      // every value went through, the store was not confirmed
    };
    Failure failure = Failure::kNone;
    // The failure for a person; identification's own, when it was already
    // told, is empty here and `told` is set.
    std::string reason;
    bool told = false;
    bool in_loader = false;  // the device was found waiting in its loader
    // kNotAllowed: the field the variant does not take.
    std::string refused_field;
    std::vector<FieldResult> fields;  // in the order the write sends them
    int store_profile = -1;           // 0..3 asked for; -1 for none
    bool stored = false;              // the device confirmed the store
    int power_up_profile = -1;        // the device's afterwards (4: factory defaults)
    std::string backup_path;          // empty without a backup
    int fault_row = -1;               // the last row whose values the device did not take

    // Whether a value reached the device, or may have: the device changed.
    bool AnyApplied() const;
    // Every value applied and, when asked, stored.
    bool Done() const;
    // Whether nothing was sent.
    bool NothingSent() const;
};

// Keeps what the device holds (as read into `as_read`, its channel on `port`)
// as a backup before anything is sent to it: every write and the upgrade.
// The new file, or what a person reads when it could not be kept.
platform::Expected<std::string> KeepBackup(const params::CDeviceConfig& as_read,
                                           const std::string& port);

// A change the device's variant does not take (the pages' and vardexctl's
// rules alike): the field's member name and why.
struct NotAllowed {
    std::string field;
    std::string why;
    bool limits = false;  // why gives the limits of the field's value on this variant
};
std::optional<NotAllowed> FindNotAllowed(const params::CDeviceConfig& before,
                                         const params::CDeviceConfig& wanted);

// The port a record's channel is open on, which names the unit in its backups:
// the path of a serial port, or the name of a modem line.
std::string UnitPort(params::CDeviceConfig& record);

// Runs the write job over the app's records on the caller's window.
using WriteJob = std::function<device::WriteOutcome()>;

// The app's working record holds the wanted settings, its device copy what the
// device holds. Checks the variant's rules, keeps the device copy as a backup
// (unless keep_backup is false), runs the job, judges each changed value and
// lets the device copy take what the device is now known to hold.
WriteReport WriteSettings(params::CVarDexConfigurationManagerApp& app, bool keep_backup,
                          const WriteJob& run);

// The fate of every value whose wanted value differs from what the device held
// before, in the order the setting rows send them; after is the working record
// once the job ended. The judgement WriteSettings makes, for the tests.
std::vector<FieldResult> JudgeWrite(const params::CDeviceConfig& before,
                                    const params::CDeviceConfig& wanted,
                                    const params::CDeviceConfig& after,
                                    const device::WriteOutcome& outcome);

// What a write left to the person: the record takes back every wanted value of
// a field that was not applied, so that it stays pending and the next write
// sends it again. Says which kinds of change stay pending.
struct Pending {
    bool settings = false;
    bool other = false;
};
Pending KeepUnapplied(const WriteReport& report, const params::CDeviceConfig& before,
                      const params::CDeviceConfig& wanted, params::CDeviceConfig* record);

// How a value is named to a person: the window gives its on-screen label.
using FieldLabel = std::function<std::string(const FieldResult&)>;

// "3 settings written and stored in profile 2, the power-up profile."
std::string SummaryLine(const WriteReport& report);
// The failure's reason, or the values' fault as the design words it ("Faults
// detected while transfering data (N)"); empty for a write that was done.
std::string Headline(const WriteReport& report);
// The failure, or the values not taken, with every value named by its fate;
// empty for a write that was done.
std::string ProblemText(const WriteReport& report, const FieldLabel& label);
// "applied", "refused", "unknown", "not sent" (for lists and JSON).
std::string_view FateWord(Fate fate);

}  // namespace vardex::settings
