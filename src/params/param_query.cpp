// The query rows: each sends its query commands on the working record's channel,
// decodes the replies into the working record and, in verification mode,
// compares what came back with the values that were just sent.
#include <array>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "params/asking.h"
#include "params/field_table.h"
#include "params/param_rows.h"
#include "params/reply_parsers.h"
#include "params/row_fields.h"
#include "platform/trace.h"

using vardex::params::ParseRegisterReply;

namespace {

bool StopRequested(const CRunningJob* job) {
    return job != nullptr && job->m_bAbort.load() != 0;
}

using row_fields::Member;

// Fields asked with one command: a register's fields, or one bit asked alone.
struct RegisterQuery {
    std::string command;
    std::span<const Member> fields;
};

enum class Step { kDone, kFailed };

const RegisterPlace& PlaceOf(Member member) {
    return FieldOf(member)->place;
}

bool AllAgree(const CDeviceConfig& w, const CDeviceConfig& d, std::span<const Member> fields) {
    for (const Member m : fields) {
        if (w.*m != d.*m) {
            return false;
        }
    }
    return true;
}

// A register's value, asked until the reply has the register's shape (once
// more after draining the line).
Answer AskRegister(CRunningJob* job, CDeviceConfig& w, const std::string& command, int* value) {
    return AskChecked(job, w, command, [value](std::string_view reply) {
        const auto parsed = ParseRegisterReply(reply);
        *value = parsed.value_or(0);
        return parsed.has_value();
    });
}

// One query command: skipped in verification mode when its fields agree between
// the records; otherwise sent, decoded, compared and stored. A decoded value
// outside its field's range is not taken (no setting of ours writes it); after
// a write it still means the device does not hold what was sent.
Step ReadRegister(CRunningJob* job, CDeviceConfig& w, const CDeviceConfig& d, int verify,
                  const RegisterQuery& q, bool* mismatch) {
    if (verify != 0 && AllAgree(w, d, q.fields)) {
        return Step::kDone;
    }
    int value = 0;
    if (AskRegister(job, w, q.command, &value) != Answer::kAccepted) {
        return Step::kFailed;
    }
    for (const Member m : q.fields) {
        const RecordField& field = *FieldOf(m);
        const int decoded = DecodeRegister(field.place, value);
        if (!field.Allows(decoded)) {
            vardex::Trace("%s answered %d: out of range, not taken\n", q.command.c_str(), value);
            *mismatch = *mismatch || verify != 0;
            continue;
        }
        if (verify != 0 && decoded != w.*m) {
            *mismatch = true;
        }
        w.*m = decoded;
    }
    return Step::kDone;
}

int Result(bool mismatch) {
    return mismatch ? PARAM_MISMATCH : PARAM_OK;
}

// The queries that read a row's register fields, in the row's order: the
// fields of one register that follow each other share its query; a bit the
// device answers alone has its own.
std::vector<RegisterQuery> QueriesOf(std::span<const Member> fields) {
    std::vector<RegisterQuery> queries;
    std::size_t start = 0;
    for (std::size_t i = 1; i <= fields.size(); ++i) {
        const RegisterPlace& first = PlaceOf(fields[start]);
        const bool alone = first.coding == Coding::kBitQuery;
        if (i < fields.size() && !alone && PlaceOf(fields[i]).reg == first.reg &&
            PlaceOf(fields[i]).coding != Coding::kBitQuery) {
            continue;
        }
        std::string command = "ATS" + std::to_string(first.reg);
        if (alone) {
            command += "." + std::to_string(first.first);
        }
        queries.push_back({command + "?", fields.subspan(start, i - start)});
        start = i;
    }
    return queries;
}

// Reads a row's register fields, with the job's stop request checked after each
// reply when check_stop is set: rows of many queries must not make Cancel wait
// for their end.
bool ReadFields(CRunningJob* job, CDeviceConfig& w, const CDeviceConfig& d, int verify,
                std::span<const Member> fields, bool check_stop, bool* mismatch) {
    for (const RegisterQuery& q : QueriesOf(fields)) {
        const bool will_send = verify == 0 || !AllAgree(w, d, q.fields);
        if (ReadRegister(job, w, d, verify, q, mismatch) == Step::kFailed) {
            return false;
        }
        if (check_stop && will_send && StopRequested(job)) {
            return false;
        }
    }
    return true;
}

// A row of register fields without further work.
int RegisterRow(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify,
                std::span<const Member> fields) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    bool mismatch = false;
    if (!ReadFields(job, app->m_workingRecord, app->m_deviceCopy, verify, fields, false,
                    &mismatch)) {
        return PARAM_FAILED;
    }
    return Result(mismatch);
}

std::string* MsnOfDeviceIndex(CDeviceConfig& w, int index) {
    if (index < 3 * 2) {
        return &w.m_strPhoneMsn[index];
    }
    return &w.m_strDteMsn[index - 3 * 2];
}

}  // namespace

int CountRows(const ParamRow* table) {
    int count = 0;
    if (table != nullptr) {
        while (table[count] != nullptr) {
            ++count;
        }
    }
    return count;
}

int QueryMsns(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    // No skip in verification mode: one exchange reads all nine numbers.
    std::vector<std::pair<int, std::string>> numbers;
    if (AskChecked(job, w, "AT&ZI?", [&numbers](std::string_view reply) {
            bool complete = false;
            numbers = vardex::params::ParseMsnReply(reply, &complete);
            return complete;
        }) != Answer::kAccepted) {
        return PARAM_FAILED;
    }
    bool mismatch = false;
    for (auto& [index, number] : numbers) {
        std::string* element = MsnOfDeviceIndex(w, index);
        if (verify != 0 && *element != number) {
            mismatch = true;
        }
        *element = std::move(number);
    }
    return Result(mismatch);
}

int QueryServiceProtocol(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, row_fields::kServiceProtocol);
}

int QueryCallWaiting(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, row_fields::kCallWaiting);
}

int QueryClip(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, row_fields::kClip);
}

int QueryMeteringPulse(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, row_fields::kMeteringPulse);
}

int QueryDelayedClearBack(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, row_fields::kDelayedClearBack);
}

int QueryOwnNumbers(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    if (verify != 0 && w.m_nOwnNumber1 == d.m_nOwnNumber1 && w.m_nOwnNumber2 == d.m_nOwnNumber2 &&
        w.m_nOwnNumberDte == d.m_nOwnNumberDte) {
        return PARAM_OK;
    }
    std::array<std::string, 3> own;
    if (AskChecked(job, w, "AT&ZO?", [&own](std::string_view reply) {
            bool complete = false;
            own = vardex::params::ParseOwnNumberReply(reply, &complete);
            return complete;
        }) != Answer::kAccepted) {
        return PARAM_FAILED;
    }
    // The device names the own number as text; the record keeps which of the
    // port's subscriber numbers it is.
    int* const index[3] = {&w.m_nOwnNumber1, &w.m_nOwnNumber2, &w.m_nOwnNumberDte};
    const std::string* const msns[3] = {&w.m_strPhoneMsn[0], &w.m_strPhoneMsn[3],
                                        &w.m_strDteMsn[0]};
    bool mismatch = false;
    for (std::size_t port = 0; port < 3; ++port) {
        const int resolved = vardex::params::ResolveOwnNumber(own[port], msns[port]);
        if (verify != 0 && resolved != *index[port]) {
            mismatch = true;
        }
        *index[port] = resolved;
    }
    return Result(mismatch);
}

int QueryCharges(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    vardex::params::ChargeReply c;
    if (AskChecked(job, w, "ATCH?", [&c](std::string_view reply) {
            bool complete = false;
            c = vardex::params::ParseChargeReply(reply, &complete);
            return complete;
        }) != Answer::kAccepted) {
        return PARAM_FAILED;
    }
    w.m_nLastChargeDte = c.lastDte.value_or(w.m_nLastChargeDte);
    w.m_nLastCharge1 = c.last1.value_or(w.m_nLastCharge1);
    w.m_nLastCharge2 = c.last2.value_or(w.m_nLastCharge2);
    w.m_nTotalChargeDte = c.totalDte.value_or(w.m_nTotalChargeDte);
    w.m_nTotalCharge1 = c.total1.value_or(w.m_nTotalCharge1);
    w.m_nTotalCharge2 = c.total2.value_or(w.m_nTotalCharge2);
    // Verification follows a reset: every counter must read zero.
    if (verify != 0 &&
        (w.m_nLastChargeDte != 0 || w.m_nLastCharge1 != 0 || w.m_nLastCharge2 != 0 ||
         w.m_nTotalChargeDte != 0 || w.m_nTotalCharge1 != 0 || w.m_nTotalCharge2 != 0)) {
        return PARAM_MISMATCH;
    }
    return PARAM_OK;
}

int QueryPowerUpProfile(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, row_fields::kPowerUpProfile);
}

int QueryProtocol(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    if (verify != 0 && w.m_nProtocol == app->m_deviceCopy.m_nProtocol) {
        return PARAM_OK;
    }
    int code = 0;
    if (AskRegister(job, w, "ATS82?", &code) != Answer::kAccepted) {
        return PARAM_FAILED;
    }
    const int protocol = CDeviceConfig::S82ToProtocol(code);
    if (protocol < 0) {
        // A code this program does not know leaves the field alone. After a
        // write it still means the device does not hold the protocol just sent.
        return verify != 0 ? PARAM_MISMATCH : PARAM_OK;
    }
    const bool mismatch = verify != 0 && protocol != w.m_nProtocol;
    w.m_nProtocol = protocol;
    return Result(mismatch);
}

int QueryPppOptions(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    bool mismatch = false;
    if (!ReadFields(job, app->m_workingRecord, app->m_deviceCopy, verify, row_fields::kPppOptions,
                    true, &mismatch)) {
        return PARAM_FAILED;
    }
    return Result(mismatch);
}

int QueryX25(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    if (w.m_bX25Available == 0) {
        return PARAM_OK;
    }
    bool mismatch = false;
    if (!ReadFields(job, w, d, verify, row_fields::kX25BeforeAddress, true, &mismatch)) {
        return PARAM_FAILED;
    }
    if (verify == 0 || w.m_strX25Address != d.m_strX25Address) {
        vardex::params::X121Reply x121;
        if (AskChecked(job, w, "AT!X2?", [&x121](std::string_view reply) {
                auto parsed = vardex::params::ParseX121AddressReply(reply);
                x121 = parsed.value_or(vardex::params::X121Reply{});
                return parsed.has_value();
            }) != Answer::kAccepted) {
            return PARAM_FAILED;
        }
        // A refusal leaves the address as it is.
        if (!x121.refused) {
            if (verify != 0 && x121.address != w.m_strX25Address) {
                mismatch = true;
            }
            w.m_strX25Address = std::move(x121.address);
        }
        if (StopRequested(job)) {
            return PARAM_FAILED;
        }
    }
    if (!ReadFields(job, w, d, verify, row_fields::kX25AfterAddress, true, &mismatch)) {
        return PARAM_FAILED;
    }
    return Result(mismatch);
}

int QueryEmergencyMode(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, row_fields::kEmergencyMode);
}

int QueryCallerIdTiming(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, row_fields::kCallerIdTiming);
}

int QueryMlpppIncoming(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, row_fields::kMlpppIncoming);
}

int QueryFlashDuration(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, row_fields::kFlashDuration);
}

int QueryBap(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, row_fields::kBap);
}

int QueryFskLevel(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    // Country variants without the setting do not know the command.
    if (app->m_workingRecord.m_bFskLevelAvailable == 0) {
        return PARAM_OK;
    }
    // Not a register: the command answers the level alone.
    constexpr Member kFskLevel[] = {&CDeviceConfig::m_nFskLevel};
    bool mismatch = false;
    if (ReadRegister(job, app->m_workingRecord, app->m_deviceCopy, verify,
                     {"AT/CLIPLEVEL", kFskLevel}, &mismatch) == Step::kFailed) {
        return PARAM_FAILED;
    }
    return Result(mismatch);
}

int QueryRestrictions(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    // Not read back after a write.
    if (verify != 0) {
        return PARAM_OK;
    }
    return RegisterRow(job, app, 0, row_fields::kRestrictions);
}

int QueryMessageWaiting(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, row_fields::kMessageWaiting);
}

int QueryTerminalTypes(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, row_fields::kTerminalTypes);
}

int QueryModemLlc(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    bool mismatch = false;
    for (std::size_t i = 0; i < CDeviceConfig::kLlcPorts * CDeviceConfig::kLlcOctets; ++i) {
        const std::size_t port = i / CDeviceConfig::kLlcOctets;
        const std::size_t octet = i % CDeviceConfig::kLlcOctets;
        std::uint8_t& element = w.m_byModemLlc[port][octet];
        if (verify != 0 && element == d.m_byModemLlc[port][octet]) {
            continue;
        }
        const std::string command = "ATS" + std::to_string(108 + i) + "?";
        int octet_value = 0;
        if (AskRegister(job, w, command, &octet_value) != Answer::kAccepted) {
            return PARAM_FAILED;
        }
        const auto value = static_cast<std::uint8_t>(octet_value);
        if (verify != 0 && value != element) {
            mismatch = true;
        }
        element = value;
    }
    return Result(mismatch);
}

const ParamRow ParameterQueryTable[kQueryRowCount + 1] = {
    QueryMsns,
    QueryServiceProtocol,
    QueryCallWaiting,
    QueryClip,
    QueryMeteringPulse,
    QueryDelayedClearBack,
    QueryOwnNumbers,
    QueryCharges,
    QueryPowerUpProfile,
    QueryProtocol,
    QueryPppOptions,
    QueryX25,
    QueryEmergencyMode,
    QueryCallerIdTiming,
    QueryMlpppIncoming,
    QueryFlashDuration,
    QueryBap,
    QueryFskLevel,
    QueryRestrictions,
    QueryMessageWaiting,
    QueryTerminalTypes,
    QueryModemLlc,
    nullptr,
};
