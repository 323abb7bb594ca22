#include "params/field_limits.h"

#include <array>

namespace {

#define VARDEX_LIMITS(field, lo, hi)              \
    IntFieldLimits {                              \
#field, &CDeviceConfig::field, lo, hi, lo \
    }

constexpr std::array kTable = {
    VARDEX_LIMITS(m_bBapCallBack, 0, 1),
    VARDEX_LIMITS(m_bBapSupport, 0, 1),
    VARDEX_LIMITS(m_nCallerIdTiming, 0, 1),
    VARDEX_LIMITS(m_nFlashDuration, 0, 100),
    VARDEX_LIMITS(m_nServiceProtocol, 0, 1),
    VARDEX_LIMITS(m_bFullEmergencyMode, 0, 1),
    VARDEX_LIMITS(m_bClipOnCw1, 0, 1),
    VARDEX_LIMITS(m_bClipOnCw2, 0, 1),
    VARDEX_LIMITS(m_nBodAddTime, 0, 255),
    VARDEX_LIMITS(m_nBodAddRate, 0, 64),
    VARDEX_LIMITS(m_nBodDropTime, 0, 255),
    VARDEX_LIMITS(m_nBodDropRate, 0, 128),
    VARDEX_LIMITS(m_bMultilink, 0, 1),
    VARDEX_LIMITS(m_nProtocol, 0, CDeviceConfig::kProtocolCount - 1),
    VARDEX_LIMITS(m_bResetCharges, 0, 1),
    VARDEX_LIMITS(m_nPowerUpProfile, 0, 4),
    VARDEX_LIMITS(m_nStoreProfile, 0, 4),
    VARDEX_LIMITS(m_nOwnNumber1, -1, 2),
    VARDEX_LIMITS(m_nOwnNumber2, -1, 2),
    VARDEX_LIMITS(m_nOwnNumberDte, -1, 2),
    VARDEX_LIMITS(m_bDelayedClearBack1, 0, 1),
    VARDEX_LIMITS(m_bDelayedClearBack2, 0, 1),
    VARDEX_LIMITS(m_bCallWaiting1, 0, 1),
    VARDEX_LIMITS(m_bCallWaiting2, 0, 1),
    VARDEX_LIMITS(m_bClip, 0, 1),
    VARDEX_LIMITS(m_nFskLevel, 0, 19),
    VARDEX_LIMITS(m_bMeteringPulse1, 0, 1),
    VARDEX_LIMITS(m_bMeteringPulse2, 0, 1),
    VARDEX_LIMITS(m_bNoIncomingMlppp1, 0, 1),
    VARDEX_LIMITS(m_bNoIncomingMlppp2, 0, 1),
    VARDEX_LIMITS(m_bMessageWaiting1, 0, 1),
    VARDEX_LIMITS(m_bMessageWaiting2, 0, 1),
    VARDEX_LIMITS(m_bClir1, 0, 1),
    VARDEX_LIMITS(m_bClir2, 0, 1),
    VARDEX_LIMITS(m_bColr1, 0, 1),
    VARDEX_LIMITS(m_bColr2, 0, 1),
    VARDEX_LIMITS(m_nTerminalType1, 0, 2),
    VARDEX_LIMITS(m_nTerminalType2, 0, 2),
    // 255 is the device's "no closed user group".
    IntFieldLimits{"m_nX25CugNumber", &CDeviceConfig::m_nX25CugNumber, 0, 99, 255},
    VARDEX_LIMITS(m_nX25Hic, 0, 255),
    VARDEX_LIMITS(m_nX25Layer2Window, 0, 15),
    VARDEX_LIMITS(m_nX25Layer3Window, 0, 15),
    VARDEX_LIMITS(m_nX25PacketSize, 4, 7),
    VARDEX_LIMITS(m_nX25Lcn, 0, 255),
    VARDEX_LIMITS(m_nX25Lic, 0, 255),
    VARDEX_LIMITS(m_bX25Spvc, 0, 1),
    VARDEX_LIMITS(m_bX25UsePad, 0, 1),
    VARDEX_LIMITS(m_bX25Pvc, 0, 1),
    VARDEX_LIMITS(m_bX25SendRestart, 0, 1),
    VARDEX_LIMITS(m_nX25Tei, 0, 63),
    VARDEX_LIMITS(m_nX25WaitRestart, 0, 3),
    VARDEX_LIMITS(m_bX25TransparentProfile, 0, 1),
    VARDEX_LIMITS(m_bX25PadCall, 0, 1),
};

#undef VARDEX_LIMITS

}  // namespace

std::span<const IntFieldLimits> IntFieldTable() {
    return kTable;
}

const IntFieldLimits* LimitsOf(int CDeviceConfig::*member) {
    for (const IntFieldLimits& field : kTable) {
        if (field.member == member) {
            return &field;
        }
    }
    return nullptr;
}
