#include "settings/record_fields.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <sstream>
#include <string_view>

#include <nlohmann/json.hpp>

#include "params/field_table.h"
#include "params/telephony_rules.h"
#include "settings/backup_store.h"
#include "settings/json_reader.h"
#include "settings/json_text.h"

using namespace vardex::platform;
using namespace vardex::params;

namespace vardex::settings {
namespace {

// A record field as vardexctl shows it: the field table's entry, and how a
// person numbers it.
struct Field {
    const RecordField* entry;
    const char* name;
    FieldType type;
    bool writable;
    long long lo, hi;      // numbers: the accepted range as shown; digits: the longest text
    long long also;        // one more accepted number outside the range (else lo)
    int shift;             // shown value minus the record's value
    std::size_t count;     // elements: a text array's texts
    const char* describe;  // what the field takes, when the range says too little
};

Field AsShown(const RecordField& entry) {
    Field f{&entry,
            entry.name,
            entry.type,
            entry.Writable(),
            entry.lo,
            entry.hi,
            entry.also == RecordField::kNoOtherValue ? entry.lo : entry.also,
            0,
            ElementCount(entry),
            nullptr};
    // Profiles are numbered 0..3 wherever a person sees them; the record keeps
    // 0 for "none" and n for profile n - 1.
    if (std::string_view(entry.name) == "m_nStoreProfile") {
        f.shift = -1;
        f.lo -= 1;
        f.hi -= 1;
        f.also -= 1;
        f.describe = "a profile number 0..3, or -1 for none";
    }
    return f;
}

const std::vector<Field>& Fields() {
    static const std::vector<Field> fields = [] {
        std::vector<Field> all;
        for (const RecordField& entry : RecordFields()) {
            all.push_back(AsShown(entry));
        }
        return all;
    }();
    return fields;
}

const Field* Find(std::string_view name) {
    for (const Field& field : Fields()) {
        if (name == field.name || name == field.entry->readable) {
            return &field;
        }
    }
    return nullptr;
}

// What is not known of a device is printed as null, and a null is no change:
// a field its country variant lacks (a read leaves it unread), or one whose
// query the device refused (what the record holds is not the device's value,
// and must never go back to it).
bool Absent(const Field& f, const CDeviceConfig& record) {
    return !FieldAvailable(*f.entry, record) || record.FieldRefused(f.name);
}

std::string Describe(const Field& f) {
    if (f.describe != nullptr) {
        return f.describe;
    }
    std::ostringstream text;
    switch (f.type) {
        case FieldType::kFlag:
        case FieldType::kInt:
            text << "a whole number " << f.lo << ".." << f.hi;
            if (f.also != f.lo) {
                text << " or " << f.also;
            }
            break;
        case FieldType::kOctets:
            text << "octets 0..255";
            break;
        case FieldType::kTextArray:
            text << (std::string_view(f.entry->name) == "m_strDteMsn"
                         ? "printable characters but ';'"
                         : "decimal digits")
                 << ", at most " << f.hi;
            break;
        default:
            text << "decimal digits, at most " << f.hi;
    }
    return text.str();
}

// A value as the person wrote it, for a message.
std::string_view TypeText(const Field& f);

// Whether a value has the JSON type of the field, its range aside.
bool TypeMatches(const Field& f, const FieldValue& v) {
    using T = FieldValue::Type;
    const auto all = [](const FieldValue& list, const auto& each) {
        return list.type == T::kList && std::all_of(list.list.begin(), list.list.end(), each);
    };
    switch (f.type) {
        case FieldType::kFlag:
        case FieldType::kInt:
        case FieldType::kWord:
            return v.type == T::kNumber;
        case FieldType::kText:
        case FieldType::kDigits:
            return v.type == T::kText;
        case FieldType::kTextArray:
            return all(v, [](const FieldValue& x) { return x.type == T::kText; });
        case FieldType::kOctets:
            return all(v, [&all](const FieldValue& port) {
                return all(port, [](const FieldValue& x) { return x.type == T::kNumber; });
            });
    }
    return false;
}

std::string Shown(const FieldValue& v) {
    switch (v.type) {
        case FieldValue::Type::kNumber:
            return std::to_string(v.number);
        case FieldValue::Type::kText:
            // As the person typed it (UTF-8 stays UTF-8), control characters escaped.
            return "\"" + TerminalText(v.text.size() > 40 ? v.text.substr(0, 40) + "..." : v.text) +
                   "\"";
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

// A subscriber number as the Telephony page takes it.
bool CheckMsn(const Field& f, const FieldValue& v, std::string* error) {
    const bool dte = std::string_view(f.entry->name) == "m_strDteMsn";
    return (v.type == FieldValue::Type::kText && vardex::params::MsnAllowed(v.text, dte)) ||
           Expected(f, v, error);
}

// Checks a value for a whole field or, with indexes, one element of it; the
// messages name f by f.name.
bool Check(const Field& f, const std::vector<std::size_t>& index, const FieldValue& v,
           std::string* error) {
    if (!f.writable) {
        *error = std::string(f.name) + " is reported by the device and cannot be written";
        return false;
    }
    const std::size_t dims = f.type == FieldType::kTextArray ? 1
                             : f.type == FieldType::kOctets  ? 2
                                                             : 0;
    if (index.size() > dims) {
        *error = std::string(f.name) + " has no such element";
        return false;
    }
    if (f.type == FieldType::kTextArray) {
        if (!index.empty()) {
            return index[0] < f.count
                       ? CheckMsn(f, v, error)
                       : (*error = std::string(f.name) + ": index out of range", false);
        }
        if (v.type != FieldValue::Type::kList || v.list.size() != f.count) {
            *error =
                std::string(f.name) + ": expected a list of " + std::to_string(f.count) + " texts";
            return false;
        }
        for (const FieldValue& item : v.list) {
            if (!CheckMsn(f, item, error)) {
                return false;
            }
        }
        return true;
    }
    if (f.type == FieldType::kOctets) {
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
    if (f.type == FieldType::kDigits) {
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

// A refused change: its kind, for a caller that tells the kinds apart.
bool Refuse(FieldFault kind, FieldFault* fault) {
    if (fault != nullptr) {
        *fault = kind;
    }
    return false;
}

// f under the name the person wrote, so that its messages say that name.
Field AsWritten(const Field& f, const std::string& name) {
    Field named = f;
    named.name = name.c_str();
    return named;
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

// The element of an LLC octet, counted as the field table counts them.
std::size_t OctetElement(std::size_t port, std::size_t octet) {
    return port * CDeviceConfig::kLlcOctets + octet;
}

void Store(const Field& f, const std::vector<std::size_t>& index, const FieldValue& v,
           CDeviceConfig* record) {
    const RecordField& entry = *f.entry;
    switch (f.type) {
        case FieldType::kFlag:
        case FieldType::kInt:
            SetFieldNumber(entry, *record, static_cast<int>(v.number - f.shift));
            break;
        case FieldType::kDigits:
            FieldElement<std::string>(entry, *record) = v.text;
            break;
        case FieldType::kTextArray:
            if (!index.empty()) {
                FieldElement<std::string>(entry, *record, index[0]) = v.text;
            } else {
                for (std::size_t i = 0; i < f.count; ++i) {
                    FieldElement<std::string>(entry, *record, i) = v.list[i].text;
                }
            }
            break;
        case FieldType::kOctets: {
            const auto octet = [](const FieldValue& x) { return static_cast<int>(x.number); };
            if (index.size() == 2) {
                SetFieldNumber(entry, *record, octet(v), OctetElement(index[0], index[1]));
            } else {
                for (std::size_t p = 0; p < CDeviceConfig::kLlcPorts; ++p) {
                    if (!index.empty() && p != index[0]) {
                        continue;
                    }
                    const FieldValue& port = index.empty() ? v.list[p] : v;
                    for (std::size_t o = 0; o < CDeviceConfig::kLlcOctets; ++o) {
                        SetFieldNumber(entry, *record, octet(port.list[o]), OctetElement(p, o));
                    }
                }
            }
            break;
        }
        case FieldType::kWord:
        case FieldType::kText:
            // Only the device reports them.
            break;
    }
}

std::string IntJson(const Field& f, const CDeviceConfig& record) {
    return std::to_string(static_cast<long long>(FieldNumber(*f.entry, record)) + f.shift);
}

std::string TextJson(const Field& f, const CDeviceConfig& record, std::size_t element = 0) {
    return JsonString(FieldElement<std::string>(*f.entry, record, element));
}

std::string ValueJson(const Field& f, const CDeviceConfig& record) {
    if (Absent(f, record)) {
        return "null";
    }
    switch (f.type) {
        case FieldType::kFlag:
        case FieldType::kInt:
            return IntJson(f, record);
        case FieldType::kWord:
            return std::to_string(FieldNumber(*f.entry, record));
        case FieldType::kText:
        case FieldType::kDigits:
            return TextJson(f, record);
        case FieldType::kTextArray: {
            std::string out = "[";
            for (std::size_t i = 0; i < f.count; ++i) {
                out += (i ? "," : "") + TextJson(f, record, i);
            }
            return out + "]";
        }
        case FieldType::kOctets: {
            std::string out = "[";
            for (std::size_t p = 0; p < CDeviceConfig::kLlcPorts; ++p) {
                out += p ? ",[" : "[";
                for (std::size_t o = 0; o < CDeviceConfig::kLlcOctets; ++o) {
                    out += (o ? "," : "") +
                           std::to_string(FieldNumber(*f.entry, record, OctetElement(p, o)));
                }
                out += "]";
            }
            return out + "]";
        }
    }
    return "null";
}

}  // namespace

namespace {

std::string RefusedJson(const CDeviceConfig& record) {
    std::string out = "[";
    for (const CDeviceConfig::RefusedQuery& query : record.m_refusedQueries) {
        out += (out.size() > 1 ? "," : "") + JsonString(query.command);
    }
    return out + "]";
}

}  // namespace

std::string RecordJson(const CDeviceConfig& record, Names names) {
    std::string out = "{";
    for (const Field& f : Fields()) {
        const char* key = names == Names::kReadable ? f.entry->readable : f.name;
        out += (out.size() > 1 ? ",\"" : "\"") + std::string(key) + "\":" + ValueJson(f, record);
    }
    return out + ",\"" + std::string(kRefusedKey) + "\":" + RefusedJson(record) + "}\n";
}

std::string RecordText(const CDeviceConfig& record) {
    std::string out;
    for (const Field& f : Fields()) {
        std::string value = ValueJson(f, record);
        if (f.type == FieldType::kWord) {
            value = CDeviceConfig::FormatVersion(FieldElement<std::uint16_t>(*f.entry, record));
        }
        out += std::string(f.name) + " = " + value + "\n";
    }
    if (!record.m_refusedQueries.empty()) {
        out += std::string(kRefusedKey) + " = " + RefusedJson(record) + "\n";
    }
    return out;
}

namespace {

bool AssignmentInto(const std::string& word, std::vector<FieldChange>* changes, std::string* error,
                    FieldFault* fault) {
    const auto eq = word.find('=');
    if (eq == std::string::npos) {
        *error = "'" + word + "' is not FIELD=VALUE";
        return Refuse(FieldFault::kForm, fault);
    }
    std::string name;
    std::vector<std::size_t> index;
    const std::string full = word.substr(0, eq);
    const Field* f = SplitName(full, &name, &index) ? Find(name) : nullptr;
    if (f == nullptr) {
        *error = "unknown field '" + full + "'";
        return Refuse(FieldFault::kUnknownField, fault);
    }
    FieldValue value = WordValue(word.substr(eq + 1));
    // Digits are text in a digit field, even when they read as a number.
    const bool digits = f->type == FieldType::kDigits || f->type == FieldType::kTextArray;
    if (digits && value.type == FieldValue::Type::kNumber) {
        value.type = FieldValue::Type::kText;
        value.text = word.substr(eq + 1);
    }
    if (!Check(AsWritten(*f, name), index, value, error)) {
        return Refuse(f->writable ? FieldFault::kValue : FieldFault::kReadOnly, fault);
    }
    changes->push_back({full, std::move(value)});
    return true;
}

bool FieldsJsonInto(const std::string& json, std::vector<FieldChange>* changes, std::string* error,
                    FieldFault* fault) {
    std::vector<std::pair<std::string, FieldValue>> members;
    if (auto read = ReadFieldsObject(json)) {
        members = std::move(*read);
    } else {
        *error = read.error();
        return Refuse(FieldFault::kForm, fault);
    }
    std::vector<const Field*> seen;
    for (auto& [name, value] : members) {
        if (name == settings::kPortKey || name == settings::kWrittenKey) {
            // Where and when a backup was made: no setting.
            if (value.type != FieldValue::Type::kText) {
                *error = JsonString(name) + " must be a text";
                return Refuse(FieldFault::kForm, fault);
            }
            continue;
        }
        if (name == kRefusedKey) {
            // What a read could not learn: no setting, but it must be a list
            // of texts, as a read prints it.
            const bool texts = value.type == FieldValue::Type::kList &&
                               std::all_of(value.list.begin(), value.list.end(), [](const auto& v) {
                                   return v.type == FieldValue::Type::kText;
                               });
            if (!texts) {
                *error = JsonString(name) + " must be a list of commands";
                return Refuse(FieldFault::kForm, fault);
            }
            continue;
        }
        const Field* f = Find(name);
        if (f == nullptr) {
            *error = "unknown field " + JsonString(name);
            return Refuse(FieldFault::kUnknownField, fault);
        }
        // The reader refuses a key given twice; one field by both its names too.
        if (std::find(seen.begin(), seen.end(), f) != seen.end()) {
            *error = "field " + JsonString(name) + " given twice";
            return Refuse(FieldFault::kForm, fault);
        }
        seen.push_back(f);
        if (value.type == FieldValue::Type::kNull) {
            continue;
        }
        // What only the device reports is not written, but it must have its
        // type, as the schema says.
        if (!f->writable) {
            if (!TypeMatches(*f, value)) {
                *error = name + ": expected " + std::string(TypeText(*f)) + ", not " + Shown(value);
                return Refuse(FieldFault::kValue, fault);
            }
            continue;
        }
        if (!Check(AsWritten(*f, name), {}, value, error)) {
            return Refuse(FieldFault::kValue, fault);
        }
        changes->push_back({name, std::move(value)});
    }
    return true;
}

// The parsers below, for the refusal's two parts.
template <typename Parse>
platform::Expected<void, FieldError> Parsed(Parse parse) {
    FieldError refused;
    if (parse(&refused.text, &refused.fault)) {
        return {};
    }
    return platform::Unexpected{std::move(refused)};
}

}  // namespace

platform::Expected<void, FieldError> ParseAssignment(const std::string& word,
                                                     std::vector<FieldChange>* changes) {
    return Parsed([&](std::string* error, FieldFault* fault) {
        return AssignmentInto(word, changes, error, fault);
    });
}

platform::Expected<void, FieldError> ParseFieldsJson(const std::string& json,
                                                     std::vector<FieldChange>* changes) {
    return Parsed([&](std::string* error, FieldFault* fault) {
        return FieldsJsonInto(json, changes, error, fault);
    });
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
        switch (f.type) {
            case FieldType::kTextArray:
                for (std::size_t i = 0; i < f.count; ++i) {
                    items.push_back({f.name, name + "[" + std::to_string(i) + "]",
                                     TextJson(f, record, i), f.entry, i});
                }
                break;
            case FieldType::kOctets:
                for (std::size_t p = 0; p < CDeviceConfig::kLlcPorts; ++p) {
                    for (std::size_t o = 0; o < CDeviceConfig::kLlcOctets; ++o) {
                        const std::size_t element = OctetElement(p, o);
                        items.push_back(
                            {f.name,
                             name + "[" + std::to_string(p) + "][" + std::to_string(o) + "]",
                             std::to_string(FieldNumber(*f.entry, record, element)), f.entry,
                             element});
                    }
                }
                break;
            case FieldType::kDigits:
                items.push_back({f.name, name, TextJson(f, record), f.entry});
                break;
            default:
                items.push_back({f.name, name, IntJson(f, record), f.entry});
        }
    }
    return items;
}

std::vector<ItemChange> Differences(const CDeviceConfig& before, const CDeviceConfig& after) {
    std::vector<ItemChange> changes;
    const std::vector<SettableItem> a = SettableItems(before);
    const std::vector<SettableItem> b = SettableItems(after);
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i].value != b[i].value) {
            changes.push_back({a[i].name, a[i].value, b[i].value, a[i].entry, a[i].element,
                               a[i].entry->readable + a[i].name.substr(std::strlen(a[i].field))});
        }
    }
    return changes;
}

namespace {

std::string_view VariantsText(vardex::params::Feature feature) {
    using vardex::params::Feature;
    switch (feature) {
        case Feature::kX25:
            return "X.25";
        case Feature::kFskLevel:
            return "FSK-level";
        case Feature::kHungarian:
            return "Hungarian";
        case Feature::kNotHungarian:
            return "non-Hungarian";
        case Feature::kConnection:
            return "non-Polish";
        case Feature::kAll:
            break;
    }
    return "all";
}

std::string_view TypeText(const Field& f) {
    switch (f.type) {
        case FieldType::kFlag:
            return "flag";
        case FieldType::kInt:
            return "number";
        case FieldType::kWord:
            return "version";
        case FieldType::kText:
            return "text";
        case FieldType::kDigits:
            return "digits";
        case FieldType::kTextArray:
            return "texts";
        case FieldType::kOctets:
            return "octets";
    }
    return "?";
}

// A regular expression's class of the characters a subscriber number takes,
// made from the rule itself.
std::string MsnCharacters(bool dte) {
    std::string set;
    for (int c = 0; c < 0x80; ++c) {
        if (!vardex::params::MsnCharAllowed(static_cast<char>(c), dte)) {
            continue;
        }
        int last = c;
        while (last + 1 < 0x80 &&
               vardex::params::MsnCharAllowed(static_cast<char>(last + 1), dte)) {
            ++last;
        }
        const auto escaped = [](int x) {
            const char ch = static_cast<char>(x);
            return std::string(std::string_view("\\]^-[").find(ch) != std::string_view::npos ? "\\"
                                                                                             : "") +
                   ch;
        };
        set += escaped(c);
        if (last > c) {
            set += "-" + escaped(last);
        }
        c = last;
    }
    return "^[" + set + "]*$";
}

nlohmann::ordered_json NumberSchema(const Field& f) {
    nlohmann::ordered_json range = {{"type", "integer"}, {"minimum", f.lo}, {"maximum", f.hi}};
    if (f.also == f.lo) {
        return range;
    }
    return {{"anyOf", {range, {{"const", f.also}}}}};
}

nlohmann::ordered_json FieldSchema(const Field& f) {
    using Json = nlohmann::ordered_json;
    Json schema;
    switch (f.type) {
        case FieldType::kFlag:
        case FieldType::kInt:
            schema = NumberSchema(f);
            break;
        case FieldType::kWord:
            schema = {{"type", "integer"}, {"minimum", 0}, {"maximum", 0xFFFF}};
            break;
        case FieldType::kText:
            schema = {{"type", "string"}};
            break;
        case FieldType::kDigits:
            schema = {{"type", "string"}, {"maxLength", f.hi}, {"pattern", "^[0-9]*$"}};
            break;
        case FieldType::kTextArray: {
            const bool dte = std::string_view(f.name) == "m_strDteMsn";
            schema = {{"type", "array"},
                      {"minItems", f.count},
                      {"maxItems", f.count},
                      {"items",
                       {{"type", "string"}, {"maxLength", f.hi}, {"pattern", MsnCharacters(dte)}}}};
            break;
        }
        case FieldType::kOctets: {
            const Json octets = {{"type", "array"},
                                 {"minItems", CDeviceConfig::kLlcOctets},
                                 {"maxItems", CDeviceConfig::kLlcOctets},
                                 {"items", NumberSchema(f)}};
            schema = {{"type", "array"},
                      {"minItems", CDeviceConfig::kLlcPorts},
                      {"maxItems", CDeviceConfig::kLlcPorts},
                      {"items", octets}};
            break;
        }
    }
    // Null: not known of the device (a variant without the field, or a query
    // the device refused); no change when written.
    schema = {{"anyOf", {schema, {{"type", "null"}}}}};
    std::string description(TypeText(f));
    description += f.writable ? "" : ", reported by the device (ignored when written)";
    description += "; null when not known of the device";
    schema["description"] = description;
    return schema;
}

}  // namespace

std::vector<std::string> AssignableNames() {
    std::vector<std::string> names;
    for (const SettableItem& item : SettableItems(CDeviceConfig{})) {
        names.push_back(item.name);
    }
    for (const SettableItem& item : SettableItems(CDeviceConfig{})) {
        const std::string_view field = item.field;
        names.push_back(Find(field)->entry->readable + item.name.substr(field.size()));
    }
    return names;
}

std::string FieldList() {
    std::ostringstream text;
    for (const Field& f : Fields()) {
        text << f.name << ' ' << f.entry->readable << ' ' << TypeText(f) << ' ';
        if (f.type == FieldType::kFlag || f.type == FieldType::kInt ||
            f.type == FieldType::kOctets) {
            text << f.lo << ".." << f.hi;
            if (f.also != f.lo) {
                text << "," << f.also;
            }
        } else if (f.type == FieldType::kDigits || f.type == FieldType::kTextArray) {
            text << "0.." << f.hi << "_chars";
        } else {
            text << '-';
        }
        text << " offered:" << VariantsText(f.entry->offered);
        if (f.writable) {
            text << " changeable:" << VariantsText(f.entry->changeable);
        } else {
            text << " read-only";
        }
        text << '\n';
    }
    return text.str();
}

std::string SettingsSchema() {
    using Json = nlohmann::ordered_json;
    Json defs = Json::object();
    Json properties = Json::object();
    for (const Field& f : Fields()) {
        defs[f.name] = FieldSchema(f);
        const Json ref = {{"$ref", std::string("#/$defs/") + f.name}};
        properties[f.name] = ref;
        properties[f.entry->readable] = ref;
    }
    for (const std::string_view key : {settings::kPortKey, settings::kWrittenKey}) {
        properties[std::string(key)] = {
            {"type", "string"},
            {"description", key == settings::kPortKey
                                ? "a backup's unit: the port it was read on"
                                : "when a backup was written (UTC, 20261210T052822.123Z)"}};
    }
    properties[std::string(kRefusedKey)] = {
        {"type", "array"},
        {"items", {{"type", "string"}}},
        {"description",
         "the commands the device answered with ERROR in the read; their fields are null"}};
    // One field under both its names is refused, as vardexctl refuses it.
    Json one_name = Json::array();
    for (const Field& f : Fields()) {
        one_name.push_back({{"not", {{"required", {f.name, f.entry->readable}}}}});
    }
    const Json schema = {{"$schema", "https://json-schema.org/draft/2020-12/schema"},
                         {"title", "varDex settings file"},
                         {"description",
                          "Any subset of the record's fields, each by its member name or its "
                          "readable name, as vardexctl read --json prints them."},
                         {"type", "object"},
                         {"properties", properties},
                         {"additionalProperties", false},
                         {"allOf", one_name},
                         {"$defs", defs}};
    return schema.dump(2) + "\n";
}

}  // namespace vardex::settings
