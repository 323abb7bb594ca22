// The setting rows: each sends a command for every field of its group that
// differs between the working record and the device copy, then runs its
// group's query row in verification mode, which reads the device's value back
// into the working record and reports whether the device took what was sent.
// Rows of register fields are data; the rows here send what is not a register
// field, or act rather than set.
//
// Only whether a setting command got a reply matters; a refused value shows up
// in the verification.
#include <cstdint>
#include <string>
#include <string_view>

#include "link/at_commands.h"
#include "params/register_rows.h"
#include "params/reply_parsers.h"
#include "params/row_dispatch.h"
#include "params/telephony_rules.h"

namespace vardex::params {

using namespace vardex::link;

using vardex::params::Feature;
namespace at = vardex::link::at;

namespace {

constexpr int kProfileCount = 4;

// The text of an own number: the port's subscriber number the index selects,
// nothing for "none" or an index that selects no number of the port.
std::string OwnNumberText(const std::string* msns, int index) {
    if (index < 0 || index > 2) {
        return std::string();
    }
    return msns[index];
}

// A command that acts rather than sets a value (a reset, a store), asked until
// the device answers it whole: done only on its "OK". Asking twice does no harm,
// since doing it twice leaves the same state.
enum class Done { kOk, kRefused, kNoAnswer };

Done DoCommand(CRunningJob* job, CDeviceConfig& w, const std::string& command, unsigned ms) {
    rows::RaisedTimeout timeout(w, ms);
    bool ok = false;
    // An "ERROR" is taken at once: asked again it would only cost the slow
    // command's time, and a refusal is never called done.
    const Answer answer = AskChecked(job, w, command, [&ok](std::string_view reply) {
        const auto whole = vardex::params::SplitWholeReply(reply);
        ok = whole.has_value() && whole->ok;
        return TakenIf(whole.has_value());
    });
    if (answer != Answer::kAccepted) {
        return Done::kNoAnswer;
    }
    return ok ? Done::kOk : Done::kRefused;
}

RowResult SetMsns(const ParamRowSpec& row, CRunningJob* job, CVarDexConfigurationManagerApp& app,
                  int /*verify*/) {
    CDeviceConfig& w = app.m_workingRecord;
    const CDeviceConfig& d = app.m_deviceCopy;
    {
        rows::RaisedTimeout timeout(w, row.timeout_ms);
        for (int index = 0; index < vardex::params::kMsnCount; ++index) {
            const std::string& wanted =
                index < 6 ? w.m_strPhoneMsn[index] : w.m_strDteMsn[index - 6];
            const std::string& known =
                index < 6 ? d.m_strPhoneMsn[index] : d.m_strDteMsn[index - 6];
            // A number the device could not take as it is (a control character,
            // a ";" that would start a second command, too long) is not sent
            // at all, not even cut short: the verification then reports it.
            if (wanted == known || !vardex::params::MsnAllowed(wanted, index >= 6)) {
                continue;
            }
            if (!rows::Send(job, w,
                            std::string(at::kNumberSet) + std::to_string(index) +
                                std::string(at::kSet) + vardex::params::CommandSafeText(wanted),
                            row.check_stop)) {
                return PARAM_FAILED;
            }
        }
    }
    return rows::Verify(row.group, job, app);
}

RowResult SetOwnNumbers(const ParamRowSpec& row, CRunningJob* job,
                        CVarDexConfigurationManagerApp& app, int /*verify*/) {
    CDeviceConfig& w = app.m_workingRecord;
    const CDeviceConfig& d = app.m_deviceCopy;
    struct Port {
        std::string_view command;
        int wanted;
        int known;
        const std::string* msns;
    };
    const Port ports[3] = {
        {at::kOwnNumberPhone1Set, w.m_nOwnNumber1, d.m_nOwnNumber1, &w.m_strPhoneMsn[0]},
        {at::kOwnNumberPhone2Set, w.m_nOwnNumber2, d.m_nOwnNumber2, &w.m_strPhoneMsn[3]},
        {at::kOwnNumberDteSet, w.m_nOwnNumberDte, d.m_nOwnNumberDte, &w.m_strDteMsn[0]},
    };
    {
        rows::RaisedTimeout timeout(w, row.timeout_ms);
        for (const Port& port : ports) {
            const std::string own = OwnNumberText(port.msns, port.wanted);
            if (port.wanted == port.known ||
                !vardex::params::MsnAllowed(own, port.msns == &w.m_strDteMsn[0])) {
                continue;
            }
            if (!rows::Send(job, w,
                            std::string(port.command) + vardex::params::CommandSafeText(own),
                            row.check_stop)) {
                return PARAM_FAILED;
            }
        }
    }
    return rows::Verify(row.group, job, app);
}

RowResult ResetCharges(const ParamRowSpec& row, CRunningJob* job,
                       CVarDexConfigurationManagerApp& app, int /*verify*/) {
    CDeviceConfig& w = app.m_workingRecord;
    if (w.m_bResetCharges != 1) {
        // Always refreshes the counters.
        return RunRow(*QueryRowOf(row.group), job, &app, 0);
    }
    const Done done = DoCommand(job, w, std::string(at::kChargesClear), row.timeout_ms);
    if (done == Done::kNoAnswer) {
        return PARAM_FAILED;
    }
    w.m_bResetCharges = 0;
    // After a reset the counters must all read zero.
    const RowResult counters = RunRow(*QueryRowOf(row.group), job, &app, done == Done::kOk ? 1 : 0);
    return done == Done::kRefused && !EndsTheJob(counters) ? PARAM_MISMATCH : counters;
}

RowResult SetProtocol(const ParamRowSpec& row, CRunningJob* job,
                      CVarDexConfigurationManagerApp& app, int /*verify*/) {
    CDeviceConfig& w = app.m_workingRecord;
    const CDeviceConfig& d = app.m_deviceCopy;
    if (w.m_nProtocol != d.m_nProtocol) {
        // An index without a code is not sent; the verification then reports
        // the device's protocol as a mismatch.
        const int code = CDeviceConfig::ProtocolToS82(w.m_nProtocol);
        if (code >= 0 && !rows::Send(job, w,
                                     std::string(at::kProtocolRegister) + std::string(at::kSet) +
                                         std::to_string(code),
                                     row.check_stop)) {
            return PARAM_FAILED;
        }
    }
    return rows::Verify(row.group, job, app);
}

RowResult SetX25(const ParamRowSpec& row, CRunningJob* job, CVarDexConfigurationManagerApp& app,
                 int /*verify*/) {
    CDeviceConfig& w = app.m_workingRecord;
    const CDeviceConfig& d = app.m_deviceCopy;
    w.SetReadTimeout(row.timeout_ms);
    const auto [before_address, after_address] = rows::AroundX121Address();
    if (!rows::SendFields(job, w, d, before_address, row.check_stop)) {
        return PARAM_FAILED;
    }
    if (w.m_strX25Address != d.m_strX25Address &&
        !rows::Send(job, w,
                    std::string(at::kX121Set) + vardex::params::CommandSafeText(w.m_strX25Address),
                    row.check_stop)) {
        return PARAM_FAILED;
    }
    if (!rows::SendFields(job, w, d, after_address, row.check_stop)) {
        return PARAM_FAILED;
    }
    return rows::Verify(row.group, job, app);
}

RowResult SetFskLevel(const ParamRowSpec& row, CRunningJob* job,
                      CVarDexConfigurationManagerApp& app, int /*verify*/) {
    CDeviceConfig& w = app.m_workingRecord;
    if (w.m_nFskLevel != app.m_deviceCopy.m_nFskLevel) {
        rows::RaisedTimeout timeout(w, row.timeout_ms);
        if (!rows::Send(job, w, std::string(at::kClipLevel) + " " + std::to_string(w.m_nFskLevel),
                        row.check_stop)) {
            return PARAM_FAILED;
        }
    }
    return rows::Verify(row.group, job, app);
}

RowResult ResetChargesFinal(const ParamRowSpec& row, CRunningJob* job,
                            CVarDexConfigurationManagerApp& app, int /*verify*/) {
    CDeviceConfig& w = app.m_workingRecord;
    if (w.m_bResetCharges != 1) {
        return PARAM_OK;
    }
    switch (DoCommand(job, w, std::string(at::kChargesClear), row.timeout_ms)) {
        case Done::kNoAnswer:
            return PARAM_FAILED;
        case Done::kRefused:
            // The request stays, for the next write to try again.
            return PARAM_MISMATCH;
        case Done::kOk:
            break;
    }
    // Done: left set, the request would reset the counters again on the next write.
    w.m_bResetCharges = 0;
    // The counters tell whether the reset took.
    return rows::Verify(row.group, job, app);
}

RowResult SetModemLlc(const ParamRowSpec& row, CRunningJob* job,
                      CVarDexConfigurationManagerApp& app, int /*verify*/) {
    CDeviceConfig& w = app.m_workingRecord;
    const CDeviceConfig& d = app.m_deviceCopy;
    for (std::size_t i = 0; i < CDeviceConfig::kLlcPorts * CDeviceConfig::kLlcOctets; ++i) {
        const std::size_t port = i / CDeviceConfig::kLlcOctets;
        const std::size_t octet = i % CDeviceConfig::kLlcOctets;
        const unsigned wanted = w.m_byModemLlc[port][octet];
        if (wanted == d.m_byModemLlc[port][octet]) {
            continue;
        }
        if (!rows::Send(job, w,
                        std::string(at::kRegister) + std::to_string(at::kLlcFirstRegister + i) +
                            std::string(at::kSet) + std::to_string(wanted),
                        row.check_stop)) {
            return PARAM_FAILED;
        }
    }
    return rows::Verify(row.group, job, app);
}

RowResult StoreProfile(const ParamRowSpec& row, CRunningJob* job,
                       CVarDexConfigurationManagerApp& app, int /*verify*/) {
    CDeviceConfig& w = app.m_workingRecord;
    if (w.m_nStoreProfile == 0) {
        return PARAM_OK;
    }
    // A choice outside the device's four profiles cannot be stored; reported,
    // not sent.
    if (w.m_nStoreProfile < 1 || w.m_nStoreProfile > kProfileCount) {
        return PARAM_MISMATCH;
    }
    const int profile = w.m_nStoreProfile - 1;
    // No command reads a stored profile without making it the active one, so
    // the device's "OK" is the only confirmation there is. Without it the
    // settings are active but not stored, which the job must say.
    if (DoCommand(job, w, std::string(at::kStoreProfile) + std::to_string(profile),
                  row.timeout_ms) == Done::kOk) {
        return PARAM_OK;
    }
    if (job != nullptr) {
        job->m_nProfileNotStored.store(profile);
    }
    return PARAM_FAILED;
}

}  // namespace

std::span<const ParamRowSpec> SettingRows() {
    static constexpr ParamRowSpec kRows[] = {
        {.name = "SetMsns",
         .group = Row::kMsns,
         .timeout_ms = kMsnTimeoutMs,
         .check_stop = true,
         .handler = SetMsns},
        {.name = "SetServiceProtocol", .group = Row::kServiceProtocol},
        {.name = "SetCallWaiting", .group = Row::kCallWaiting},
        {.name = "SetClip", .group = Row::kClip},
        {.name = "SetMeteringPulse", .group = Row::kMeteringPulse},
        {.name = "SetDelayedClearBack", .group = Row::kDelayedClearBack},
        {.name = "SetOwnNumbers",
         .group = Row::kOwnNumbers,
         .timeout_ms = kMsnTimeoutMs,
         .check_stop = true,
         .handler = SetOwnNumbers},
        {.name = "ResetCharges", .group = Row::kCharges, .handler = ResetCharges},
        {.name = "SetPowerUpProfile",
         .group = Row::kPowerUpProfile,
         .timeout_ms = kPowerUpProfileTimeoutMs},
        {.name = "SetProtocol", .group = Row::kProtocol, .handler = SetProtocol},
        {.name = "SetPppOptions", .group = Row::kPppOptions, .check_stop = true},
        {.name = "SetX25",
         .group = Row::kX25,
         .check_stop = true,
         .needs = Feature::kX25,
         .handler = SetX25},
        {.name = "SetEmergencyMode", .group = Row::kEmergencyMode},
        {.name = "SetCallerIdTiming", .group = Row::kCallerIdTiming},
        {.name = "SetMlpppIncoming", .group = Row::kMlpppIncoming},
        {.name = "SetFlashDuration", .group = Row::kFlashDuration},
        {.name = "SetFskLevel",
         .group = Row::kFskLevel,
         .timeout_ms = kFskLevelTimeoutMs,
         .needs = Feature::kFskLevel,
         .handler = SetFskLevel},
        {.name = "SetRestrictions", .group = Row::kRestrictions},
        {.name = "SetMessageWaiting", .group = Row::kMessageWaiting},
        // Consumes the charge reset the first reset row could not finish.
        {.name = "ResetChargesFinal",
         .group = Row::kCharges,
         .timeout_ms = kChargeResetTimeoutMs,
         .handler = ResetChargesFinal},
        {.name = "SetBap", .group = Row::kBap},
        // Elsewhere S118 bits 2 and 3 are the ML-PPP flags, not terminal types.
        {.name = "SetTerminalTypes", .group = Row::kTerminalTypes, .needs = Feature::kHungarian},
        {.name = "SetModemLlc", .group = Row::kModemLlc, .handler = SetModemLlc},
        {.name = "StoreProfile",
         .group = Row::kStoreProfile,
         .timeout_ms = kStoreProfileTimeoutMs,
         .handler = StoreProfile},
    };
    return kRows;
}

// Here, above both tables: running a row, which the setting rows call, must not
// know the setting rows' table.
const ParamRowSpec* FindRow(std::string_view name) {
    for (const auto rows : {QueryRows(), SettingRows()}) {
        for (const ParamRowSpec& row : rows) {
            if (name == row.name) {
                return &row;
            }
        }
    }
    return nullptr;
}

int SettingRowIndex(const RecordField& field) {
    if (!field.Writable()) {
        return -1;
    }
    const auto rows = SettingRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].group == field.row) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace vardex::params
