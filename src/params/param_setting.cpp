// The setting rows: each sends a command for every field of its group that
// differs between the working record and the device copy, then runs its partner
// query in verification mode, which reads the device's value back into the
// working record and reports whether the device took what was sent.
//
// Only whether a setting command got a reply matters; a refused value shows up
// in the verification.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "params/asking.h"
#include "params/field_table.h"
#include "params/param_rows.h"
#include "params/reply_parsers.h"
#include "params/row_fields.h"
#include "params/telephony_rules.h"

namespace {

using row_fields::Member;

constexpr int kProfileCount = 4;

bool StopRequested(const CRunningJob* job) {
    return job != nullptr && job->m_bAbort.load() != 0;
}

// Sends the commands of one row. Rows that may send many commands check the
// job's stop request after each, so that Cancel takes effect between commands.
class Sender {
public:
    Sender(CRunningJob* job, CDeviceConfig& w, bool check_stop)
        : job_(job), w_(w), check_stop_(check_stop) {}

    // False when the command got no reply or the stop request was found set.
    bool Send(const std::string& command) {
        if (w_.SendCommand(command.c_str()) == nullptr) {
            return false;
        }
        return !(check_stop_ && StopRequested(job_));
    }

    // The row's register fields that differ between the records, in the row's
    // order, each as its place in the register says.
    bool SendFields(const CDeviceConfig& d, std::span<const Member> fields) {
        std::vector<int> written_whole;
        for (const Member m : fields) {
            const RegisterPlace& place = FieldOf(m)->place;
            const int wanted = w_.*m;
            const int known = d.*m;
            const std::string bit_prefix = "ATS" + std::to_string(place.reg) + ".";
            switch (place.writing) {
                case Writing::kBits:
                    if (wanted == known) {
                        break;
                    }
                    for (int bit = 0; bit < place.width; ++bit) {
                        if (!Send(bit_prefix + std::to_string(place.first + bit) + "=" +
                                  std::to_string(BitCommandValue(place, wanted, bit)))) {
                            return false;
                        }
                    }
                    break;
                case Writing::kChangedBits:
                    for (int bit = 0; bit < place.width; ++bit) {
                        const int w_bit = (wanted >> bit) & 1;
                        if (w_bit != ((known >> bit) & 1) &&
                            !Send(bit_prefix + std::to_string(place.first + bit) + "=" +
                                  std::to_string(w_bit))) {
                            return false;
                        }
                    }
                    break;
                case Writing::kWhole:
                    if (std::find(written_whole.begin(), written_whole.end(), place.reg) ==
                        written_whole.end()) {
                        written_whole.push_back(place.reg);
                        if (!SendWhole(d, fields, place.reg)) {
                            return false;
                        }
                    }
                    break;
                case Writing::kNone:
                    break;
            }
        }
        return true;
    }

private:
    // "ATSr=v" with every field of the row in register reg, when one differs.
    bool SendWhole(const CDeviceConfig& d, std::span<const Member> fields, int reg) {
        long long value = 0;
        bool changed = false;
        for (const Member m : fields) {
            const RegisterPlace& place = FieldOf(m)->place;
            if (place.reg == reg) {
                value += EncodeRegister(place, w_.*m);
                changed = changed || w_.*m != d.*m;
            }
        }
        return !changed || Send("ATS" + std::to_string(reg) + "=" + std::to_string(value));
    }

    CRunningJob* job_;
    CDeviceConfig& w_;
    bool check_stop_;
};

// Raises the read timeout for a slow command and puts the ordinary one back on
// every way out.
class RaisedTimeout {
public:
    RaisedTimeout(CDeviceConfig& w, unsigned ms) : w_(w) { w_.SetReadTimeout(ms); }
    ~RaisedTimeout() { w_.SetReadTimeout(kParamReadTimeoutMs); }
    RaisedTimeout(const RaisedTimeout&) = delete;
    RaisedTimeout& operator=(const RaisedTimeout&) = delete;

private:
    CDeviceConfig& w_;
};

// A row of register fields: sends what changed, then reads it back.
int FieldsRow(CRunningJob* job, CVarDexConfigurationManagerApp* app, std::span<const Member> fields,
              ParamRow partner) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    if (!Sender(job, app->m_workingRecord, false).SendFields(app->m_deviceCopy, fields)) {
        return PARAM_FAILED;
    }
    return partner(job, app, 1);
}

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
    RaisedTimeout timeout(w, ms);
    bool ok = false;
    const Answer answer = AskChecked(job, w, command, [&ok](std::string_view reply) {
        const auto complete = vardex::params::SplitCompleteReply(reply);
        ok = complete.has_value() && complete->ok;
        return complete.has_value();
    });
    if (answer != Answer::kAccepted) {
        return Done::kNoAnswer;
    }
    return ok ? Done::kOk : Done::kRefused;
}

}  // namespace

int SetMsns(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    Sender sender(job, w, true);
    {
        RaisedTimeout timeout(w, kMsnTimeoutMs);
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
            if (!sender.Send("AT&ZI" + std::to_string(index) + "=" +
                             vardex::params::CommandSafeText(wanted))) {
                return PARAM_FAILED;
            }
        }
    }
    return QueryMsns(job, app, 1);
}

int SetServiceProtocol(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    return FieldsRow(job, app, row_fields::kServiceProtocol, QueryServiceProtocol);
}

int SetCallWaiting(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    return FieldsRow(job, app, row_fields::kCallWaiting, QueryCallWaiting);
}

int SetClip(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    return FieldsRow(job, app, row_fields::kClip, QueryClip);
}

int SetMeteringPulse(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    return FieldsRow(job, app, row_fields::kMeteringPulse, QueryMeteringPulse);
}

int SetDelayedClearBack(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    return FieldsRow(job, app, row_fields::kDelayedClearBack, QueryDelayedClearBack);
}

int SetOwnNumbers(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    struct Port {
        const char* command;
        int wanted;
        int known;
        const std::string* msns;
    };
    const Port ports[3] = {
        {"AT&ZOa=", w.m_nOwnNumber1, d.m_nOwnNumber1, &w.m_strPhoneMsn[0]},
        {"AT&ZOb=", w.m_nOwnNumber2, d.m_nOwnNumber2, &w.m_strPhoneMsn[3]},
        {"AT&ZOi=", w.m_nOwnNumberDte, d.m_nOwnNumberDte, &w.m_strDteMsn[0]},
    };
    Sender sender(job, w, true);
    {
        RaisedTimeout timeout(w, kMsnTimeoutMs);
        for (const Port& port : ports) {
            const std::string own = OwnNumberText(port.msns, port.wanted);
            if (port.wanted == port.known ||
                !vardex::params::MsnAllowed(own, port.msns == &w.m_strDteMsn[0])) {
                continue;
            }
            if (!sender.Send(port.command + vardex::params::CommandSafeText(own))) {
                return PARAM_FAILED;
            }
        }
    }
    return QueryOwnNumbers(job, app, 1);
}

int ResetCharges(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    if (w.m_bResetCharges != 1) {
        // Always refreshes the counters.
        return QueryCharges(job, app, 0);
    }
    const Done done = DoCommand(job, w, "ATCH0", kParamReadTimeoutMs);
    if (done == Done::kNoAnswer) {
        return PARAM_FAILED;
    }
    w.m_bResetCharges = 0;
    // After a reset the counters must all read zero.
    const int counters = QueryCharges(job, app, done == Done::kOk ? 1 : 0);
    return done == Done::kRefused && counters != PARAM_FAILED ? PARAM_MISMATCH : counters;
}

int SetPowerUpProfile(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    // No choice (a list with nothing chosen, -1) is never sent: it would write a
    // register value no profile has. The device's own choice is read instead.
    if (!FieldOf(&CDeviceConfig::m_nPowerUpProfile)->Allows(w.m_nPowerUpProfile)) {
        return QueryPowerUpProfile(job, app, 0);
    }
    if (w.m_nPowerUpProfile != d.m_nPowerUpProfile) {
        RaisedTimeout timeout(w, kPowerUpProfileTimeoutMs);
        if (!Sender(job, w, false).SendFields(d, row_fields::kPowerUpProfile)) {
            return PARAM_FAILED;
        }
    }
    return QueryPowerUpProfile(job, app, 1);
}

int SetProtocol(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    if (w.m_nProtocol != d.m_nProtocol) {
        // An index without a code is not sent; the verification then reports
        // the device's protocol as a mismatch.
        const int code = CDeviceConfig::ProtocolToS82(w.m_nProtocol);
        if (code >= 0 && !Sender(job, w, false).Send("ATS82=" + std::to_string(code))) {
            return PARAM_FAILED;
        }
    }
    return QueryProtocol(job, app, 1);
}

int SetPppOptions(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    w.SetReadTimeout(kParamReadTimeoutMs);
    if (!Sender(job, w, true).SendFields(app->m_deviceCopy, row_fields::kPppOptions)) {
        return PARAM_FAILED;
    }
    return QueryPppOptions(job, app, 1);
}

int SetX25(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    w.SetReadTimeout(kParamReadTimeoutMs);
    if (w.m_bX25Available == 0) {
        return PARAM_OK;
    }
    Sender sender(job, w, true);
    if (!sender.SendFields(d, row_fields::kX25BeforeAddress)) {
        return PARAM_FAILED;
    }
    if (w.m_strX25Address != d.m_strX25Address &&
        !sender.Send("AT!X2=" + vardex::params::CommandSafeText(w.m_strX25Address))) {
        return PARAM_FAILED;
    }
    if (!sender.SendFields(d, row_fields::kX25AfterAddress)) {
        return PARAM_FAILED;
    }
    return QueryX25(job, app, 1);
}

int SetEmergencyMode(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    return FieldsRow(job, app, row_fields::kEmergencyMode, QueryEmergencyMode);
}

int SetCallerIdTiming(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    return FieldsRow(job, app, row_fields::kCallerIdTiming, QueryCallerIdTiming);
}

int SetMlpppIncoming(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    return FieldsRow(job, app, row_fields::kMlpppIncoming, QueryMlpppIncoming);
}

int SetFlashDuration(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    return FieldsRow(job, app, row_fields::kFlashDuration, QueryFlashDuration);
}

int SetFskLevel(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    if (w.m_bFskLevelAvailable == 0) {
        return PARAM_OK;
    }
    if (w.m_nFskLevel != app->m_deviceCopy.m_nFskLevel) {
        RaisedTimeout timeout(w, kFskLevelTimeoutMs);
        if (!Sender(job, w, false).Send("AT/CLIPLEVEL " + std::to_string(w.m_nFskLevel))) {
            return PARAM_FAILED;
        }
    }
    return QueryFskLevel(job, app, 1);
}

int SetRestrictions(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    return FieldsRow(job, app, row_fields::kRestrictions, QueryRestrictions);
}

int SetMessageWaiting(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    return FieldsRow(job, app, row_fields::kMessageWaiting, QueryMessageWaiting);
}

int ResetChargesFinal(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    if (w.m_bResetCharges != 1) {
        return PARAM_OK;
    }
    switch (DoCommand(job, w, "ATCH0", kChargeResetTimeoutMs)) {
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
    return QueryCharges(job, app, 1);
}

int SetBap(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    return FieldsRow(job, app, row_fields::kBap, QueryBap);
}

int SetTerminalTypes(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    // Elsewhere S118 bits 2 and 3 are the ML-PPP flags, not terminal types.
    if (app != nullptr &&
        !FieldAvailable(*FieldOf(&CDeviceConfig::m_nTerminalType1), app->m_workingRecord)) {
        return PARAM_OK;
    }
    return FieldsRow(job, app, row_fields::kTerminalTypes, QueryTerminalTypes);
}

int SetModemLlc(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    Sender sender(job, w, false);
    for (std::size_t i = 0; i < CDeviceConfig::kLlcPorts * CDeviceConfig::kLlcOctets; ++i) {
        const std::size_t port = i / CDeviceConfig::kLlcOctets;
        const std::size_t octet = i % CDeviceConfig::kLlcOctets;
        const unsigned wanted = w.m_byModemLlc[port][octet];
        if (wanted == d.m_byModemLlc[port][octet]) {
            continue;
        }
        if (!sender.Send("ATS" + std::to_string(108 + i) + "=" + std::to_string(wanted))) {
            return PARAM_FAILED;
        }
    }
    return QueryModemLlc(job, app, 1);
}

int StoreProfile(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
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
    if (DoCommand(job, w, "AT&W" + std::to_string(profile), kStoreProfileTimeoutMs) == Done::kOk) {
        return PARAM_OK;
    }
    if (job != nullptr) {
        job->m_nProfileNotStored.store(profile);
    }
    return PARAM_FAILED;
}

const ParamRow ParameterSettingTable[kSettingRowCount + 1] = {
    SetMsns,           SetServiceProtocol, SetCallWaiting,
    SetClip,           SetMeteringPulse,   SetDelayedClearBack,
    SetOwnNumbers,     ResetCharges,       SetPowerUpProfile,
    SetProtocol,       SetPppOptions,      SetX25,
    SetEmergencyMode,  SetCallerIdTiming,  SetMlpppIncoming,
    SetFlashDuration,  SetFskLevel,        SetRestrictions,
    SetMessageWaiting, ResetChargesFinal,  SetBap,
    SetTerminalTypes,  SetModemLlc,        StoreProfile,
    nullptr,
};
