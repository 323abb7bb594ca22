// The register fields of each query and setting row, in the order the row asks
// and writes them. Where each lives in its register is the field table's
// business; a row only says which fields it covers.
#pragma once

#include "params/device_config.h"

namespace row_fields {

using Member = int CDeviceConfig::*;
using R = CDeviceConfig;

inline constexpr Member kServiceProtocol[] = {&R::m_nServiceProtocol};
inline constexpr Member kCallWaiting[] = {&R::m_bCallWaiting1, &R::m_bCallWaiting2};
// S84 is one register, written whole.
inline constexpr Member kClip[] = {&R::m_bClip, &R::m_bClipOnCw1, &R::m_bClipOnCw2};
inline constexpr Member kMeteringPulse[] = {&R::m_bMeteringPulse1, &R::m_bMeteringPulse2};
inline constexpr Member kDelayedClearBack[] = {&R::m_bDelayedClearBack1, &R::m_bDelayedClearBack2};
inline constexpr Member kPowerUpProfile[] = {&R::m_nPowerUpProfile};
inline constexpr Member kPppOptions[] = {&R::m_bMultilink, &R::m_nBodAddTime, &R::m_nBodDropTime,
                                         &R::m_nBodAddRate, &R::m_nBodDropRate};
// The X.25 registers before and after the address, which is text.
inline constexpr Member kX25BeforeAddress[] = {&R::m_nX25Lic, &R::m_nX25Hic, &R::m_nX25Tei,
                                               &R::m_nX25Lcn};
inline constexpr Member kX25AfterAddress[] = {
    &R::m_nX25WaitRestart, &R::m_bX25PadCall,      &R::m_bX25TransparentProfile,
    &R::m_bX25Pvc,         &R::m_bX25SendRestart,  &R::m_bX25UsePad,
    &R::m_bX25Spvc,        &R::m_nX25Layer2Window, &R::m_nX25Layer3Window,
    &R::m_nX25CugNumber,   &R::m_nX25PacketSize,
};
inline constexpr Member kEmergencyMode[] = {&R::m_bFullEmergencyMode};
inline constexpr Member kCallerIdTiming[] = {&R::m_nCallerIdTiming};
inline constexpr Member kMlpppIncoming[] = {&R::m_bNoIncomingMlppp1, &R::m_bNoIncomingMlppp2};
inline constexpr Member kFlashDuration[] = {&R::m_nFlashDuration};
inline constexpr Member kBap[] = {&R::m_bBapSupport, &R::m_bBapCallBack};
inline constexpr Member kRestrictions[] = {&R::m_bClir1, &R::m_bClir2, &R::m_bColr1, &R::m_bColr2};
inline constexpr Member kMessageWaiting[] = {&R::m_bMessageWaiting1, &R::m_bMessageWaiting2};
inline constexpr Member kTerminalTypes[] = {&R::m_nTerminalType1, &R::m_nTerminalType2};

}  // namespace row_fields
