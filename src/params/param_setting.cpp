// The setting rows: each sends a command for every field of its group that
// differs between the working record and the device copy, then runs its partner
// query in verification mode, which reads the device's value back into the
// working record and reports whether the device took what was sent.
//
// Only whether a setting command got a reply matters; a refused value shows up
// in the verification.
#include <cstdint>
#include <string>
#include <string_view>

#include "params/field_limits.h"
#include "params/param_rows.h"
#include "params/reply_parsers.h"

namespace {

constexpr unsigned kMsnTimeoutMs = 2000;
constexpr unsigned kPowerUpProfileTimeoutMs = 4000;
constexpr unsigned kFskLevelTimeoutMs = 2000;
constexpr unsigned kChargeResetTimeoutMs = 3000;
constexpr unsigned kStoreProfileTimeoutMs = 3000;
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

    // "prefix" + value, when the field changed.
    bool SendIfChanged(int wanted, int known, std::string_view prefix, long long value) {
        if (wanted == known) {
            return true;
        }
        return Send(std::string(prefix) + std::to_string(value));
    }
    bool SendFlagIfChanged(int wanted, int known, std::string_view prefix) {
        return SendIfChanged(wanted, known, prefix, wanted);
    }

private:
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

int Bit(int value, int bit) {
    return (value >> bit) & 1;
}

// The text of an own number: the port's subscriber number the index selects,
// nothing for "none" or an index that selects no number of the port.
std::string OwnNumberText(const std::string* msns, int index) {
    if (index < 0 || index > 2) {
        return std::string();
    }
    return msns[index];
}

bool ReplyHasError(const char* reply) {
    return std::string_view(reply).find("ERROR") != std::string_view::npos;
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
            if (wanted == known) {
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
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    Sender sender(job, w, false);
    if (!sender.SendFlagIfChanged(w.m_nServiceProtocol, d.m_nServiceProtocol, "ATS100.0=")) {
        return PARAM_FAILED;
    }
    return QueryServiceProtocol(job, app, 1);
}

int SetCallWaiting(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    Sender sender(job, w, false);
    if (!sender.SendFlagIfChanged(w.m_bCallWaiting1, d.m_bCallWaiting1, "ATS79.2=") ||
        !sender.SendFlagIfChanged(w.m_bCallWaiting2, d.m_bCallWaiting2, "ATS79.3=")) {
        return PARAM_FAILED;
    }
    return QueryCallWaiting(job, app, 1);
}

int SetClip(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    if (w.m_bClip != d.m_bClip || w.m_bClipOnCw1 != d.m_bClipOnCw1 ||
        w.m_bClipOnCw2 != d.m_bClipOnCw2) {
        // The register is written whole: bit 4 suppresses CLIP, bits 6 and 7 are
        // CLIP on call waiting per phone.
        const int value = (w.m_bClip == 0 ? 16 : 0) + (w.m_bClipOnCw1 != 0 ? 64 : 0) +
                          (w.m_bClipOnCw2 != 0 ? 128 : 0);
        if (!Sender(job, w, false).Send("ATS84=" + std::to_string(value))) {
            return PARAM_FAILED;
        }
    }
    return QueryClip(job, app, 1);
}

int SetMeteringPulse(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    Sender sender(job, w, false);
    if (!sender.SendFlagIfChanged(w.m_bMeteringPulse1, d.m_bMeteringPulse1, "ATS89.6=") ||
        !sender.SendFlagIfChanged(w.m_bMeteringPulse2, d.m_bMeteringPulse2, "ATS89.5=")) {
        return PARAM_FAILED;
    }
    return QueryMeteringPulse(job, app, 1);
}

int SetDelayedClearBack(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    Sender sender(job, w, false);
    // The register bits disable the feature.
    if (!sender.SendIfChanged(w.m_bDelayedClearBack1, d.m_bDelayedClearBack1,
                              "ATS83.0=", w.m_bDelayedClearBack1 == 0 ? 1 : 0) ||
        !sender.SendIfChanged(w.m_bDelayedClearBack2, d.m_bDelayedClearBack2,
                              "ATS83.1=", w.m_bDelayedClearBack2 == 0 ? 1 : 0)) {
        return PARAM_FAILED;
    }
    return QueryDelayedClearBack(job, app, 1);
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
            if (port.wanted == port.known) {
                continue;
            }
            if (!sender.Send(port.command + vardex::params::CommandSafeText(
                                                OwnNumberText(port.msns, port.wanted)))) {
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
    int reset_sent = 0;
    if (w.m_bResetCharges == 1) {
        if (w.SendCommand("ATCH0") == nullptr) {
            return PARAM_FAILED;
        }
        w.m_bResetCharges = 0;
        reset_sent = 1;
    }
    // Always refreshes the counters; after a reset they must all read zero.
    return QueryCharges(job, app, reset_sent);
}

int SetPowerUpProfile(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    // No choice (a list with nothing chosen, -1) is never sent: it would write a
    // register value no profile has. The device's own choice is read instead.
    if (!LimitsOf(&CDeviceConfig::m_nPowerUpProfile)->Allows(w.m_nPowerUpProfile)) {
        return QueryPowerUpProfile(job, app, 0);
    }
    if (w.m_nPowerUpProfile != d.m_nPowerUpProfile) {
        // The profile lives in bits 5..7. Widened so that no record value can
        // overflow the multiplication.
        const long long value = static_cast<long long>(w.m_nPowerUpProfile) * 32;
        RaisedTimeout timeout(w, kPowerUpProfileTimeoutMs);
        if (!Sender(job, w, false).Send("ATS15=" + std::to_string(value))) {
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
    const CDeviceConfig& d = app->m_deviceCopy;
    w.SetReadTimeout(kParamReadTimeoutMs);
    Sender sender(job, w, true);
    // Multilink PPP takes both S87 bits 5 and 6.
    if (!sender.SendFlagIfChanged(w.m_bMultilink, d.m_bMultilink, "ATS87.5=") ||
        !sender.SendFlagIfChanged(w.m_bMultilink, d.m_bMultilink, "ATS87.6=") ||
        !sender.SendFlagIfChanged(w.m_nBodAddTime, d.m_nBodAddTime, "ATS124=") ||
        !sender.SendFlagIfChanged(w.m_nBodDropTime, d.m_nBodDropTime, "ATS125=") ||
        !sender.SendFlagIfChanged(w.m_nBodAddRate, d.m_nBodAddRate, "ATS126=") ||
        !sender.SendFlagIfChanged(w.m_nBodDropRate, d.m_nBodDropRate, "ATS127=")) {
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
    if (!sender.SendFlagIfChanged(w.m_nX25Lic, d.m_nX25Lic, "ATS57=") ||
        !sender.SendFlagIfChanged(w.m_nX25Hic, d.m_nX25Hic, "ATS58=") ||
        !sender.SendFlagIfChanged(w.m_nX25Tei, d.m_nX25Tei, "ATS90=") ||
        !sender.SendFlagIfChanged(w.m_nX25Lcn, d.m_nX25Lcn, "ATS91=")) {
        return PARAM_FAILED;
    }
    if (w.m_strX25Address != d.m_strX25Address &&
        !sender.Send("AT!X2=" + vardex::params::CommandSafeText(w.m_strX25Address))) {
        return PARAM_FAILED;
    }
    if (w.m_nX25WaitRestart != d.m_nX25WaitRestart) {
        if (!sender.Send("ATS103.0=" + std::to_string(Bit(w.m_nX25WaitRestart, 0))) ||
            !sender.Send("ATS103.1=" + std::to_string(Bit(w.m_nX25WaitRestart, 1)))) {
            return PARAM_FAILED;
        }
    }
    if (!sender.SendFlagIfChanged(w.m_bX25PadCall, d.m_bX25PadCall, "ATS103.2=") ||
        !sender.SendFlagIfChanged(w.m_bX25TransparentProfile, d.m_bX25TransparentProfile,
                                  "ATS103.3=") ||
        !sender.SendFlagIfChanged(w.m_bX25Pvc, d.m_bX25Pvc, "ATS103.4=") ||
        !sender.SendFlagIfChanged(w.m_bX25SendRestart, d.m_bX25SendRestart, "ATS103.5=") ||
        !sender.SendFlagIfChanged(w.m_bX25UsePad, d.m_bX25UsePad, "ATS103.6=") ||
        !sender.SendFlagIfChanged(w.m_bX25Spvc, d.m_bX25Spvc, "ATS103.7=")) {
        return PARAM_FAILED;
    }
    // The two window sizes share S104, four bits each, written bit by bit.
    struct Window {
        int wanted;
        int known;
        int first_bit;
    };
    const Window windows[2] = {{w.m_nX25Layer2Window, d.m_nX25Layer2Window, 0},
                               {w.m_nX25Layer3Window, d.m_nX25Layer3Window, 4}};
    for (const Window& window : windows) {
        if (window.wanted == window.known) {
            continue;
        }
        for (int bit = 0; bit < 4; ++bit) {
            if (!sender.Send("ATS104." + std::to_string(window.first_bit + bit) + "=" +
                             std::to_string(Bit(window.wanted, bit)))) {
                return PARAM_FAILED;
            }
        }
    }
    if (!sender.SendFlagIfChanged(w.m_nX25CugNumber, d.m_nX25CugNumber, "ATS105=") ||
        !sender.SendFlagIfChanged(w.m_nX25PacketSize, d.m_nX25PacketSize, "ATS106=")) {
        return PARAM_FAILED;
    }
    return QueryX25(job, app, 1);
}

int SetEmergencyMode(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    if (!Sender(job, w, false)
             .SendFlagIfChanged(w.m_bFullEmergencyMode, app->m_deviceCopy.m_bFullEmergencyMode,
                                "ATS123.0=")) {
        return PARAM_FAILED;
    }
    return QueryEmergencyMode(job, app, 1);
}

int SetCallerIdTiming(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    if (!Sender(job, w, false)
             .SendFlagIfChanged(w.m_nCallerIdTiming, app->m_deviceCopy.m_nCallerIdTiming,
                                "ATS101.0=")) {
        return PARAM_FAILED;
    }
    return QueryCallerIdTiming(job, app, 1);
}

int SetMlpppIncoming(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    Sender sender(job, w, false);
    if (!sender.SendFlagIfChanged(w.m_bNoIncomingMlppp1, d.m_bNoIncomingMlppp1, "ATS118.2=") ||
        !sender.SendFlagIfChanged(w.m_bNoIncomingMlppp2, d.m_bNoIncomingMlppp2, "ATS118.3=")) {
        return PARAM_FAILED;
    }
    return QueryMlpppIncoming(job, app, 1);
}

int SetFlashDuration(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    if (!Sender(job, w, false)
             .SendFlagIfChanged(w.m_nFlashDuration, app->m_deviceCopy.m_nFlashDuration, "ATS56=")) {
        return PARAM_FAILED;
    }
    return QueryFlashDuration(job, app, 1);
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
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    Sender sender(job, w, false);
    if (!sender.SendFlagIfChanged(w.m_bClir1, d.m_bClir1, "ATS85.0=") ||
        !sender.SendFlagIfChanged(w.m_bClir2, d.m_bClir2, "ATS85.1=") ||
        !sender.SendFlagIfChanged(w.m_bColr1, d.m_bColr1, "ATS85.2=") ||
        !sender.SendFlagIfChanged(w.m_bColr2, d.m_bColr2, "ATS85.3=")) {
        return PARAM_FAILED;
    }
    return QueryRestrictions(job, app, 1);
}

int SetMessageWaiting(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    Sender sender(job, w, false);
    if (!sender.SendFlagIfChanged(w.m_bMessageWaiting1, d.m_bMessageWaiting1, "ATS86.0=") ||
        !sender.SendFlagIfChanged(w.m_bMessageWaiting2, d.m_bMessageWaiting2, "ATS86.1=")) {
        return PARAM_FAILED;
    }
    return QueryMessageWaiting(job, app, 1);
}

int ResetChargesFinal(CRunningJob* /*job*/, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    if (w.m_bResetCharges != 1) {
        return PARAM_OK;
    }
    const char* reply = nullptr;
    {
        RaisedTimeout timeout(w, kChargeResetTimeoutMs);
        reply = w.SendCommand("ATCH0");
    }
    if (reply == nullptr) {
        return PARAM_FAILED;
    }
    // Nothing reads the counters back here, so a refusal is the only sign that
    // the reset did not happen. Once done, the request is consumed: left set, it
    // would reset the counters again on the next write.
    if (ReplyHasError(reply)) {
        return PARAM_MISMATCH;
    }
    w.m_bResetCharges = 0;
    return PARAM_OK;
}

int SetBap(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    Sender sender(job, w, false);
    if (!sender.SendFlagIfChanged(w.m_bBapSupport, d.m_bBapSupport, "ATS102.0=") ||
        !sender.SendFlagIfChanged(w.m_bBapCallBack, d.m_bBapCallBack, "ATS102.1=")) {
        return PARAM_FAILED;
    }
    return QueryBap(job, app, 1);
}

int SetTerminalTypes(CRunningJob* job, CVarDexConfigurationManagerApp* app, int /*verify*/) {
    if (app == nullptr) {
        return PARAM_FAILED;
    }
    CDeviceConfig& w = app->m_workingRecord;
    const CDeviceConfig& d = app->m_deviceCopy;
    // Elsewhere S118 bits 2 and 3 are the ML-PPP flags, not terminal types.
    if (w.m_strCountry != "Hungary") {
        return PARAM_OK;
    }
    Sender sender(job, w, false);
    const int wanted[2] = {w.m_nTerminalType1, w.m_nTerminalType2};
    const int known[2] = {d.m_nTerminalType1, d.m_nTerminalType2};
    for (int port = 0; port < 2; ++port) {
        for (int bit = 0; bit < 2; ++bit) {
            const int w_bit = Bit(wanted[port], bit);
            if (w_bit == Bit(known[port], bit)) {
                continue;
            }
            if (!sender.Send("ATS118." + std::to_string(2 * port + bit) + "=" +
                             std::to_string(w_bit))) {
                return PARAM_FAILED;
            }
        }
    }
    return QueryTerminalTypes(job, app, 1);
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

int StoreProfile(CRunningJob* /*job*/, CVarDexConfigurationManagerApp* app, int /*verify*/) {
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
    const char* reply = nullptr;
    {
        RaisedTimeout timeout(w, kStoreProfileTimeoutMs);
        reply = w.SendCommand(("AT&W" + std::to_string(w.m_nStoreProfile - 1)).c_str());
    }
    if (reply == nullptr) {
        return PARAM_FAILED;
    }
    // Nothing reads a stored profile back; a refusal must not pass for success.
    return ReplyHasError(reply) ? PARAM_MISMATCH : PARAM_OK;
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
