#include "params/setting_fields.h"

#include <array>

namespace {

constexpr SettingVariant kAll = SettingVariant::kAll;
constexpr SettingVariant kX25 = SettingVariant::kX25;

// One line per field; the row is the one in param_setting.cpp that compares
// and sends it.
constexpr std::array kFields = {
    SettingField{"m_bBapCallBack", SetBap, kAll, true},
    SettingField{"m_bBapSupport", SetBap, kAll, true},
    SettingField{"m_nCallerIdTiming", SetCallerIdTiming, kAll, true},
    SettingField{"m_nFlashDuration", SetFlashDuration, kAll, true},
    SettingField{"m_nServiceProtocol", SetServiceProtocol, kAll, true},
    SettingField{"m_bFullEmergencyMode", SetEmergencyMode, kAll, true},
    SettingField{"m_bClipOnCw1", SetClip, kAll, true},
    SettingField{"m_bClipOnCw2", SetClip, kAll, true},
    SettingField{"m_nBodAddTime", SetPppOptions, kAll, true},
    SettingField{"m_nBodAddRate", SetPppOptions, kAll, true},
    SettingField{"m_nBodDropTime", SetPppOptions, kAll, true},
    SettingField{"m_nBodDropRate", SetPppOptions, kAll, true},
    SettingField{"m_bMultilink", SetPppOptions, kAll, true},
    SettingField{"m_nProtocol", SetProtocol, kAll, true},
    // Read back as the charge counters, which must then all be zero.
    SettingField{"m_bResetCharges", ResetCharges, kAll, true},
    SettingField{"m_nPowerUpProfile", SetPowerUpProfile, kAll, true},
    // Not read back, but a refusal is the row's fault.
    SettingField{"m_nStoreProfile", StoreProfile, kAll, true},
    SettingField{"m_nOwnNumber1", SetOwnNumbers, kAll, true},
    SettingField{"m_nOwnNumber2", SetOwnNumbers, kAll, true},
    SettingField{"m_nOwnNumberDte", SetOwnNumbers, kAll, true},
    SettingField{"m_bDelayedClearBack1", SetDelayedClearBack, kAll, true},
    SettingField{"m_bDelayedClearBack2", SetDelayedClearBack, kAll, true},
    SettingField{"m_bCallWaiting1", SetCallWaiting, kAll, true},
    SettingField{"m_bCallWaiting2", SetCallWaiting, kAll, true},
    SettingField{"m_bClip", SetClip, kAll, true},
    SettingField{"m_nFskLevel", SetFskLevel, SettingVariant::kFskLevel, true},
    SettingField{"m_bMeteringPulse1", SetMeteringPulse, kAll, true},
    SettingField{"m_bMeteringPulse2", SetMeteringPulse, kAll, true},
    SettingField{"m_bNoIncomingMlppp1", SetMlpppIncoming, kAll, true},
    SettingField{"m_bNoIncomingMlppp2", SetMlpppIncoming, kAll, true},
    SettingField{"m_strDteMsn", SetMsns, kAll, true},
    SettingField{"m_strPhoneMsn", SetMsns, kAll, true},
    SettingField{"m_bMessageWaiting1", SetMessageWaiting, kAll, true},
    SettingField{"m_bMessageWaiting2", SetMessageWaiting, kAll, true},
    // The restrictions are not read back after a write.
    SettingField{"m_bClir1", SetRestrictions, kAll, false},
    SettingField{"m_bClir2", SetRestrictions, kAll, false},
    SettingField{"m_bColr1", SetRestrictions, kAll, false},
    SettingField{"m_bColr2", SetRestrictions, kAll, false},
    SettingField{"m_nTerminalType1", SetTerminalTypes, SettingVariant::kTerminals, true},
    SettingField{"m_nTerminalType2", SetTerminalTypes, SettingVariant::kTerminals, true},
    SettingField{"m_byModemLlc", SetModemLlc, kAll, true},
    SettingField{"m_nX25CugNumber", SetX25, kX25, true},
    SettingField{"m_nX25Hic", SetX25, kX25, true},
    SettingField{"m_nX25Layer2Window", SetX25, kX25, true},
    SettingField{"m_nX25Layer3Window", SetX25, kX25, true},
    SettingField{"m_nX25PacketSize", SetX25, kX25, true},
    SettingField{"m_nX25Lcn", SetX25, kX25, true},
    SettingField{"m_nX25Lic", SetX25, kX25, true},
    SettingField{"m_bX25Spvc", SetX25, kX25, true},
    SettingField{"m_bX25UsePad", SetX25, kX25, true},
    SettingField{"m_bX25Pvc", SetX25, kX25, true},
    SettingField{"m_bX25SendRestart", SetX25, kX25, true},
    SettingField{"m_nX25Tei", SetX25, kX25, true},
    SettingField{"m_nX25WaitRestart", SetX25, kX25, true},
    SettingField{"m_strX25Address", SetX25, kX25, true},
    SettingField{"m_bX25TransparentProfile", SetX25, kX25, true},
    SettingField{"m_bX25PadCall", SetX25, kX25, true},
};

}  // namespace

std::span<const SettingField> SettingFieldTable() {
    return kFields;
}

const SettingField* SettingFieldOf(std::string_view name) {
    for (const SettingField& field : kFields) {
        if (name == field.name) {
            return &field;
        }
    }
    return nullptr;
}

int SettingRowIndex(const SettingField& field) {
    for (int i = 0; ParameterSettingTable[i] != nullptr; ++i) {
        if (ParameterSettingTable[i] == field.row) {
            return i;
        }
    }
    return -1;
}

bool SettingAvailable(const SettingField& field, const CDeviceConfig& record) {
    switch (field.variant) {
        case SettingVariant::kX25:
            return record.m_bX25Available != 0;
        case SettingVariant::kFskLevel:
            return record.m_bFskLevelAvailable != 0;
        case SettingVariant::kTerminals:
            return record.m_strCountry == "Hungary";
        case SettingVariant::kAll:
            break;
    }
    return true;
}
