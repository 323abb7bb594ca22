#include "record_fields.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <functional>
#include <limits>
#include <sstream>
#include <string_view>

#include "json_reader.h"
#include "json_text.h"
#include "params/field_limits.h"
#include "params/setting_fields.h"

namespace vardex::ctl {
namespace {

enum class Kind { kInt, kWord, kText, kDigits, kTextArray, kLlc };

struct Field {
    const char* name;
    Kind kind;
    bool writable;
    long long lo, hi;  // numbers: the accepted range as shown; digits: the longest text
    std::function<void*(CDeviceConfig&)> at;
    std::size_t count = 1;           // text arrays
    long long also = lo;             // one more accepted number outside the range
    int shift = 0;                   // shown value minus the record's value
    const char* describe = nullptr;  // what the field takes, when the range says too little
};

// A settable number: its range is the record's own (params/field_limits.h).
Field IntRw(const char* name, int CDeviceConfig::*member, int shift = 0,
            const char* describe = nullptr) {
    const IntFieldLimits* limits = LimitsOf(member);
    Field field{name,
                Kind::kInt,
                true,
                limits->lo + shift,
                limits->hi + shift,
                [member](CDeviceConfig& r) -> void* { return &(r.*member); }};
    field.also = limits->also + shift;
    field.shift = shift;
    field.describe = describe;
    return field;
}
#define INT_RW(f) IntRw(#f, &CDeviceConfig::f)
#define INT_RO(f)                                                                    \
    Field {                                                                          \
#f, Kind::kInt, false, 0, 0, [](CDeviceConfig & r) -> void* { return &r.f; } \
    }
#define WORD_RO(f)                                                                    \
    Field {                                                                           \
#f, Kind::kWord, false, 0, 0, [](CDeviceConfig & r) -> void* { return &r.f; } \
    }
#define TEXT_RO(f)                                                                    \
    Field {                                                                           \
#f, Kind::kText, false, 0, 0, [](CDeviceConfig & r) -> void* { return &r.f; } \
    }

// The MSNs and the X.121 address are dialled digits.
constexpr long long kMsnDigits = 20;
constexpr long long kX121Digits = 15;

const std::vector<Field>& Fields() {
    static const std::vector<Field> fields = {
        INT_RO(m_bUsbConnection),
        INT_RW(m_bBapCallBack),
        INT_RW(m_bBapSupport),
        INT_RW(m_nCallerIdTiming),
        INT_RW(m_nFlashDuration),
        INT_RW(m_nServiceProtocol),
        INT_RW(m_bFullEmergencyMode),
        INT_RW(m_bClipOnCw1),
        INT_RW(m_bClipOnCw2),
        INT_RW(m_nBodAddTime),
        INT_RW(m_nBodAddRate),
        INT_RW(m_nBodDropTime),
        INT_RW(m_nBodDropRate),
        INT_RW(m_bMultilink),
        INT_RW(m_nProtocol),
        INT_RO(m_bSettingsModified),
        INT_RO(m_bOtherModified),
        INT_RW(m_bResetCharges),
        INT_RW(m_nPowerUpProfile),
        // Profiles are numbered 0..3 wherever a person sees them; the record
        // keeps 0 for "none" and n for profile n - 1.
        IntRw("m_nStoreProfile", &CDeviceConfig::m_nStoreProfile, -1,
              "a profile number 0..3, or -1 for none"),
        INT_RO(m_nLastCharge1),
        INT_RO(m_nLastCharge2),
        INT_RO(m_nLastChargeDte),
        INT_RO(m_nTotalCharge1),
        INT_RO(m_nTotalCharge2),
        INT_RO(m_nTotalChargeDte),
        INT_RW(m_nOwnNumber1),
        INT_RW(m_nOwnNumber2),
        INT_RW(m_nOwnNumberDte),
        INT_RW(m_bDelayedClearBack1),
        INT_RW(m_bDelayedClearBack2),
        INT_RW(m_bCallWaiting1),
        INT_RW(m_bCallWaiting2),
        INT_RW(m_bClip),
        INT_RW(m_nFskLevel),
        INT_RW(m_bMeteringPulse1),
        INT_RW(m_bMeteringPulse2),
        INT_RW(m_bNoIncomingMlppp1),
        INT_RW(m_bNoIncomingMlppp2),
        Field{"m_strDteMsn", Kind::kTextArray, true, 0, kMsnDigits,
              [](CDeviceConfig& r) -> void* { return r.m_strDteMsn; }, CDeviceConfig::kDteMsnCount},
        Field{"m_strPhoneMsn", Kind::kTextArray, true, 0, kMsnDigits,
              [](CDeviceConfig& r) -> void* { return r.m_strPhoneMsn; },
              CDeviceConfig::kPhoneMsnCount},
        WORD_RO(m_wModelVersion),
        WORD_RO(m_wHardwareVersion),
        WORD_RO(m_wFirmwareVersion),
        TEXT_RO(m_strCountry),
        TEXT_RO(m_strCrc),
        INT_RW(m_bMessageWaiting1),
        INT_RW(m_bMessageWaiting2),
        INT_RW(m_bClir1),
        INT_RW(m_bClir2),
        INT_RW(m_bColr1),
        INT_RW(m_bColr2),
        INT_RW(m_nTerminalType1),
        INT_RW(m_nTerminalType2),
        Field{"m_byModemLlc", Kind::kLlc, true, 0, 255,
              [](CDeviceConfig& r) -> void* { return r.m_byModemLlc; }},
        INT_RW(m_nX25CugNumber),
        INT_RW(m_nX25Hic),
        INT_RW(m_nX25Layer2Window),
        INT_RW(m_nX25Layer3Window),
        INT_RW(m_nX25PacketSize),
        INT_RW(m_nX25Lcn),
        INT_RW(m_nX25Lic),
        INT_RW(m_bX25Spvc),
        INT_RW(m_bX25UsePad),
        INT_RW(m_bX25Pvc),
        INT_RW(m_bX25SendRestart),
        INT_RW(m_nX25Tei),
        INT_RW(m_nX25WaitRestart),
        Field{"m_strX25Address", Kind::kDigits, true, 0, kX121Digits,
              [](CDeviceConfig& r) -> void* { return &r.m_strX25Address; }},
        INT_RW(m_bX25TransparentProfile),
        INT_RW(m_bX25PadCall),
        INT_RO(m_bX25Available),
        INT_RO(m_bFskLevelAvailable),
    };
    return fields;
}

#undef INT_RW
#undef INT_RO
#undef WORD_RO
#undef TEXT_RO

const Field* Find(std::string_view name) {
    for (const Field& field : Fields()) {
        if (name == field.name) {
            return &field;
        }
    }
    return nullptr;
}

CDeviceConfig& Mutable(const CDeviceConfig& record) {
    return const_cast<CDeviceConfig&>(record);
}

// Fields a country variant lacks: a read leaves them unread, so they are
// printed as null and a null for them is no change.
bool MayBeAbsent(const Field& f) {
    const SettingField* setting = SettingFieldOf(f.name);
    return setting != nullptr && (setting->variant == SettingVariant::kX25 ||
                                  setting->variant == SettingVariant::kFskLevel);
}
bool Absent(const Field& f, const CDeviceConfig& record) {
    return MayBeAbsent(f) && !SettingAvailable(*SettingFieldOf(f.name), record);
}

std::string Describe(const Field& f) {
    if (f.describe != nullptr) {
        return f.describe;
    }
    std::ostringstream text;
    switch (f.kind) {
        case Kind::kInt:
            text << "a whole number " << f.lo << ".." << f.hi;
            if (f.also != f.lo) {
                text << " or " << f.also;
            }
            break;
        case Kind::kLlc:
            text << "octets 0..255";
            break;
        default:
            text << "decimal digits, at most " << f.hi;
    }
    return text.str();
}

// A value as the person wrote it, for a message.
std::string Shown(const FieldValue& v) {
    switch (v.type) {
        case FieldValue::Type::kNumber:
            return std::to_string(v.number);
        case FieldValue::Type::kText:
            return JsonString(v.text.size() > 40 ? v.text.substr(0, 40) + "..." : v.text);
        case FieldValue::Type::kList:
            return "a list";
        case FieldValue::Type::kBool:
            return v.number != 0 ? "true" : "false";
        case FieldValue::Type::kNull:
            return "null";
    }
    return "?";
}

bool Expected(const Field& f, const FieldValue& v, std::string* error) {
    *error = std::string(f.name) + ": expected " + Describe(f) + ", not " + Shown(v);
    return false;
}

bool CheckNumber(const Field& f, const FieldValue& v, std::string* error) {
    if (v.type != FieldValue::Type::kNumber ||
        ((v.number < f.lo || v.number > f.hi) && v.number != f.also)) {
        return Expected(f, v, error);
    }
    return true;
}

bool CheckDigits(const Field& f, const FieldValue& v, std::string* error) {
    bool ok = v.type == FieldValue::Type::kText && static_cast<long long>(v.text.size()) <= f.hi;
    for (const char c : v.text) {
        ok = ok && std::isdigit(static_cast<unsigned char>(c)) != 0;
    }
    return ok || Expected(f, v, error);
}

// Checks a value for a whole field or, with indexes, one element of it.
bool Check(const Field& f, const std::vector<std::size_t>& index, const FieldValue& v,
           std::string* error) {
    if (!f.writable) {
        *error = std::string(f.name) + " is reported by the device and cannot be written";
        return false;
    }
    const std::size_t dims = f.kind == Kind::kTextArray ? 1 : f.kind == Kind::kLlc ? 2 : 0;
    if (index.size() > dims) {
        *error = std::string(f.name) + " has no such element";
        return false;
    }
    if (f.kind == Kind::kTextArray) {
        if (!index.empty()) {
            return index[0] < f.count
                       ? CheckDigits(f, v, error)
                       : (*error = std::string(f.name) + ": index out of range", false);
        }
        if (v.type != FieldValue::Type::kList || v.list.size() != f.count) {
            *error =
                std::string(f.name) + ": expected a list of " + std::to_string(f.count) + " texts";
            return false;
        }
        for (const FieldValue& item : v.list) {
            if (!CheckDigits(f, item, error)) {
                return false;
            }
        }
        return true;
    }
    if (f.kind == Kind::kLlc) {
        const std::size_t ports = CDeviceConfig::kLlcPorts;
        const std::size_t octets = CDeviceConfig::kLlcOctets;
        if ((!index.empty() && index[0] >= ports) || (index.size() > 1 && index[1] >= octets)) {
            *error = std::string(f.name) + ": index out of range";
            return false;
        }
        // Depth still to fill: 2 for the whole field, 1 for one port, 0 for one octet.
        const std::size_t depth = 2 - index.size();
        const std::function<bool(const FieldValue&, std::size_t)> walk = [&](const FieldValue& x,
                                                                             std::size_t d) {
            if (d == 0) {
                return CheckNumber(f, x, error);
            }
            const std::size_t want = d == 2 ? ports : octets;
            if (x.type != FieldValue::Type::kList || x.list.size() != want) {
                *error = std::string(f.name) + ": expected two lists of three octets";
                return false;
            }
            for (const FieldValue& item : x.list) {
                if (!walk(item, d - 1)) {
                    return false;
                }
            }
            return true;
        };
        return walk(v, depth);
    }
    if (f.kind == Kind::kDigits) {
        return CheckDigits(f, v, error);
    }
    return CheckNumber(f, v, error);
}

// "name[1][2]" into the name and its indexes.
bool SplitName(const std::string& full, std::string* name, std::vector<std::size_t>* index) {
    const auto open = full.find('[');
    *name = full.substr(0, open);
    std::size_t at = open;
    while (at != std::string::npos && at < full.size()) {
        const auto close = full.find(']', at);
        if (full[at] != '[' || close == std::string::npos || close == at + 1) {
            return false;
        }
        const std::string digits = full.substr(at + 1, close - at - 1);
        for (const char c : digits) {
            if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
                return false;
            }
        }
        index->push_back(static_cast<std::size_t>(std::strtoul(digits.c_str(), nullptr, 10)));
        at = close + 1;
    }
    return true;
}

// A whole number in decimal (leading zeros too: 010 is ten) or 0x hex, else text.
FieldValue WordValue(const std::string& text) {
    FieldValue v;
    std::string_view digits = text;
    const bool negative = !digits.empty() && digits.front() == '-';
    if (negative) {
        digits.remove_prefix(1);
    }
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    // The magnitude is unsigned, so that no sign or space gets in after the one minus.
    unsigned long long magnitude = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, ec] = std::from_chars(digits.data(), end, magnitude, base);
    constexpr unsigned long long kMax = std::numeric_limits<long long>::max();
    if (!digits.empty() && ec == std::errc() && stop == end &&
        magnitude <= kMax + (negative ? 1 : 0)) {
        v.number = !negative          ? static_cast<long long>(magnitude)
                   : magnitude > kMax ? std::numeric_limits<long long>::min()
                                      : -static_cast<long long>(magnitude);
        return v;
    }
    v.type = FieldValue::Type::kText;
    v.text = text;
    return v;
}

void Store(const Field& f, const std::vector<std::size_t>& index, const FieldValue& v,
           CDeviceConfig* record) {
    void* at = f.at(*record);
    switch (f.kind) {
        case Kind::kInt:
            *static_cast<int*>(at) = static_cast<int>(v.number - f.shift);
            break;
        case Kind::kDigits:
            *static_cast<std::string*>(at) = v.text;
            break;
        case Kind::kTextArray: {
            auto* texts = static_cast<std::string*>(at);
            if (!index.empty()) {
                texts[index[0]] = v.text;
            } else {
                for (std::size_t i = 0; i < f.count; ++i) {
                    texts[i] = v.list[i].text;
                }
            }
            break;
        }
        case Kind::kLlc: {
            auto& llc = record->m_byModemLlc;
            const auto octet = [](const FieldValue& x) {
                return static_cast<std::uint8_t>(x.number);
            };
            if (index.size() == 2) {
                llc[index[0]][index[1]] = octet(v);
            } else {
                for (std::size_t p = 0; p < CDeviceConfig::kLlcPorts; ++p) {
                    if (!index.empty() && p != index[0]) {
                        continue;
                    }
                    const FieldValue& port = index.empty() ? v.list[p] : v;
                    for (std::size_t o = 0; o < CDeviceConfig::kLlcOctets; ++o) {
                        llc[p][o] = octet(port.list[o]);
                    }
                }
            }
            break;
        }
        default:
            break;
    }
}

std::string IntJson(const Field& f, const CDeviceConfig& record) {
    return std::to_string(static_cast<long long>(*static_cast<int*>(f.at(Mutable(record)))) +
                          f.shift);
}

std::string ValueJson(const Field& f, const CDeviceConfig& record) {
    if (Absent(f, record)) {
        return "null";
    }
    void* at = f.at(Mutable(record));
    switch (f.kind) {
        case Kind::kInt:
            return IntJson(f, record);
        case Kind::kWord:
            return std::to_string(*static_cast<std::uint16_t*>(at));
        case Kind::kText:
        case Kind::kDigits:
            return JsonString(*static_cast<std::string*>(at));
        case Kind::kTextArray: {
            const auto* texts = static_cast<std::string*>(at);
            std::string out = "[";
            for (std::size_t i = 0; i < f.count; ++i) {
                out += (i ? "," : "") + JsonString(texts[i]);
            }
            return out + "]";
        }
        case Kind::kLlc: {
            std::string out = "[";
            for (std::size_t p = 0; p < CDeviceConfig::kLlcPorts; ++p) {
                out += p ? ",[" : "[";
                for (std::size_t o = 0; o < CDeviceConfig::kLlcOctets; ++o) {
                    out += (o ? "," : "") + std::to_string(record.m_byModemLlc[p][o]);
                }
                out += "]";
            }
            return out + "]";
        }
    }
    return "null";
}

}  // namespace

std::string RecordJson(const CDeviceConfig& record) {
    std::string out = "{";
    for (const Field& f : Fields()) {
        out += (out.size() > 1 ? ",\"" : "\"") + std::string(f.name) + "\":" + ValueJson(f, record);
    }
    return out + "}\n";
}

std::string RecordText(const CDeviceConfig& record) {
    std::string out;
    for (const Field& f : Fields()) {
        std::string value = ValueJson(f, record);
        if (f.kind == Kind::kWord) {
            value =
                CDeviceConfig::FormatVersion(*static_cast<std::uint16_t*>(f.at(Mutable(record))));
        }
        out += std::string(f.name) + " = " + value + "\n";
    }
    return out;
}

bool ParseAssignment(const std::string& word, std::vector<FieldChange>* changes,
                     std::string* error) {
    const auto eq = word.find('=');
    if (eq == std::string::npos) {
        *error = "'" + word + "' is not FIELD=VALUE";
        return false;
    }
    std::string name;
    std::vector<std::size_t> index;
    const std::string full = word.substr(0, eq);
    const Field* f = SplitName(full, &name, &index) ? Find(name) : nullptr;
    if (f == nullptr) {
        *error = "unknown field '" + full + "'";
        return false;
    }
    FieldValue value = WordValue(word.substr(eq + 1));
    // Digits are text in a digit field, even when they read as a number.
    const bool digits = f->kind == Kind::kDigits || f->kind == Kind::kTextArray;
    if (digits && value.type == FieldValue::Type::kNumber) {
        value.type = FieldValue::Type::kText;
        value.text = word.substr(eq + 1);
    }
    if (!Check(*f, index, value, error)) {
        return false;
    }
    changes->push_back({full, std::move(value)});
    return true;
}

bool ParseFieldsJson(const std::string& json, std::vector<FieldChange>* changes,
                     std::string* error) {
    std::vector<std::pair<std::string, FieldValue>> members;
    if (!ReadFieldsObject(json, &members, error)) {
        return false;
    }
    for (auto& [name, value] : members) {
        const Field* f = Find(name);
        if (f == nullptr) {
            *error = "unknown field " + JsonString(name);
            return false;
        }
        if (!f->writable || (value.type == FieldValue::Type::kNull && MayBeAbsent(*f))) {
            continue;
        }
        if (!Check(*f, {}, value, error)) {
            return false;
        }
        changes->push_back({name, std::move(value)});
    }
    return true;
}

void ApplyChanges(const std::vector<FieldChange>& changes, CDeviceConfig* record) {
    for (const FieldChange& change : changes) {
        std::string name;
        std::vector<std::size_t> index;
        SplitName(change.name, &name, &index);
        Store(*Find(name), index, change.value, record);
    }
}

std::vector<SettableItem> SettableItems(const CDeviceConfig& record) {
    std::vector<SettableItem> items;
    for (const Field& f : Fields()) {
        if (!f.writable) {
            continue;
        }
        const std::string name = f.name;
        switch (f.kind) {
            case Kind::kTextArray: {
                const auto* texts = static_cast<std::string*>(f.at(Mutable(record)));
                for (std::size_t i = 0; i < f.count; ++i) {
                    items.push_back(
                        {f.name, name + "[" + std::to_string(i) + "]", JsonString(texts[i])});
                }
                break;
            }
            case Kind::kLlc:
                for (std::size_t p = 0; p < CDeviceConfig::kLlcPorts; ++p) {
                    for (std::size_t o = 0; o < CDeviceConfig::kLlcOctets; ++o) {
                        items.push_back(
                            {f.name,
                             name + "[" + std::to_string(p) + "][" + std::to_string(o) + "]",
                             std::to_string(record.m_byModemLlc[p][o])});
                    }
                }
                break;
            case Kind::kDigits:
                items.push_back(
                    {f.name, name, JsonString(*static_cast<std::string*>(f.at(Mutable(record))))});
                break;
            default:
                items.push_back({f.name, name, IntJson(f, record)});
        }
    }
    return items;
}

}  // namespace vardex::ctl
