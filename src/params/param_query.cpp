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
#include "params/field_limits.h"
#include "params/param_rows.h"
#include "params/reply_parsers.h"
#include "platform/trace.h"

using vardex::params::ParseRegisterReply;

namespace {

bool StopRequested(const CRunningJob* job) {
    return job != nullptr && job->m_bAbort.load() != 0;
}

// How one field comes out of a register's value.
using Decode = int (*)(int value);

template <int B>
int Bit(int value) {
    return (value >> B) & 1;
}
template <int B>
int InvertedBit(int value) {
    return ((value >> B) & 1) == 0 ? 1 : 0;
}
int Whole(int value) {
    return value;
}
int NonZero(int value) {
    return value != 0 ? 1 : 0;
}
int ProfileBits(int value) {
    return value >> 5;
}
// Multilink PPP needs both S87 bits 5 and 6.
int MultilinkBits(int value) {
    return (value & 0x60) == 0x60 ? 1 : 0;
}
int LowTwoBits(int value) {
    return value & 3;
}
int HighTwoOfNibble(int value) {
    return (value >> 2) & 3;
}
int LowNibble(int value) {
    return value & 0x0F;
}
int HighNibble(int value) {
    return value >> 4;
}

struct Field {
    int CDeviceConfig::*member;
    Decode decode;
};

struct RegisterQuery {
    const char* command;
    std::span<const Field> fields;
};

enum class Step { kDone, kFailed };

bool AllAgree(const CDeviceConfig& w, const CDeviceConfig& d, std::span<const Field> fields) {
    for (const Field& f : fields) {
        if (w.*f.member != d.*f.member) {
            return false;
        }
    }
    return true;
}

bool WithinLimits(int CDeviceConfig::*member, int value) {
    const IntFieldLimits* limits = LimitsOf(member);
    return limits == nullptr || limits->Allows(value);
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
    for (const Field& f : q.fields) {
        const int decoded = f.decode(value);
        if (!WithinLimits(f.member, decoded)) {
            vardex::Trace("%s answered %d: out of range, not taken\n", q.command, value);
            *mismatch = *mismatch || verify != 0;
            continue;
        }
        if (verify != 0 && decoded != w.*f.member) {
            *mismatch = true;
        }
        w.*f.member = decoded;
    }
    return Step::kDone;
}

int Result(bool mismatch) {
    return mismatch ? PARAM_MISMATCH : PARAM_OK;
}

// A row of one register query.
int RegisterRow(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify,
                const RegisterQuery& q) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    bool mismatch = false;
    if (ReadRegister(job, app->m_workingRecord, app->m_deviceCopy, verify, q, &mismatch) ==
        Step::kFailed) {
        return PARAM_FAILED;
    }
    return Result(mismatch);
}

// Several queries in a row, with the job's stop request checked after each
// reply: these rows are long enough that Cancel must not wait for their end.
bool ReadRegisters(CRunningJob* job, CDeviceConfig& w, const CDeviceConfig& d, int verify,
                   std::span<const RegisterQuery> queries, bool* mismatch) {
    for (const RegisterQuery& q : queries) {
        const bool will_send = verify == 0 || !AllAgree(w, d, q.fields);
        if (ReadRegister(job, w, d, verify, q, mismatch) == Step::kFailed) {
            return false;
        }
        if (will_send && StopRequested(job)) {
            return false;
        }
    }
    return true;
}

#define VARDEX_FIELD(member, decode)   \
    Field {                            \
        &CDeviceConfig::member, decode \
    }

constexpr Field kServiceProtocol[] = {VARDEX_FIELD(m_nServiceProtocol, Bit<0>)};
constexpr Field kCallWaiting[] = {VARDEX_FIELD(m_bCallWaiting1, Bit<2>),
                                  VARDEX_FIELD(m_bCallWaiting2, Bit<3>)};
constexpr Field kClip[] = {VARDEX_FIELD(m_bClip, InvertedBit<4>),
                           VARDEX_FIELD(m_bClipOnCw1, Bit<6>), VARDEX_FIELD(m_bClipOnCw2, Bit<7>)};
constexpr Field kMeteringPulse[] = {VARDEX_FIELD(m_bMeteringPulse1, Bit<6>),
                                    VARDEX_FIELD(m_bMeteringPulse2, Bit<5>)};
constexpr Field kDelayedClearBack[] = {VARDEX_FIELD(m_bDelayedClearBack1, InvertedBit<0>),
                                       VARDEX_FIELD(m_bDelayedClearBack2, InvertedBit<1>)};
constexpr Field kPowerUpProfile[] = {VARDEX_FIELD(m_nPowerUpProfile, ProfileBits)};
constexpr Field kMultilink[] = {VARDEX_FIELD(m_bMultilink, MultilinkBits)};
constexpr Field kBodAddTime[] = {VARDEX_FIELD(m_nBodAddTime, Whole)};
constexpr Field kBodDropTime[] = {VARDEX_FIELD(m_nBodDropTime, Whole)};
constexpr Field kBodAddRate[] = {VARDEX_FIELD(m_nBodAddRate, Whole)};
constexpr Field kBodDropRate[] = {VARDEX_FIELD(m_nBodDropRate, Whole)};
constexpr Field kEmergencyMode[] = {VARDEX_FIELD(m_bFullEmergencyMode, NonZero)};
constexpr Field kCallerIdTiming[] = {VARDEX_FIELD(m_nCallerIdTiming, Bit<0>)};
constexpr Field kMlpppIncoming[] = {VARDEX_FIELD(m_bNoIncomingMlppp1, Bit<2>),
                                    VARDEX_FIELD(m_bNoIncomingMlppp2, Bit<3>)};
constexpr Field kFlashDuration[] = {VARDEX_FIELD(m_nFlashDuration, Whole)};
constexpr Field kBap[] = {VARDEX_FIELD(m_bBapSupport, Bit<0>),
                          VARDEX_FIELD(m_bBapCallBack, Bit<1>)};
constexpr Field kFskLevel[] = {VARDEX_FIELD(m_nFskLevel, Whole)};
constexpr Field kRestrictions[] = {VARDEX_FIELD(m_bClir1, Bit<0>), VARDEX_FIELD(m_bClir2, Bit<1>),
                                   VARDEX_FIELD(m_bColr1, Bit<2>), VARDEX_FIELD(m_bColr2, Bit<3>)};
constexpr Field kMessageWaiting[] = {VARDEX_FIELD(m_bMessageWaiting1, Bit<0>),
                                     VARDEX_FIELD(m_bMessageWaiting2, Bit<1>)};
constexpr Field kTerminalTypes[] = {VARDEX_FIELD(m_nTerminalType1, LowTwoBits),
                                    VARDEX_FIELD(m_nTerminalType2, HighTwoOfNibble)};

constexpr Field kX25Lic[] = {VARDEX_FIELD(m_nX25Lic, Whole)};
constexpr Field kX25Hic[] = {VARDEX_FIELD(m_nX25Hic, Whole)};
constexpr Field kX25Tei[] = {VARDEX_FIELD(m_nX25Tei, Whole)};
constexpr Field kX25Lcn[] = {VARDEX_FIELD(m_nX25Lcn, Whole)};
constexpr Field kX25WaitRestart[] = {VARDEX_FIELD(m_nX25WaitRestart, LowTwoBits)};
constexpr Field kX25PadCall[] = {VARDEX_FIELD(m_bX25PadCall, Whole)};
constexpr Field kX25Transparent[] = {VARDEX_FIELD(m_bX25TransparentProfile, Whole)};
constexpr Field kX25Pvc[] = {VARDEX_FIELD(m_bX25Pvc, Whole)};
constexpr Field kX25SendRestart[] = {VARDEX_FIELD(m_bX25SendRestart, Whole)};
constexpr Field kX25UsePad[] = {VARDEX_FIELD(m_bX25UsePad, Whole)};
constexpr Field kX25Spvc[] = {VARDEX_FIELD(m_bX25Spvc, Whole)};
constexpr Field kX25Windows[] = {VARDEX_FIELD(m_nX25Layer2Window, LowNibble),
                                 VARDEX_FIELD(m_nX25Layer3Window, HighNibble)};
constexpr Field kX25Cug[] = {VARDEX_FIELD(m_nX25CugNumber, Whole)};
constexpr Field kX25PacketSize[] = {VARDEX_FIELD(m_nX25PacketSize, Whole)};

#undef VARDEX_FIELD

constexpr RegisterQuery kPppQueries[] = {
    {"ATS87?", kMultilink},   {"ATS124?", kBodAddTime},  {"ATS125?", kBodDropTime},
    {"ATS126?", kBodAddRate}, {"ATS127?", kBodDropRate},
};

// The X.25 registers before and after the address query.
constexpr RegisterQuery kX25Before[] = {
    {"ATS57?", kX25Lic},
    {"ATS58?", kX25Hic},
    {"ATS90?", kX25Tei},
    {"ATS91?", kX25Lcn},
};
constexpr RegisterQuery kX25After[] = {
    {"ATS103?", kX25WaitRestart}, {"ATS103.2?", kX25PadCall},     {"ATS103.3?", kX25Transparent},
    {"ATS103.4?", kX25Pvc},       {"ATS103.5?", kX25SendRestart}, {"ATS103.6?", kX25UsePad},
    {"ATS103.7?", kX25Spvc},      {"ATS104?", kX25Windows},       {"ATS105?", kX25Cug},
    {"ATS106?", kX25PacketSize},
};

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
    return RegisterRow(job, app, verify, {"ATS100?", kServiceProtocol});
}

int QueryCallWaiting(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, {"ATS79?", kCallWaiting});
}

int QueryClip(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, {"ATS84?", kClip});
}

int QueryMeteringPulse(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, {"ATS89?", kMeteringPulse});
}

int QueryDelayedClearBack(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, {"ATS83?", kDelayedClearBack});
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
    return RegisterRow(job, app, verify, {"ATS15?", kPowerUpProfile});
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
    if (!ReadRegisters(job, app->m_workingRecord, app->m_deviceCopy, verify, kPppQueries,
                       &mismatch)) {
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
    if (!ReadRegisters(job, w, d, verify, kX25Before, &mismatch)) {
        return PARAM_FAILED;
    }
    if (verify == 0 || w.m_strX25Address != d.m_strX25Address) {
        std::string reply;
        if (AskChecked(
                job, w, "AT!X2?",
                [](std::string_view text) {
                    return vardex::params::SplitCompleteReply(text).has_value();
                },
                &reply) != Answer::kAccepted) {
            return PARAM_FAILED;
        }
        // An "ERROR" answer leaves the address as it is.
        if (auto address = vardex::params::ParseX121AddressReply(reply)) {
            if (verify != 0 && *address != w.m_strX25Address) {
                mismatch = true;
            }
            w.m_strX25Address = std::move(*address);
        }
        if (StopRequested(job)) {
            return PARAM_FAILED;
        }
    }
    if (!ReadRegisters(job, w, d, verify, kX25After, &mismatch)) {
        return PARAM_FAILED;
    }
    return Result(mismatch);
}

int QueryEmergencyMode(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, {"ATS123?", kEmergencyMode});
}

int QueryCallerIdTiming(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, {"ATS101?", kCallerIdTiming});
}

int QueryMlpppIncoming(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, {"ATS118?", kMlpppIncoming});
}

int QueryFlashDuration(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, {"ATS56?", kFlashDuration});
}

int QueryBap(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, {"ATS102?", kBap});
}

int QueryFskLevel(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    // Country variants without the setting do not know the command.
    if (app->m_workingRecord.m_bFskLevelAvailable == 0) {
        return PARAM_OK;
    }
    return RegisterRow(job, app, verify, {"AT/CLIPLEVEL", kFskLevel});
}

int QueryRestrictions(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    // Not read back after a write.
    if (verify != 0) {
        return PARAM_OK;
    }
    return RegisterRow(job, app, 0, {"ATS85?", kRestrictions});
}

int QueryMessageWaiting(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, {"ATS86?", kMessageWaiting});
}

int QueryTerminalTypes(CRunningJob* job, CVarDexConfigurationManagerApp* app, int verify) {
    return RegisterRow(job, app, verify, {"ATS118?", kTerminalTypes});
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
