#include "params/field_table.h"

#include "params/telephony_rules.h"

#include <algorithm>
#include <array>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace vardex::params {

namespace {

using vardex::params::Feature;

constexpr FieldType kFlag = FieldType::kFlag;
constexpr ChangeKind kSetting = ChangeKind::kSetting;
constexpr ChangeKind kOther = ChangeKind::kOther;
constexpr ResetRule kKept = ResetRule::kKept;
constexpr Feature kX25 = Feature::kX25;
constexpr Feature kConnection = Feature::kConnection;

// One bit, written as "ATSr.b=".
constexpr RegisterPlace Bit(int reg, int bit) {
    return {reg, bit, 1, Coding::kBits, Writing::kBits};
}
// One bit that is set in the device when the feature is off.
constexpr RegisterPlace InvertedBit(int reg, int bit) {
    return {reg, bit, 1, Coding::kInvertedBit, Writing::kBits};
}
// One bit asked and written on its own.
constexpr RegisterPlace QueriedBit(int reg, int bit) {
    return {reg, bit, 1, Coding::kBitQuery, Writing::kBits};
}
// A whole register, written as "ATSr=".
constexpr RegisterPlace Whole(int reg) {
    return {reg, 0, 8, Coding::kBits, Writing::kWhole};
}
// A group of bits.
constexpr RegisterPlace Bits(int reg, int first, int width, Writing writing) {
    return {reg, first, width, Coding::kBits, writing};
}

// Members given by name once: the table's name is the member's; beside it the
// readable name settings files may use instead ("group.setting": device, port1,
// port2, dte, telephony, ppp, x25, profile, charges).
#define VARDEX_MEMBER(f, readable_name) \
    .name = #f, .readable = readable_name, .member = &CDeviceConfig::f

const auto& Table() {
    static const auto fields = std::to_array<RecordField>({
        // Identification and bookkeeping.
        {VARDEX_MEMBER(m_bUsbConnection, "device.usb_connection"), .type = kFlag, .hi = 1,
         .derived = true},
        {VARDEX_MEMBER(m_bBapCallBack, "ppp.bap_callback"), .type = kFlag, .reset = kKept, .hi = 1,
         .change = kSetting, .row = Row::kBap, .changeable = kConnection, .place = Bit(102, 1)},
        {VARDEX_MEMBER(m_bBapSupport, "ppp.bap"), .type = kFlag, .reset = kKept, .hi = 1,
         .change = kSetting, .row = Row::kBap, .changeable = kConnection, .place = Bit(102, 0)},
        {VARDEX_MEMBER(m_nCallerIdTiming, "telephony.caller_id_timing"), .hi = 1,
         .change = kSetting, .row = Row::kCallerIdTiming, .place = Bit(101, 0)},
        {VARDEX_MEMBER(m_nFlashDuration, "telephony.flash_duration"),
         .def = CDeviceConfig::kDefaultFlashDuration, .hi = vardex::params::kFlashMax,
         .change = kSetting, .row = Row::kFlashDuration, .place = Whole(56)},
        {VARDEX_MEMBER(m_nServiceProtocol, "telephony.service_protocol"), .hi = 1,
         .change = kSetting, .row = Row::kServiceProtocol, .place = Bit(100, 0)},
        {VARDEX_MEMBER(m_bFullEmergencyMode, "telephony.full_emergency_mode"), .type = kFlag,
         .reset = kKept, .hi = 1, .change = kSetting, .row = Row::kEmergencyMode,
         .place = {123, 0, 1, Coding::kNonZero, Writing::kBits}},
        // S84 is written whole, with m_bClip.
        {VARDEX_MEMBER(m_bClipOnCw1, "port1.clip_on_call_waiting"), .type = kFlag, .hi = 1,
         .change = kSetting, .row = Row::kClip, .place = Bits(84, 6, 1, Writing::kWhole)},
        {VARDEX_MEMBER(m_bClipOnCw2, "port2.clip_on_call_waiting"), .type = kFlag, .hi = 1,
         .change = kSetting, .row = Row::kClip, .place = Bits(84, 7, 1, Writing::kWhole)},
        {VARDEX_MEMBER(m_nBodAddTime, "ppp.bod_add_time"), .hi = 255, .change = kSetting,
         .row = Row::kPppOptions, .changeable = kConnection, .place = Whole(124)},
        {VARDEX_MEMBER(m_nBodAddRate, "ppp.bod_add_rate"), .hi = 64, .change = kSetting,
         .row = Row::kPppOptions, .changeable = kConnection, .place = Whole(126)},
        {VARDEX_MEMBER(m_nBodDropTime, "ppp.bod_drop_time"), .hi = 255, .change = kSetting,
         .row = Row::kPppOptions, .changeable = kConnection, .place = Whole(125)},
        {VARDEX_MEMBER(m_nBodDropRate, "ppp.bod_drop_rate"), .hi = 128, .change = kSetting,
         .row = Row::kPppOptions, .changeable = kConnection, .place = Whole(127)},
        // Multilink PPP takes both S87 bits 5 and 6.
        {VARDEX_MEMBER(m_bMultilink, "ppp.multilink"), .type = kFlag, .hi = 1, .change = kSetting,
         .row = Row::kPppOptions, .changeable = kConnection,
         .place = {87, 5, 2, Coding::kAllBits, Writing::kBits}},
        // A code table of its own (S82), not a register field.
        {VARDEX_MEMBER(m_nProtocol, "dte.protocol"), .hi = CDeviceConfig::kProtocolCount - 1,
         .change = kSetting, .row = Row::kProtocol, .changeable = kConnection},
        {VARDEX_MEMBER(m_bSettingsModified, "device.settings_modified"), .type = kFlag, .hi = 1,
         .derived = true},
        {VARDEX_MEMBER(m_bOtherModified, "device.other_modified"), .type = kFlag, .hi = 1,
         .derived = true},
        // A request the row consumes; the counters read back tell whether it worked.
        {VARDEX_MEMBER(m_bResetCharges, "charges.reset"), .type = kFlag, .hi = 1, .change = kOther,
         .row = Row::kCharges},
        // Bits 5..7; 4 is the factory defaults.
        {VARDEX_MEMBER(m_nPowerUpProfile, "profile.power_up"), .reset = kKept, .hi = 4,
         .outside_is_no_choice = true, .change = kOther, .row = Row::kPowerUpProfile,
         .place = Bits(15, 5, 3, Writing::kWhole)},
        // Not read back, but a refusal is the row's fault.
        {VARDEX_MEMBER(m_nStoreProfile, "profile.store"), .hi = 4, .change = kOther,
         .derived = true, .row = Row::kStoreProfile},

        // Charge counters: only the device reports them.
        {VARDEX_MEMBER(m_nLastCharge1, "charges.last_port1"), .hi = INT_MAX, .row = Row::kCharges},
        {VARDEX_MEMBER(m_nLastCharge2, "charges.last_port2"), .hi = INT_MAX, .row = Row::kCharges},
        {VARDEX_MEMBER(m_nLastChargeDte, "charges.last_dte"), .hi = INT_MAX, .row = Row::kCharges},
        {VARDEX_MEMBER(m_nTotalCharge1, "charges.total_port1"), .hi = INT_MAX,
         .row = Row::kCharges},
        {VARDEX_MEMBER(m_nTotalCharge2, "charges.total_port2"), .hi = INT_MAX,
         .row = Row::kCharges},
        {VARDEX_MEMBER(m_nTotalChargeDte, "charges.total_dte"), .hi = INT_MAX,
         .row = Row::kCharges},

        // Telephony.
        {VARDEX_MEMBER(m_nOwnNumber1, "port1.own_number"), .def = CDeviceConfig::kOwnNumberNone,
         .lo = -1, .hi = 2, .change = kOther, .row = Row::kOwnNumbers},
        {VARDEX_MEMBER(m_nOwnNumber2, "port2.own_number"), .def = CDeviceConfig::kOwnNumberNone,
         .lo = -1, .hi = 2, .change = kOther, .row = Row::kOwnNumbers},
        {VARDEX_MEMBER(m_nOwnNumberDte, "dte.own_number"), .def = CDeviceConfig::kOwnNumberNone,
         .lo = -1, .hi = 2, .change = kOther, .row = Row::kOwnNumbers},
        {VARDEX_MEMBER(m_bDelayedClearBack1, "port1.delayed_clear_back"), .type = kFlag, .hi = 1,
         .change = kSetting, .row = Row::kDelayedClearBack, .place = InvertedBit(83, 0)},
        {VARDEX_MEMBER(m_bDelayedClearBack2, "port2.delayed_clear_back"), .type = kFlag, .hi = 1,
         .change = kSetting, .row = Row::kDelayedClearBack, .place = InvertedBit(83, 1)},
        {VARDEX_MEMBER(m_bCallWaiting1, "port1.call_waiting"), .type = kFlag, .hi = 1,
         .change = kSetting, .row = Row::kCallWaiting, .place = Bit(79, 2)},
        {VARDEX_MEMBER(m_bCallWaiting2, "port2.call_waiting"), .type = kFlag, .hi = 1,
         .change = kSetting, .row = Row::kCallWaiting, .place = Bit(79, 3)},
        {VARDEX_MEMBER(m_bClip, "telephony.clip"), .type = kFlag, .hi = 1, .change = kSetting,
         .row = Row::kClip, .place = {84, 4, 1, Coding::kInvertedBit, Writing::kWhole}},
        // "AT/CLIPLEVEL", not a register.
        {VARDEX_MEMBER(m_nFskLevel, "telephony.fsk_level"), .reset = kKept,
         .hi = vardex::params::kFskLevelMax, .offered = Feature::kFskLevel, .change = kSetting,
         .row = Row::kFskLevel},
        {VARDEX_MEMBER(m_bMeteringPulse1, "port1.metering_pulse"), .type = kFlag, .hi = 1,
         .change = kSetting, .row = Row::kMeteringPulse, .place = Bit(89, 6)},
        {VARDEX_MEMBER(m_bMeteringPulse2, "port2.metering_pulse"), .type = kFlag, .hi = 1,
         .change = kSetting, .row = Row::kMeteringPulse, .row_order = 1, .place = Bit(89, 5)},
        {VARDEX_MEMBER(m_bNoIncomingMlppp1, "port1.no_incoming_mlppp"), .type = kFlag,
         .reset = kKept, .hi = 1, .change = kSetting, .row = Row::kMlpppIncoming,
         .changeable = Feature::kNotHungarian, .place = Bit(118, 2)},
        {VARDEX_MEMBER(m_bNoIncomingMlppp2, "port2.no_incoming_mlppp"), .type = kFlag,
         .reset = kKept, .hi = 1, .change = kSetting, .row = Row::kMlpppIncoming,
         .changeable = Feature::kNotHungarian, .place = Bit(118, 3)},
        // Subscriber numbers: as many characters as the device takes
        // (telephony_rules.h says which).
        {VARDEX_MEMBER(m_strDteMsn, "dte.msn"), .type = FieldType::kTextArray,
         .hi = vardex::params::kMsnLengthMax, .change = kOther, .row = Row::kMsns},
        {VARDEX_MEMBER(m_strPhoneMsn, "telephony.phone_msn"), .type = FieldType::kTextArray,
         .hi = vardex::params::kMsnLengthMax, .change = kOther, .row = Row::kMsns},

        // Device identification, set by detection.
        {VARDEX_MEMBER(m_wModelVersion, "device.model_version"), .type = FieldType::kWord,
         .def = CDeviceConfig::kVersionNotRead, .derived = true},
        {VARDEX_MEMBER(m_wHardwareVersion, "device.hardware_version"), .type = FieldType::kWord,
         .def = CDeviceConfig::kVersionNotRead, .derived = true},
        {VARDEX_MEMBER(m_wFirmwareVersion, "device.firmware_version"), .type = FieldType::kWord,
         .def = CDeviceConfig::kVersionNotRead, .derived = true},
        {VARDEX_MEMBER(m_strCountry, "device.country"), .type = FieldType::kText, .derived = true},
        {VARDEX_MEMBER(m_strCrc, "device.crc"), .type = FieldType::kText, .reset = kKept,
         .derived = true},

        // Telephony, continued.
        {VARDEX_MEMBER(m_bMessageWaiting1, "port1.message_waiting"), .type = kFlag, .hi = 1,
         .change = kSetting, .row = Row::kMessageWaiting, .changeable = Feature::kHungarian,
         .place = Bit(86, 0)},
        {VARDEX_MEMBER(m_bMessageWaiting2, "port2.message_waiting"), .type = kFlag, .hi = 1,
         .change = kSetting, .row = Row::kMessageWaiting, .changeable = Feature::kHungarian,
         .place = Bit(86, 1)},
        // The restrictions are not read back after a write.
        {VARDEX_MEMBER(m_bClir1, "port1.clir"), .type = kFlag, .hi = 1, .change = kSetting,
         .row = Row::kRestrictions, .confirmed = false, .place = Bit(85, 0)},
        {VARDEX_MEMBER(m_bClir2, "port2.clir"), .type = kFlag, .hi = 1, .change = kSetting,
         .row = Row::kRestrictions, .confirmed = false, .place = Bit(85, 1)},
        {VARDEX_MEMBER(m_bColr1, "port1.colr"), .type = kFlag, .hi = 1, .change = kSetting,
         .row = Row::kRestrictions, .confirmed = false, .place = Bit(85, 2)},
        {VARDEX_MEMBER(m_bColr2, "port2.colr"), .type = kFlag, .hi = 1, .change = kSetting,
         .row = Row::kRestrictions, .confirmed = false, .place = Bit(85, 3)},
        {VARDEX_MEMBER(m_nTerminalType1, "port1.terminal_type"), .hi = 2,
         .offered = Feature::kHungarian, .change = kSetting, .row = Row::kTerminalTypes,
         .changeable = Feature::kHungarian, .place = Bits(118, 0, 2, Writing::kChangedBits)},
        {VARDEX_MEMBER(m_nTerminalType2, "port2.terminal_type"), .hi = 2,
         .offered = Feature::kHungarian, .change = kSetting, .row = Row::kTerminalTypes,
         .changeable = Feature::kHungarian, .place = Bits(118, 2, 2, Writing::kChangedBits)},
        // S108..S113, one register per octet.
        {VARDEX_MEMBER(m_byModemLlc, "telephony.modem_llc"), .type = FieldType::kOctets, .hi = 255,
         .change = kSetting, .row = Row::kModemLlc, .changeable = Feature::kHungarian},

        // X.25. 255 is the device's "no closed user group".
        {VARDEX_MEMBER(m_nX25CugNumber, "x25.cug_number"), .hi = 99, .also = 255, .offered = kX25,
         .change = kSetting, .row = Row::kX25, .changeable = kConnection, .place = Whole(105)},
        {VARDEX_MEMBER(m_nX25Hic, "x25.hic"), .hi = 255, .offered = kX25, .change = kSetting,
         .row = Row::kX25, .changeable = kConnection, .place = Whole(58)},
        // The two window sizes share S104, written bit by bit.
        {VARDEX_MEMBER(m_nX25Layer2Window, "x25.layer2_window"), .hi = 15, .offered = kX25,
         .change = kSetting, .row = Row::kX25, .changeable = kConnection,
         .place = Bits(104, 0, 4, Writing::kBits)},
        {VARDEX_MEMBER(m_nX25Layer3Window, "x25.layer3_window"), .hi = 15, .offered = kX25,
         .change = kSetting, .row = Row::kX25, .changeable = kConnection,
         .place = Bits(104, 4, 4, Writing::kBits)},
        {VARDEX_MEMBER(m_nX25PacketSize, "x25.packet_size"), .lo = 4, .hi = 7, .offered = kX25,
         .change = kSetting, .row = Row::kX25, .changeable = kConnection, .place = Whole(106)},
        {VARDEX_MEMBER(m_nX25Lcn, "x25.lcn"), .hi = 255, .offered = kX25, .change = kSetting,
         .row = Row::kX25, .changeable = kConnection, .place = Whole(91)},
        {VARDEX_MEMBER(m_nX25Lic, "x25.lic"), .hi = 255, .offered = kX25, .change = kSetting,
         .row = Row::kX25, .changeable = kConnection, .place = Whole(57)},
        {VARDEX_MEMBER(m_bX25Spvc, "x25.spvc"), .type = kFlag, .hi = 1, .offered = kX25,
         .change = kSetting, .row = Row::kX25, .changeable = kConnection,
         .place = QueriedBit(103, 7)},
        {VARDEX_MEMBER(m_bX25UsePad, "x25.use_pad"), .type = kFlag, .hi = 1, .offered = kX25,
         .change = kSetting, .row = Row::kX25, .changeable = kConnection,
         .place = QueriedBit(103, 6)},
        {VARDEX_MEMBER(m_bX25Pvc, "x25.pvc"), .type = kFlag, .hi = 1, .offered = kX25,
         .change = kSetting, .row = Row::kX25, .changeable = kConnection,
         .place = QueriedBit(103, 4)},
        {VARDEX_MEMBER(m_bX25SendRestart, "x25.send_restart"), .type = kFlag, .hi = 1,
         .offered = kX25, .change = kSetting, .row = Row::kX25, .changeable = kConnection,
         .place = QueriedBit(103, 5)},
        {VARDEX_MEMBER(m_nX25Tei, "x25.tei"), .hi = 63, .offered = kX25, .change = kSetting,
         .row = Row::kX25, .changeable = kConnection, .place = Whole(90)},
        {VARDEX_MEMBER(m_nX25WaitRestart, "x25.wait_restart"), .hi = 3, .offered = kX25,
         .change = kSetting, .row = Row::kX25, .changeable = kConnection,
         .place = Bits(103, 0, 2, Writing::kBits)},
        // "AT!X2", decimal digits.
        {VARDEX_MEMBER(m_strX25Address, "x25.address"), .type = FieldType::kDigits, .hi = 15,
         .offered = kX25, .change = kSetting, .row = Row::kX25, .changeable = kConnection},
        {VARDEX_MEMBER(m_bX25TransparentProfile, "x25.transparent_profile"), .type = kFlag, .hi = 1,
         .offered = kX25, .change = kSetting, .row = Row::kX25, .changeable = kConnection,
         .place = QueriedBit(103, 3)},
        {VARDEX_MEMBER(m_bX25PadCall, "x25.pad_call"), .type = kFlag, .hi = 1, .offered = kX25,
         .change = kSetting, .row = Row::kX25, .changeable = kConnection,
         .place = QueriedBit(103, 2)},

        // Capabilities of the country variant, set by detection.
        {VARDEX_MEMBER(m_bX25Available, "device.x25_available"), .type = kFlag, .hi = 1,
         .derived = true},
        {VARDEX_MEMBER(m_bFskLevelAvailable, "device.fsk_level_available"), .type = kFlag, .def = 1,
         .hi = 1, .derived = true},
    });
    return fields;
}

#undef VARDEX_MEMBER

// The one unpacking of a field's member: element `index` of it in the record,
// counted through its arrays; null when the field holds no T or no such
// element.
template <typename T, typename Record>
auto* ElementOf(const RecordField& field, Record& record, std::size_t index) {
    using Result = std::conditional_t<std::is_const_v<Record>, const T, T>;
    return std::visit(
        [&](auto member) -> Result* {
            auto& value = record.*member;
            using V = std::remove_cvref_t<decltype(value)>;
            if constexpr (!std::is_same_v<std::remove_all_extents_t<V>, T>) {
                return nullptr;
            } else if constexpr (std::rank_v<V> == 0) {
                return index == 0 ? &value : nullptr;
            } else if constexpr (std::rank_v<V> == 1) {
                return index < std::extent_v<V> ? &value[index] : nullptr;
            } else {
                constexpr std::size_t inner = std::extent_v<V, 1>;
                return index < std::extent_v<V> * inner ? &value[index / inner][index % inner]
                                                        : nullptr;
            }
        },
        field.member);
}

template <typename T, typename Record>
auto& Checked(const RecordField& field, Record& record, std::size_t index) {
    auto* element = ElementOf<T>(field, record, index);
    if (element == nullptr) {
        throw std::logic_error(std::string(field.name) + " has no such element");
    }
    return *element;
}

// A number field's element as what it is held in (a version word, an octet,
// or an int), handed to use.
template <typename Record, typename Use>
decltype(auto) WithNumber(const RecordField& field, Record& record, std::size_t element, Use use) {
    switch (field.type) {
        case FieldType::kWord:
            return use(Checked<std::uint16_t>(field, record, element));
        case FieldType::kOctets:
            return use(Checked<std::uint8_t>(field, record, element));
        case FieldType::kFlag:
        case FieldType::kInt:
        case FieldType::kText:
        case FieldType::kDigits:
        case FieldType::kTextArray:
            break;
    }
    return use(Checked<int>(field, record, element));
}

}  // namespace

std::span<const RecordField> RecordFields() {
    return Table();
}

const RecordField* FindField(std::string_view name) {
    for (const RecordField& field : Table()) {
        if (name == field.name || name == field.readable) {
            return &field;
        }
    }
    return nullptr;
}

const RecordField* FieldOf(const FieldMember& member) {
    for (const RecordField& field : Table()) {
        if (field.member == member) {
            return &field;
        }
    }
    return nullptr;
}

bool FieldAvailable(const RecordField& field, const CDeviceConfig& record) {
    return vardex::params::VariantOf(record).Has(field.offered);
}

bool FieldChangeable(const RecordField& field, const CDeviceConfig& record) {
    return WhyUnchangeable(field, record).empty();
}

std::string_view WhyUnchangeable(const RecordField& field, const CDeviceConfig& record) {
    if (!field.Writable()) {
        return "only the device sets it";
    }
    const vardex::params::CountryVariant variant = vardex::params::VariantOf(record);
    for (const vardex::params::Feature needed : {field.offered, field.changeable}) {
        if (!variant.Has(needed)) {
            return vardex::params::WhyNot(needed);
        }
    }
    return {};
}

const RecordField* FindUnchangeable(const CDeviceConfig& before, const CDeviceConfig& wanted) {
    for (const RecordField& field : Table()) {
        if (field.Writable() && !SameField(field, before, wanted) &&
            !FieldChangeable(field, wanted)) {
            return &field;
        }
    }
    return nullptr;
}

std::span<const RecordField* const> RowFields(Row group) {
    // One list per group, made once: the table does not change. Keyed by the
    // group, so that a group added to Row needs nothing here.
    static const auto lists = [] {
        std::map<Row, std::vector<const RecordField*>> all;
        for (const RecordField& field : Table()) {
            if (field.place.reg >= 0) {
                all[field.row].push_back(&field);
            }
        }
        for (auto& [row, list] : all) {
            std::stable_sort(list.begin(), list.end(),
                             [](const RecordField* a, const RecordField* b) {
                                 return std::tie(a->row_order, a->place.reg, a->place.first) <
                                        std::tie(b->row_order, b->place.reg, b->place.first);
                             });
        }
        return all;
    }();
    const auto found = lists.find(group);
    if (found == lists.end()) {
        return {};
    }
    return found->second;
}

int DecodeRegister(const RegisterPlace& place, int register_value) {
    const int mask = (1 << place.width) - 1;
    const int bits = (register_value >> place.first) & mask;
    switch (place.coding) {
        case Coding::kInvertedBit:
            return bits == 0 ? 1 : 0;
        case Coding::kAllBits:
            return bits == mask ? 1 : 0;
        case Coding::kNonZero:
            return register_value != 0 ? 1 : 0;
        case Coding::kBitQuery:
        case Coding::kNone:
            return register_value;
        case Coding::kBits:
            break;
    }
    return bits;
}

long long EncodeRegister(const RegisterPlace& place, int value) {
    const int mask = (1 << place.width) - 1;
    switch (place.coding) {
        case Coding::kInvertedBit:
            return value == 0 ? 1LL << place.first : 0;
        case Coding::kAllBits:
            return value != 0 ? static_cast<long long>(mask) << place.first : 0;
        case Coding::kNonZero:
        case Coding::kBitQuery:
            return value != 0 ? 1LL << place.first : 0;
        case Coding::kBits:
        case Coding::kNone:
            break;
    }
    // A one-bit field sets its bit; a wider one goes in as it is, so that a
    // value the device does not take is refused by it, not cut to fit.
    if (place.width == 1) {
        return value != 0 ? 1LL << place.first : 0;
    }
    return static_cast<long long>(value) << place.first;
}

int BitCommandValue(const RegisterPlace& place, int value, int bit) {
    switch (place.coding) {
        case Coding::kInvertedBit:
            return value == 0 ? 1 : 0;
        case Coding::kAllBits:
            return value;
        case Coding::kBits:
            return place.width == 1 ? value : (value >> bit) & 1;
        case Coding::kNonZero:
        case Coding::kBitQuery:
        case Coding::kNone:
            break;
    }
    return value;
}

std::size_t ElementCount(const RecordField& field) {
    return std::visit(
        [](auto member) -> std::size_t {
            using V = std::remove_reference_t<decltype(std::declval<CDeviceConfig&>().*member)>;
            return sizeof(V) / sizeof(std::remove_all_extents_t<V>);
        },
        field.member);
}

bool HoldsText(const RecordField& field) {
    return field.type == FieldType::kText || field.type == FieldType::kDigits ||
           field.type == FieldType::kTextArray;
}

template <typename T>
T& FieldElement(const RecordField& field, CDeviceConfig& record, std::size_t element) {
    return Checked<T>(field, record, element);
}

template <typename T>
const T& FieldElement(const RecordField& field, const CDeviceConfig& record, std::size_t element) {
    return Checked<T>(field, record, element);
}

// Every type a field's element has.
template int& FieldElement(const RecordField&, CDeviceConfig&, std::size_t);
template const int& FieldElement(const RecordField&, const CDeviceConfig&, std::size_t);
template std::uint16_t& FieldElement(const RecordField&, CDeviceConfig&, std::size_t);
template const std::uint16_t& FieldElement(const RecordField&, const CDeviceConfig&, std::size_t);
template std::uint8_t& FieldElement(const RecordField&, CDeviceConfig&, std::size_t);
template const std::uint8_t& FieldElement(const RecordField&, const CDeviceConfig&, std::size_t);
template std::string& FieldElement(const RecordField&, CDeviceConfig&, std::size_t);
template const std::string& FieldElement(const RecordField&, const CDeviceConfig&, std::size_t);

int FieldNumber(const RecordField& field, const CDeviceConfig& record, std::size_t element) {
    return WithNumber(field, record, element,
                      [](const auto& held) { return static_cast<int>(held); });
}

void SetFieldNumber(const RecordField& field, CDeviceConfig& record, int value,
                    std::size_t element) {
    WithNumber(field, record, element, [value](auto& held) {
        held = static_cast<std::remove_reference_t<decltype(held)>>(value);
    });
}

void ResetField(const RecordField& field, CDeviceConfig& record) {
    if (field.reset == ResetRule::kKept) {
        return;
    }
    for (std::size_t i = 0; i < ElementCount(field); ++i) {
        if (HoldsText(field)) {
            Checked<std::string>(field, record, i).clear();
        } else {
            SetFieldNumber(field, record, field.def, i);
        }
    }
}

void CopyField(const RecordField& field, CDeviceConfig& to, const CDeviceConfig& from) {
    for (std::size_t i = 0; i < ElementCount(field); ++i) {
        CopyElement(field, to, from, i);
    }
}

bool SameField(const RecordField& field, const CDeviceConfig& a, const CDeviceConfig& b) {
    for (std::size_t i = 0; i < ElementCount(field); ++i) {
        if (!SameElement(field, a, b, i)) {
            return false;
        }
    }
    return true;
}

void CopyElement(const RecordField& field, CDeviceConfig& to, const CDeviceConfig& from,
                 std::size_t element) {
    if (HoldsText(field)) {
        Checked<std::string>(field, to, element) = Checked<std::string>(field, from, element);
    } else {
        SetFieldNumber(field, to, FieldNumber(field, from, element), element);
    }
}

bool SameElement(const RecordField& field, const CDeviceConfig& a, const CDeviceConfig& b,
                 std::size_t element) {
    if (HoldsText(field)) {
        return Checked<std::string>(field, a, element) == Checked<std::string>(field, b, element);
    }
    return FieldNumber(field, a, element) == FieldNumber(field, b, element);
}

}  // namespace vardex::params
