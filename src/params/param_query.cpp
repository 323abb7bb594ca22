// The query rows: each sends its query commands on the working record's channel,
// decodes the replies into the working record and, in verification mode,
// compares what came back with the values that were just sent. Rows of
// register fields are data; the rows here ask what is not a register field.
#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "link/at_commands.h"
#include "params/register_rows.h"
#include "params/reply_parsers.h"

namespace vardex::params {

using vardex::params::Feature;
namespace at = vardex::link::at;

namespace {

// A section reply's verdict: whole and complete, or the device's refusal.
Verdict SectionVerdict(std::string_view reply, bool complete) {
    if (complete) {
        return Verdict::kTaken;
    }
    const auto whole = vardex::params::SplitWholeReply(reply);
    return whole && !whole->ok ? Verdict::kRefused : Verdict::kNoAnswer;
}

// Asks a query that is no register's; false when no answer came (the row
// fails). How the device answered is noted in the record with the fields the
// query reads.
bool AskAndNote(CRunningJob* job, CDeviceConfig& w, std::string_view command,
                const std::vector<std::string>& fields, const ReplyJudge& judge) {
    const Answer answer = AskChecked(job, w, std::string(command), judge);
    if (answer != Answer::kAccepted && answer != Answer::kRefused) {
        return false;
    }
    w.NoteQueryAnswer(std::string(command), fields, answer == Answer::kRefused);
    return true;
}

std::string* MsnOfDeviceIndex(CDeviceConfig& w, int index) {
    if (index < 3 * 2) {
        return &w.m_strPhoneMsn[index];
    }
    return &w.m_strDteMsn[index - 3 * 2];
}

RowResult QueryMsns(const ParamRowSpec& /*row*/, CRunningJob* job,
                    CVarDexConfigurationManagerApp& app, int verify) {
    CDeviceConfig& w = app.m_workingRecord;
    // No skip in verification mode: one exchange reads all nine numbers.
    std::vector<std::pair<int, std::string>> numbers;
    bool answered = false;
    if (!AskAndNote(job, w, at::kNumbersQuery, {"m_strPhoneMsn", "m_strDteMsn"},
                    [&numbers, &answered](std::string_view reply) {
                        bool complete = false;
                        numbers = vardex::params::ParseMsnReply(reply, &complete);
                        answered = complete;
                        return SectionVerdict(reply, complete);
                    })) {
        return PARAM_FAILED;
    }
    if (!answered) {
        // Refused: the numbers stay; after a write nothing is confirmed.
        return verify != 0 ? PARAM_MISMATCH : PARAM_OK;
    }
    bool mismatch = false;
    for (auto& [index, number] : numbers) {
        std::string* element = MsnOfDeviceIndex(w, index);
        if (verify != 0 && *element != number) {
            mismatch = true;
        }
        *element = std::move(number);
    }
    return rows::Result(mismatch);
}

RowResult QueryOwnNumbers(const ParamRowSpec& /*row*/, CRunningJob* job,
                          CVarDexConfigurationManagerApp& app, int verify) {
    CDeviceConfig& w = app.m_workingRecord;
    const CDeviceConfig& d = app.m_deviceCopy;
    if (verify != 0 && w.m_nOwnNumber1 == d.m_nOwnNumber1 && w.m_nOwnNumber2 == d.m_nOwnNumber2 &&
        w.m_nOwnNumberDte == d.m_nOwnNumberDte) {
        return PARAM_OK;
    }
    std::array<std::string, 3> own;
    bool answered = false;
    if (!AskAndNote(job, w, at::kOwnNumbersQuery,
                    {"m_nOwnNumber1", "m_nOwnNumber2", "m_nOwnNumberDte"},
                    [&own, &answered](std::string_view reply) {
                        bool complete = false;
                        own = vardex::params::ParseOwnNumberReply(reply, &complete);
                        answered = complete;
                        return SectionVerdict(reply, complete);
                    })) {
        return PARAM_FAILED;
    }
    if (!answered) {
        // Refused: the indexes stay; after a write nothing is confirmed.
        return verify != 0 ? PARAM_MISMATCH : PARAM_OK;
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
    return rows::Result(mismatch);
}

RowResult QueryCharges(const ParamRowSpec& /*row*/, CRunningJob* job,
                       CVarDexConfigurationManagerApp& app, int verify) {
    CDeviceConfig& w = app.m_workingRecord;
    vardex::params::ChargeReply c;
    bool answered = false;
    if (!AskAndNote(job, w, at::kChargesQuery,
                    {"m_nLastCharge1", "m_nLastCharge2", "m_nLastChargeDte", "m_nTotalCharge1",
                     "m_nTotalCharge2", "m_nTotalChargeDte"},
                    [&c, &answered](std::string_view reply) {
                        bool complete = false;
                        c = vardex::params::ParseChargeReply(reply, &complete);
                        answered = complete;
                        return SectionVerdict(reply, complete);
                    })) {
        return PARAM_FAILED;
    }
    if (!answered && verify != 0) {
        return PARAM_MISMATCH;  // a reset that cannot be seen is no reset
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

RowResult QueryProtocol(const ParamRowSpec& /*row*/, CRunningJob* job,
                        CVarDexConfigurationManagerApp& app, int verify) {
    CDeviceConfig& w = app.m_workingRecord;
    if (verify != 0 && w.m_nProtocol == app.m_deviceCopy.m_nProtocol) {
        return PARAM_OK;
    }
    int code = 0;
    const std::string command = std::string(at::kProtocolRegister) + std::string(at::kQuery);
    const Answer answer = rows::AskNumber(job, w, command, &code);
    if (answer != Answer::kAccepted && answer != Answer::kRefused) {
        return PARAM_FAILED;
    }
    w.NoteQueryAnswer(command, {"m_nProtocol"}, answer == Answer::kRefused);
    const int protocol = CDeviceConfig::S82ToProtocol(code);
    if (protocol < 0) {
        // A code this program does not know leaves the field alone. After a
        // write it still means the device does not hold the protocol just sent.
        return verify != 0 ? PARAM_MISMATCH : PARAM_OK;
    }
    const bool mismatch = verify != 0 && protocol != w.m_nProtocol;
    w.m_nProtocol = protocol;
    return rows::Result(mismatch);
}

RowResult QueryX25(const ParamRowSpec& row, CRunningJob* job, CVarDexConfigurationManagerApp& app,
                   int verify) {
    CDeviceConfig& w = app.m_workingRecord;
    const CDeviceConfig& d = app.m_deviceCopy;
    const auto [before_address, after_address] = rows::AroundX121Address();
    bool mismatch = false;
    if (!rows::ReadFields(job, w, d, verify, before_address, row.check_stop, &mismatch)) {
        return PARAM_FAILED;
    }
    if (verify == 0 || w.m_strX25Address != d.m_strX25Address) {
        std::string address;
        if (!AskAndNote(job, w, at::kX121Query, {"m_strX25Address"},
                        [&address](std::string_view reply) {
                            auto parsed = vardex::params::ParseX121AddressReply(reply);
                            if (!parsed) {
                                return Verdict::kNoAnswer;
                            }
                            address = std::move(parsed->value);
                            return parsed->refused ? Verdict::kRefused : Verdict::kTaken;
                        })) {
            return PARAM_FAILED;
        }
        // A refusal leaves the address as it is; after a write it confirms
        // nothing.
        if (w.FieldRefused("m_strX25Address")) {
            mismatch = mismatch || verify != 0;
        } else {
            if (verify != 0 && address != w.m_strX25Address) {
                mismatch = true;
            }
            w.m_strX25Address = std::move(address);
        }
        if (rows::StopRequested(job)) {
            return PARAM_FAILED;
        }
    }
    if (!rows::ReadFields(job, w, d, verify, after_address, row.check_stop, &mismatch)) {
        return PARAM_FAILED;
    }
    return rows::Result(mismatch);
}

RowResult QueryFskLevel(const ParamRowSpec& /*row*/, CRunningJob* job,
                        CVarDexConfigurationManagerApp& app, int verify) {
    // Not a register: the command answers the level alone.
    const RecordField* const level[] = {FieldOf(&CDeviceConfig::m_nFskLevel)};
    bool mismatch = false;
    if (!rows::ReadRegister(job, app.m_workingRecord, app.m_deviceCopy, verify,
                            std::string(at::kClipLevel), level, &mismatch)) {
        return PARAM_FAILED;
    }
    return rows::Result(mismatch);
}

RowResult QueryModemLlc(const ParamRowSpec& /*row*/, CRunningJob* job,
                        CVarDexConfigurationManagerApp& app, int verify) {
    CDeviceConfig& w = app.m_workingRecord;
    const CDeviceConfig& d = app.m_deviceCopy;
    bool mismatch = false;
    for (std::size_t i = 0; i < CDeviceConfig::kLlcPorts * CDeviceConfig::kLlcOctets; ++i) {
        const std::size_t port = i / CDeviceConfig::kLlcOctets;
        const std::size_t octet = i % CDeviceConfig::kLlcOctets;
        std::uint8_t& element = w.m_byModemLlc[port][octet];
        if (verify != 0 && element == d.m_byModemLlc[port][octet]) {
            continue;
        }
        const std::string command = std::string(at::kRegister) +
                                    std::to_string(at::kLlcFirstRegister + i) +
                                    std::string(at::kQuery);
        int octet_value = 0;
        const Answer answer = rows::AskNumber(job, w, command, &octet_value);
        if (answer != Answer::kAccepted && answer != Answer::kRefused) {
            return PARAM_FAILED;
        }
        w.NoteQueryAnswer(command, {"m_byModemLlc"}, answer == Answer::kRefused);
        // A number no register holds is not taken: its low byte was never
        // reported by the device.
        if (octet_value < 0 || octet_value > vardex::params::kRegisterMax) {
            mismatch = mismatch || verify != 0;
            continue;
        }
        const auto value = static_cast<std::uint8_t>(octet_value);
        if (verify != 0 && (value != element || answer == Answer::kRefused)) {
            mismatch = true;
        }
        element = value;
    }
    return rows::Result(mismatch);
}

}  // namespace

std::span<const ParamRowSpec> QueryRows() {
    static constexpr ParamRowSpec kRows[] = {
        {.name = "QueryMsns", .group = Row::kMsns, .handler = QueryMsns},
        {.name = "QueryServiceProtocol", .group = Row::kServiceProtocol},
        {.name = "QueryCallWaiting", .group = Row::kCallWaiting},
        {.name = "QueryClip", .group = Row::kClip},
        {.name = "QueryMeteringPulse", .group = Row::kMeteringPulse},
        {.name = "QueryDelayedClearBack", .group = Row::kDelayedClearBack},
        {.name = "QueryOwnNumbers", .group = Row::kOwnNumbers, .handler = QueryOwnNumbers},
        {.name = "QueryCharges", .group = Row::kCharges, .handler = QueryCharges},
        {.name = "QueryPowerUpProfile", .group = Row::kPowerUpProfile},
        {.name = "QueryProtocol", .group = Row::kProtocol, .handler = QueryProtocol},
        {.name = "QueryPppOptions", .group = Row::kPppOptions, .check_stop = true},
        {.name = "QueryX25",
         .group = Row::kX25,
         .check_stop = true,
         .needs = Feature::kX25,
         .handler = QueryX25},
        {.name = "QueryEmergencyMode", .group = Row::kEmergencyMode},
        {.name = "QueryCallerIdTiming", .group = Row::kCallerIdTiming},
        {.name = "QueryMlpppIncoming", .group = Row::kMlpppIncoming},
        {.name = "QueryFlashDuration", .group = Row::kFlashDuration},
        {.name = "QueryBap", .group = Row::kBap},
        {.name = "QueryFskLevel",
         .group = Row::kFskLevel,
         .needs = Feature::kFskLevel,
         .handler = QueryFskLevel},
        {.name = "QueryRestrictions", .group = Row::kRestrictions},
        {.name = "QueryMessageWaiting", .group = Row::kMessageWaiting},
        // Read on every variant: elsewhere S118 holds the ML-PPP flags there.
        {.name = "QueryTerminalTypes", .group = Row::kTerminalTypes},
        {.name = "QueryModemLlc", .group = Row::kModemLlc, .handler = QueryModemLlc},
    };
    return kRows;
}

}  // namespace vardex::params
