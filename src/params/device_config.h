// CDeviceConfig is the program's model of one adapter: every parameter the pages
// show and the parameter rows read and write, the identification filled in by
// detection, and a few bookkeeping flags of the user interface.
//
// The application keeps two of them: the working record (whose channel talks to
// the device and which the pages edit) and the device copy (what the device is
// known to hold). A setting is sent only where the two differ, so CopyFrom and
// SameParameters must cover every field: they, and Reset, work from the field
// table (params/field_table.h), where a new field must be described.
//
// Fields are public: the query and setting tables and the pages work on them
// directly. Fields marked "kept by Reset" hold values that only the device
// reports; Reset leaves them as they are.
//
// Threads: used by one thread at a time (the user interface or a job's worker);
// the record takes no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/device_port.h"

namespace vardex::params {

class CDeviceConfig : public vardex::link::CDevicePort {
public:
    // Connection protocol indexes (m_nProtocol), the order of the Connection
    // page's radio buttons.
    static constexpr int kProtocolPpp = 0;
    static constexpr int kProtocolVoiceTransparent = 1;
    static constexpr int kProtocolPppTransparent = 2;
    static constexpr int kProtocolDataTransparent = 3;
    static constexpr int kProtocolV120 = 4;
    static constexpr int kProtocolV110 = 5;
    static constexpr int kProtocolX25DChannel = 6;
    static constexpr int kProtocolCount = 7;

    static constexpr std::uint16_t kVersionNotRead = 0xFFFF;
    static constexpr int kOwnNumberNone = -1;
    static constexpr int kDefaultFlashDuration = 20;  // 10 ms units

    static constexpr std::size_t kDteMsnCount = 3;
    static constexpr std::size_t kPhoneMsnCount = 6;  // Phone 1: 0..2, Phone 2: 3..5
    static constexpr std::size_t kLlcPorts = 2;
    static constexpr std::size_t kLlcOctets = 3;  // octets 5A, 5C, 5D

    CDeviceConfig();
    ~CDeviceConfig() override = default;

    // Gives every field its default, except those kept by Reset.
    void Reset();
    // Takes every field of other; the channel stays as it is. Copying a record
    // onto itself changes nothing.
    void CopyFrom(const CDeviceConfig& other);
    // True when every field that CopyFrom carries is equal in both records.
    bool SameParameters(const CDeviceConfig& other) const;

    // How the device last answered a query: refused or not (an answer clears an
    // earlier refusal of the same command). fields: the member names it reads.
    void NoteQueryAnswer(const std::string& command, const std::vector<std::string>& fields,
                         bool refused);
    // Whether the last query that reads the field was refused.
    bool FieldRefused(std::string_view member) const;

    // S82 register code of a protocol index; -1 for an index outside the table.
    static int ProtocolToS82(int protocol);
    // Protocol index of an S82 code; -1 for a code outside the table.
    static int S82ToProtocol(int s82);
    // "major.minor" of a version word (major in the high byte).
    static std::string FormatVersion(std::uint16_t w);

    // Identification and bookkeeping.
    int m_bUsbConnection = 0;
    int m_bBapCallBack = 0;  // kept by Reset
    int m_bBapSupport = 0;   // kept by Reset
    int m_nCallerIdTiming = 0;
    int m_nFlashDuration = 0;
    int m_nServiceProtocol = 0;
    int m_bFullEmergencyMode = 0;  // kept by Reset
    int m_bClipOnCw1 = 0;
    int m_bClipOnCw2 = 0;
    int m_nBodAddTime = 0;
    int m_nBodAddRate = 0;
    int m_nBodDropTime = 0;
    int m_nBodDropRate = 0;
    int m_bMultilink = 0;
    int m_nProtocol = 0;
    int m_bSettingsModified = 0;
    int m_bOtherModified = 0;
    int m_bResetCharges = 0;
    int m_nPowerUpProfile = 0;  // kept by Reset
    int m_nStoreProfile = 0;

    // Charge counters.
    int m_nLastCharge1 = 0;
    int m_nLastCharge2 = 0;
    int m_nLastChargeDte = 0;
    int m_nTotalCharge1 = 0;
    int m_nTotalCharge2 = 0;
    int m_nTotalChargeDte = 0;

    // Telephony.
    int m_nOwnNumber1 = 0;
    int m_nOwnNumber2 = 0;
    int m_nOwnNumberDte = 0;
    int m_bDelayedClearBack1 = 0;
    int m_bDelayedClearBack2 = 0;
    int m_bCallWaiting1 = 0;
    int m_bCallWaiting2 = 0;
    int m_bClip = 0;
    int m_nFskLevel = 0;  // kept by Reset
    int m_bMeteringPulse1 = 0;
    int m_bMeteringPulse2 = 0;
    int m_bNoIncomingMlppp1 = 0;  // kept by Reset
    int m_bNoIncomingMlppp2 = 0;  // kept by Reset
    std::string m_strDteMsn[kDteMsnCount];
    std::string m_strPhoneMsn[kPhoneMsnCount];

    // Device identification.
    std::uint16_t m_wModelVersion = 0;
    std::uint16_t m_wHardwareVersion = 0;
    std::uint16_t m_wFirmwareVersion = 0;
    std::string m_strCountry;
    std::string m_strCrc;  // kept by Reset

    // Telephony, continued.
    int m_bMessageWaiting1 = 0;
    int m_bMessageWaiting2 = 0;
    int m_bClir1 = 0;
    int m_bClir2 = 0;
    int m_bColr1 = 0;
    int m_bColr2 = 0;
    int m_nTerminalType1 = 0;
    int m_nTerminalType2 = 0;
    std::uint8_t m_byModemLlc[kLlcPorts][kLlcOctets] = {};  // [port][octet]

    // X.25.
    int m_nX25CugNumber = 0;
    int m_nX25Hic = 0;
    int m_nX25Layer2Window = 0;
    int m_nX25Layer3Window = 0;
    int m_nX25PacketSize = 0;
    int m_nX25Lcn = 0;
    int m_nX25Lic = 0;
    int m_bX25Spvc = 0;
    int m_bX25UsePad = 0;
    int m_bX25Pvc = 0;
    int m_bX25SendRestart = 0;
    int m_nX25Tei = 0;
    int m_nX25WaitRestart = 0;
    std::string m_strX25Address;
    int m_bX25TransparentProfile = 0;
    int m_bX25PadCall = 0;

    // Capabilities of the country variant.
    int m_bX25Available = 0;
    int m_bFskLevelAvailable = 0;

    // The queries the device answered with "ERROR" (also when asked again),
    // each with the fields it reads, in the order asked. Those fields hold what
    // a refusal reads as, not the device's value: they are shown as unknown,
    // kept out of settings files and never sent unless a person changes them.
    // Reset clears it and CopyFrom carries it; it is no setting.
    struct RefusedQuery {
        std::string command;
        std::vector<std::string> fields;
    };
    std::vector<RefusedQuery> m_refusedQueries;
};

}  // namespace vardex::params
