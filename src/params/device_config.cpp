#include "params/device_config.h"

#include <type_traits>

namespace {

// S82 codes in protocol index order.
constexpr int kProtocolS82[CDeviceConfig::kProtocolCount] = {74, 76, 78, 80, 70, 72, 84};

// The one list of the record's fields, in declaration order, shared by
// CopyFrom and SameParameters so that the two cannot drift apart. A field
// added to the record must be added here.
template <typename A, typename B, typename Fn>
void ForEachField(A& a, B& b, Fn&& fn) {
    fn(a.m_bUsbConnection, b.m_bUsbConnection);
    fn(a.m_bBapCallBack, b.m_bBapCallBack);
    fn(a.m_bBapSupport, b.m_bBapSupport);
    fn(a.m_nCallerIdTiming, b.m_nCallerIdTiming);
    fn(a.m_nFlashDuration, b.m_nFlashDuration);
    fn(a.m_nServiceProtocol, b.m_nServiceProtocol);
    fn(a.m_bFullEmergencyMode, b.m_bFullEmergencyMode);
    fn(a.m_bClipOnCw1, b.m_bClipOnCw1);
    fn(a.m_bClipOnCw2, b.m_bClipOnCw2);
    fn(a.m_nBodAddTime, b.m_nBodAddTime);
    fn(a.m_nBodAddRate, b.m_nBodAddRate);
    fn(a.m_nBodDropTime, b.m_nBodDropTime);
    fn(a.m_nBodDropRate, b.m_nBodDropRate);
    fn(a.m_bMultilink, b.m_bMultilink);
    fn(a.m_nProtocol, b.m_nProtocol);
    fn(a.m_bSettingsModified, b.m_bSettingsModified);
    fn(a.m_bOtherModified, b.m_bOtherModified);
    fn(a.m_bResetCharges, b.m_bResetCharges);
    fn(a.m_nPowerUpProfile, b.m_nPowerUpProfile);
    fn(a.m_nStoreProfile, b.m_nStoreProfile);

    fn(a.m_nLastCharge1, b.m_nLastCharge1);
    fn(a.m_nLastCharge2, b.m_nLastCharge2);
    fn(a.m_nLastChargeDte, b.m_nLastChargeDte);
    fn(a.m_nTotalCharge1, b.m_nTotalCharge1);
    fn(a.m_nTotalCharge2, b.m_nTotalCharge2);
    fn(a.m_nTotalChargeDte, b.m_nTotalChargeDte);

    fn(a.m_nOwnNumber1, b.m_nOwnNumber1);
    fn(a.m_nOwnNumber2, b.m_nOwnNumber2);
    fn(a.m_nOwnNumberDte, b.m_nOwnNumberDte);
    fn(a.m_bDelayedClearBack1, b.m_bDelayedClearBack1);
    fn(a.m_bDelayedClearBack2, b.m_bDelayedClearBack2);
    fn(a.m_bCallWaiting1, b.m_bCallWaiting1);
    fn(a.m_bCallWaiting2, b.m_bCallWaiting2);
    fn(a.m_bClip, b.m_bClip);
    fn(a.m_nFskLevel, b.m_nFskLevel);
    fn(a.m_bMeteringPulse1, b.m_bMeteringPulse1);
    fn(a.m_bMeteringPulse2, b.m_bMeteringPulse2);
    fn(a.m_bNoIncomingMlppp1, b.m_bNoIncomingMlppp1);
    fn(a.m_bNoIncomingMlppp2, b.m_bNoIncomingMlppp2);
    fn(a.m_strDteMsn, b.m_strDteMsn);
    fn(a.m_strPhoneMsn, b.m_strPhoneMsn);

    fn(a.m_wModelVersion, b.m_wModelVersion);
    fn(a.m_wHardwareVersion, b.m_wHardwareVersion);
    fn(a.m_wFirmwareVersion, b.m_wFirmwareVersion);
    fn(a.m_strCountry, b.m_strCountry);
    fn(a.m_strCrc, b.m_strCrc);

    fn(a.m_bMessageWaiting1, b.m_bMessageWaiting1);
    fn(a.m_bMessageWaiting2, b.m_bMessageWaiting2);
    fn(a.m_bClir1, b.m_bClir1);
    fn(a.m_bClir2, b.m_bClir2);
    fn(a.m_bColr1, b.m_bColr1);
    fn(a.m_bColr2, b.m_bColr2);
    fn(a.m_nTerminalType1, b.m_nTerminalType1);
    fn(a.m_nTerminalType2, b.m_nTerminalType2);
    fn(a.m_byModemLlc, b.m_byModemLlc);

    fn(a.m_nX25CugNumber, b.m_nX25CugNumber);
    fn(a.m_nX25Hic, b.m_nX25Hic);
    fn(a.m_nX25Layer2Window, b.m_nX25Layer2Window);
    fn(a.m_nX25Layer3Window, b.m_nX25Layer3Window);
    fn(a.m_nX25PacketSize, b.m_nX25PacketSize);
    fn(a.m_nX25Lcn, b.m_nX25Lcn);
    fn(a.m_nX25Lic, b.m_nX25Lic);
    fn(a.m_bX25Spvc, b.m_bX25Spvc);
    fn(a.m_bX25UsePad, b.m_bX25UsePad);
    fn(a.m_bX25Pvc, b.m_bX25Pvc);
    fn(a.m_bX25SendRestart, b.m_bX25SendRestart);
    fn(a.m_nX25Tei, b.m_nX25Tei);
    fn(a.m_nX25WaitRestart, b.m_nX25WaitRestart);
    fn(a.m_strX25Address, b.m_strX25Address);
    fn(a.m_bX25TransparentProfile, b.m_bX25TransparentProfile);
    fn(a.m_bX25PadCall, b.m_bX25PadCall);

    fn(a.m_bX25Available, b.m_bX25Available);
    fn(a.m_bFskLevelAvailable, b.m_bFskLevelAvailable);
}

// Element-wise for the arrays (nested for the LLC octets).
template <typename T>
void Assign(T& to, const T& from) {
    if constexpr (std::is_array_v<T>) {
        for (std::size_t i = 0; i < std::extent_v<T>; ++i) {
            Assign(to[i], from[i]);
        }
    } else {
        to = from;
    }
}

template <typename T>
bool Equal(const T& a, const T& b) {
    if constexpr (std::is_array_v<T>) {
        for (std::size_t i = 0; i < std::extent_v<T>; ++i) {
            if (!Equal(a[i], b[i])) {
                return false;
            }
        }
        return true;
    } else {
        return a == b;
    }
}

}  // namespace

CDeviceConfig::CDeviceConfig() {
    Reset();
}

void CDeviceConfig::Reset() {
    m_bUsbConnection = 0;
    m_nCallerIdTiming = 0;
    m_nFlashDuration = kDefaultFlashDuration;
    m_nServiceProtocol = 0;
    m_bClipOnCw1 = 0;
    m_bClipOnCw2 = 0;
    m_nBodAddTime = 0;
    m_nBodAddRate = 0;
    m_nBodDropTime = 0;
    m_nBodDropRate = 0;
    m_bMultilink = 0;
    m_nProtocol = 0;
    m_bSettingsModified = 0;
    m_bOtherModified = 0;
    m_bResetCharges = 0;
    m_nStoreProfile = 0;

    m_nLastCharge1 = 0;
    m_nLastCharge2 = 0;
    m_nLastChargeDte = 0;
    m_nTotalCharge1 = 0;
    m_nTotalCharge2 = 0;
    m_nTotalChargeDte = 0;

    m_nOwnNumber1 = kOwnNumberNone;
    m_nOwnNumber2 = kOwnNumberNone;
    m_nOwnNumberDte = kOwnNumberNone;
    m_bDelayedClearBack1 = 0;
    m_bDelayedClearBack2 = 0;
    m_bCallWaiting1 = 0;
    m_bCallWaiting2 = 0;
    m_bClip = 0;
    m_bMeteringPulse1 = 0;
    m_bMeteringPulse2 = 0;
    for (std::string& msn : m_strDteMsn) {
        msn.clear();
    }
    for (std::string& msn : m_strPhoneMsn) {
        msn.clear();
    }

    m_wModelVersion = kVersionNotRead;
    m_wHardwareVersion = kVersionNotRead;
    m_wFirmwareVersion = kVersionNotRead;
    m_strCountry.clear();

    m_bMessageWaiting1 = 0;
    m_bMessageWaiting2 = 0;
    m_bClir1 = 0;
    m_bClir2 = 0;
    m_bColr1 = 0;
    m_bColr2 = 0;
    m_nTerminalType1 = 0;
    m_nTerminalType2 = 0;
    for (auto& port : m_byModemLlc) {
        for (std::uint8_t& octet : port) {
            octet = 0;
        }
    }

    m_nX25CugNumber = 0;
    m_nX25Hic = 0;
    m_nX25Layer2Window = 0;
    m_nX25Layer3Window = 0;
    m_nX25PacketSize = 0;
    m_nX25Lcn = 0;
    m_nX25Lic = 0;
    m_bX25Spvc = 0;
    m_bX25UsePad = 0;
    m_bX25Pvc = 0;
    m_bX25SendRestart = 0;
    m_nX25Tei = 0;
    m_nX25WaitRestart = 0;
    m_strX25Address.clear();
    m_bX25TransparentProfile = 0;
    m_bX25PadCall = 0;

    m_bX25Available = 0;
    m_bFskLevelAvailable = 1;
}

void CDeviceConfig::CopyFrom(const CDeviceConfig& other) {
    // Resetting first would wipe the very values about to be copied.
    if (&other == this) {
        return;
    }
    // Every field is carried, including those Reset keeps: a device copy that
    // missed them would make each write job resend values that did not change.
    Reset();
    ForEachField(*this, other, [](auto& to, const auto& from) { Assign(to, from); });
}

bool CDeviceConfig::SameParameters(const CDeviceConfig& other) const {
    bool same = true;
    ForEachField(*this, other, [&same](const auto& a, const auto& b) {
        if (same && !Equal(a, b)) {
            same = false;
        }
    });
    return same;
}

int CDeviceConfig::ProtocolToS82(int protocol) {
    if (protocol < 0 || protocol >= kProtocolCount) {
        return -1;
    }
    return kProtocolS82[protocol];
}

int CDeviceConfig::S82ToProtocol(int s82) {
    for (int protocol = 0; protocol < kProtocolCount; ++protocol) {
        if (kProtocolS82[protocol] == s82) {
            return protocol;
        }
    }
    return -1;
}

std::string CDeviceConfig::FormatVersion(std::uint16_t w) {
    return std::to_string(w >> 8) + "." + std::to_string(w & 0xFF);
}
